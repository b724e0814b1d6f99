#pragma once
// A minimal WordprocessingML (.docx) writer: body paragraphs and tables
// whose cells hold text paragraphs with an alignment. Texts are
// Windows-1252 bytes; a CR LF, CR or LF in a text starts a new paragraph.
// The document's XML is produced a row at a time while it is zipped, never
// whole in memory.
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace docx {

// Paragraph alignment as the word processor numbers it: 0 left, 1 centred,
// 2 right, 3 justified.
struct Cell {
    std::string Text;
    int Alignment = 0;
};

// A table of Rows by Cols cells. Only the cells written to take memory: a
// table of many rows costs nothing until its cells are filled.
struct Table {
    int Rows = 0;
    int Cols = 0;
    // The cell (from 0), made empty on first use.
    Cell &At(int row, int col);
    // The cell, or nullptr when it was never written to (an empty cell).
    const Cell *Find(int row, int col) const;

private:
    std::map<int, std::vector<Cell>> rows_;  // by row; a row as long as its last used cell
};

// A block of the body: a table, or a paragraph when Tbl is empty.
struct Block {
    std::shared_ptr<Table> Tbl;
    Cell Paragraph;
    bool IsTable() const { return Tbl != nullptr; }
};

struct Document {
    std::vector<Block> Body;
};

// The XML of word/document.xml, a piece at a time: each Next() call appends
// the next piece (the start, one table row, one paragraph, the end) to out
// and returns false when there is none left.
class DocumentXmlPieces {
public:
    explicit DocumentXmlPieces(const Document &doc) : doc_(doc) {}
    bool Next(std::string &out);

private:
    const Document &doc_;
    int step_ = 0;       // 0 start, 1 body, 2 end, 3 done
    size_t block_ = 0;   // in the body
    int row_ = -1;       // in a table: -1 its start, Rows its end
};

// Writes the package; the old file is replaced atomically, and the target
// is checked before anything is built. False (err set to the system's
// reason) when the file cannot be written.
bool WriteDocx(const Document &doc, const std::string &path, std::string &err);

// Text as XML character data: UTF-8, markup characters escaped, characters
// XML forbids dropped.
std::string XmlText(const std::string &ansi);

} // namespace docx
