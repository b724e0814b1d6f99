#pragma once
// Spreadsheet files (.xlsx): written through libxlsxwriter with every cell
// as text (so "007" stays "007"), read back with libzip and a streaming XML
// reader (shared strings, inline strings, numbers, Booleans, error values).
// Texts are Windows-1252 bytes.
#include "platform/OleAuto.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace xlsx {

struct Sheet {
    std::string Name;
    // By (row, column), both counted from 0.
    std::map<std::pair<int, int>, ole::OleVariant> Cells;
};

struct Workbook {
    std::vector<Sheet> Sheets;
    int Active = 0;
};

// Writes the workbook, replacing an old file only once the new one is
// complete. Values are written as text cells; empty texts as blank text
// cells, so the sheet's block covers them.
bool WriteXlsx(const Workbook &wb, const std::string &path, std::string &err);
// Reads every sheet's cells; false (err set) when the file is no workbook.
bool ReadXlsx(const std::string &path, Workbook &wb, std::string &err);

// Error values as the spreadsheet numbers them (#DIV/0! is 2007).
int ErrorCodeOf(const std::string &text);

// Column letters of a column counted from 1 ("A", "Z", "AA", ...).
std::string ColumnName(int col);
// "B3" or "$B$3" -> row 3, column 2 (from 1); false when it is no reference.
bool ParseCellRef(const std::string &ref, int &row, int &col);

} // namespace xlsx
