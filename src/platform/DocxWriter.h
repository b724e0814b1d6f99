#pragma once
// A minimal WordprocessingML (.docx) writer: body paragraphs and tables
// whose cells hold text paragraphs with an alignment. Texts are
// Windows-1252 bytes; a CR LF, CR or LF in a text starts a new paragraph.
#include <string>
#include <vector>

namespace docx {

// Paragraph alignment as the word processor numbers it: 0 left, 1 centred,
// 2 right, 3 justified.
struct Cell {
    std::string Text;
    int Alignment = 0;
};

struct Table {
    int Rows = 0;
    int Cols = 0;
    std::vector<Cell> Cells;  // row by row, Rows * Cols entries
    Cell &At(int row, int col) { return Cells[size_t(row) * size_t(Cols) + size_t(col)]; }
    const Cell &At(int row, int col) const { return Cells[size_t(row) * size_t(Cols) + size_t(col)]; }
};

// A block of the body: a table, or a paragraph when Table.Rows is 0.
struct Block {
    Table Tbl;
    Cell Paragraph;
    bool IsTable() const { return Tbl.Rows > 0; }
};

struct Document {
    std::vector<Block> Body;
};

// The XML of word/document.xml.
std::string DocumentXml(const Document &doc);
// The whole package, zipped; empty (and err set) when zipping fails.
std::string PackageBytes(const Document &doc, std::string &err);
// Writes the package; the old file is replaced atomically. False (err set)
// when the file cannot be written.
bool WriteDocx(const Document &doc, const std::string &path, std::string &err);

// Text as XML character data: UTF-8, markup characters escaped, characters
// XML forbids dropped.
std::string XmlText(const std::string &ansi);

} // namespace docx
