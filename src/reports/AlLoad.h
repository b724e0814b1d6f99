#pragma once
// Report layouts stored in files, and report forms made by the program.
//
// A stored layout is text in Windows-1252 bytes, lines ending in CR LF, LF
// or CR. It names each component by class and name, nests a band's
// controls inside the band, and gives the properties that differ from the
// defaults:
//
//   object CoverForm: TAlReportForm
//     object Cover: TAlReport
//       ReportTitle = 'TAPECOVER'
//     end
//     object Title: tAlBand
//       Height = 485
//       object SideALbl: TAlLabel
//         Left = 44
//         Caption = 'SIDE A'
//         Font.Style = [fsBold]
//       end
//     end
//   end
//
// Values are numbers (decimal or $hex), identifiers (alr_Title, True,
// clWhite), strings ('it''s', with #176 for a character by code, pieces
// joined without blanks), sets ([fsBold, fsItalic]) and binary data
// ({89504E47...}, for a picture's bytes). Lines starting with ";" are
// comments. A detail link names its bands and field by component name.
#include "reports/Alrep.h"

#include <functional>
#include <memory>
#include <string>

// Largest stored layout read, in bytes; a larger file is refused before it
// is read.
constexpr size_t kMaxReportFileSize = 4 * 1024 * 1024;

// Reads a stored layout into a new form. Throws Exception with the line of
// the fault on anything that is not a valid layout.
std::unique_ptr<TAlReportForm> ReadReportLayout(const std::string &text);

// Loads the stored layout of fileName. False at once, without a message,
// when there is no such file. Otherwise the form read from it goes to
// `form`, its first report to `report`, and the result says whether a
// report was found (its form-name fields then print the file's name). A
// file that cannot be read as a layout shows its error in an error box and
// gives False, with `form` and `report` left as they were.
bool LoadReport(const std::string &fileName, TAlReport *&report, std::unique_ptr<TAlReportForm> &form);

// The same for a form the program makes itself (its layout built in code).
using TAlReportFormClass = std::function<std::unique_ptr<TAlReportForm>()>;
bool LoadReportRes(const TAlReportFormClass &formClass, TAlReport *&report,
                   std::unique_ptr<TAlReportForm> &form);

// Every form-name system field of the form gets the file's name without
// its folder as caption.
void SetFormNameFields(TAlReportForm &form, const std::string &fileName);
