#include "platform/XlsxIO.h"

#include "platform/Cp1252.h"
#include "platform/FileIO.h"
#include "platform/Rtl.h"

#include <xlsxwriter.h>
#include <zip.h>

#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

bool ParseCellRef(const std::string &ref, int &row, int &col)
{
    size_t i = 0;
    if (i < ref.size() && ref[i] == '$') ++i;
    int64_t c = 0;
    size_t letters = 0;
    while (i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i]))) {
        c = c * 26 + (std::toupper(static_cast<unsigned char>(ref[i])) - 'A' + 1);
        ++i;
        if (++letters > 3) return false;
    }
    if (letters == 0) return false;
    if (i < ref.size() && ref[i] == '$') ++i;
    int64_t r = 0;
    size_t digits = 0;
    while (i < ref.size() && std::isdigit(static_cast<unsigned char>(ref[i]))) {
        r = r * 10 + (ref[i] - '0');
        ++i;
        if (++digits > 7) return false;
    }
    if (digits == 0 || i != ref.size() || r < 1 || r > 1048576 || c > 16384) return false;
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

// ---- writing ---------------------------------------------------------------------------------

namespace {

std::string utf8(const std::string &ansi) { return FromAnsi(ansi).toUtf8().toStdString(); }

} // namespace

bool WriteXlsx(const Workbook &wb, const std::string &path, std::string &err)
{
    // The writer builds the file in a private folder of the system's
    // temporary folder; the shared writer then puts it in place.
    const char *tmpRoot = std::getenv("TMPDIR");
    std::string folder = std::string(tmpRoot && *tmpRoot ? tmpRoot : "/tmp") + "/mixdeck-xlsx-XXXXXX";
    if (!mkdtemp(folder.data())) {
        err = std::strerror(errno);
        return false;
    }
    const std::string tmp = folder + "/book.xlsx";
    struct Cleanup {
        const std::string &folder, &tmp;
        ~Cleanup()
        {
            unlink(tmp.c_str());
            rmdir(folder.c_str());
        }
    } cleanup{folder, tmp};

    lxw_workbook_options options{};
    options.tmpdir = folder.data();
    lxw_workbook *book = workbook_new_opt(tmp.c_str(), &options);
    if (!book) {
        err = "cannot create the workbook";
        return false;
    }
    lxw_format *text = workbook_add_format(book);
    format_set_num_format(text, "@");

    lxw_error first = LXW_NO_ERROR;
    auto note = [&](lxw_error e) {
        if (e != LXW_NO_ERROR && first == LXW_NO_ERROR) first = e;
    };
    for (size_t i = 0; i < wb.Sheets.size(); ++i) {
        const Sheet &s = wb.Sheets[i];
        const std::string name = utf8(s.Name);
        lxw_worksheet *ws = workbook_add_worksheet(book, name.empty() ? nullptr : name.c_str());
        if (!ws) {
            note(LXW_ERROR_SHEETNAME_ALREADY_USED);
            continue;
        }
        if (int(i) == wb.Active) worksheet_activate(ws);
        for (const auto &[pos, value] : s.Cells) {
            const auto row = lxw_row_t(pos.first);
            const auto col = lxw_col_t(pos.second);
            std::string v;
            if (value.Type() != ole::VarType::Error && value.Type() != ole::VarType::Array &&
                value.Type() != ole::VarType::Dispatch)
                v = value.AsString();
            if (v.empty()) note(worksheet_write_blank(ws, row, col, text));
            else note(worksheet_write_string(ws, row, col, utf8(v).c_str(), text));
        }
    }
    const lxw_error closed = workbook_close(book);
    note(closed);
    if (first != LXW_NO_ERROR) {
        err = lxw_strerror(first);
        return false;
    }
    std::string bytes;
    if (!fileio::ReadFile(tmp, bytes) || !fileio::AtomicWriteFile(path, bytes)) {
        err = std::strerror(errno);
        return false;
    }
    return true;
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
constexpr int kMaxRows = 1048576, kMaxCols = 16384;            // the sheet's own limits

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
