#include "reports/AlLoad.h"

#include "platform/Dialogs.h"
#include "platform/FileIO.h"
#include "platform/Rtl.h"
#include "reports/AlImage.h"

#include <QBuffer>
#include <QImageReader>

#include <charconv>
#include <filesystem>
#include <map>

using namespace Rtl;

namespace {

// Limits of a stored layout beyond its size.
constexpr int kMaxDepth = 16;
constexpr int kMaxComponents = 4096;
constexpr int kMaxCoordinate = 32767;      // design pixels and other sizes
constexpr int kMaxPictureSide = 4096;      // pixels

struct Value {
    enum Kind { Int, Ident, Str, Set, Bin } kind = Int;
    long long i = 0;
    std::string s;                // identifier, string or binary bytes
    std::vector<std::string> set;
};

bool sameText(const std::string &a, const std::string &b) { return AnsiCompareText(a, b) == 0; }

bool isIdentChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

const char *const kBandTypes[] = {"alr_Title", "alr_PageHeader", "alr_DetailHeader", "alr_Detail",
                                  "alr_DetailFooter", "alr_PageFooter", "alr_ReportFooter", "alr_NewPage",
                                  "alr_GroupHeader", "alr_GroupFooter"};
const char *const kSysTypes[] = {"alr_Time", "alr_Date", "alr_DateTime", "alr_PageNum",
                                 "alr_Counter", "alr_Count", "alr_Formname"};
const char *const kRulers[] = {"alr_none", "alr_cmH", "alr_cmHV", "alr_cmV"};
const char *const kClipModes[] = {"cm_Clip", "cm_Expand", "cm_Overwrite"};
const char *const kAligns[] = {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"};
const char *const kShapes[] = {"stRectangle", "stSquare", "stRoundRect", "stRoundSquare", "stEllipse", "stCircle"};
const char *const kBrushStyles[] = {"bsSolid", "bsClear", "bsHorizontal", "bsVertical",
                                    "bsFDiagonal", "bsBDiagonal", "bsCross", "bsDiagCross"};
const char *const kPenModes[] = {"pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy",
                                 "pmMergePenNot", "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen",
                                 "pmMerge", "pmNotMerge", "pmMask", "pmNotMask", "pmXor", "pmNotXor"};
const char *const kPenStyles[] = {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear"};
const char *const kAlignments[] = {"taLeftJustify", "taRightJustify", "taCenter"};
const char *const kOrientations[] = {"poPortrait", "poLandscape"};
const char *const kPaperSizes[] = {"alr_A4", "alr_A5", "alr_Legal", "alr_Letter"};
const char *const kFontStyles[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

const std::map<std::string, TColor> &colourNames()
{
    static const std::map<std::string, TColor> names = {
        {"CLBLACK", clBlack},   {"CLMAROON", clMaroon},     {"CLGREEN", clGreen},   {"CLOLIVE", clOlive},
        {"CLNAVY", clNavy},     {"CLPURPLE", clPurple},     {"CLTEAL", clTeal},     {"CLGRAY", clGray},
        {"CLSILVER", clSilver}, {"CLRED", clRed},           {"CLLIME", clLime},     {"CLYELLOW", clYellow},
        {"CLBLUE", clBlue},     {"CLFUCHSIA", clFuchsia},   {"CLAQUA", clAqua},     {"CLWHITE", clWhite},
        {"CLNONE", clNone},     {"CLDEFAULT", clDefault},   {"CLWINDOW", clWindow}, {"CLWINDOWTEXT", clWindowText},
        {"CLBTNFACE", clBtnFace}};
    return names;
}

// A reference from a detail link to another component, resolved once the
// whole layout is read.
struct Fixup {
    TAlDetailLink *link;
    std::string property;
    std::string target;
    int line;
};

class Reader {
public:
    explicit Reader(const std::string &text)
    {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find_first_of("\r\n", start);
            if (end == std::string::npos) {
                lines_.push_back(text.substr(start));
                break;
            }
            lines_.push_back(text.substr(start, end - start));
            start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
        }
    }

    std::unique_ptr<TAlReportForm> Run()
    {
        auto form = std::make_unique<TAlReportForm>();
        form_ = form.get();
        std::string name, cls;
        if (!nextLine() || !objectLine(name, cls))
            fail("A report form is expected");
        form_->Name = name;
        readBody(nullptr, 1);
        if (nextLine())
            fail("Text after the end of the form");
        for (const Fixup &f : fixups_)
            resolve(f);
        return form;
    }

private:
    [[noreturn]] void fail(const std::string &msg) const
    {
        throw Exception(Format("Error reading the report layout, line %d: %s", {lineNo_, msg}));
    }

    // Moves to the next line that is not blank or a comment; false at the end.
    bool nextLine()
    {
        while (index_ < lines_.size()) {
            cur_ = Trim(lines_[index_++]);
            lineNo_ = int(index_);
            if (!cur_.empty() && cur_[0] != ';')
                return true;
        }
        return false;
    }

    bool objectLine(std::string &name, std::string &cls) const
    {
        if (!sameText(Copy(cur_, 1, 7), "object "))
            return false;
        const std::string rest = Trim(Copy(cur_, 8));
        const int colon = Pos(":", rest);
        if (colon == 0)
            fail("\":\" expected after the component's name");
        name = Trim(Copy(rest, 1, colon - 1));
        cls = Trim(Copy(rest, colon + 1));
        if (!validIdent(name) || !validIdent(cls))
            fail("Invalid component name or class");
        return true;
    }

    static bool validIdent(const std::string &s)
    {
        if (s.empty() || (s[0] >= '0' && s[0] <= '9'))
            return false;
        for (char c : s)
            if (!isIdentChar(c))
                return false;
        return true;
    }

    // Reads properties and nested objects up to "end". owner is the
    // component whose body this is (nullptr for the form).
    void readBody(TAlComponent *owner, int depth)
    {
        if (depth > kMaxDepth)
            fail("Components nested too deep");
        while (nextLine()) {
            if (sameText(cur_, "end"))
                return;
            std::string name, cls;
            if (objectLine(name, cls)) {
                TAlComponent *c = create(name, cls, owner);
                readBody(c, depth + 1);
                continue;
            }
            const int eq = Pos("=", cur_);
            if (eq == 0)
                fail("\"=\" expected");
            const std::string prop = Trim(Copy(cur_, 1, eq - 1));
            pos_ = size_t(eq);   // 0-based index after "="
            const Value v = parseValue();
            skipBlanks();
            if (pos_ != cur_.size())
                fail("Text after the value of " + prop);
            setProperty(owner, prop, v);
        }
        fail("\"end\" expected");
    }

    TAlComponent *create(const std::string &name, const std::string &cls, TAlComponent *owner)
    {
        if (++components_ > kMaxComponents)
            fail("Too many components");
        auto *band = dynamic_cast<tAlBand *>(owner);
        if (owner && !band)
            fail("A " + std::string(owner->ClassName()) + " cannot hold components");
        if (sameText(cls, "TAlReport"))
            return top<TAlReport>(name, cls, band);
        if (sameText(cls, "tAlBand"))
            return top<tAlBand>(name, cls, band);
        if (sameText(cls, "TAlDetailLink"))
            return top<TAlDetailLink>(name, cls, band);
        if (sameText(cls, "TAlLabel"))
            return form_->Add<TAlLabel>(name, band);
        if (sameText(cls, "TAlField"))
            return form_->Add<TAlField>(name, band);
        if (sameText(cls, "TAlSysField"))
            return form_->Add<TAlSysField>(name, band);
        if (sameText(cls, "TAlShape"))
            return form_->Add<TAlShape>(name, band);
        if (sameText(cls, "tAlImage")) {
            auto *img = form_->Add<tAlImage>(name, band);
            img->Loading = true;
            return img;
        }
        fail("Class " + cls + " not found");
    }

    // A component that stands on the form itself, never inside a band.
    template <class T>
    T *top(const std::string &name, const std::string &cls, tAlBand *band)
    {
        if (band)
            fail("A band cannot hold a " + cls);
        if (form_->FindComponent(name))
            fail("A component named " + name + " already exists");
        return form_->Add<T>(name);
    }

    // ---- values

    void skipBlanks()
    {
        while (pos_ < cur_.size() && (cur_[pos_] == ' ' || cur_[pos_] == '\t'))
            ++pos_;
    }

    Value parseValue()
    {
        skipBlanks();
        if (pos_ >= cur_.size())
            fail("Value expected");
        Value v;
        const char c = cur_[pos_];
        if (c == '\'' || c == '#') {
            v.kind = Value::Str;
            v.s = parseString();
        } else if (c == '[') {
            v.kind = Value::Set;
            ++pos_;
            skipBlanks();
            if (pos_ < cur_.size() && cur_[pos_] == ']') {
                ++pos_;
                return v;
            }
            for (;;) {
                skipBlanks();
                v.set.push_back(parseIdent());
                skipBlanks();
                if (pos_ < cur_.size() && cur_[pos_] == ',') {
                    ++pos_;
                    continue;
                }
                if (pos_ < cur_.size() && cur_[pos_] == ']') {
                    ++pos_;
                    break;
                }
                fail("\",\" or \"]\" expected");
            }
        } else if (c == '{') {
            v.kind = Value::Bin;
            const size_t close = cur_.find('}', pos_);
            if (close == std::string::npos)
                fail("\"}\" expected");
            const std::string hex = cur_.substr(pos_ + 1, close - pos_ - 1);
            if (hex.size() % 2 != 0)
                fail("Invalid binary value");
            v.s.reserve(hex.size() / 2);
            for (size_t i = 0; i < hex.size(); i += 2) {
                const int hi = Rtl::HexDigitValue(hex[i]), lo = Rtl::HexDigitValue(hex[i + 1]);
                if (hi < 0 || lo < 0)
                    fail("Invalid binary value");
                v.s.push_back(char(hi * 16 + lo));
            }
            pos_ = close + 1;
        } else if (c == '-' || c == '$' || (c >= '0' && c <= '9')) {
            v.kind = Value::Int;
            v.i = parseNumber();
        } else {
            v.kind = Value::Ident;
            v.s = parseIdent();
        }
        return v;
    }

    std::string parseIdent()
    {
        const size_t start = pos_;
        while (pos_ < cur_.size() && isIdentChar(cur_[pos_]))
            ++pos_;
        if (pos_ == start)
            fail("Identifier expected");
        return cur_.substr(start, pos_ - start);
    }

    long long parseNumber()
    {
        bool negative = false;
        if (cur_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        int base = 10;
        if (pos_ < cur_.size() && cur_[pos_] == '$') {
            base = 16;
            ++pos_;
        }
        const char *first = cur_.data() + pos_;
        const char *last = cur_.data() + cur_.size();
        unsigned long long u = 0;
        const auto r = std::from_chars(first, last, u, base);
        if (r.ec != std::errc() || r.ptr == first || u > 0xFFFFFFFFull)
            fail("Invalid number");
        pos_ += size_t(r.ptr - first);
        return negative ? -(long long)u : (long long)u;
    }

    // 'text' pieces ('' for a quote inside) and #code characters, joined.
    std::string parseString()
    {
        std::string out;
        while (pos_ < cur_.size()) {
            const char c = cur_[pos_];
            if (c == '\'') {
                ++pos_;
                for (;;) {
                    if (pos_ >= cur_.size())
                        fail("Unterminated string");
                    if (cur_[pos_] == '\'') {
                        if (pos_ + 1 < cur_.size() && cur_[pos_ + 1] == '\'') {
                            out.push_back('\'');
                            pos_ += 2;
                            continue;
                        }
                        ++pos_;
                        break;
                    }
                    out.push_back(cur_[pos_++]);
                }
            } else if (c == '#') {
                ++pos_;
                if (pos_ >= cur_.size() || cur_[pos_] < '0' || cur_[pos_] > '9')
                    fail("Character code expected");
                const long long code = parseNumber();
                if (code < 0 || code > 255)
                    fail("Invalid character code");
                out.push_back(char(code));
            } else {
                break;
            }
        }
        return out;
    }

    // ---- typed property values

    int toInt(const Value &v, const std::string &prop, long long lo = -kMaxCoordinate,
              long long hi = kMaxCoordinate) const
    {
        if (v.kind != Value::Int || v.i < lo || v.i > hi)
            fail("Invalid value for " + prop);
        return int(v.i);
    }
    bool toBool(const Value &v, const std::string &prop) const
    {
        if (v.kind == Value::Ident && sameText(v.s, "True"))
            return true;
        if (v.kind == Value::Ident && sameText(v.s, "False"))
            return false;
        fail("Invalid value for " + prop);
    }
    std::string toStr(const Value &v, const std::string &prop) const
    {
        if (v.kind != Value::Str)
            fail("Invalid value for " + prop);
        return v.s;
    }
    template <size_t N>
    int toEnum(const Value &v, const std::string &prop, const char *const (&names)[N]) const
    {
        if (v.kind == Value::Ident)
            for (size_t i = 0; i < N; ++i)
                if (sameText(v.s, names[i]))
                    return int(i);
        fail("Invalid value for " + prop);
    }
    TColor toColour(const Value &v, const std::string &prop) const
    {
        if (v.kind == Value::Int && v.i >= -0x80000000ll && v.i <= 0xFFFFFFFFll)
            return TColor(uint32_t(v.i));
        if (v.kind == Value::Ident) {
            const auto it = colourNames().find(UpperCase(v.s));
            if (it != colourNames().end())
                return it->second;
        }
        fail("Invalid value for " + prop);
    }
    uint8_t toFontStyle(const Value &v, const std::string &prop) const
    {
        if (v.kind != Value::Set)
            fail("Invalid value for " + prop);
        uint8_t style = 0;
        for (const std::string &s : v.set) {
            Value one;
            one.kind = Value::Ident;
            one.s = s;
            style |= uint8_t(1u << toEnum(one, prop, kFontStyles));
        }
        return style;
    }

    // Font.Name, Font.Size, Font.Height, Font.Style, Font.Color of a font.
    bool setFont(TAlFont &f, const std::string &prop, const Value &v) const
    {
        if (sameText(prop, "Font.Name"))
            f.Name = toStr(v, prop);
        else if (sameText(prop, "Font.Size"))
            f.Size = toInt(v, prop, -1000, 1000);
        else if (sameText(prop, "Font.Height"))
            f.SetHeight(toInt(v, prop, -1000, 1000));
        else if (sameText(prop, "Font.Style"))
            f.Style = toFontStyle(v, prop);
        else if (sameText(prop, "Font.Color"))
            f.Color = toColour(v, prop);
        else
            return false;
        return true;
    }

    void setProperty(TAlComponent *c, const std::string &prop, const Value &v)
    {
        if (!c) {
            if (!setFont(form_->Font, prop, v))
                fail("Property " + prop + " does not exist");
            return;
        }
        if (sameText(prop, "Tag")) {
            c->Tag = toInt(v, prop, INT32_MIN, INT32_MAX);
            return;
        }
        if (auto *r = dynamic_cast<TAlReport *>(c)) {
            if (sameText(prop, "Orientation"))
                r->SetOrientation(TPrinterOrientation(toEnum(v, prop, kOrientations)));
            else if (sameText(prop, "Papersize"))
                r->SetPapersize(tPapersize(toEnum(v, prop, kPaperSizes)));
            else if (sameText(prop, "LeftMarginMM"))
                r->SetLeftMargin(toInt(v, prop));
            else if (sameText(prop, "RightMarginMM"))
                r->SetRightMargin(toInt(v, prop));
            else if (sameText(prop, "ReportTitle"))
                r->ReportTitle = toStr(v, prop);
            else
                fail("Property " + prop + " does not exist");
            return;
        }
        if (auto *l = dynamic_cast<TAlDetailLink *>(c)) {
            if (v.kind != Value::Ident)
                fail("Invalid value for " + prop);
            for (const char *p : {"GroupHeader", "GroupFooter", "GroupBand", "DataSource"})
                if (sameText(prop, p)) {
                    fixups_.push_back({l, p, v.s, lineNo_});
                    return;
                }
            fail("Property " + prop + " does not exist");
        }
        auto *vis = dynamic_cast<TAlVisual *>(c);
        if (!vis)
            fail("Property " + prop + " does not exist");
        if (setVisual(*vis, prop, v))
            return;
        if (auto *b = dynamic_cast<tAlBand *>(c)) {
            if (sameText(prop, "BandType"))
                b->SetBandType(tAlBandType(toEnum(v, prop, kBandTypes)));
            else if (sameText(prop, "AltColor"))
                b->AltColor = toBool(v, prop);
            else if (sameText(prop, "Ruler"))
                b->SetRulerTyp(tAlRulerType(toEnum(v, prop, kRulers)));
            else if (sameText(prop, "ClipMode"))
                b->ClipMode = tClipMode(toEnum(v, prop, kClipModes));
            else if (sameText(prop, "ColWidthMM"))
                b->SetColWidth(toInt(v, prop, 0, 10000));
            else if (sameText(prop, "Columns"))
                b->SetColumns(toInt(v, prop, 1, 100));
            else if (sameText(prop, "FirstPageHeaderOnly"))
                b->SetFirstPageHeaderOnly(toBool(v, prop));
            else if (sameText(prop, "NotFirstPageHeader"))
                b->SetNotFirstPageHeader(toBool(v, prop));
            else if (sameText(prop, "Align"))
                b->Align = TAlign(toEnum(v, prop, kAligns));
            else
                fail("Property " + prop + " does not exist");
            return;
        }
        auto *ctl = dynamic_cast<tAlControl *>(c);
        if (ctl && sameText(prop, "VisibleInPreview")) {
            ctl->VisibleInPreview = toBool(v, prop);
            return;
        }
        if (auto *l = dynamic_cast<TAlLabel *>(c)) {
            if (sameText(prop, "Alignment"))
                l->Alignment = TAlignment(toEnum(v, prop, kAlignments));
            else if (sameText(prop, "AutoSize"))
                l->AutoSize = toBool(v, prop);
            else if (sameText(prop, "Transparent"))
                l->Transparent = toBool(v, prop);
            else if (sameText(prop, "WordWrap"))
                l->WordWrap = toBool(v, prop);
            else if (auto *sf = dynamic_cast<TAlSysField *>(c); sf && sameText(prop, "DataType"))
                sf->LoadDataType(tAlSysDataType(toEnum(v, prop, kSysTypes)));
            else
                fail("Property " + prop + " does not exist");
            return;
        }
        if (auto *s = dynamic_cast<TAlShape *>(c)) {
            if (sameText(prop, "Shape"))
                s->Shape = TShapeType(toEnum(v, prop, kShapes));
            else if (sameText(prop, "Pen.Color"))
                s->Pen.Color = toColour(v, prop);
            else if (sameText(prop, "Pen.Width"))
                s->Pen.Width = toInt(v, prop, 0, 1000);
            else if (sameText(prop, "Pen.Style"))
                s->Pen.Style = TPenStyle(toEnum(v, prop, kPenStyles));
            else if (sameText(prop, "Pen.Mode"))
                s->Pen.Mode = TPenMode(toEnum(v, prop, kPenModes));
            else if (sameText(prop, "Brush.Color"))
                s->Brush.Color = toColour(v, prop);
            else if (sameText(prop, "Brush.Style"))
                s->Brush.Style = TBrushStyle(toEnum(v, prop, kBrushStyles));
            else
                fail("Property " + prop + " does not exist");
            return;
        }
        if (auto *img = dynamic_cast<tAlImage *>(c)) {
            if (sameText(prop, "Stretch"))
                img->SetStretch(toBool(v, prop));
            else if (sameText(prop, "Center"))
                img->SetCenter(toBool(v, prop));
            else if (sameText(prop, "AutoSize"))
                img->SetAutoSize(toBool(v, prop));
            else if (sameText(prop, "Picture.Data"))
                img->SetPicture(readPicture(v, prop));
            else
                fail("Property " + prop + " does not exist");
            return;
        }
        fail("Property " + prop + " does not exist");
    }

    bool setVisual(TAlVisual &c, const std::string &prop, const Value &v) const
    {
        if (sameText(prop, "Left"))
            c.Left = toInt(v, prop);
        else if (sameText(prop, "Top"))
            c.Top = toInt(v, prop);
        else if (sameText(prop, "Width"))
            c.Width = toInt(v, prop, 0);
        else if (sameText(prop, "Height"))
            c.Height = toInt(v, prop, 0);
        else if (sameText(prop, "Visible"))
            c.Visible = toBool(v, prop);
        else if (sameText(prop, "Enabled"))
            c.Enabled = toBool(v, prop);
        else if (sameText(prop, "Color"))
            c.Color = toColour(v, prop);
        else if (sameText(prop, "Caption"))
            c.Caption = toStr(v, prop);
        else if (sameText(prop, "ParentFont"))
            c.ParentFont = toBool(v, prop);
        else if (sameText(Copy(prop, 1, 5), "Font.")) {
            TAlFont f = c.Font();
            if (!setFont(f, prop, v))
                return false;
            c.SetFont(f);
        } else
            return false;
        return true;
    }

    // A bitmap (BMP or PNG data) or an icon, which counts as a graphic of
    // another kind.
    TAlPicture readPicture(const Value &v, const std::string &prop) const
    {
        if (v.kind != Value::Bin)
            fail("Invalid value for " + prop);
        TAlPicture pic;
        if (v.s.empty())
            return pic;
        if (v.s.compare(0, 4, std::string("\0\0\1\0", 4)) == 0) {
            pic.kind = TAlPicture::Other;
            return pic;
        }
        QByteArray bytes(v.s.data(), qsizetype(v.s.size()));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        const bool bmp = v.s.compare(0, 2, "BM") == 0;
        const bool png = v.s.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
        if (!bmp && !png)
            fail("Unknown picture format");
        QImageReader reader(&buffer, bmp ? "bmp" : "png");
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > kMaxPictureSide || size.height() > kMaxPictureSide)
            fail("Invalid picture");
        if (!reader.read(&pic.image))
            fail("Invalid picture");
        pic.kind = TAlPicture::Bitmap;
        return pic;
    }

    void resolve(const Fixup &f)
    {
        lineNo_ = f.line;
        TAlComponent *target = form_->FindComponent(f.target);
        if (!target)
            fail("Component " + f.target + " not found");
        if (f.property == "DataSource") {
            auto *field = dynamic_cast<TAlField *>(target);
            if (!field)
                fail("Invalid value for DataSource");
            f.link->DataSource = field;
            return;
        }
        auto *band = dynamic_cast<tAlBand *>(target);
        if (!band)
            fail("Invalid value for " + f.property);
        if (f.property == "GroupHeader")
            f.link->GroupHeader = band;
        else if (f.property == "GroupFooter")
            f.link->GroupFooter = band;
        else
            f.link->SetDetailBand(band);
    }

    std::vector<std::string> lines_;
    size_t index_ = 0;
    int lineNo_ = 0;
    std::string cur_;
    size_t pos_ = 0;
    int components_ = 0;
    TAlReportForm *form_ = nullptr;
    std::vector<Fixup> fixups_;
};

} // namespace

std::unique_ptr<TAlReportForm> ReadReportLayout(const std::string &text)
{
    if (text.size() > kMaxReportFileSize)
        throw Exception("The report layout is too large");
    auto form = Reader(text).Run();
    form->ForEach<tAlImage>([](tAlImage *img) { img->Loading = false; });
    return form;
}

void SetFormNameFields(TAlReportForm &form, const std::string &fileName)
{
    const std::string name = ExtractFileName(fileName);
    form.ForEach<TAlSysField>([&](TAlSysField *f) {
        if (f->DataType() == alr_Formname)
            f->Caption = name;
    });
}

namespace {

// Runs a load; an error shows its message in an error box and gives False.
bool guardedLoad(const std::function<bool()> &load)
{
    auto show = [](const std::string &message) {
        Dialogs::MessageBox(nullptr, message, "Error", Dialogs::Button::OK, Dialogs::Icon::Error);
    };
    try {
        return load();
    } catch (const Exception &e) {
        show(e.Message);
    } catch (const std::exception &e) {
        show(e.what());
    }
    return false;
}

// Hands a form read or made to the caller with its first report.
bool adopt(std::unique_ptr<TAlReportForm> made, TAlReport *&report, std::unique_ptr<TAlReportForm> &form)
{
    TAlReport *found = FindReportComponent(*made);
    form = std::move(made);
    report = found;
    return found != nullptr;
}

} // namespace

bool LoadReport(const std::string &fileName, TAlReport *&report, std::unique_ptr<TAlReportForm> &form)
{
    if (!FileExists(fileName))
        return false;
    return guardedLoad([&] {
        std::error_code ec;
        const auto size = std::filesystem::file_size(fileName, ec);
        if (ec)
            throw Exception("Cannot open file \"" + fileName + "\"");
        if (size > kMaxReportFileSize)
            throw Exception("The report layout is too large");
        std::string text;
        if (!fileio::ReadFile(fileName, text))
            throw Exception("Cannot open file \"" + fileName + "\"");
        std::unique_ptr<TAlReportForm> loaded = ReadReportLayout(text);
        SetFormNameFields(*loaded, fileName);
        return adopt(std::move(loaded), report, form);
    });
}

bool LoadReportRes(const TAlReportFormClass &formClass, TAlReport *&report, std::unique_ptr<TAlReportForm> &form)
{
    return guardedLoad([&] {
        std::unique_ptr<TAlReportForm> made = formClass();
        if (!made)
            throw Exception("The report form could not be created");
        return adopt(std::move(made), report, form);
    });
}
