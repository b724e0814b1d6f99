#pragma once
// Spreadsheet files (.xlsx): written through libxlsxwriter with every cell
// as text (so "007" stays "007"), read back with libzip and a streaming XML
// reader (shared strings, inline strings, numbers, Booleans, error values).
// Texts are Windows-1252 bytes.
#include "platform/OleAuto.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace xlsx {

// What a sheet of the file format holds at most.
inline constexpr int kSheetRows = 1048576;
inline constexpr int kSheetColumns = 16384;
// Characters of one cell's text.
inline constexpr size_t kCellChars = 32767;

// A rectangle of cells written at once, kept as it was handed over: cell
// (Row + r, Col + c) is element (LowBound(1) + Skip.first + r,
// LowBound(2) + Skip.second + c) of Values when Values is an array (#N/A
// beyond its bounds, as the spreadsheet fills a block larger than its
// array), else Values itself. (Skip is non-zero for what is left of a
// block after part of it was written over.)
struct Block {
    int Row = 0, Col = 0, Rows = 1, Cols = 1;  // first cell from 0, size
    ole::OleVariant Values;
    std::pair<int, int> Skip{0, 0};
    // The value of the cell r rows and c columns into the block.
    const ole::OleVariant &At(int r, int c) const;
    bool Holds(int row, int col) const
    {
        return row >= Row && int64_t(row) - Row < Rows && col >= Col && int64_t(col) - Col < Cols;
    }
};

// A cell of a row: its column (from 0) and value.
struct CellRef {
    int Col;
    const ole::OleVariant *Value;
};

struct Sheet {
    std::string Name;
    // Single cells by (row, column), both counted from 0.
    std::map<std::pair<int, int>, ole::OleVariant> Cells;
    // Blocks written whole; they cover no cell of Cells nor of each other
    // (Write keeps it so). Empty values in them are no cells.
    std::vector<Block> Blocks;

    // The cell's value; nullptr for a cell that holds nothing.
    const ole::OleVariant *Find(int row, int col) const;
    // Writes a value to one cell (an empty value clears it).
    void Write(int row, int col, ole::OleVariant value);
    // Writes a block: what it covers is replaced. A block of more than one
    // cell is kept as it is, its values shared, not copied cell by cell.
    void Write(Block block);
    // The bounds of the cells that hold something; false when none does.
    bool UsedBounds(int &firstRow, int &firstCol, int &lastRow, int &lastCol) const;
    // Calls row(r, cells) for every row that holds something, rows in order
    // and each row's cells by column; stops when row returns false.
    void ForEachRow(const std::function<bool(int, const std::vector<CellRef> &)> &row) const;
};

struct Workbook {
    std::vector<Sheet> Sheets;
    int Active = 0;
};

// Whether the file format can hold the workbook: a text no longer than a
// cell holds. False with the reason (the cell and the numbers) when not.
bool Fits(const Workbook &wb, std::string &why);
// Writes the workbook, replacing an old file only once the new one is
// complete; the target is checked first, before anything is built. Values
// are written as text cells; empty texts as blank text cells, so the
// sheet's block covers them. The rows go to the file as they are produced,
// not gathered in memory first. False with the system's reason in err.
bool WriteXlsx(const Workbook &wb, const std::string &path, std::string &err);
// Reads every sheet's cells; false (err set) when the file is no workbook.
bool ReadXlsx(const std::string &path, Workbook &wb, std::string &err);

// Error values as the spreadsheet numbers them (#DIV/0! is 2007).
int ErrorCodeOf(const std::string &text);

// Column letters of a column counted from 1 ("A", "Z", "AA", ...).
std::string ColumnName(int col);
// "B3" or "$B$3" -> row 3, column 2 (from 1); false when it is no reference.
bool ParseCellRef(const std::string &ref, int &row, int &col);
// The same, without the sheet's bounds: any row and column numbers up to
// 2^31 - 1 (a reference beyond the sheet gives its numbers, so that the
// caller can say so); false when it is no reference.
bool ParseCellRefUnbounded(const std::string &ref, int64_t &row, int64_t &col);

} // namespace xlsx
