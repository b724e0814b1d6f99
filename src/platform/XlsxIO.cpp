#include "platform/XlsxIO.h"

#include "platform/Cp1252.h"
#include "platform/FileIO.h"
#include "platform/OfficeServersFiles.h"
#include "platform/Rtl.h"

#include <xlsxwriter.h>
#include <zip.h>

#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>

namespace xlsx {

// ---- references --------------------------------------------------------------------------

std::string ColumnName(int col)
{
    std::string s;
    while (col > 0) {
        const int d = (col - 1) % 26;
        s.insert(s.begin(), char('A' + d));
        col = (col - 1) / 26;
    }
    return s;
}

bool ParseCellRefUnbounded(const std::string &ref, int64_t &row, int64_t &col)
{
    size_t i = 0;
    if (i < ref.size() && ref[i] == '$') ++i;
    int64_t c = 0;
    size_t letters = 0;
    while (i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i]))) {
        c = c * 26 + (std::toupper(static_cast<unsigned char>(ref[i])) - 'A' + 1);
        ++i;
        if (++letters > 7 || c > INT32_MAX) return false;
    }
    if (letters == 0) return false;
    if (i < ref.size() && ref[i] == '$') ++i;
    int64_t r = 0;
    size_t digits = 0;
    while (i < ref.size() && std::isdigit(static_cast<unsigned char>(ref[i]))) {
        r = r * 10 + (ref[i] - '0');
        ++i;
        if (++digits > 10 || r > INT32_MAX) return false;
    }
    if (digits == 0 || i != ref.size() || r < 1) return false;
    row = r;
    col = c;
    return true;
}

bool ParseCellRef(const std::string &ref, int &row, int &col)
{
    int64_t r, c;
    if (!ParseCellRefUnbounded(ref, r, c) || r > kSheetRows || c > kSheetColumns) return false;
    row = int(r);
    col = int(c);
    return true;
}

int ErrorCodeOf(const std::string &text)
{
    static const std::pair<const char *, int> codes[] = {
        {"#NULL!", 2000}, {"#DIV/0!", 2007}, {"#VALUE!", 2015}, {"#REF!", 2023},
        {"#NAME?", 2029}, {"#NUM!", 2036},   {"#N/A", 2042},
    };
    for (const auto &c : codes)
        if (text == c.first) return c.second;
    return 2015;
}

// ---- the cells of a sheet --------------------------------------------------------------------

namespace {

const ole::OleVariant &notAvailable()
{
    static const ole::OleVariant na = ole::OleVariant::Error(2042);
    return na;
}

bool overlaps(const Block &a, const Block &b)
{
    return int64_t(a.Row) < int64_t(b.Row) + b.Rows && int64_t(b.Row) < int64_t(a.Row) + a.Rows &&
           int64_t(a.Col) < int64_t(b.Col) + b.Cols && int64_t(b.Col) < int64_t(a.Col) + a.Cols;
}

// The part of d from (row, col) on, rows by cols, as a block of its own
// whose values are still d's (shared, not copied).
Block part(const Block &d, int row, int col, int rows, int cols)
{
    Block p = d;
    p.Row = row;
    p.Col = col;
    p.Rows = rows;
    p.Cols = cols;
    p.Skip = {d.Skip.first + (row - d.Row), d.Skip.second + (col - d.Col)};
    return p;
}

// Rows of the block's array that its cells reach (from its first cell on),
// and columns likewise; beyond them the cells are #N/A.
int arrayRows(const Block &b)
{
    const int64_t n = int64_t(b.Values.HighBound(1)) - b.Values.LowBound(1) + 1 - b.Skip.first;
    return int(std::clamp<int64_t>(n, 0, b.Rows));
}

int arrayCols(const Block &b)
{
    const int64_t n = int64_t(b.Values.HighBound(2)) - b.Values.LowBound(2) + 1 - b.Skip.second;
    return int(std::clamp<int64_t>(n, 0, b.Cols));
}

} // namespace

const ole::OleVariant &Block::At(int r, int c) const
{
    if (!Values.IsArray()) return Values;
    const int64_t ar = int64_t(Values.LowBound(1)) + Skip.first + r, ac = int64_t(Values.LowBound(2)) + Skip.second + c;
    if (ar > Values.HighBound(1) || ac > Values.HighBound(2)) return notAvailable();
    return Values.At(int(ar), int(ac));
}

const ole::OleVariant *Sheet::Find(int row, int col) const
{
    auto it = Cells.find({row, col});
    if (it != Cells.end()) return &it->second;
    for (const Block &b : Blocks) {
        if (!b.Holds(row, col)) continue;
        const ole::OleVariant &v = b.At(row - b.Row, col - b.Col);
        return v.IsEmpty() ? nullptr : &v;
    }
    return nullptr;
}

void Sheet::Write(int row, int col, ole::OleVariant value)
{
    Block b;
    b.Row = row;
    b.Col = col;
    b.Values = std::move(value);
    Write(std::move(b));
}

void Sheet::Write(Block b)
{
    const int64_t endRow = int64_t(b.Row) + b.Rows, endCol = int64_t(b.Col) + b.Cols;
    // Single cells under the block give way.
    for (auto it = Cells.lower_bound({b.Row, INT_MIN}); it != Cells.end() && it->first.first < endRow;) {
        if (it->first.second >= b.Col && it->first.second < endCol) it = Cells.erase(it);
        else ++it;
    }
    // So do the parts of earlier blocks under it: what is left of one is at
    // most four blocks around it (above, below, left, right).
    std::vector<Block> kept;
    for (Block &d : Blocks) {
        if (!overlaps(d, b)) {
            kept.push_back(std::move(d));
            continue;
        }
        const int64_t dEndRow = int64_t(d.Row) + d.Rows, dEndCol = int64_t(d.Col) + d.Cols;
        const int top = std::max(d.Row, b.Row), bottom = int(std::min(dEndRow, endRow));
        if (d.Row < b.Row) kept.push_back(part(d, d.Row, d.Col, b.Row - d.Row, d.Cols));
        if (dEndRow > endRow) kept.push_back(part(d, int(endRow), d.Col, int(dEndRow - endRow), d.Cols));
        if (d.Col < b.Col) kept.push_back(part(d, top, d.Col, bottom - top, b.Col - d.Col));
        if (dEndCol > endCol) kept.push_back(part(d, top, int(endCol), bottom - top, int(dEndCol - endCol)));
    }
    Blocks = std::move(kept);
    if (b.Rows == 1 && b.Cols == 1) {
        const ole::OleVariant &v = b.At(0, 0);
        if (!v.IsEmpty()) Cells[{b.Row, b.Col}] = v;
        return;
    }
    Blocks.push_back(std::move(b));
}

bool Sheet::UsedBounds(int &firstRow, int &firstCol, int &lastRow, int &lastCol) const
{
    int64_t r0 = INT64_MAX, c0 = INT64_MAX, r1 = -1, c1 = -1;
    auto add = [&](int64_t top, int64_t left, int64_t bottom, int64_t right) {
        r0 = std::min(r0, top);
        c0 = std::min(c0, left);
        r1 = std::max(r1, bottom);
        c1 = std::max(c1, right);
    };
    for (const auto &kv : Cells) add(kv.first.first, kv.first.second, kv.first.first, kv.first.second);
    for (const Block &b : Blocks) {
        if (!b.Values.IsArray()) {
            if (!b.Values.IsEmpty()) add(b.Row, b.Col, int64_t(b.Row) + b.Rows - 1, int64_t(b.Col) + b.Cols - 1);
            continue;
        }
        // The cells within the array one by one (the array is in memory,
        // so this is no more work than making it was); #N/A beyond it.
        const int rows = arrayRows(b), cols = arrayCols(b);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                if (!b.At(r, c).IsEmpty()) add(int64_t(b.Row) + r, int64_t(b.Col) + c, int64_t(b.Row) + r, int64_t(b.Col) + c);
        if (rows < b.Rows) add(int64_t(b.Row) + rows, b.Col, int64_t(b.Row) + b.Rows - 1, int64_t(b.Col) + b.Cols - 1);
        if (cols < b.Cols) add(b.Row, int64_t(b.Col) + cols, int64_t(b.Row) + b.Rows - 1, int64_t(b.Col) + b.Cols - 1);
    }
    if (r1 < 0) return false;
    firstRow = int(r0);
    firstCol = int(c0);
    lastRow = int(r1);
    lastCol = int(c1);
    return true;
}

void Sheet::ForEachRow(const std::function<bool(int, const std::vector<CellRef> &)> &row) const
{
    std::vector<CellRef> cells;
    auto it = Cells.begin();
    int64_t next = 0;  // no row before this one is left
    while (true) {
        // The first row from next on that may hold something.
        int64_t r = it != Cells.end() ? it->first.first : INT64_MAX;
        for (const Block &b : Blocks)
            if (int64_t(b.Row) + b.Rows > next) r = std::min(r, std::max<int64_t>(next, b.Row));
        if (r == INT64_MAX) return;
        cells.clear();
        for (; it != Cells.end() && it->first.first == r; ++it) cells.push_back({it->first.second, &it->second});
        for (const Block &b : Blocks) {
            if (!b.Holds(int(r), b.Col)) continue;
            for (int c = 0; c < b.Cols; ++c) {
                const ole::OleVariant &v = b.At(int(r - b.Row), c);
                if (!v.IsEmpty()) cells.push_back({b.Col + c, &v});
            }
        }
        if (Blocks.size() + !Cells.empty() > 1)
            std::sort(cells.begin(), cells.end(), [](const CellRef &a, const CellRef &b) { return a.Col < b.Col; });
        if (!cells.empty() && !row(int(r), cells)) return;
        next = r + 1;
    }
}

// ---- writing ---------------------------------------------------------------------------------

namespace {

std::string utf8(const std::string &ansi) { return FromAnsi(ansi).toUtf8().toStdString(); }

// The text a cell is written with: error values, arrays and objects as
// blank cells.
const std::string *textOf(const ole::OleVariant &value, std::string &scratch)
{
    if (const std::string *t = value.Text()) return t;
    scratch.clear();
    if (value.Type() != ole::VarType::Error && value.Type() != ole::VarType::Array &&
        value.Type() != ole::VarType::Dispatch)
        scratch = value.AsString();
    return &scratch;
}

// Checks every cell against what a cell holds and estimates the bytes of
// the sheets' XML; false with the reason at the first cell too long.
bool measure(const Workbook &wb, std::string &why, uint64_t &xmlBytes)
{
    xmlBytes = 0;
    std::string scratch;
    for (const Sheet &s : wb.Sheets) {
        bool fits = true;
        s.ForEachRow([&](int r, const std::vector<CellRef> &cells) {
            xmlBytes += 32;
            for (const CellRef &c : cells) {
                const std::string *t = textOf(*c.Value, scratch);
                // Each character of Windows-1252 takes up to 3 bytes of
                // UTF-8, and markup characters their escapes.
                xmlBytes += 48 + 6 * uint64_t(t->size());
                if (t->size() > kCellChars) {
                    why = "The cell " + ColumnName(c.Col + 1) + std::to_string(r + 1) + " of the sheet " + s.Name +
                          " holds " + officefiles::Grouped(int64_t(t->size())) + " characters, where a cell holds at most " +
                          officefiles::Grouped(int64_t(kCellChars)) + ".";
                    fits = false;
                    return false;
                }
            }
            return true;
        });
        if (!fits) return false;
    }
    return true;
}

} // namespace

bool Fits(const Workbook &wb, std::string &why)
{
    uint64_t bytes;
    return measure(wb, why, bytes);
}

bool WriteXlsx(const Workbook &wb, const std::string &path, std::string &err)
{
    uint64_t xmlBytes = 0;
    if (!measure(wb, err, xmlBytes)) return false;
    // The writer builds the file in a private folder of the system's
    // temporary folder, a row at a time (each sheet's rows are written to
    // its own temporary file as they come, none kept in memory), and the
    // finished file is copied into its place.
    officefiles::Destination out;
    if (!out.Open(path, err)) return false;
    const std::string tmp = out.ScratchFile("book.xlsx");
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(out.ScratchPath().c_str());
    // Parts beyond 4 GB need the zip format's 64-bit sizes; smaller files
    // keep the plain form that every reader knows.
    options.use_zip64 = xmlBytes >= (uint64_t(1) << 31) ? LXW_TRUE : LXW_FALSE;
    lxw_workbook *book = workbook_new_opt(tmp.c_str(), &options);
    if (!book) {
        err = "cannot create the temporary copy in " + out.ScratchPath() + ": " + officefiles::SystemReason();
        return false;
    }
    lxw_format *text = workbook_add_format(book);
    format_set_num_format(text, "@");

    lxw_error first = LXW_NO_ERROR;
    auto note = [&](lxw_error e) {
        if (e != LXW_NO_ERROR && first == LXW_NO_ERROR) first = e;
        return first == LXW_NO_ERROR;
    };
    std::string scratch;
    for (size_t i = 0; i < wb.Sheets.size() && first == LXW_NO_ERROR; ++i) {
        const Sheet &s = wb.Sheets[i];
        const std::string name = utf8(s.Name);
        lxw_worksheet *ws = workbook_add_worksheet(book, name.empty() ? nullptr : name.c_str());
        if (!ws) {
            note(LXW_ERROR_SHEETNAME_ALREADY_USED);
            break;
        }
        if (int(i) == wb.Active) worksheet_activate(ws);
        s.ForEachRow([&](int r, const std::vector<CellRef> &cells) {
            for (const CellRef &c : cells) {
                const std::string *v = textOf(*c.Value, scratch);
                const auto row = lxw_row_t(r);
                const auto col = lxw_col_t(c.Col);
                if (v->empty()) note(worksheet_write_blank(ws, row, col, text));
                else note(worksheet_write_string(ws, row, col, utf8(*v).c_str(), text));
            }
            return first == LXW_NO_ERROR;
        });
    }
    const lxw_error closed = workbook_close(book);
    note(closed);
    if (first != LXW_NO_ERROR) {
        err = std::string("cannot write the temporary copy in ") + out.ScratchPath() + ": " + lxw_strerror(first);
        return false;
    }
    return out.Commit(tmp, err);
}

// ---- reading ------------------------------------------------------------------------------------

namespace {

// A workbook is read within these bounds, checked before anything is
// allocated for it: a small file must not expand to gigabytes.
constexpr zip_uint64_t kMaxPartBytes = 16u * 1024u * 1024u;  // each XML part, unpacked
constexpr size_t kMaxCells = 100000;                           // cells of all sheets
constexpr size_t kMaxSharedStrings = kMaxCells;
constexpr qsizetype kMaxSharedChars = 8 * 1024 * 1024;
constexpr size_t kMaxSheets = 1024;
constexpr int kMaxRows = kSheetRows, kMaxCols = kSheetColumns;  // the sheet's own limits

class Archive {
public:
    explicit Archive(const std::string &path)
    {
        int e = 0;
        za_ = zip_open(path.c_str(), ZIP_RDONLY, &e);
    }
    ~Archive()
    {
        if (za_) zip_discard(za_);
    }
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;
    bool ok() const { return za_ != nullptr; }
    // The entry's bytes; false when it is missing, unreadable or larger
    // than a part may be (tooLarge() then tells).
    bool read(const std::string &name, QByteArray &out)
    {
        zip_stat_t st;
        if (zip_stat(za_, name.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) return false;
        if (st.size > kMaxPartBytes) {
            tooLarge_ = true;
            return false;
        }
        zip_file_t *f = zip_fopen(za_, name.c_str(), 0);
        if (!f) return false;
        out.resize(qsizetype(st.size));
        zip_int64_t got = st.size ? zip_fread(f, out.data(), st.size) : 0;
        zip_fclose(f);
        return got >= 0 && zip_uint64_t(got) == st.size;
    }

    bool tooLarge() const { return tooLarge_; }

private:
    zip_t *za_ = nullptr;
    bool tooLarge_ = false;
};

// Target of a relationship, as a name inside the archive.
std::string resolveTarget(const std::string &base, const QString &target)
{
    std::string t = target.toStdString();
    if (!t.empty() && t[0] == '/') return t.substr(1);
    std::vector<std::string> parts;
    std::string dir = base;
    size_t start = 0;
    auto push = [&](const std::string &seg) {
        if (seg == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
    };
    for (const std::string &src : {dir, t}) {
        start = 0;
        for (size_t i = 0; i <= src.size(); ++i) {
            if (i == src.size() || src[i] == '/') {
                push(src.substr(start, i - start));
                start = i + 1;
            }
        }
    }
    std::string r;
    for (const std::string &p : parts) r += (r.empty() ? "" : "/") + p;
    return r;
}

// Text of an <si> or <is> element: its <t> children and those of its runs,
// phonetic runs left out. The reader stands on the start element.
QString richText(QXmlStreamReader &x)
{
    QString text;
    const QString end = x.name().toString();
    int phonetic = 0;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement()) {
            if (x.name() == u"rPh") ++phonetic;
            else if (x.name() == u"t" && !phonetic) text += x.readElementText();
        } else if (x.isEndElement()) {
            if (x.name() == u"rPh") --phonetic;
            else if (x.name() == end) break;
        }
    }
    return text;
}

// "_x000D_" escapes of the file format.
QString unescape(const QString &s)
{
    if (!s.contains(u"_x")) return s;
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'_' && i + 6 < s.size() && s[i + 1] == u'x' && s[i + 6] == u'_') {
            bool ok = false;
            const uint code = s.mid(i + 2, 4).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(code));
                i += 6;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

} // namespace

bool ReadXlsx(const std::string &path, Workbook &wb, std::string &err)
{
    wb = Workbook();
    Archive zip(path);
    if (!zip.ok()) {
        err = "not a workbook";
        return false;
    }
    QByteArray data;
    const std::string tooLarge = "the workbook is too large to be read";
    if (!zip.read("xl/workbook.xml", data)) {
        err = zip.tooLarge() ? tooLarge : "not a workbook";
        return false;
    }

    // Sheets and the active one.
    std::vector<std::pair<QString, QString>> sheets;  // name, relationship id
    {
        QXmlStreamReader x(data);
        while (!x.atEnd()) {
            x.readNext();
            if (!x.isStartElement()) continue;
            if (x.name() == u"sheet") {
                if (sheets.size() >= kMaxSheets) {
                    err = tooLarge;
                    return false;
                }
                QString rid;
                for (const QXmlStreamAttribute &a : x.attributes())
                    if (a.name() == u"id") rid = a.value().toString();
                sheets.emplace_back(x.attributes().value(QLatin1String("name")).toString(), rid);
            } else if (x.name() == u"workbookView") {
                bool ok = false;
                const int tab = x.attributes().value(QLatin1String("activeTab")).toInt(&ok);
                if (ok) wb.Active = tab;
            }
        }
        if (x.hasError()) {
            err = "damaged workbook: " + x.errorString().toStdString();
            return false;
        }
    }
    std::map<QString, std::string> targets;
    if (zip.read("xl/_rels/workbook.xml.rels", data)) {
        QXmlStreamReader x(data);
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == u"Relationship")
                targets[x.attributes().value(QLatin1String("Id")).toString()] =
                    resolveTarget("xl", x.attributes().value(QLatin1String("Target")).toString());
        }
    }

    std::vector<QString> shared;
    if (zip.read("xl/sharedStrings.xml", data)) {
        QXmlStreamReader x(data);
        qsizetype chars = 0;
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == u"si") {
                QString text = unescape(richText(x));
                chars += text.size();
                if (shared.size() >= kMaxSharedStrings || chars > kMaxSharedChars) {
                    err = tooLarge;
                    return false;
                }
                shared.push_back(std::move(text));
            }
        }
    }
    if (zip.tooLarge()) {
        err = tooLarge;
        return false;
    }
    size_t cellCount = 0;

    for (size_t i = 0; i < sheets.size(); ++i) {
        Sheet sheet;
        sheet.Name = ToAnsi(sheets[i].first);
        auto t = targets.find(sheets[i].second);
        const std::string part = t != targets.end() ? t->second : "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml";
        if (!zip.read(part, data)) {
            err = zip.tooLarge() ? tooLarge : "damaged workbook: missing " + part;
            return false;
        }
        QXmlStreamReader x(data);
        // Row and column from 0; a row or cell without its number follows
        // the one before. Numbers are checked against the sheet's limits
        // before any arithmetic.
        int row = -1, nextCol = 0;
        const std::string outside = "damaged workbook: a cell lies outside the sheet";
        while (!x.atEnd()) {
            x.readNext();
            if (!x.isStartElement()) continue;
            if (x.name() == u"row") {
                const QXmlStreamAttributes attrs = x.attributes();
                const QStringView number = attrs.value(QLatin1String("r"));
                if (number.isEmpty()) {
                    if (row + 1 >= kMaxRows) {
                        err = outside;
                        return false;
                    }
                    ++row;
                } else {
                    bool ok = false;
                    const int r = number.toInt(&ok);
                    if (!ok || r < 1 || r > kMaxRows) {
                        err = outside;
                        return false;
                    }
                    row = r - 1;
                }
                nextCol = 0;
                continue;
            }
            if (x.name() != u"c") continue;
            int r = std::max(row, 0), c = nextCol;
            const std::string ref = x.attributes().value(QLatin1String("r")).toString().toStdString();
            int rr, cc;
            if (!ref.empty() && ParseCellRef(ref, rr, cc)) {
                r = rr - 1;
                c = cc - 1;
            }
            if (c >= kMaxCols) {
                err = outside;
                return false;
            }
            if (++cellCount > kMaxCells) {
                err = tooLarge;
                return false;
            }
            nextCol = c + 1;
            const QString type = x.attributes().value(QLatin1String("t")).toString();
            QString v;
            bool hasV = false, inlineText = false;
            while (!x.atEnd()) {
                x.readNext();
                if (x.isStartElement()) {
                    if (x.name() == u"v") {
                        v = x.readElementText();
                        hasV = true;
                    } else if (x.name() == u"is") {
                        v = unescape(richText(x));
                        inlineText = true;
                    } else if (x.name() == u"f") {
                        x.skipCurrentElement();
                    }
                } else if (x.isEndElement() && x.name() == u"c") {
                    break;
                }
            }
            ole::OleVariant value;
            if (type == u"inlineStr") {
                if (inlineText) value = ole::OleVariant(ToAnsi(v));
            } else if (type == u"s") {
                bool ok = false;
                const int idx = v.trimmed().toInt(&ok);
                if (hasV && ok && idx >= 0 && size_t(idx) < shared.size()) value = ole::OleVariant(ToAnsi(shared[size_t(idx)]));
            } else if (type == u"str" || type == u"d") {
                if (hasV) value = ole::OleVariant(ToAnsi(unescape(v)));
            } else if (type == u"b") {
                if (hasV) value = ole::OleVariant(v.trimmed() == u"1");
            } else if (type == u"e") {
                value = ole::OleVariant::Error(ErrorCodeOf(v.trimmed().toStdString()));
            } else if (hasV) {
                bool ok = false;
                const double d = v.trimmed().toDouble(&ok);
                value = ok ? ole::OleVariant(d) : ole::OleVariant(ToAnsi(v));
            }
            sheet.Cells[{r, c}] = value;
        }
        if (x.hasError()) {
            err = "damaged workbook: " + x.errorString().toStdString();
            return false;
        }
        wb.Sheets.push_back(std::move(sheet));
    }
    if (wb.Sheets.empty()) {
        err = "the workbook has no sheet";
        return false;
    }
    if (wb.Active < 0 || size_t(wb.Active) >= wb.Sheets.size()) wb.Active = 0;
    return true;
}

} // namespace xlsx
