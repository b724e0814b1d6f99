// The enhanced list's own cell files and streams, and the import of
// delimiter-separated (CSV) files.
#include "controls/EnhListV.h"

#include "controls/Alvutil.h"
#include "controls/CsvText.h"
#include "platform/Classes.h"
#include "platform/FileIO.h"
#include "platform/Rtl.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>

namespace {

const std::string CRLF = "\r\n";

// A cell file or stream may not ask for more than this; a damaged first line
// must not make the list allocate without bound. Rows are made at once,
// sub-items only as cells arrive.
// A row costs about as much as RowCost cells even when none fills it.
constexpr int MaxRows = 1000000;
constexpr int MaxCols = 10000;
constexpr int64_t MaxCells = 1000000;
constexpr int64_t RowCost = 4;
// Files read whole may hold at most this many bytes: cell files 64 MiB,
// CSV files (exports of big catalogues among them) 128 MiB.
constexpr size_t MaxFileBytes = 64u * 1024u * 1024u;
constexpr size_t MaxCsvBytes = 128u * 1024u * 1024u;

bool sizeAllowed(int rows, int cols)
{
    return rows <= MaxRows && cols <= MaxCols && int64_t(rows) * (int64_t(cols) + RowCost) <= MaxCells;
}

// Leading number of a field: blanks, an optional sign, then decimal digits
// or "$"/"0x" and hexadecimal digits; 0 when there is none.
int leadingInt(const std::string &s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        const char c = char(std::tolower(static_cast<unsigned char>(s[i])));
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else break;
        v = v * base + d;
        if (v > INT_MAX) v = INT_MAX;
    }
    return int(neg ? -v : v);
}

// Splits s at its first comma: the part before it goes to head, s keeps the
// part after it; without a comma head takes all of s.
std::string cutField(std::string &s)
{
    const int p = Rtl::Pos(",", s);
    if (p == 0) {
        std::string all;
        all.swap(s);
        return all;
    }
    std::string head = Rtl::Copy(s, 1, p - 1);
    Rtl::Delete(s, 1, p);
    return head;
}

// Lines of a text file; CR LF, LF and CR all end a line.
std::vector<std::string> fileLines(const std::string &bytes)
{
    TStringList l;
    l.SetText(bytes);
    return l.ToVector();
}

// Sets the text of a cell that lies inside the list; any other is ignored.
bool putCell(TEnhListView &list, int col, int row, const std::string &text)
{
    TListItem *item = list.Items.Item(row);
    if (!item || col < 0 || col >= list.Columns.Count()) return false;
    if (col == 0) {
        item->SetCaption(text);
    } else {
        while (item->SubItems.Count() < col) item->SubItems.Add(std::string());
        item->SubItems.Put(col - 1, text);
    }
    return true;
}

// Rows of a cell file or stream: the list cleared, at least cols columns,
// their captions emptied, rows items without sub-items (added as cells
// arrive, so a big first line costs nothing until cells fill it).
void prepareRows(TEnhListView &list, int rows, int cols)
{
    list.Items.Clear();
    while (list.Columns.Count() < cols) list.Columns.Add();
    for (int c = 0; c < cols; ++c) list.Columns[c]->SetCaption(std::string());
    for (int r = 0; r < rows; ++r) list.Items.Add()->SetImageIndex(-1);
}

struct UpdateBatch {
    explicit UpdateBatch(TEnhListView &l) : list(l) { list.BeginUpdate(); }
    ~UpdateBatch() { list.EndUpdate(); }
    UpdateBatch(const UpdateBatch &) = delete;
    UpdateBatch &operator=(const UpdateBatch &) = delete;
    TEnhListView &list;
};

} // namespace

// ---- preparing ------------------------------------------------------------------------------------------

void TEnhListView::Clear()
{
    UpdateBatch batch(*this);
    Items.Clear();
    for (int c = 0; c < Columns.Count(); ++c) Columns[c]->SetCaption(std::string());
}

void TEnhListView::ClearInit(int Rows, int Cols)
{
    UpdateBatch batch(*this);
    Items.Clear();
    while (Columns.Count() < Cols) Columns.Add();
    for (int c = 0; c < Cols; ++c) Columns[c]->SetCaption(std::string());
    for (int r = 0; r < Rows; ++r) {
        TListItem *item = Items.Add();
        item->SetImageIndex(-1);
        for (int s = 0; s < Cols; ++s) {
            item->SubItems.Add(std::string());
            item->SetSubItemImage(s, -1);
        }
    }
}

// ---- cell files ------------------------------------------------------------------------------------------

void TEnhListView::SaveToFile(const std::string &FileName)
{
    const int cols = Columns.Count();
    std::string out = Rtl::IntToStr(cols) + "," + Rtl::IntToStr(Items.Count()) + CRLF;
    for (int c = 0; c < cols; ++c) out += "cw " + Rtl::IntToStr(c) + "," + Rtl::IntToStr(Columns[c]->Width()) + CRLF;
    int offset = 0;
    if (SaveHeader) {
        for (int c = 0; c < cols; ++c)
            if (!Columns[c]->Caption().empty())
                out += Rtl::IntToStr(c) + ",0," + Alvutil::LfToFile(Columns[c]->Caption()) + CRLF;
        offset = 1;
    }
    for (int i = 0; i < Items.Count(); ++i) {
        const TListItem *item = Items[i];
        for (int c = 0; c < cols; ++c) {
            const std::string text = GetTextAtColRow(c, i);
            if (text.empty()) continue;
            const int image = c == 0 ? item->ImageIndex() : item->SubItemImage(c - 1);
            out += Rtl::IntToStr(c) + "," + Rtl::IntToStr(i + offset) + "," + Rtl::IntToStr(image) + "," +
                   Alvutil::LfToFile(text) + CRLF;
        }
    }
    if (!fileio::AtomicWriteFile(FileName, out)) throw EFCreateError("Cannot create file " + FileName);
}

void TEnhListView::LoadFromFile(const std::string &FileName)
{
    std::string bytes;
    if (!fileio::ReadFile(FileName, bytes, MaxFileBytes)) {
        if (errno == EFBIG) throw EEnhListViewError("File contains no data or corrupt file " + FileName);
        throw EEnhListViewError("File " + FileName + " not found");
    }
    const std::vector<std::string> lines = fileLines(bytes);
    int cols = 0, rows = 0;
    if (!lines.empty() && !lines[0].empty()) {
        std::string first = lines[0];
        cols = leadingInt(cutField(first));
        rows = leadingInt(first);
    }
    if (cols <= 0 || rows <= 0 || !sizeAllowed(rows, cols))
        throw EEnhListViewError("File contains no data or corrupt file " + FileName);

    UpdateBatch batch(*this);
    prepareRows(*this, rows, cols);
    const int h = LoadHeader ? 1 : 0;
    for (size_t n = 1; n < lines.size(); ++n) {
        std::string line = lines[n];
        if (Rtl::Copy(line, 1, 2) == "cw") {
            const int comma = Rtl::Pos(",", line);
            const int col = leadingInt(Rtl::Copy(line, 4, comma > 0 ? comma - 4 : INT32_MAX));
            if (comma > 0 && col >= 0 && col < cols) Columns[col]->SetWidth(leadingInt(Rtl::Copy(line, comma + 1)));
            continue;
        }
        // A caption line has at least two commas, a cell line three; a line
        // with fewer is no record and is ignored.
        const auto commas = std::count(line.begin(), line.end(), ',');
        if (commas < 2) continue;
        const int c = leadingInt(cutField(line));
        const int r = leadingInt(cutField(line));
        if (LoadHeader && r == 0) {
            // A caption line: column, 0, caption (the caption may hold commas).
            if (TListColumn *col = Columns[c]) col->SetCaption(Alvutil::FileToLf(line, false));
            continue;
        }
        if (commas < 3) continue;
        const int m = leadingInt(cutField(line));
        const int row = r - h;
        // Lines naming a cell outside the list are ignored.
        if (!putCell(*this, c, row, Alvutil::FileToLf(line, false))) continue;
        if (m >= 0 && !SubImages()) SetSubImages(true);
        TListItem *item = Items[row];
        if (c == 0) item->SetImageIndex(m);
        else item->SetSubItemImage(c - 1, m);
    }
}

// ---- streams -------------------------------------------------------------------------------------------------

void TEnhListView::SaveToStream(TStream &Stream)
{
    const int cols = Columns.Count();
    std::string out = Rtl::IntToStr(cols) + "," + Rtl::IntToStr(Items.Count() + 1) + CRLF;
    for (int r = 0; r <= Items.Count(); ++r) {
        for (int c = 0; c < cols; ++c) {
            const std::string text = r == 0 ? Columns[c]->Caption() : Items[r - 1]->CellText(c);
            if (text.empty()) continue;
            out += Rtl::IntToStr(c) + "," + Rtl::IntToStr(r) + "," + Alvutil::LfToFile(text) + CRLF;
        }
    }
    Stream.WriteString(out);
}

void TEnhListView::LoadFromStream(TStream &Stream)
{
    Stream.SetPosition(0);
    auto readLine = [&Stream](std::string &line) {
        line.clear();
        char ch;
        bool any = false;
        while (Stream.Read(&ch, 1) == 1) {
            any = true;
            if (ch == '\r') {
                char lf;
                Stream.Read(&lf, 1);
                return true;
            }
            line += ch;
        }
        return any;
    };
    std::string line;
    if (!readLine(line) || line.empty()) return;
    const int cols = Rtl::StrToInt(cutField(line));
    const int rows = Rtl::StrToInt(line);
    if (cols <= 0 || rows <= 0) return;
    if (!sizeAllowed(rows - 1, cols)) throw EEnhListViewError("Stream contains no data or corrupt data");

    UpdateBatch batch(*this);
    prepareRows(*this, rows - 1, cols);
    while (readLine(line)) {
        const int c = Rtl::StrToInt(cutField(line));
        const int r = Rtl::StrToInt(cutField(line));
        const std::string text = Alvutil::FileToLf(line, false);
        // Records naming a cell outside the list are ignored.
        if (r == 0) {
            if (TListColumn *col = Columns[c]) col->SetCaption(text);
        } else {
            putCell(*this, c, r - 1, text);
        }
    }
}

// ---- CSV import ------------------------------------------------------------------------------------------------

void TEnhListView::InputFromCSV(const std::string &FileName, bool Insert)
{
    std::string bytes;
    if (!fileio::ReadFile(FileName, bytes, MaxCsvBytes)) throw EEnhListViewError("File cannot be opened");

    if (Delimiter == 0) {
        // The first two lines decide; CR LF, LF and CR end a line.
        auto lineAt = [&bytes](size_t &from) {
            size_t end = bytes.find_first_of("\r\n", from);
            if (end == std::string::npos) end = bytes.size();
            const std::string_view line = std::string_view(bytes).substr(from, end - from);
            from = end + (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n' ? 2 : 1);
            return line;
        };
        size_t at = 0;
        const std::string_view l1 = lineAt(at);
        const std::string_view l2 = at < bytes.size() ? lineAt(at) : std::string_view();
        int best = 0;
        for (char cand : {',', ';', '#', '\t', '|'}) {
            const int n1 = Alvutil::NumSingleChar(cand, l1), n2 = Alvutil::NumSingleChar(cand, l2);
            if (n1 == n2 && n1 > best) {
                Delimiter = cand;
                best = n1;
            }
        }
    }
    const char dc = Delimiter ? Delimiter : ',';

    csv::Reader reader(bytes, dc);
    std::vector<std::string> fields;
    UpdateBatch batch(*this);
    if (LoadHeader && !Insert) {
        Clear();
        // Field k names column k (added when missing); an empty last field
        // names none.
        if (reader.Next(fields, false)) {
            Columns.Extend(int(fields.size()));
            for (size_t k = 0; k < fields.size(); ++k) Columns[int(k)]->SetCaption(fields[k]);
        }
    }
    // Every data line adds one item; every field gets a column, so no value
    // is loaded where no column shows it. The missing columns come in one
    // step and the fields move into the row at once, so a line of a million
    // fields costs no regrowing per field.
    while (reader.Next(fields, true)) {
        TListItem *item = Items.Add();
        item->SetImageIndex(-1);
        Columns.Extend(int(fields.size()));
        if (fields.empty()) continue;
        item->SetCaption(fields[0]);
        if (fields.size() > 1) {
            fields.erase(fields.begin());
            item->SubItems.Assign(std::move(fields));
        }
    }
}
