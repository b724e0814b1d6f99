#pragma once
// The in-process automation servers behind "word.application" and
// "excel.application": small object models that accept the word
// processor's and the spreadsheet's calls by name and keep their documents
// in memory until SaveAs writes a real .docx (DocxWriter) or .xlsx
// (XlsxIO); the spreadsheet opens .xlsx files too.
//
// Word: Application.Documents.Add -> Document; Document.Range(start, end),
// .Tables.Add(range, numrows, numcolumns) -> Table; Table.Cell(row, column)
// .Range.InsertAfter(text) and .Range.ParagraphFormat.Alignment;
// Document.SaveAs(FileName); Application.Quit.
// Excel: Application.WorkBooks.Add / .Open(FileName) -> Workbook;
// Workbook.WorkSheets.Add, .ActiveSheet, .SaveAs(FileName),
// .Close(SaveChanges); Worksheet.Range(address), .UsedRange; Range.Value
// (read and write, two-dimensional arrays from 1 when read), .Address;
// Application.Quit.
#include "platform/OleAuto.h"

namespace ole {
DispatchPtr NewWordApplication();
DispatchPtr NewExcelApplication();
}
