// Exports of the enhanced list: CSV, HTML, XML and fixed-width text files,
// and word-processor and spreadsheet files over automation.
#include "controls/EnhListV.h"
#include "controls/RtfText.h"

#include "controls/CsvText.h"

#include "platform/Cp1252.h"
#include "platform/FileIO.h"
#include "platform/Graphics.h"
#include "platform/OleAuto.h"
#include "platform/Rtl.h"

#include <QGuiApplication>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>

namespace {

const std::string CRLF = "\r\n";
constexpr TColor NoColour = 0x7FFFFFFF;

// The hourglass while an export runs; the normal cursor again on every way out.
class WaitCursor {
public:
    WaitCursor()
    {
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            set_ = true;
        }
    }
    ~WaitCursor()
    {
        if (set_) QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool set_ = false;
};

// The message of a file that could not be written: its name and the
// system's reason (errno as the writer left it).
std::string CannotCreate(const std::string &FileName)
{
    return "Cannot create file " + FileName + ": " + std::strerror(errno);
}

// Writes the whole file or throws the class library's input/output error.
void writeOrThrowInOut(const std::string &FileName, const std::string &bytes)
{
    if (!fileio::AtomicWriteFile(FileName, bytes)) throw EFCreateError(CannotCreate(FileName));
}

std::string cellText(const TListItem *item, int col) { return item ? item->CellText(col) : std::string(); }

// Plain text of a rich-text cell (a text beginning with "{\").
std::string RichToPlain(const std::string &rtf) { return RtfText::ToPlainText(rtf); }

// Text as XML character data: the markup characters escaped.
std::string XmlEscape(const std::string &s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

// ---- CSV ------------------------------------------------------------------------------------------------

void TEnhListView::SaveToCSV(const std::string &FileName)
{
    if (Columns.Count() == 0 || Items.Count() == 0) return;
    const char d = Delimiter ? Delimiter : ',';
    std::string out;
    if (SaveHeader) {
        out += csv::QuoteField(Columns[0]->Caption(), d);
        for (int c = 1; c < Columns.Count(); ++c) out += d + csv::QuoteField(Columns[c]->Caption(), d);
        out += CRLF;
    }
    for (int i = 0; i < Items.Count(); ++i) {
        const TListItem *item = Items[i];
        out += csv::QuoteField(item->Caption(), d);
        for (int j = 0; j <= Columns.Count() - 2 && j < item->SubItems.Count(); ++j)
            out += d + csv::QuoteField(item->SubItems[j], d);
        out += CRLF;
    }
    writeOrThrowInOut(FileName, out);
}

// ---- HTML ------------------------------------------------------------------------------------------------

std::string TEnhListView::ColorToHTMLHex(TColor Color)
{
    return Rtl::IntToHex(Color & 0xFF, 2) + Rtl::IntToHex((Color >> 8) & 0xFF, 2) + Rtl::IntToHex((Color >> 16) & 0xFF, 2);
}

std::string TEnhListView::WrapURLAsAnchor(const std::string &Text) const
{
    if (!URLShow) return Text;
    std::string result = Text;
    const bool markup = Rtl::Pos("</", Text) > 0;
    if (!markup) {
        if (int p = Rtl::Pos("://", Text); p > 0) {
            const std::string shown = URLFull ? Text : Rtl::Copy(Text, p + 3, 255);
            result = "<A HREF=" + Text + ">" + shown + "</A>";
        }
        if (int p = Rtl::Pos("mailto:", Text); p > 0) {
            const std::string shown = URLFull ? Text : Rtl::Copy(Text, p + 7, 255);
            result = "<A HREF=" + Text + ">" + shown + "</A>";
        }
    }
    return result;
}

void TEnhListView::SaveToHTML(const std::string &FileName)
{
    if (Columns.Count() == 0 || Items.Count() == 0) return;
    const THTMLSettings &h = HTMLSettings;
    // Colours given as system colours are written as the colour they stand for.
    auto hex = [](TColor c) { return ColorToHTMLHex(ColorToRGB(c)); };

    std::vector<std::string> lines;
    if (!h.PrefixTag.empty()) lines.push_back(h.PrefixTag);
    lines.push_back("<table border=\"" + Rtl::IntToStr(h.BorderSize) + "\" cellspacing=\"" + Rtl::IntToStr(h.CellSpacing) +
                    "\" width=\"" + Rtl::IntToStr(h.Width) + "%\">");
    lines.push_back("<tr>");
    const std::string headerBg = h.SaveColor ? " BGCOLOR=\"#" + ColorToHTMLHex(GetSysColor(10)) + "\"" : std::string();
    for (int c = 0; c < Columns.Count(); ++c) {
        const std::string &cap = Columns[c]->Caption();
        lines.push_back("<td nowrap" + headerBg + "><B>" + (cap.empty() ? std::string("<BR>") : cap) + "</B></td>");
    }
    lines.push_back("</tr>");

    auto cell = [&](int i, int c) {
        const TListItem *item = Items[i];
        std::string text = cellText(item, c);
        if (Rtl::Copy(text, 1, 2) == "{\\") text = RichToPlain(text);
        if (c == 0 && text.empty()) text = "<br>";
        text = WrapURLAsAnchor(text);
        std::string align;
        if (!text.empty()) {
            const TAlignment a = Columns[c] ? Columns[c]->Alignment() : taLeftJustify;
            if (a == taRightJustify) align = " align=\"right\"";
            else if (a == taCenter) align = " align=\"center\"";
        }
        TColor brush = NoColour;
        TFontDesc font;
        font.Color = NoColour;
        font.Style = 0;
        QueryDrawProp(i, c - 1, 0, brush, font, c == 0 ? item->Caption() : text);
        if (c > 0 && text.empty()) text = "<BR>";
        std::string bg, fontOpen, fontClose, styleOpen, styleClose;
        if (brush != NoColour && h.SaveColor) bg = " BGCOLOR=\"#" + hex(brush) + "\"";
        if (font.Color != NoColour && h.SaveColor) {
            fontOpen = "<font color=\"#" + hex(font.Color) + "\">";
            fontClose = "</font>";
        }
        if (h.SaveFonts) {
            if (font.Style & fsBold) {
                styleOpen += "<B>";
                styleClose = "</B>" + styleClose;
            }
            if (font.Style & fsItalic) {
                styleOpen += "<I>";
                styleClose = "</I>" + styleClose;
            }
            if (font.Style & fsUnderline) {
                styleOpen += "<U>";
                styleClose = "</U>" + styleClose;
            }
        }
        return "<td nowrap" + align + bg + ">" + fontOpen + styleOpen + text + styleClose + fontClose + "</td>";
    };

    for (int i = 0; i < Items.Count(); ++i) {
        lines.push_back("<tr>");
        lines.push_back(cell(i, 0));
        if (Items[i]->SubItems.Count() > 0)
            for (int c = 1; c < Columns.Count(); ++c) lines.push_back(cell(i, c));
        lines.push_back("</tr>");
    }
    lines.push_back("</table><p>");
    if (!h.SuffixTag.empty()) lines.push_back(h.SuffixTag);

    auto copyFile = [](const std::string &name, std::string &out) {
        std::string bytes;
        if (name.empty() || !fileio::ReadFile(name, bytes)) return;
        TStringList l;
        l.SetText(bytes);
        out += l.Text();
    };
    std::string out;
    copyFile(h.HeaderFile, out);
    for (const std::string &l : lines) out += l + CRLF;
    copyFile(h.FooterFile, out);
    if (!fileio::AtomicWriteFile(FileName, out)) throw EEnhListViewError(CannotCreate(FileName));
}

// ---- XML -------------------------------------------------------------------------------------------------

void TEnhListView::SaveToXML(const std::string &FileName, const std::string &ListDescr, const std::string &RecordDescr,
                             const TStringList &FieldDescr)
{
    // The cells are Windows-1252 bytes; the declaration says so, or a reader
    // would take them for UTF-8 and refuse every accented letter.
    std::string out = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + CRLF;
    out += "<" + ListDescr + ">" + CRLF;
    for (int i = 0; i < Items.Count(); ++i) {
        const TListItem *item = Items[i];
        out += "<" + RecordDescr + ">" + CRLF;
        for (int j = 1; j <= Columns.Count(); ++j) {
            const std::string tag = FieldDescr.Count() >= j ? FieldDescr[j - 1] : "FIELD" + Rtl::IntToStr(j - 1);
            out += "<" + tag + ">" + XmlEscape(cellText(item, j - 1)) + "</" + tag + ">" + CRLF;
        }
        out += "</" + RecordDescr + ">" + CRLF;
    }
    out += "</" + ListDescr + ">" + CRLF;
    if (!fileio::AtomicWriteFile(FileName, out)) throw EEnhListViewError(CannotCreate(FileName));
}

// ---- fixed-width text ------------------------------------------------------------------------------------

void TEnhListView::SaveToAscii(const std::string &FileName)
{
    WaitCursor wait;
    const int cols = Columns.Count();
    // Widths are kept whole: a cell longer than 255 characters or a list of
    // more than 256 columns still lines up.
    std::vector<int> width(size_t(cols), 0);
    std::vector<int> offset(size_t(cols), 0);
    for (int c = 0; c < cols; ++c)
        for (int i = 0; i < Items.Count(); ++i) width[size_t(c)] = std::max(width[size_t(c)], int(cellText(Items[i], c).size()));
    for (int c = 1; c < cols; ++c) offset[size_t(c)] = offset[size_t(c - 1)] + width[size_t(c - 1)] + 1;

    auto align = [&](std::string t, int c) {
        const size_t w = size_t(width[size_t(c)]);
        const TAlignment a = Columns[c]->Alignment();
        if (a == taRightJustify) {
            if (t.size() < w) t.insert(0, w - t.size(), ' ');
        } else if (a == taCenter) {
            while (t.size() < w) t = " " + t + " ";
        }
        return t;
    };

    std::string out;
    for (int i = 0; i < Items.Count(); ++i) {
        std::string main;
        std::vector<std::string> more;
        for (int c = 0; c < cols; ++c) {
            const std::string text = cellText(Items[i], c);
            std::string first = text;
            size_t br = text.find(CRLF);
            if (br != std::string::npos) {
                first = text.substr(0, br);
                size_t k = 0;
                size_t start = br + 2;
                while (true) {
                    const size_t next = text.find(CRLF, start);
                    const std::string piece = text.substr(start, next == std::string::npos ? std::string::npos : next - start);
                    if (k >= more.size()) more.emplace_back();
                    std::string &line = more[k];
                    if (line.size() < size_t(offset[size_t(c)])) line.append(size_t(offset[size_t(c)]) - line.size(), ' ');
                    line += align(piece, c);
                    ++k;
                    if (next == std::string::npos) break;
                    start = next + 2;
                }
            }
            const std::string a = align(first, c);
            main += a;
            if (a.size() <= size_t(width[size_t(c)])) main.append(size_t(width[size_t(c)]) - a.size() + 1, ' ');
        }
        out += main + CRLF;
        for (const std::string &l : more) out += l + CRLF;
    }
    writeOrThrowInOut(FileName, out);
}

// ---- automation --------------------------------------------------------------------------------------------

std::string TEnhListView::XLSColumnLetters(int Column)
{
    std::string s;
    while (Column > 0) {
        s.insert(s.begin(), char('A' + (Column - 1) % 26));
        Column = (Column - 1) / 26;
    }
    return s;
}

namespace {

// Tells the server to quit when an operation fails half-way, so that no
// server is left running; a failure of that call is not reported over the
// first one.
void quitQuietly(const ole::OleVariant &app)
{
    try {
        app.Call("Quit");
    } catch (...) {
    }
}

} // namespace

void TEnhListView::SaveToDOC(const std::string &FileName)
{
    ole::OleVariant app;
    try {
        app = ole::CreateOleObject("word.application");
    } catch (const EOleSysError &) {
        std::throw_with_nested(Exception("Word OLE server not found"));
    }
    try {
        const ole::OleVariant doc = app.Call("Documents").Call("Add");
        const ole::OleVariant range = doc.Call("Range", {ole::Named("start", 0), ole::Named("end", 0)});
        const ole::OleVariant table = doc.Call("Tables").Call(
            "Add", {ole::OleArg::Ref(range), ole::Named("numrows", Items.Count()), ole::Named("numcolumns", Columns.Count())});
        for (int r = 1; r <= Items.Count(); ++r) {
            const TListItem *item = Items[r - 1];
            for (int c = 1; c <= Columns.Count(); ++c) {
                const ole::OleVariant cell = table.Call("Cell", {ole::Named("row", r), ole::Named("column", c)});
                if (c == 1) cell.Call("Range").Call("InsertAfter", {item->Caption()});
                else if (c - 2 < item->SubItems.Count()) cell.Call("Range").Call("InsertAfter", {item->SubItems[c - 2]});
                const TAlignment a = Columns[c - 1]->Alignment();
                if (a == taRightJustify) cell.Call("Range").Call("ParagraphFormat").Put("Alignment", 2);
                else if (a == taCenter) cell.Call("Range").Call("ParagraphFormat").Put("Alignment", 1);
            }
        }
        doc.Call("SaveAs", {FileName});
    } catch (...) {
        quitQuietly(app);
        throw;
    }
    app.Call("Quit");
}

namespace {

// The spreadsheet's automation server, or the list's error when it is missing.
ole::OleVariant startExcel()
{
    try {
        return ole::CreateOleObject("excel.application");
    } catch (const EOleSysError &) {
        std::throw_with_nested(EEnhListViewError("Excel OLE server not found"));
    }
}

} // namespace

bool TEnhListView::ServerMissing(const std::exception &e)
{
    if (dynamic_cast<const EOleSysError *>(&e))
        return true;
    try {
        std::rethrow_if_nested(e);
    } catch (const EOleSysError &) {
        return true;
    } catch (...) {
    }
    return false;
}

void TEnhListView::SaveToXLS(const std::string &FileName)
{
    WaitCursor wait;
    ole::OleVariant app = startExcel();
    try {
        const ole::OleVariant workbook = app.Call("WorkBooks").Call("Add");
        const ole::OleVariant sheet = workbook.Call("WorkSheets").Call("Add");
        const int rows = Items.Count(), cols = Columns.Count();
        // The block is asked for before the cells are copied: a list larger
        // than a sheet is refused at once, with nothing built for it.
        const std::string address = "A1:" + XLSColumnLetters(cols) + Rtl::IntToStr(rows);
        const ole::OleVariant range = sheet.Get("Range", {address});
        ole::OleVariant values = ole::OleVariant::Array2D(0, rows, 0, cols);
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) values.At(i, j) = ole::OleVariant(cellText(Items[i], j));
        // The sheet keeps the array it is handed, shared rather than copied.
        range.Put("Value", values);
        workbook.Call("SaveAs", {FileName});
    } catch (...) {
        quitQuietly(app);
        throw;
    }
    app.Call("Quit");
}

namespace {

// Column number of spreadsheet letters ("A" = 1, "AA" = 27); 0 for none.
int columnNumber(const std::string &letters)
{
    if (letters.empty() || letters.size() > 3) return 0;
    int n = 0;
    for (char ch : letters) {
        const char u = char(std::toupper(static_cast<unsigned char>(ch)));
        if (u < 'A' || u > 'Z') return 0;
        n = n * 26 + (u - 'A' + 1);
    }
    return n;
}

} // namespace

void TEnhListView::LoadFromXLS(const std::string &FileName)
{
    WaitCursor wait;
    ole::OleVariant app = startExcel();
    try {
        const ole::OleVariant workbook = app.Call("WorkBooks").Call("Open", {FileName});
        const ole::OleVariant sheet = workbook.Call("ActiveSheet");
        const std::string address = sheet.Call("UsedRange").Call("Address").AsString();

        // The size of the used block, '$A$1:$D$20' or '$1:$20' (whole rows).
        int firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
        bool haveFirstRow = false, haveLastRow = false, haveFirstCol = false, haveLastCol = false;
        if (int p = Rtl::Pos(":", address); p > 0) {
            std::string first = Rtl::Copy(address, 1, p - 1), second = Rtl::Copy(address, p + 1, 255);
            if (Rtl::Copy(first, 1, 1) == "$") Rtl::Delete(first, 1, 1);
            if (Rtl::Copy(second, 1, 1) == "$") Rtl::Delete(second, 1, 1);
            auto rowOf = [](const std::string &part, int &row) {
                const int d = Rtl::Pos("$", part);
                return Rtl::TryStrToInt(d > 0 ? Rtl::Copy(part, d + 1) : part, row);
            };
            haveFirstRow = rowOf(first, firstRow);
            haveLastRow = rowOf(second, lastRow);
            if (Rtl::Pos("$", first) == 0) {
                firstCol = 1;
                lastCol = 256;
                haveFirstCol = haveLastCol = true;
            } else {
                firstCol = columnNumber(Rtl::Copy(first, 1, Rtl::Pos("$", first) - 1));
                lastCol = columnNumber(Rtl::Copy(second, 1, Rtl::Pos("$", second) - 1));
                haveFirstCol = firstCol > 0;
                haveLastCol = lastCol > 0;
            }
        }
        int cols = 1, rows = 1;
        // The block is read where it lies (a used block starting at A1, as
        // every export gives, is read as "A1:..").
        std::string block = "A1:A1";
        if (haveFirstRow && haveLastRow && haveFirstCol && haveLastCol && lastRow >= firstRow && lastCol >= firstCol &&
            firstRow >= 1 && firstCol >= 1) {
            cols = lastCol - firstCol + 1;
            rows = lastRow - firstRow + 1;
            block = XLSColumnLetters(firstCol) + Rtl::IntToStr(firstRow) + ":" + XLSColumnLetters(lastCol) +
                    Rtl::IntToStr(lastRow);
        } else if (Rtl::Pos(":", address) == 0) {
            // A single used cell.
            std::string cellRef = address;
            cellRef.erase(std::remove(cellRef.begin(), cellRef.end(), '$'), cellRef.end());
            if (!cellRef.empty()) block = cellRef + ":" + cellRef;
        }
        const ole::OleVariant values = sheet.Get("Range", {block}).Call("value");
        // Only now, with every cell read, the list's rows are replaced: a
        // block the server refuses leaves them as they were.
        BeginUpdate();
        struct Updating {
            TEnhListView *l;
            ~Updating() { l->EndUpdate(); }
        } updating{this};
        Items.Clear();

        for (int r = 1; r <= rows; ++r) {
            TListItem *item = Items.Add();
            for (int c = 1; c <= cols; ++c) {
                ole::OleVariant v;
                if (values.IsArray()) {
                    if (r - 1 + values.LowBound(1) <= values.HighBound(1) && c - 1 + values.LowBound(2) <= values.HighBound(2))
                        v = values.At(r - 1 + values.LowBound(1), c - 1 + values.LowBound(2));
                } else if (r == 1 && c == 1) {
                    v = values;  // a block of one cell reads as its value
                }
                std::string text;
                switch (v.Type()) {
                case ole::VarType::Empty:
                case ole::VarType::Null:
                case ole::VarType::Dispatch:
                case ole::VarType::Error:
                case ole::VarType::Array: break;
                default: text = v.AsString();
                }
                if (Columns.Count() < c) Columns.Add();
                if (c == 1) item->SetCaption(text);
                else item->SubItems.Add(text);
            }
        }
        workbook.Call("Close", {ole::Named("SaveChanges", false)});
    } catch (...) {
        quitQuietly(app);
        throw;
    }
    app.Call("Quit");
}
