#include "platform/XlsxIO.h"

#include "platform/Cp1252.h"
#include "platform/Rtl.h"

#include <xlsxwriter.h>
#include <zip.h>

#include <QXmlStreamReader>

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
    // The writer builds the file under a temporary name next to the target;
    // the target is replaced only when the file is complete.
    std::string tmp = path + ".tmpXXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
        err = std::strerror(errno);
        return false;
    }
    close(fd);

    lxw_workbook *book = workbook_new(tmp.c_str());
    if (!book) {
        err = "cannot create the workbook";
        unlink(tmp.c_str());
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
        unlink(tmp.c_str());
        return false;
    }
    const mode_t mask = umask(0);
    umask(mask);
    chmod(tmp.c_str(), 0666 & ~mask);
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        err = std::strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

// ---- reading ------------------------------------------------------------------------------------

namespace {

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
    // The entry's bytes; false when it is missing or unreadable.
    bool read(const std::string &name, QByteArray &out) const
    {
        zip_stat_t st;
        if (zip_stat(za_, name.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) return false;
        if (st.size > 512u * 1024u * 1024u) return false;
        zip_file_t *f = zip_fopen(za_, name.c_str(), 0);
        if (!f) return false;
        out.resize(qsizetype(st.size));
        zip_int64_t got = st.size ? zip_fread(f, out.data(), st.size) : 0;
        zip_fclose(f);
        return got >= 0 && zip_uint64_t(got) == st.size;
    }

private:
    zip_t *za_ = nullptr;
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
    if (!zip.read("xl/workbook.xml", data)) {
        err = "not a workbook";
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
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == u"si") shared.push_back(unescape(richText(x)));
        }
    }

    for (size_t i = 0; i < sheets.size(); ++i) {
        Sheet sheet;
        sheet.Name = ToAnsi(sheets[i].first);
        auto t = targets.find(sheets[i].second);
        const std::string part = t != targets.end() ? t->second : "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml";
        if (!zip.read(part, data)) {
            err = "damaged workbook: missing " + part;
            return false;
        }
        QXmlStreamReader x(data);
        int row = 0, nextCol = 0;
        while (!x.atEnd()) {
            x.readNext();
            if (!x.isStartElement()) continue;
            if (x.name() == u"row") {
                bool ok = false;
                const int r = x.attributes().value(QLatin1String("r")).toInt(&ok);
                row = ok && r >= 1 ? r - 1 : row + 1;
                nextCol = 0;
                continue;
            }
            if (x.name() != u"c") continue;
            int r = row, c = nextCol;
            const std::string ref = x.attributes().value(QLatin1String("r")).toString().toStdString();
            int rr, cc;
            if (!ref.empty() && ParseCellRef(ref, rr, cc)) {
                r = rr - 1;
                c = cc - 1;
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
