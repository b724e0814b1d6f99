#pragma once
// The cell markup painter: a small HTML-like dialect in list cells, header
// captions and hints. One routine lays a markup text out line by line and
// paints it, measures it, strips it to plain text or tells which anchor lies
// under a point.
//
// The painter draws through THTMLCanvas, so that layout and hit tests can be
// checked with fixed metrics (TFixedHTMLCanvas) and real painting goes
// through QPainter (TQtHTMLCanvas).
#include "controls/EnhListData.h"
#include "platform/Graphics.h"

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QSize>

#include <string>
#include <vector>

class QPainter;
class QPaintDevice;
class THTMLPicture;
class THTMLPictureCache;
class TPictureContainer;

// ---- the drawing surface ------------------------------------------------------------
// The current font (with its rotation) and brush are state of the canvas, as
// on a device context; the painter changes them and restores them at the end.
class THTMLCanvas {
public:
    virtual ~THTMLCanvas() = default;

    TFontDesc Font;
    // Rotation of the font in tenths of a degree (0: none).
    int FontAngle = 0;
    // Background of text output; clNone draws text transparently.
    TColor BrushColor = clWindow;

    // Size of one line of text in the current font. The text is shown as
    // given (no prefix characters).
    virtual QSize TextExtent(const std::string &text) = 0;
    // One line of text in the current font and brush, its top-left at the
    // rectangle's top-left, clipped to nothing. `underline` is the index of a
    // character to underline (a prefix character's target), -1 for none;
    // with `ellipsis` a text wider than the rectangle is cut with "...".
    virtual void TextOut(const TRect &r, const std::string &text, int underline, bool ellipsis) = 0;
    virtual void FillRect(const TRect &r, TColor color) = 0;
    virtual void Line(int x1, int y1, int x2, int y2, TColor color) = 0;
    virtual void FocusRect(const TRect &r) = 0;
    // An image of an image list, drawn into the rectangle.
    virtual void DrawIcon(const QIcon &icon, const TRect &r) = 0;
    // A picture, drawn into the rectangle (stretched when the picture says so).
    virtual void DrawPicture(THTMLPicture &picture, const TRect &r) = 0;
    // A shell icon (small or large) of a file, a folder or a file type.
    virtual void DrawShellIcon(const std::string &what, bool large, const TRect &r) = 0;
    // Dots per inch of the device (96 on the screen).
    virtual int PixelsPerInch() const { return 96; }
};

// The QFont of a font description, starting from `base`, whose family
// stands for "MS Sans Serif".
QFont FontDescToQFont(const TFontDesc &d, const QFont &base);
// A description that stands for `base` itself (its face and size, its style).
TFontDesc BaseFontDesc(const QFont &base, TColor color = clWindowText);

// A canvas over a QPainter; text comes in Windows-1252 bytes.
class TQtHTMLCanvas : public THTMLCanvas {
public:
    explicit TQtHTMLCanvas(QPainter &painter);
    QSize TextExtent(const std::string &text) override;
    void TextOut(const TRect &r, const std::string &text, int underline, bool ellipsis) override;
    void FillRect(const TRect &r, TColor color) override;
    void Line(int x1, int y1, int x2, int y2, TColor color) override;
    void FocusRect(const TRect &r) override;
    void DrawIcon(const QIcon &icon, const TRect &r) override;
    void DrawPicture(THTMLPicture &picture, const TRect &r) override;
    void DrawShellIcon(const std::string &what, bool large, const TRect &r) override;
    int PixelsPerInch() const override;
    // The font descriptions are taken relative to this font (FontDescToQFont).
    QFont BaseFont;
    QFont ToQFont(const TFontDesc &f) const;

private:
    QPainter &p_;
};

// A canvas with fixed metrics for tests: every character is CharWidth pixels
// wide, a line is twice the font's point size high (16 for 8 points), and
// every call is recorded.
class TFixedHTMLCanvas : public THTMLCanvas {
public:
    struct Op {
        enum Kind { Text, Fill, Line, Focus, Icon, Picture, ShellIcon } kind;
        TRect r;
        std::string text;   // the text drawn, or the shell icon's name
        TFontDesc font;
        TColor color;       // brush of text, fill colour, line colour
        int underline = -1; // for Text: index of the prefixed character
        int angle = 0;
    };
    int CharWidth = 8;
    std::vector<Op> Ops;
    QSize TextExtent(const std::string &text) override;
    void TextOut(const TRect &r, const std::string &text, int underline, bool ellipsis) override;
    void FillRect(const TRect &r, TColor color) override;
    void Line(int x1, int y1, int x2, int y2, TColor color) override;
    void FocusRect(const TRect &r) override;
    void DrawIcon(const QIcon &icon, const TRect &r) override;
    void DrawPicture(THTMLPicture &picture, const TRect &r) override;
    void DrawShellIcon(const std::string &what, bool large, const TRect &r) override;
    // The texts drawn, in order.
    std::vector<std::string> Texts() const;
};

// ---- the painter --------------------------------------------------------------------------
// What a call asks of the painter besides the canvas, the text and the area.
struct THTMLDrawParams {
    const QList<QIcon> *Images = nullptr; // images for "IDX:" sources
    int X = -1, Y = -1;                   // point to hit-test
    int FocusLink = -1;                   // anchor with a focus rectangle, from 0
    int HoverLink = -1;                   // anchor in hover colours, from 1
    int ShadowOffset = 1;
    bool CheckHotSpot = false;            // hit-test, draw nothing
    bool CheckHeight = false;             // only measure
    bool Print = false;                   // images scaled by ResFactor
    bool Selected = false;                // keep the current colours
    bool Blink = true;                    // visible phase of blinking text
    bool HoverStyle = false;              // only the hover link is underlined
    bool WordWrap = true;
    double ResFactor = 0.0;
    TColor URLColor = clBlue;
    TColor HoverColor = clNone, HoverFontColor = clNone;
    TColor ShadowColor = clGray;
    THTMLPictureCache *PicCache = nullptr;
    TPictureContainer *PicContainer = nullptr;
};

// What a call tells back.
struct THTMLDrawResult {
    std::string Anchor;      // reference of the anchor under the point
    std::string StripVal;    // plain text, a carriage return per line break
    std::string FocusAnchor; // reference of the focus link
    int XSize = 0, YSize = 0;
    int HyperLinks = 0;      // number of anchors
    int MouseLink = -1;      // anchor under the point, from 1; -1 none
    TRect HoverRect;         // rectangle of that anchor
};

// Paints, measures and hit-tests one markup text; true when the point lies
// on an anchor.
bool DrawHTMLText(THTMLCanvas &Canvas, const std::string &Text, const TRect &Rect, const THTMLDrawParams &Params,
                  THTMLDrawResult &Result);
// The short form: no pictures, no hover or focus link, no word wrap.
bool DrawHTMLTextSimple(THTMLCanvas &Canvas, const std::string &Text, const TRect &Rect,
                        const QList<QIcon> *Images, int X, int Y, bool CheckHotSpot, bool CheckHeight, bool Print,
                        bool Selected, bool Blink, double ResFactor, TColor URLColor, std::string &Anchor,
                        std::string &StripVal, int &XSize, int &YSize);

// The parameters the list view uses for its cells (Part of its drawing and
// of its link handling).
THTMLDrawParams ListHTMLParams(TColor URLColor, const QList<QIcon> *Images, THTMLPictureCache *Cache,
                               TPictureContainer *Container);

// ---- text helpers ----------------------------------------------------------------------------
// "<BR>" and "<HR>" become CR LF, every other tag is removed.
std::string StripHTMLTags(const std::string &Text);
// Position (from 1) in the markup of its n-th visible character; length + 1
// for one past the last; 0 when there is none.
int HTMLVisiblePos(const std::string &Text, int n);
// Position of Sub in Text after its first Start characters (found position
// plus Start), 0 when absent.
int HTMLFindFrom(const std::string &Sub, const std::string &Text, int Start, bool CaseSensitive);
// Surrounds every match of HiText in the text's visible characters with
// "<Tag>" and "</Tag>"; existing tags are never split.
std::string InsertMarkTags(const std::string &Text, const std::string &HiText, const std::string &Tag,
                           bool DoCase);
// Removes every "<Tag>" and "</Tag>", in any letter case.
std::string RemoveMarkTags(const std::string &Text, const std::string &Tag);

// Colour of a lower-case colour name ("clred", "clbtnface", ...); 0 when unknown.
TColor ColorFromName(const std::string &Name);
// Colour of "#RRGGBB".
TColor ColorFromHexRGB(const std::string &Hex);
// The named entities replaced before layout.
std::string ReplaceHTMLEntities(std::string Text);
