#include "controls/HTMLPaint.h"

#include "controls/PictureContainer.h"
#include "platform/Cp1252.h"
#include "platform/Rtl.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPaintDevice>

#include <algorithm>
#include <cstring>

// ---- text helpers ---------------------------------------------------------------------------

namespace {

std::string upper(const std::string &s) { return Rtl::UpperCase(s); }

void replaceAll(std::string &s, const std::string &from, const std::string &to)
{
    if (from.empty()) return;
    size_t p = 0;
    while ((p = s.find(from, p)) != std::string::npos) {
        s.replace(p, from.size(), to);
        p += to.size();
    }
}

// A run as the text output shows it: "&&" one ampersand, "&x" an underlined x.
std::string prefixText(const std::string &s, int &underline)
{
    underline = -1;
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size()) {
            ++i;
            if (s[i] != '&') underline = int(out.size());
        }
        out += s[i];
    }
    return out;
}

// Value of an attribute: the text between the first pair of double quotes
// after its name (searched in the upper-cased tag), taken from the tag as
// written; empty when missing.
std::string attrValue(const std::string &tag, const std::string &tagUp, const std::string &name, bool *found = nullptr)
{
    if (found) *found = false;
    size_t p = tagUp.find(name);
    if (p == std::string::npos) return std::string();
    size_t q1 = tag.find('"', p + name.size());
    if (q1 == std::string::npos) return std::string();
    size_t q2 = tag.find('"', q1 + 1);
    if (q2 == std::string::npos) return std::string();
    if (found) *found = true;
    return tag.substr(q1 + 1, q2 - q1 - 1);
}

// A number attribute; anything that is not a number counts 0.
int toInt(const std::string &s) { return Rtl::StrToIntDef(Rtl::Trim(s), 0); }

TColor colorValue(const std::string &v)
{
    if (upper(v).find("CL") != std::string::npos) return ColorFromName(Rtl::LowerCase(v));
    return ColorFromHexRGB(v);
}

} // namespace

TColor ColorFromName(const std::string &Name)
{
    static const struct {
        const char *name;
        TColor color;
    } table[] = {
        {"clred", clRed}, {"clblack", clBlack}, {"clblue", clBlue}, {"clgreen", clGreen}, {"claqua", clAqua},
        {"clyellow", clYellow}, {"clfuchsia", clFuchsia}, {"clwhite", clWhite}, {"cllime", clLime},
        {"clsilver", clSilver}, {"clgray", clGray}, {"clolive", clOlive}, {"clnavy", clNavy},
        {"clpurple", clPurple}, {"clteal", clTeal}, {"clmaroon", clMaroon}, {"clbackground", clBackground},
        {"clactivecaption", clActiveCaption}, {"clinactivecaption", clInactiveCaption}, {"clmenu", clMenu},
        {"clwindow", clWindow}, {"clwindowframe", clWindowFrame}, {"clmenutext", clMenuText},
        {"clwindowtext", clWindowText}, {"clcaptiontext", clCaptionText}, {"clactiveborder", clActiveBorder},
        {"clinactiveborder", clInactiveBorder}, {"clappworkspace", clAppWorkSpace}, {"clhighlight", clHighlight},
        {"clhighlighttext", clHighlightText}, {"clbtnface", clBtnFace}, {"clbtnshadow", clBtnShadow},
        {"clgraytext", clGrayText}, {"clbtntext", clBtnText}, {"clinactivecaptiontext", clInactiveCaptionText},
        {"clbtnhighlight", clBtnHighlight}, {"cl3ddkshadow", cl3DDkShadow}, {"cl3dlight", cl3DLight},
        {"clinfotext", clInfoText}, {"clinfobk", clInfoBk},
    };
    for (const auto &e : table)
        if (Name == e.name) return e.color;
    return 0;
}

TColor ColorFromHexRGB(const std::string &Hex)
{
    // "#" and three pairs; each pair read as two upper-case hex digits.
    auto digit = [](char c) {
        c = char(std::toupper(static_cast<unsigned char>(c)));
        return c < 'A' ? int(c) - '0' : int(c) - 'A' + 10;
    };
    auto pair = [&](size_t at) {
        if (at + 2 > Hex.size()) return 0;
        return (digit(Hex[at]) * 16 + digit(Hex[at + 1])) & 0xFF;
    };
    size_t start = !Hex.empty() && Hex[0] == '#' ? 1 : 0;
    return TColor(pair(start)) + TColor(pair(start + 2)) * 256 + TColor(pair(start + 4)) * 65536;
}

std::string ReplaceHTMLEntities(std::string Text)
{
    static const char *const from[] = {"&amp;", "&quot;", "&sect;", "&permil;", "&reg;",
                                       "&copy;", "&para;", "&trade;", "&euro;"};
    static const char *const to[] = {"&&", "\"", "\xA7", "\x89", "\xAE", "\xA9", "\xB6", "\x99", "\x80"};
    for (size_t i = 0; i < std::size(from); ++i) replaceAll(Text, from[i], to[i]);
    return Text;
}

namespace {

// Calls fn(index) for each character outside tags (a tag runs from "<" to
// the next ">"; an unclosed "<" ends the text) until fn returns true;
// whether fn stopped the walk.
template <class F>
bool eachVisible(const std::string &text, F fn)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<') {
            size_t e = text.find('>', i);
            if (e == std::string::npos) return false;
            i = e;
            continue;
        }
        if (fn(i)) return true;
    }
    return false;
}

} // namespace

std::string StripHTMLTags(const std::string &Text)
{
    std::string s = Text;
    std::string up = upper(s);
    for (const char *t : {"<BR>", "<HR>"}) {
        size_t p;
        while ((p = up.find(t)) != std::string::npos) {
            s.replace(p, 4, "\r\n");
            up.replace(p, 4, "\r\n");
        }
    }
    std::string out;
    out.reserve(s.size());
    eachVisible(s, [&](size_t i) {
        out += s[i];
        return false;
    });
    return out;
}

int HTMLVisiblePos(const std::string &Text, int n)
{
    int seen = 0, found = 0;
    eachVisible(Text, [&](size_t i) {
        if (++seen != n) return false;
        found = int(i) + 1;
        return true;
    });
    if (found) return found;
    if (n == seen + 1) return int(Text.size()) + 1;
    return 0;
}

int HTMLFindFrom(const std::string &Sub, const std::string &Text, int Start, bool CaseSensitive)
{
    if (Sub.empty() || Start < 0 || size_t(Start) > Text.size()) return 0;
    std::string rest = Text.substr(size_t(Start));
    size_t p = CaseSensitive ? rest.find(Sub) : upper(rest).find(upper(Sub));
    return p == std::string::npos ? 0 : int(p) + 1 + Start;
}

namespace {

// Where a closing tag goes for visible position q: right after the (q-1)-th
// visible character, before any tag that follows it; 0 for q = 1.
size_t visiblePlace(const std::string &text, int q)
{
    if (q <= 1) return 0;
    int seen = 0;
    size_t place = text.size();
    eachVisible(text, [&](size_t i) {
        if (++seen != q - 1) return false;
        place = i + 1;
        return true;
    });
    return place;
}

// Where an opening tag goes for visible position q: the very start for
// q = 1, else right in front of the q-th visible character (behind any tags
// before it), so that a tag closed just before stays closed.
size_t openPlace(const std::string &text, int q)
{
    if (q <= 1) return 0;
    int pos = HTMLVisiblePos(text, q);
    return pos == 0 ? text.size() : size_t(pos - 1);
}

} // namespace

std::string InsertMarkTags(const std::string &Text, const std::string &HiText, const std::string &Tag, bool DoCase)
{
    if (HiText.empty()) return Text;
    std::string visible = StripHTMLTags(Text);
    std::string result = Text;
    const std::string open = "<" + Tag + ">", close = "</" + Tag + ">";
    const int len = int(HiText.size());
    int start = 0;
    for (;;) {
        int p = HTMLFindFrom(HiText, visible, start, DoCase);
        if (p == 0) break;
        // The closing tag first, so that the opening one does not move its place.
        size_t endAt = visiblePlace(result, p + len);
        result.insert(endAt, close);
        size_t beginAt = openPlace(result, p);
        result.insert(beginAt, open);
        start = p + len - 1;
    }
    return result;
}

std::string RemoveMarkTags(const std::string &Text, const std::string &Tag)
{
    std::string s = Text;
    for (const std::string &t : {"<" + Tag + ">", "</" + Tag + ">"}) {
        const std::string tu = upper(t);
        size_t p;
        while ((p = upper(s).find(tu)) != std::string::npos) s.erase(p, t.size());
    }
    return s;
}

// ---- the painter ---------------------------------------------------------------------------------

namespace {

struct FontSave {
    TFontDesc font;
    TColor bg;
};

// Everything a text changes; copied before a line is measured and restored
// before it is laid out again at its final place.
struct State {
    TFontDesc font;
    int angle = 0;
    TColor bg = clNone; // background of text runs
    bool sub = false, sup = false, shadow = false, hidden = false, error = false;
    TColor parBg = clNone;
    int listLevel = 0;
    int align = 0; // 0 left, 1 right, 2 centre
    int indent = 0;
    int anchors = 0;
    bool inAnchor = false;
    std::string anchorRef;
    TColor anchorSavedColor = 0, anchorSavedBg = clNone;
    bool anchorUnderline = false, anchorHoverBg = false;
    std::vector<FontSave> fonts;
    std::vector<FontSave> highlights;
    int imageCount = 0;
};

enum class Pass { Measure, Draw, HitTest };

struct LineOut {
    int width = 0;     // without a trailing blank
    int height = 0;
    int descent = 0, rise = 0;
    bool any = false;  // something was laid out
    int imageAlign = 0; // an image with ALIGN "TOP" (1) or "MIDDLE" (2) on the line
    int textRaise = 0;  // how far the line's text moves up for it
};

class Painter {
public:
    Painter(THTMLCanvas &c, const TRect &r, const THTMLDrawParams &p, THTMLDrawResult &res)
        : c_(c), rect_(r), p_(p), res_(res)
    {
    }

    // Lays out one line from the front of `s`, consuming it; in the draw and
    // hit-test passes at (x0, y) with the measured height.
    LineOut line(std::string &s, State &st, Pass pass, int x0, int y, const LineOut &measured);

    TColor blinkColor = clNone;
    TColor startColor = 0;
    bool hit = false;
    int mouseAnchor = -1;

private:
    void drawRun(const State &st, const TRect &r, const std::string &shown, int underline, bool ellipsis);
    void drawImage(const std::string &tag, const std::string &tagUp, State &st, Pass pass, int &x, int y,
                   LineOut &lo, const LineOut &measured, bool firstOnLine, bool &endLine);
    void applyFont(const State &st)
    {
        c_.Font = st.font;
        c_.FontAngle = st.angle;
    }

    THTMLCanvas &c_;
    TRect rect_;
    const THTMLDrawParams &p_;
    THTMLDrawResult &res_;
    int anchorStartX_ = 0;
};

void Painter::drawRun(const State &st, const TRect &r, const std::string &shown, int underline, bool ellipsis)
{
    if (st.shadow) {
        TFontDesc f = st.font;
        f.Color = p_.ShadowColor;
        c_.Font = f;
        c_.BrushColor = clNone;
        TRect sr(r.Left + p_.ShadowOffset, r.Top + p_.ShadowOffset, r.Right + p_.ShadowOffset,
                 r.Bottom + p_.ShadowOffset);
        c_.TextOut(sr, shown, underline, ellipsis);
        applyFont(st);
    }
    c_.BrushColor = st.bg;
    c_.TextOut(r, shown, underline, ellipsis);
    c_.BrushColor = clNone;
    if (st.error) {
        // A red zig-zag under the run, in steps of 2 pixels from an even x.
        int x = r.Left & ~1;
        bool up = true;
        while (x < r.Right) {
            int y1 = up ? r.Bottom - 1 : r.Bottom + 1, y2 = up ? r.Bottom + 1 : r.Bottom - 1;
            c_.Line(x, y1, x + 2, y2, clRed);
            x += 2;
            up = !up;
        }
    }
}

void Painter::drawImage(const std::string &tag, const std::string &tagUp, State &st, Pass pass, int &x, int y,
                        LineOut &lo, const LineOut &measured, bool firstOnLine, bool &endLine)
{
    std::string src = attrValue(tag, tagUp, "SRC");
    const std::string srcUp = upper(src);
    int w = 0, h = 0;
    const QIcon *icon = nullptr;
    THTMLPicture *pic = nullptr;
    std::string shell;
    bool large = false;
    const double scale = c_.PixelsPerInch() / 96.0;
    if (srcUp.rfind("IDX:", 0) == 0) {
        int n = toInt(src.substr(4));
        if (p_.Images && n >= 0 && n < p_.Images->size()) {
            icon = &(*p_.Images)[n];
            QList<QSize> sizes = icon->availableSizes();
            QSize sz = sizes.isEmpty() ? QSize(16, 16) : sizes.first();
            w = sz.width();
            h = sz.height();
        }
    } else if (srcUp.rfind("SSYS:", 0) == 0 || srcUp.rfind("LSYS:", 0) == 0) {
        large = srcUp[0] == 'L';
        shell = src.substr(5);
        w = h = large ? 32 : 16;
    } else if (src.find(':') == std::string::npos) {
        // Names and addresses are looked up in upper case.
        if (p_.PicContainer) pic = p_.PicContainer->FindPicture(srcUp);
    } else if (src.find("://") != std::string::npos && p_.PicCache) {
        pic = p_.PicCache->FindPicture(srcUp);
        if (!pic) {
            pic = p_.PicCache->AddPicture();
            pic->Asynch = false;
            pic->LoadFromURL(src);
        }
    }
    if (pic) {
        if (pic->GetEmpty()) pic = nullptr;
        else {
            w = pic->GetMaxWidth();
            h = pic->GetMaxHeight();
        }
    }
    int aw = toInt(attrValue(tag, tagUp, "WIDTH")), ah = toInt(attrValue(tag, tagUp, "HEIGHT"));
    if (pic && aw > 0 && ah > 0) {
        w = aw;
        h = ah;
    }
    w = int(w * scale);
    h = int(h * scale);
    if (p_.Print && p_.ResFactor > 0) {
        w = int(w * p_.ResFactor);
        h = int(h * p_.ResFactor);
    }
    ++st.imageCount;
    if (w <= 0 && h <= 0) return;
    const std::string align = upper(attrValue(tag, tagUp, "ALIGN"));
    if (align.rfind("TOP", 0) == 0) lo.imageAlign = 1;
    else if (align.rfind("MIDDLE", 0) == 0) lo.imageAlign = 2;
    // An image that does not fit the rest of the line starts the next one.
    if (!firstOnLine && x + w - rect_.Left > rect_.Width()) {
        endLine = true;
        return;
    }
    lo.height = std::max(lo.height, h);
    const int lineH = pass == Pass::Measure ? h : measured.height;
    TRect r(x, y + lineH - measured.descent - h, x + w, y + lineH - measured.descent);
    if (pass == Pass::Draw && !st.hidden) {
        if (icon) c_.DrawIcon(*icon, r);
        else if (pic) {
            if (pic->GetFrameCount() > 1) c_.FillRect(r, c_.BrushColor == clNone ? blinkColor : c_.BrushColor);
            c_.DrawPicture(*pic, r);
        } else if (!shell.empty())
            c_.DrawShellIcon(shell, large, r);
    } else if (pass == Pass::HitTest && st.inAnchor && p_.X >= r.Left && p_.X < r.Right && p_.Y >= r.Top &&
               p_.Y < r.Bottom) {
        hit = true;
        mouseAnchor = st.anchors;
        res_.Anchor = st.anchorRef;
    }
    x += w;
    lo.any = true;
}

LineOut Painter::line(std::string &s, State &st, Pass pass, int x0, int y, const LineOut &measured)
{
    LineOut lo;
    int x = x0;
    int widthNoBlank = 0;
    bool endsInBlank = true; // an empty line text "ends" a word
    bool lineTextEmpty = true;
    bool bulletOnLine = false;
    bool hr = false;
    const bool drawing = pass == Pass::Draw;
    const int lineH = measured.height;
    const int baseBottom = y + lineH - measured.descent;
    applyFont(st);

    if (drawing && st.parBg != clNone) c_.FillRect(TRect(rect_.Left, y, rect_.Right, y + lineH), st.parBg);

    while (!s.empty()) {
        if (s[0] != '<') {
            // A text run.
            size_t end = s.find('<');
            if (p_.WordWrap) {
                size_t blank = s.find(' ');
                if (blank != std::string::npos && (end == std::string::npos || blank < end)) end = blank + 1;
            }
            if (end == std::string::npos) end = s.size();
            std::string run = s.substr(0, end);
            replaceAll(run, "&nbsp;", " ");
            replaceAll(run, "&lt;", "<");
            replaceAll(run, "&gt;", ">");
            int underline = -1;
            std::string shown = prefixText(run, underline);
            applyFont(st);
            QSize ext = c_.TextExtent(shown);
            const int runW = ext.width(), runH = ext.height();
            const bool fits = (x - x0) + runW < rect_.Width() || runW >= rect_.Width() || !endsInBlank ||
                              lineTextEmpty;
            if (!fits && p_.WordWrap) break; // stays for the next line
            lo.height = std::max(lo.height, runH);
            if (st.sub) lo.descent = std::max(lo.descent, runH / 4);
            if (st.sup) lo.rise = std::max(lo.rise, runH / 4);
            int bottom = baseBottom - measured.textRaise;
            if (st.sup) bottom -= measured.rise;
            if (st.sub) bottom += measured.descent;
            TRect r(x, bottom - runH, x + runW, bottom);
            const bool ellipsis = !p_.WordWrap && x + runW > rect_.Right;
            if (ellipsis) r.Right = rect_.Right;
            if (drawing && !st.hidden) drawRun(st, r, shown, underline, !p_.WordWrap);
            if (pass == Pass::HitTest && p_.X >= r.Left && p_.X < r.Right && p_.Y >= r.Top && p_.Y < r.Bottom &&
                st.inAnchor) {
                hit = true;
                mouseAnchor = st.anchors;
                res_.Anchor = st.anchorRef;
            }
            if (st.inAnchor && st.anchors - 1 == p_.FocusLink) res_.FocusAnchor = st.anchorRef;
            if (pass == Pass::Measure) res_.StripVal += shown;
            x += runW;
            lineTextEmpty = false;
            endsInBlank = !shown.empty() && shown.back() == ' ';
            widthNoBlank = endsInBlank ? x - c_.TextExtent(" ").width() : x;
            lo.any = true;
            s.erase(0, end);
            continue;
        }
        // A tag.
        if (s.size() < 3) {
            s.clear();
            break;
        }
        size_t close = s.find('>');
        if (close == std::string::npos) {
            s.clear();
            break;
        }
        const std::string tag = s.substr(0, close + 1);
        const std::string tagUp = upper(tag);
        const bool closing = tagUp[1] == '/';
        const char a = closing ? (tagUp.size() > 2 ? tagUp[2] : '>') : tagUp[1];
        const char b = closing ? (tagUp.size() > 3 ? tagUp[3] : '>') : (tagUp.size() > 2 ? tagUp[2] : '>');
        bool endLine = false;
        bool consume = true;
        if (!closing) {
            switch (a) {
            case 'B':
                if (b == '>') st.font.Style |= fsBold;
                else if (b == 'R') {
                    endLine = true;
                    if (pass == Pass::Measure) res_.StripVal += '\r';
                } else if (b == 'L') {
                    if (!p_.Blink) st.font.Color = blinkColor;
                } else if (b == 'O') {
                    if (drawing) {
                        bool hasBg = false;
                        std::string bg = attrValue(tag, tagUp, "BGCOLOR", &hasBg);
                        if (hasBg) c_.FillRect(rect_, colorValue(bg));
                        std::string name = attrValue(tag, tagUp, "BACKGROUND");
                        THTMLPicture *pic = nullptr;
                        if (!name.empty() && name.find(':') == std::string::npos && p_.PicContainer)
                            pic = p_.PicContainer->FindPicture(upper(name));
                        else if (name.find("://") != std::string::npos && p_.PicCache) {
                            pic = p_.PicCache->FindPicture(upper(name));
                            if (!pic) {
                                pic = p_.PicCache->AddPicture();
                                pic->Asynch = false;
                                pic->LoadFromURL(name);
                            }
                        }
                        if (pic && !pic->GetEmpty()) {
                            const int pw = pic->GetMaxWidth(), ph = pic->GetMaxHeight();
                            // A picture without size cannot be tiled.
                            if (pw > 0 && ph > 0)
                                for (int ty = rect_.Top; ty < rect_.Bottom; ty += ph)
                                    for (int tx = rect_.Left; tx < rect_.Right; tx += pw)
                                        c_.DrawPicture(*pic, TRect(tx, ty, tx + pw, ty + ph));
                        }
                    }
                }
                break;
            case 'A': {
                ++st.anchors;
                st.inAnchor = true;
                size_t q1 = tag.find('"');
                size_t q2 = q1 == std::string::npos ? q1 : tag.find('"', q1 + 1);
                st.anchorRef = q2 == std::string::npos ? std::string() : tag.substr(q1 + 1, q2 - q1 - 1);
                const bool isHover = st.anchors == p_.HoverLink;
                st.anchorSavedColor = st.font.Color;
                st.anchorSavedBg = st.bg;
                if (!p_.Selected)
                    st.font.Color = (isHover && p_.HoverStyle && p_.HoverFontColor != clNone) ? p_.HoverFontColor
                                                                                              : p_.URLColor;
                st.anchorUnderline = !p_.HoverStyle || isHover;
                st.anchorHoverBg = false;
                if (st.anchorUnderline) {
                    st.font.Style |= fsUnderline;
                    if (isHover) {
                        if (p_.HoverColor != clNone) {
                            st.bg = p_.HoverColor;
                            st.anchorHoverBg = true;
                        }
                        if (p_.HoverFontColor != clNone) st.font.Color = p_.HoverFontColor;
                    }
                }
                anchorStartX_ = x;
                break;
            }
            case 'E': st.error = true; break;
            case 'H':
                if (b == 'I') {
                    st.highlights.push_back({st.font, st.bg});
                    st.bg = clHighlight;
                    st.font.Color = clHighlightText;
                } else if (b == 'R') {
                    endLine = true;
                    hr = true;
                    if (pass == Pass::Measure) res_.StripVal += '\r';
                }
                break;
            case 'I':
                if (b == '>') st.font.Style |= fsItalic;
                else if (b == 'N') {
                    size_t xp = tagUp.find('X', 1);
                    if (xp != std::string::npos) {
                        size_t q1 = tag.find('"', xp);
                        size_t q2 = q1 == std::string::npos ? q1 : tag.find('"', q1 + 1);
                        if (q2 != std::string::npos) {
                            int n = toInt(tag.substr(q1 + 1, q2 - q1 - 1));
                            if (rect_.Left + n > x) x = rect_.Left + n;
                        }
                    }
                } else if (b == 'M') {
                    drawImage(tag, tagUp, st, pass, x, y, lo, measured, !lo.any, endLine);
                    if (endLine) consume = false;
                    else widthNoBlank = x;
                }
                break;
            case 'L':
                if (bulletOnLine) {
                    endLine = true;
                    consume = false;
                    break;
                }
                bulletOnLine = true;
                {
                    const int level = std::max(1, st.listLevel);
                    const int bx = x + 12 * (level - 1);
                    if (drawing && !st.hidden) {
                        TFontDesc f = st.font;
                        f.Name = "Symbol";
                        c_.Font = f;
                        c_.BrushColor = clNone;
                        QSize e = c_.TextExtent(level % 2 ? "\xB7" : "o");
                        c_.TextOut(TRect(bx, baseBottom - e.height(), bx + e.width(), baseBottom),
                                   level % 2 ? "\xB7" : "o", -1, false);
                        applyFont(st);
                    }
                    x = bx + 12;
                    widthNoBlank = x;
                    lo.any = true;
                }
                break;
            case 'U':
                if (b == '>') st.font.Style |= fsUnderline;
                else ++st.listLevel;
                break;
            case 'P': {
                std::string al = upper(attrValue(tag, tagUp, "ALIGN"));
                if (al.find("RIGHT") != std::string::npos) st.align = 1;
                else if (al.find("LEFT") != std::string::npos) st.align = 0;
                else if (al.find("CENTER") != std::string::npos) st.align = 2;
                bool has = false;
                std::string ind = attrValue(tag, tagUp, "INDENT", &has);
                if (has) st.indent = toInt(ind);
                std::string bg = attrValue(tag, tagUp, "BGCOLOR", &has);
                if (has) {
                    st.parBg = colorValue(bg);
                    if (drawing) c_.FillRect(TRect(rect_.Left, y, rect_.Right, y + lineH), st.parBg);
                }
                break;
            }
            case 'F': {
                st.fonts.push_back({st.font, st.bg});
                bool has = false;
                std::string face = attrValue(tag, tagUp, "FACE", &has);
                if (has) st.font.Name = face;
                std::string col = attrValue(tag, tagUp, " COLOR", &has);
                if (has && !p_.Selected) st.font.Color = colorValue(col);
                std::string bg = attrValue(tag, tagUp, "BGCOLOR", &has);
                if (has && !p_.Selected && pass != Pass::Measure) st.bg = colorValue(bg);
                size_t sp = tagUp.find("SIZE");
                if (sp != std::string::npos) {
                    size_t eq = tagUp.find('=', sp);
                    if (eq != std::string::npos) {
                        size_t i = eq + 1;
                        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '"')) ++i;
                        size_t j = i;
                        while (j < tag.size() && tag[j] >= '0' && tag[j] <= '9') ++j;
                        int n = toInt(tag.substr(i, std::min<size_t>(j - i, 6)));
                        static const int sizes[] = {8, 10, 12, 14, 16};
                        st.font.Size = n >= 1 && n <= 5 ? sizes[n - 1] : n;
                        st.font.Height = 0;
                    }
                }
                break;
            }
            case 'S':
                if (tagUp == "<SUB>") st.sub = true;
                else if (tagUp == "<SUP>") st.sup = true;
                else if (b == '>') st.font.Style |= fsStrikeOut;
                else if (b == 'H') st.shadow = true;
                break;
            case 'R': {
                size_t ap = tagUp.find('A', 1);
                if (ap != std::string::npos) {
                    size_t q1 = tag.find('"', ap);
                    size_t q2 = q1 == std::string::npos ? q1 : tag.find('"', q1 + 1);
                    if (q2 != std::string::npos) st.angle = toInt(tag.substr(q1 + 1, q2 - q1 - 1)) * 10;
                }
                break;
            }
            case 'Z': st.hidden = true; break;
            default: break;
            }
        } else {
            switch (a) {
            case 'A':
                if (st.inAnchor) {
                    if (st.anchorUnderline) st.font.Style &= uint8_t(~fsUnderline);
                    if (st.anchorHoverBg) st.bg = st.anchorSavedBg;
                    if (!p_.Selected) st.font.Color = st.anchorSavedColor;
                    TRect ar(anchorStartX_, y, x, y + lineH);
                    if (pass == Pass::HitTest && mouseAnchor == st.anchors) res_.HoverRect = ar;
                    if (drawing && st.anchors - 1 == p_.FocusLink)
                        c_.FocusRect(TRect(ar.Left - 1, ar.Top, ar.Right + 1, ar.Bottom));
                }
                st.inAnchor = false;
                break;
            case 'B':
                if (b == '>') st.font.Style &= uint8_t(~fsBold);
                else st.font.Color = startColor;
                break;
            case 'E': st.error = false; break;
            case 'F':
                if (!st.fonts.empty()) {
                    const FontSave f = st.fonts.back();
                    st.fonts.pop_back();
                    st.font.Name = f.font.Name;
                    st.font.Size = f.font.Size;
                    st.font.Height = f.font.Height;
                    st.font.Color = f.font.Color;
                    st.bg = f.bg;
                }
                break;
            case 'H':
                if (!st.highlights.empty()) {
                    st.font.Color = st.highlights.back().font.Color;
                    st.bg = st.highlights.back().bg;
                    st.highlights.pop_back();
                }
                break;
            case 'I': st.font.Style &= uint8_t(~fsItalic); break;
            case 'P':
                endLine = true;
                st.parBg = clNone;
                break;
            case 'R': st.angle = 0; break;
            case 'S':
                if (b == 'U') st.sub = st.sup = false;
                else if (b == 'H') st.shadow = false;
                else st.font.Style &= uint8_t(~fsStrikeOut);
                break;
            case 'U':
                if (b == '>' || st.listLevel == 0) st.font.Style &= uint8_t(~fsUnderline);
                else --st.listLevel;
                break;
            case 'Z': st.hidden = false; break;
            default: break;
            }
        }
        applyFont(st);
        if (consume) s.erase(0, close + 1);
        if (endLine) break;
    }
    lo.width = std::max(0, widthNoBlank - x0);
    if (hr && drawing) c_.Line(rect_.Left, y + lineH, rect_.Right, y + lineH, clBlack);
    return lo;
}

} // namespace

bool DrawHTMLText(THTMLCanvas &Canvas, const std::string &Text, const TRect &Rect, const THTMLDrawParams &Params,
                  THTMLDrawResult &Result)
{
    Result = THTMLDrawResult();
    const TFontDesc savedFont = Canvas.Font;
    const int savedAngle = Canvas.FontAngle;
    const TColor savedBrush = Canvas.BrushColor;

    Painter painter(Canvas, Rect, Params, Result);
    painter.blinkColor = savedBrush;
    painter.startColor = savedFont.Color;
    Canvas.BrushColor = clNone;

    std::string s = Text;
    if (s.find('&') != std::string::npos) s = ReplaceHTMLEntities(s);
    if (size_t p = s.find("<#"); p != std::string::npos) {
        s.erase(p, 1);
        size_t q = s.find('>', p);
        if (q != std::string::npos) s.erase(q, 1);
    }
    s.erase(std::remove(s.begin(), s.end(), '\n'), s.end());
    replaceAll(s, "\r", "<BR>");

    State st;
    st.font = savedFont;
    st.angle = savedAngle;
    int y = Rect.Top;
    int width = 0, height = 0, lines = 0;
    while (!s.empty()) {
        const State before = st;
        std::string rest = s;
        LineOut m = painter.line(rest, st, Pass::Measure, Rect.Left, y, LineOut());
        m.height += m.descent + m.rise;
        if (m.imageAlign != 0) {
            Canvas.Font = savedFont;
            const int free = std::max(0, m.height - Canvas.TextExtent("gh").height());
            m.textRaise = m.imageAlign == 1 ? free : free / 2;
        }
        if (!Params.CheckHeight) {
            int x0 = Rect.Left;
            const int free = Rect.Width() - m.width;
            if (st.align == 1 && Rect.Right - m.width > Rect.Left) x0 = Rect.Right - m.width;
            else if (st.align == 2 && free >= 0 && free != m.width) x0 = Rect.Left + free / 2;
            x0 += st.indent;
            st = before;
            std::string again = s;
            painter.line(again, st, Params.CheckHotSpot ? Pass::HitTest : Pass::Draw, x0, y, m);
        }
        s = rest;
        ++lines;
        y += m.height;
        height += m.height;
        width = std::max(width, m.width);
        if (!Params.CheckHeight && !Params.CheckHotSpot && y > Rect.Bottom) break;
    }
    if (lines == 0) {
        Canvas.Font = savedFont;
        height = Canvas.TextExtent("gh").height();
    }
    Result.XSize = width;
    Result.YSize = height;
    Result.HyperLinks = st.anchors;
    if (painter.hit) Result.MouseLink = painter.mouseAnchor;
    Canvas.Font = savedFont;
    Canvas.FontAngle = savedAngle;
    Canvas.BrushColor = savedBrush;
    return painter.hit;
}

bool DrawHTMLTextSimple(THTMLCanvas &Canvas, const std::string &Text, const TRect &Rect, const QList<QIcon> *Images,
                        int X, int Y, bool CheckHotSpot, bool CheckHeight, bool Print, bool Selected, bool Blink,
                        double ResFactor, TColor URLColor, std::string &Anchor, std::string &StripVal, int &XSize,
                        int &YSize)
{
    THTMLDrawParams p;
    p.Images = Images;
    p.X = X;
    p.Y = Y;
    p.CheckHotSpot = CheckHotSpot;
    p.CheckHeight = CheckHeight;
    p.Print = Print;
    p.Selected = Selected;
    p.Blink = Blink;
    p.ResFactor = ResFactor;
    p.URLColor = URLColor;
    p.WordWrap = false;
    THTMLDrawResult r;
    bool hit = DrawHTMLText(Canvas, Text, Rect, p, r);
    Anchor = r.Anchor;
    StripVal = r.StripVal;
    XSize = r.XSize;
    YSize = r.YSize;
    return hit;
}

THTMLDrawParams ListHTMLParams(TColor URLColor, const QList<QIcon> *Images, THTMLPictureCache *Cache,
                               TPictureContainer *Container)
{
    THTMLDrawParams p;
    p.URLColor = URLColor;
    p.Images = Images;
    p.PicCache = Cache;
    p.PicContainer = Container;
    p.ShadowColor = clGray;
    p.ShadowOffset = 1;
    return p;
}

// ---- canvases ------------------------------------------------------------------------------------------

QSize TFixedHTMLCanvas::TextExtent(const std::string &text)
{
    int size = Font.Height > 0 ? Font.Height / 2 : Font.Size;
    return QSize(CharWidth * int(text.size()), 2 * std::max(1, size));
}

void TFixedHTMLCanvas::TextOut(const TRect &r, const std::string &text, int underline, bool ellipsis)
{
    std::string shown = text;
    if (ellipsis && int(text.size()) * CharWidth > r.Width()) {
        int fit = std::max(0, r.Width() / CharWidth - 3);
        shown = text.substr(0, size_t(fit)) + "...";
    }
    Ops.push_back({Op::Text, r, shown, Font, BrushColor, underline, FontAngle});
}

void TFixedHTMLCanvas::FillRect(const TRect &r, TColor color) { Ops.push_back({Op::Fill, r, {}, Font, color}); }

void TFixedHTMLCanvas::Line(int x1, int y1, int x2, int y2, TColor color)
{
    Ops.push_back({Op::Line, TRect(x1, y1, x2, y2), {}, Font, color});
}

void TFixedHTMLCanvas::FocusRect(const TRect &r) { Ops.push_back({Op::Focus, r, {}, Font, clNone}); }

void TFixedHTMLCanvas::DrawIcon(const QIcon &, const TRect &r) { Ops.push_back({Op::Icon, r, {}, Font, clNone}); }

void TFixedHTMLCanvas::DrawPicture(THTMLPicture &, const TRect &r)
{
    Ops.push_back({Op::Picture, r, {}, Font, clNone});
}

void TFixedHTMLCanvas::DrawShellIcon(const std::string &what, bool, const TRect &r)
{
    Ops.push_back({Op::ShellIcon, r, what, Font, clNone});
}

std::vector<std::string> TFixedHTMLCanvas::Texts() const
{
    std::vector<std::string> out;
    for (const Op &o : Ops)
        if (o.kind == Op::Text) out.push_back(o.text);
    return out;
}

TQtHTMLCanvas::TQtHTMLCanvas(QPainter &painter) : p_(painter)
{
    Font.Color = clWindowText;
}

QFont FontDescToQFont(const TFontDesc &d, const QFont &base)
{
    QFont f = base;
    if (!d.Name.empty() && d.Name != "MS Sans Serif") f.setFamily(FromAnsi(d.Name));
    if (d.Height > 0) f.setPixelSize(d.Height);
    else if (d.Size > 0) f.setPointSize(d.Size);
    f.setBold(d.Style & fsBold);
    f.setItalic(d.Style & fsItalic);
    f.setUnderline(d.Style & fsUnderline);
    f.setStrikeOut(d.Style & fsStrikeOut);
    return f;
}

TFontDesc BaseFontDesc(const QFont &base, TColor color)
{
    TFontDesc d;
    d.Size = 0;
    d.Height = 0;
    d.Style = uint8_t((base.bold() ? fsBold : 0) | (base.italic() ? fsItalic : 0) |
                      (base.underline() ? fsUnderline : 0) | (base.strikeOut() ? fsStrikeOut : 0));
    d.Color = color;
    return d;
}

QFont TQtHTMLCanvas::ToQFont(const TFontDesc &d) const { return FontDescToQFont(d, BaseFont); }

QSize TQtHTMLCanvas::TextExtent(const std::string &text)
{
    QFontMetrics fm(ToQFont(Font), p_.device());
    return QSize(fm.horizontalAdvance(FromAnsi(text)), fm.height());
}

void TQtHTMLCanvas::TextOut(const TRect &r, const std::string &text, int underline, bool ellipsis)
{
    QFont f = ToQFont(Font);
    QFontMetrics fm(f, p_.device());
    QString s = FromAnsi(text);
    if (ellipsis && fm.horizontalAdvance(s) > r.Width()) s = fm.elidedText(s, Qt::ElideRight, r.Width());
    const QRect qr(r.Left, r.Top, std::max(r.Width(), fm.horizontalAdvance(s)), r.Height());
    p_.save();
    if (BrushColor != clNone) p_.fillRect(qr, ColorToQColor(BrushColor));
    p_.setFont(f);
    p_.setPen(ColorToQColor(Font.Color));
    if (FontAngle != 0) {
        p_.translate(qr.left(), qr.bottom());
        p_.rotate(-FontAngle / 10.0);
        p_.drawText(QPoint(0, -fm.descent()), s);
    } else {
        p_.drawText(qr, Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine | Qt::TextExpandTabs, s);
        if (underline >= 0 && underline < s.size()) {
            int ux = qr.left() + fm.horizontalAdvance(s.left(underline));
            int uw = fm.horizontalAdvance(s.mid(underline, 1));
            int uy = qr.bottom() - fm.descent() + 1;
            p_.drawLine(ux, uy, ux + uw - 1, uy);
        }
    }
    p_.restore();
}

void TQtHTMLCanvas::FillRect(const TRect &r, TColor color)
{
    if (color == clNone) return;
    p_.fillRect(r.ToQRect(), ColorToQColor(color));
}

void TQtHTMLCanvas::Line(int x1, int y1, int x2, int y2, TColor color)
{
    p_.save();
    p_.setPen(QPen(ColorToQColor(color), 1));
    p_.drawLine(x1, y1, x2, y2);
    p_.restore();
}

void TQtHTMLCanvas::FocusRect(const TRect &r)
{
    p_.save();
    p_.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1);
    p_.restore();
}

void TQtHTMLCanvas::DrawIcon(const QIcon &icon, const TRect &r) { icon.paint(&p_, r.ToQRect()); }

void TQtHTMLCanvas::DrawPicture(THTMLPicture &picture, const TRect &r) { picture.Draw(p_, r.ToQRect()); }

void TQtHTMLCanvas::DrawShellIcon(const std::string &what, bool large, const TRect &r)
{
    QFileIconProvider provider;
    QIcon icon;
    const QString name = FromAnsi(what);
    QFileInfo fi(name);
    if (fi.exists()) icon = provider.icon(fi);
    else icon = provider.icon(QFileIconProvider::File);
    const int size = large ? 32 : 16;
    icon.paint(&p_, QRect(r.Left, r.Top, std::min(size, r.Width()), std::min(size, r.Height())));
}

int TQtHTMLCanvas::PixelsPerInch() const
{
    QPaintDevice *d = p_.device();
    return d ? d->logicalDpiX() : 96;
}
