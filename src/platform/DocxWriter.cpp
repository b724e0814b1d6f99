#include "platform/DocxWriter.h"

#include "platform/Cp1252.h"
#include "platform/FileIO.h"
#include "platform/OfficeServersFiles.h"

#include <zip.h>

#include <algorithm>
#include <cstring>

namespace docx {

namespace {

const char *kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

// Text width of a Letter page with one-inch margins, in twentieths of a point.
constexpr int kTextWidth = 9360;

// zlib's own default: the document part of a big table packs a third
// faster than at libzip's strongest level, for a file a tenth larger.
constexpr zip_uint32_t kDeflateLevel = 6;

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

int columnWidth(const Table &t) { return t.Cols > 0 ? kTextWidth / t.Cols : kTextWidth; }

void tableStart(std::string &x, const Table &t)
{
    const std::string width = std::to_string(columnWidth(t));
    x += "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/><w:tblBorders>";
    for (const char *side : {"top", "left", "bottom", "right", "insideH", "insideV"})
        x += std::string("<w:") + side + " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"auto\"/>";
    x += "</w:tblBorders><w:tblLook w:val=\"04A0\"/></w:tblPr><w:tblGrid>";
    for (int c = 0; c < t.Cols; ++c) x += "<w:gridCol w:w=\"" + width + "\"/>";
    x += "</w:tblGrid>";
}

void tableRow(std::string &x, const Table &t, int r)
{
    static const Cell empty;
    const std::string cellStart = "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(columnWidth(t)) + "\" w:type=\"dxa\"/></w:tcPr>";
    x += "<w:tr>";
    for (int c = 0; c < t.Cols; ++c) {
        x += cellStart;
        const Cell *cell = t.Find(r, c);
        cellParagraphs(x, cell ? *cell : empty);
        x += "</w:tc>";
    }
    x += "</w:tr>";
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

// ---- tables ---------------------------------------------------------------------------

Cell &Table::At(int row, int col)
{
    std::vector<Cell> &cells = rows_[row];
    if (cells.size() <= size_t(col)) cells.resize(size_t(col) + 1);
    return cells[size_t(col)];
}

const Cell *Table::Find(int row, int col) const
{
    auto it = rows_.find(row);
    if (it == rows_.end() || it->second.size() <= size_t(col)) return nullptr;
    return &it->second[size_t(col)];
}

// ---- the document's XML -----------------------------------------------------------------

bool DocumentXmlPieces::Next(std::string &out)
{
    switch (step_) {
    case 0:
        out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
        out += std::string("<w:document xmlns:w=\"") + kW + "\"><w:body>";
        step_ = 1;
        return true;
    case 1: {
        if (block_ >= doc_.Body.size()) {
            step_ = 2;
            return Next(out);
        }
        const Block &b = doc_.Body[block_];
        if (!b.IsTable()) {
            cellParagraphs(out, b.Paragraph);
            ++block_;
            return true;
        }
        const Table &t = *b.Tbl;
        if (row_ < 0) {
            tableStart(out, t);
            row_ = 0;
        } else if (row_ < t.Rows) {
            tableRow(out, t, row_++);
        } else {
            out += "</w:tbl>";
            row_ = -1;
            ++block_;
        }
        return true;
    }
    case 2:
        // The body always ends with a paragraph (a table may not end it).
        out += "<w:p/>";
        out += "<w:sectPr><w:pgSz w:w=\"12240\" w:h=\"15840\"/>"
               "<w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\" w:left=\"1440\" w:header=\"720\" "
               "w:footer=\"720\" w:gutter=\"0\"/></w:sectPr>";
        out += "</w:body></w:document>";
        step_ = 3;
        return true;
    default: return false;
    }
}

namespace {

// word/document.xml as a source of libzip that produces the XML while the
// archive is written: its size is counted first in a pass of its own, so
// that the archive records it as any other part's.
class DocumentSource {
public:
    explicit DocumentSource(const Document &doc) : doc_(doc)
    {
        zip_error_init(&error_);
        DocumentXmlPieces count(doc);
        std::string piece;
        while (count.Next(piece)) {
            size_ += piece.size();
            piece.clear();
        }
    }

    ~DocumentSource() { zip_error_fini(&error_); }
    DocumentSource(const DocumentSource &) = delete;
    DocumentSource &operator=(const DocumentSource &) = delete;

    static zip_int64_t callback(void *state, void *data, zip_uint64_t len, zip_source_cmd_t cmd)
    {
        return static_cast<DocumentSource *>(state)->run(data, len, cmd);
    }

private:
    zip_int64_t run(void *data, zip_uint64_t len, zip_source_cmd_t cmd)
    {
        switch (cmd) {
        case ZIP_SOURCE_OPEN:
            pieces_ = std::make_unique<DocumentXmlPieces>(doc_);
            pending_.clear();
            at_ = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            auto *to = static_cast<char *>(data);
            zip_uint64_t done = 0;
            while (done < len) {
                if (at_ == pending_.size()) {
                    pending_.clear();
                    at_ = 0;
                    if (!pieces_ || !pieces_->Next(pending_)) break;
                    continue;
                }
                const size_t n = std::min<size_t>(size_t(len - done), pending_.size() - at_);
                std::memcpy(to + done, pending_.data() + at_, n);
                at_ += n;
                done += n;
            }
            return zip_int64_t(done);
        }
        case ZIP_SOURCE_CLOSE:
            pieces_.reset();
            pending_.clear();
            return 0;
        case ZIP_SOURCE_STAT: {
            auto *st = static_cast<zip_stat_t *>(data);
            zip_stat_init(st);
            st->size = size_;
            st->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR: return zip_error_to_data(&error_, data, len);
        case ZIP_SOURCE_FREE: return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

    const Document &doc_;
    zip_uint64_t size_ = 0;
    std::unique_ptr<DocumentXmlPieces> pieces_;
    std::string pending_;
    size_t at_ = 0;
    zip_error_t error_;
};

} // namespace

bool WriteDocx(const Document &doc, const std::string &path, std::string &err)
{
    officefiles::Destination out;
    if (!out.Open(path, err)) return false;
    const std::string tmp = out.ScratchFile("document.docx");
    int code = 0;
    zip_t *za = zip_open(tmp.c_str(), ZIP_CREATE | ZIP_EXCL, &code);
    if (!za) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, code);
        err = "cannot create the temporary copy in " + out.ScratchPath() + ": " + zip_error_strerror(&ze);
        zip_error_fini(&ze);
        return false;
    }
    DocumentSource document(doc);
    // Each part's index in the archive, or -1 when it could not be added.
    auto add = [&](const char *name, zip_source_t *s) -> zip_int64_t {
        const zip_int64_t index = s ? zip_file_add(za, name, s, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0 && s) zip_source_free(s);
        return index;
    };
    zip_int64_t body = -1;
    const bool added = add("[Content_Types].xml", zip_source_buffer(za, kContentTypes, std::strlen(kContentTypes), 0)) >= 0 &&
                       add("_rels/.rels", zip_source_buffer(za, kRels, std::strlen(kRels), 0)) >= 0 &&
                       (body = add("word/document.xml", zip_source_function(za, &DocumentSource::callback, &document))) >= 0 &&
                       zip_set_file_compression(za, zip_uint64_t(body), ZIP_CM_DEFLATE, kDeflateLevel) == 0;
    if (!added || zip_close(za) < 0) {
        err = "cannot write the temporary copy in " + out.ScratchPath() + ": " + zip_strerror(za);
        zip_discard(za);
        return false;
    }
    return out.Commit(tmp, err);
}

} // namespace docx
