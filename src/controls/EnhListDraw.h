#pragma once
// Owner drawing of the enhanced list view: the text-drawing flags of cells,
// the cell kinds (rich text, markup, web address), the check-box and image
// placement of a cell, and text output with the flags on a QPainter. The
// row and header painting that use them are members of TEnhListView
// (EnhListDraw.cpp).
#include "controls/EnhListData.h"
#include "platform/Graphics.h"

#include <QRect>
#include <QSize>

#include <cstdint>
#include <string>

class QPainter;
class QFont;

namespace EnhListDraw {

// Text-output flags (the standard values).
enum : uint32_t {
    DT_LEFT = 0, DT_CENTER = 1, DT_RIGHT = 2, DT_VCENTER = 4, DT_BOTTOM = 8, DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40, DT_NOCLIP = 0x100, DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800,
    DT_EDITCONTROL = 0x2000, DT_END_ELLIPSIS = 0x8000
};
// By column alignment left, right, centre.
extern const uint32_t Alignments[3];
// By WordWrap false, true.
extern const uint32_t WordWraps[2];
// By "the text holds a carriage return": yes, no.
extern const uint32_t EndEllips[2];
// Expand tabs, no prefix, edit-control line handling.
constexpr uint32_t CellTextFlags = DT_EXPANDTABS | DT_NOPREFIX | DT_EDITCONTROL;
// Vertical flag of a VAlignment.
uint32_t VAlignFlag(TVAlignment v);
// All flags of a plain cell text.
uint32_t CellFlags(const std::string &text, bool wordWrap, TVAlignment v, TAlignment columnAlignment);

// Cell kinds.
inline bool IsRichText(const std::string &t) { return t.size() >= 2 && t[0] == '{' && t[1] == '\\'; }
inline bool IsMarkup(const std::string &t) { return t.find("</") != std::string::npos; }
bool IsURLCell(const std::string &t);
// The shown text of a web-address cell without URLFull: the scheme and
// "mailto:" left out.
std::string ShortURL(const std::string &t);

// Top of a box of height h in a cell from top to bottom by VAlignment;
// centred only when the box is lower than the cell.
int PlaceVertically(TVAlignment v, int top, int bottom, int h);
// The check box of the first displayed cell: the glyph's size when both
// glyphs are set (glyph is their size), else 14 x 14; 2 pixels inside.
QRect CheckBoxRect(const QRect &cell, TVAlignment v, QSize glyph);
// How far the text moves right past the check box.
inline int CheckBoxAdvance(QSize glyph) { return glyph.isEmpty() ? 18 : glyph.width() + 4; }
// Top of an image of height h in a cell: by VAlignment, the cell top when
// the offset is negative or larger than itemHeight.
int ImageTop(TVAlignment v, const QRect &cell, int h, int itemHeight);

// Draws a text with the flags into the rectangle with margins of 2 pixels
// left and right; no background.
void DrawFlaggedText(QPainter &p, const QRect &r, const std::string &text, uint32_t flags);

} // namespace EnhListDraw

#include <QHeaderView>

class TEnhListView;

// The header of the enhanced list view: draws the sort indicator (header
// image 0/1 or the glyphs, on the side SortIndicator names) and, with
// HeaderOwnerDraw, whole items through the list.
// The face of a hot (pointed at) header section.
QColor HotHeaderColor(const QPalette &palette);

class TEnhHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TEnhHeader(TEnhListView *list);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    TEnhListView *list_;
};
