#pragma once
// Printing of the enhanced list: the column captions as a header row and
// every item as a row of cells, to a printer or as a preview of the first
// page into any painter.
//
// The layout works in page units of 0.1 mm with y growing upwards: the top
// of the page is y = 0 and lower lines have negative y. Columns that do not
// fit side by side go onto further pages in vertical strips; a strip runs
// through all rows, breaking pages as they fill.
//
// The pure arithmetic of the layout is in ListPrint; the run itself (in
// EnhListPrint.cpp) measures and draws through the list.
#include "controls/EnhListData.h"
#include "platform/Rtl.h"

#include <QRect>
#include <array>
#include <string>
#include <utility>
#include <vector>

class QPrinter;

namespace ListPrint {

// Round to the nearest integer, a half going to the even neighbour.
int Round(double v);
// Points to page units and back: Round(Size x 254 / 72), Round(Height x 72 / 254).
int MapFontHeight(int Size);
int MapFontSize(int Height);
// The point size of a font description (its pixel height taken at 96 pixels
// per inch when it gives one).
int PointSize(const TFontDesc &font);

// Header and footer texts of a page, indexed by TPrintPosition (entry
// ppNone stays empty): time ("hh:nn"), date (DateFormat), page number
// (PagePrefix, the number, PageSuffix) and title, each joined to the text
// already at its place with one blank, in front at the left places and
// behind at the others.
using PageTexts = std::array<std::string, 7>;
PageTexts HeaderFooterTexts(const TPrintsettings &ps, int pageNumber, Rtl::TDateTime now);

// The factor that fits columns of the given total width into `available`
// page units, as FitToPage says: 1 when nothing is to change (fpNever, a
// factor the mode does not allow, or a total width of 0 or less, which has
// nothing to scale). Never negative. fpCustom gives the plain factor; the
// caller asks the list's handler.
double FitFactor(TFitToPage mode, long long available, long long totalWidth);

// The strips of columns: first and last column of each. A strip takes
// columns while the running sum of (width + spacing) stays within `limit`;
// every strip holds at least one column (a column wider than the page is
// printed alone and cut at the page's edge) and at most MaxStripColumns.
constexpr int MaxStripColumns = 255;
std::vector<std::pair<int, int>> Strips(const std::vector<int> &widths, int spacing, int limit);

// The offsets of a strip's columns a..b (and the right edge after b), as
// entries a..b+1 of `offsets`, which must hold at least b+2 entries.
void StripOffsets(const std::vector<int> &widths, int a, int b, int spacing, int left, bool centered,
                  int pageWidth, std::vector<int> &offsets);

} // namespace ListPrint

// One page as the last print run laid it out (for the program and tests that
// want to know where things went): the number shown on it, its strip and
// the rows printed on it with the top y of each (row -1 is the header row).
struct TListPrintPage {
    int Number = 0;
    int FirstCol = 0, LastCol = -1;
    std::vector<std::pair<int, int>> Rows;
    ListPrint::PageTexts Texts;
};

// What printing keeps in the list between runs.
struct TListPrintState {
    // Width and offset in page units of every column for the current run
    // (offsets on the column's strip; the entry after a strip's last column
    // holds its right edge).
    std::vector<int> Widths, Offsets;
    QRect PreviewRect;
    std::vector<TListPrintPage> Pages;
};

// The printer of Print() without arguments: the system's default printer,
// made on first use.
QPrinter &ListPrinter();
