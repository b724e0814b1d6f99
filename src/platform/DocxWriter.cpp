#include "platform/DocxWriter.h"

#include "platform/Cp1252.h"
#include "platform/FileIO.h"

#include <zip.h>

#include <cerrno>
#include <cstring>

namespace docx {

namespace {

const char *kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

// Text width of a Letter page with one-inch margins, in twentieths of a point.
constexpr int kTextWidth = 9360;

std::vector<std::string> splitParagraphs(const std::string &s)
{
    std::vector<std::string> out(1);
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

const char *jcValue(int alignment)
{
    switch (alignment) {
    case 1: return "center";
    case 2: return "right";
    case 3: return "both";
    default: return nullptr;
    }
}

// One paragraph: runs split at tabs.
void paragraph(std::string &x, const std::string &text, int alignment)
{
    x += "<w:p>";
    if (const char *jc = jcValue(alignment)) x += std::string("<w:pPr><w:jc w:val=\"") + jc + "\"/></w:pPr>";
    if (!text.empty()) {
        x += "<w:r>";
        std::string piece;
        auto flush = [&] {
            if (!piece.empty()) x += "<w:t xml:space=\"preserve\">" + XmlText(piece) + "</w:t>";
            piece.clear();
        };
        for (char c : text) {
            if (c == '\t') {
                flush();
                x += "<w:tab/>";
            } else {
                piece += c;
            }
        }
        flush();
        x += "</w:r>";
    }
    x += "</w:p>";
}

void cellParagraphs(std::string &x, const Cell &cell)
{
    for (const std::string &p : splitParagraphs(cell.Text)) paragraph(x, p, cell.Alignment);
}

void table(std::string &x, const Table &t)
{
    const int colWidth = t.Cols > 0 ? kTextWidth / t.Cols : kTextWidth;
    x += "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/><w:tblBorders>";
    for (const char *side : {"top", "left", "bottom", "right", "insideH", "insideV"})
        x += std::string("<w:") + side + " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"auto\"/>";
    x += "</w:tblBorders><w:tblLook w:val=\"04A0\"/></w:tblPr><w:tblGrid>";
    for (int c = 0; c < t.Cols; ++c) x += "<w:gridCol w:w=\"" + std::to_string(colWidth) + "\"/>";
    x += "</w:tblGrid>";
    for (int r = 0; r < t.Rows; ++r) {
        x += "<w:tr>";
        for (int c = 0; c < t.Cols; ++c) {
            x += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(colWidth) + "\" w:type=\"dxa\"/></w:tcPr>";
            cellParagraphs(x, t.At(r, c));
            x += "</w:tc>";
        }
        x += "</w:tr>";
    }
    x += "</w:tbl>";
}

const char *kContentTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "</Types>";

const char *kRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/>"
    "</Relationships>";

} // namespace

std::string XmlText(const std::string &ansi)
{
    const QString u = FromAnsi(ansi);
    QString kept;
    kept.reserve(u.size());
    for (QChar ch : u) {
        const char16_t c = ch.unicode();
        if (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) continue;
        if (c == 0xFFFE || c == 0xFFFF) continue;
        kept += ch;
    }
    const QByteArray utf8 = kept.toUtf8();
    std::string out;
    out.reserve(size_t(utf8.size()));
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string DocumentXml(const Document &doc)
{
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    x += std::string("<w:document xmlns:w=\"") + kW + "\"><w:body>";
    for (const Block &b : doc.Body) {
        if (b.IsTable()) table(x, b.Tbl);
        else cellParagraphs(x, b.Paragraph);
    }
    // The body always ends with a paragraph (a table may not end it).
    x += "<w:p/>";
    x += "<w:sectPr><w:pgSz w:w=\"12240\" w:h=\"15840\"/>"
         "<w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\" w:left=\"1440\" w:header=\"720\" "
         "w:footer=\"720\" w:gutter=\"0\"/></w:sectPr>";
    x += "</w:body></w:document>";
    return x;
}

std::string PackageBytes(const Document &doc, std::string &err)
{
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t *src = zip_source_buffer_create(nullptr, 0, 0, &ze);
    if (!src) {
        err = zip_error_strerror(&ze);
        zip_error_fini(&ze);
        return std::string();
    }
    zip_source_keep(src);
    zip_t *za = zip_open_from_source(src, ZIP_TRUNCATE, &ze);
    if (!za) {
        err = zip_error_strerror(&ze);
        zip_error_fini(&ze);
        zip_source_free(src);
        return std::string();
    }
    zip_error_fini(&ze);

    // The buffers must live until the archive is closed.
    const std::vector<std::pair<const char *, std::string>> parts = {
        {"[Content_Types].xml", kContentTypes},
        {"_rels/.rels", kRels},
        {"word/document.xml", DocumentXml(doc)},
    };
    bool ok = true;
    for (const auto &p : parts) {
        zip_source_t *s = zip_source_buffer(za, p.second.data(), p.second.size(), 0);
        if (!s || zip_file_add(za, p.first, s, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            if (s) zip_source_free(s);
            err = zip_strerror(za);
            ok = false;
            break;
        }
    }
    if (!ok) {
        zip_discard(za);
        zip_source_free(src);
        return std::string();
    }
    if (zip_close(za) < 0) {
        err = zip_strerror(za);
        zip_discard(za);
        zip_source_free(src);
        return std::string();
    }

    std::string bytes;
    zip_stat_t st;
    if (zip_source_stat(src, &st) == 0 && (st.valid & ZIP_STAT_SIZE) && zip_source_open(src) == 0) {
        bytes.resize(size_t(st.size));
        zip_int64_t got = zip_source_read(src, bytes.data(), st.size);
        zip_source_close(src);
        if (got < 0 || zip_uint64_t(got) != st.size) {
            err = "cannot read the archive";
            bytes.clear();
        }
    } else {
        err = "cannot read the archive";
    }
    zip_source_free(src);
    return bytes;
}

bool WriteDocx(const Document &doc, const std::string &path, std::string &err)
{
    const std::string bytes = PackageBytes(doc, err);
    if (bytes.empty()) return false;
    if (!fileio::AtomicWriteFile(path, bytes)) {
        err = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace docx
