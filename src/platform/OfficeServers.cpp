#include "platform/OfficeServers.h"

#include "platform/DocxWriter.h"
#include "platform/OfficeServersFiles.h"
#include "platform/Rtl.h"
#include "platform/XlsxIO.h"

#include <algorithm>
#include <memory>

namespace ole {

namespace {

DispatchPtr disp(std::shared_ptr<IDispatchObject> p) { return p; }

// A required argument; EOleException "Argument not optional" when missing.
const OleVariant &required(const OleCall &call, size_t position, const std::string &name)
{
    const OleVariant *v = call.Arg(position, name);
    if (!v) throw EOleException("Argument not optional");
    return *v;
}

int intArg(const OleCall &call, size_t position, const std::string &name, int def)
{
    const OleVariant *v = call.Arg(position, name);
    if (!v || v->IsEmpty()) return def;
    try {
        return v->AsInt();
    } catch (const EOleError &) {
        throw EOleException("Type mismatch");
    }
}

std::string textArg(const OleCall &call, size_t position, const std::string &name)
{
    try {
        return required(call, position, name).AsString();
    } catch (const EOleException &) {
        throw;
    } catch (const EOleError &) {
        throw EOleException("Type mismatch");
    }
}

// A file a server could not write: its name and the system's reason.
[[noreturn]] void cannotCreate(const std::string &name, const std::string &reason)
{
    throw EOleException("Cannot create file " + name + ": " + reason);
}

// =============================== word processor ===============================

struct WordDoc {
    docx::Document doc;
    bool closed = false;
};

class WordParagraphFormat : public IDispatchObject {
public:
    WordParagraphFormat(std::shared_ptr<docx::Table> t, int r, int c) : table_(std::move(t)), row_(r), col_(c) {}
    std::string TypeName() const override { return "ParagraphFormat"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("Alignment")) {
            if (call.Kind != InvokeKind::PropertyPut) {
                const docx::Cell *cell = table_->Find(row_, col_);
                return OleVariant(cell ? cell->Alignment : 0);
            }
            int a;
            try {
                a = call.Value.AsInt();
            } catch (const EOleError &) {
                throw EOleException("Type mismatch");
            }
            if (a < 0 || a > 9) throw EOleException("Value out of range");
            table_->At(row_, col_).Alignment = a <= 3 ? a : 3;
            return OleVariant();
        }
        Unsupported(call);
    }

private:
    std::shared_ptr<docx::Table> table_;
    int row_, col_;
};

class WordCellRange : public IDispatchObject {
public:
    WordCellRange(std::shared_ptr<docx::Table> t, int r, int c) : table_(std::move(t)), row_(r), col_(c) {}
    std::string TypeName() const override { return "Range"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("InsertAfter")) {
            table_->At(row_, col_).Text += textArg(call, 0, "Text");
            return OleVariant();
        }
        if (call.Is("InsertBefore")) {
            docx::Cell &cell = table_->At(row_, col_);
            cell.Text = textArg(call, 0, "Text") + cell.Text;
            return OleVariant();
        }
        if (call.Is("Text")) {
            if (call.Kind == InvokeKind::PropertyPut) {
                table_->At(row_, col_).Text = call.Value.AsString();
                return OleVariant();
            }
            const docx::Cell *cell = table_->Find(row_, col_);
            return OleVariant(cell ? cell->Text : std::string());
        }
        if (call.Is("ParagraphFormat"))
            return OleVariant(disp(std::make_shared<WordParagraphFormat>(table_, row_, col_)));
        Unsupported(call);
    }

private:
    std::shared_ptr<docx::Table> table_;
    int row_, col_;
};

class WordCell : public IDispatchObject {
public:
    WordCell(std::shared_ptr<docx::Table> t, int r, int c) : table_(std::move(t)), row_(r), col_(c) {}
    std::string TypeName() const override { return "Cell"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("Range")) return OleVariant(disp(std::make_shared<WordCellRange>(table_, row_, col_)));
        if (call.Is("RowIndex")) return OleVariant(row_ + 1);
        if (call.Is("ColumnIndex")) return OleVariant(col_ + 1);
        Unsupported(call);
    }

private:
    std::shared_ptr<docx::Table> table_;
    int row_, col_;
};

class WordTable : public IDispatchObject {
public:
    explicit WordTable(std::shared_ptr<docx::Table> t) : table_(std::move(t)) {}
    std::string TypeName() const override { return "Table"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("Cell")) {
            const int r = intArg(call, 0, "Row", 0), c = intArg(call, 1, "Column", 0);
            if (r < 1 || r > table_->Rows || c < 1 || c > table_->Cols)
                throw EOleException("The requested member of the collection does not exist.");
            return OleVariant(disp(std::make_shared<WordCell>(table_, r - 1, c - 1)));
        }
        Unsupported(call);
    }

private:
    std::shared_ptr<docx::Table> table_;
};

// A range of the document's body: Range(start, end) of a document.
class WordDocRange : public IDispatchObject {
public:
    WordDocRange(std::shared_ptr<WordDoc> d, int start) : doc_(std::move(d)), start_(start) {}
    std::string TypeName() const override { return "Range"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("InsertAfter")) {
            docx::Block paragraph;
            paragraph.Paragraph.Text = textArg(call, 0, "Text");
            doc_->doc.Body.push_back(std::move(paragraph));
            return OleVariant();
        }
        if (call.Is("Start")) return OleVariant(start_);
        Unsupported(call);
    }
    int start() const { return start_; }
    WordDoc *doc() const { return doc_.get(); }

private:
    std::shared_ptr<WordDoc> doc_;
    int start_;
};

class WordTables : public IDispatchObject {
public:
    explicit WordTables(std::shared_ptr<WordDoc> d) : doc_(std::move(d)) {}
    std::string TypeName() const override { return "Tables"; }
    OleVariant Invoke(const OleCall &call) override
    {
        auto &body = doc_->doc.Body;
        if (call.Is("Add")) {
            const OleVariant &where = required(call, 0, "Range");
            auto *range = where.IsDispatch() ? dynamic_cast<WordDocRange *>(where.AsDispatch().get()) : nullptr;
            if (!range || range->doc() != doc_.get()) throw EOleException("Type mismatch");
            // A document's table has no row or column limit of its own; a
            // table's cells take memory only once they are written to.
            const int rows = intArg(call, 1, "NumRows", 0), cols = intArg(call, 2, "NumColumns", 0);
            if (rows < 1 || cols < 1)
                throw EOleException("A table has at least one row and one column; asked for " + std::to_string(rows) +
                                    " rows and " + std::to_string(cols) + " columns.");
            docx::Block block;
            block.Tbl = std::make_shared<docx::Table>();
            block.Tbl->Rows = rows;
            block.Tbl->Cols = cols;
            auto t = block.Tbl;
            if (range->start() <= 0) body.insert(body.begin(), std::move(block));
            else body.push_back(std::move(block));
            return OleVariant(disp(std::make_shared<WordTable>(t)));
        }
        if (call.Is("Count"))
            return OleVariant(int(std::count_if(body.begin(), body.end(), [](const docx::Block &b) { return b.IsTable(); })));
        Unsupported(call);
    }

private:
    std::shared_ptr<WordDoc> doc_;
};

class WordDocument : public IDispatchObject {
public:
    WordDocument() : doc_(std::make_shared<WordDoc>()) {}
    std::string TypeName() const override { return "Document"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (doc_->closed) throw EOleException("The object has been deleted.");
        if (call.Is("Range")) {
            const int start = intArg(call, 0, "Start", 0);
            (void)intArg(call, 1, "End", 0);
            return OleVariant(disp(std::make_shared<WordDocRange>(doc_, start)));
        }
        if (call.Is("Tables")) return OleVariant(disp(std::make_shared<WordTables>(doc_)));
        if (call.Is("SaveAs") || call.Is("SaveAs2")) {
            const std::string name = textArg(call, 0, "FileName");
            if (name.empty()) cannotCreate(name, "no file name was given");
            std::string err;
            if (!docx::WriteDocx(doc_->doc, name, err)) cannotCreate(name, err);
            return OleVariant();
        }
        if (call.Is("Close")) {
            doc_->closed = true;
            return OleVariant();
        }
        Unsupported(call);
    }

private:
    std::shared_ptr<WordDoc> doc_;
};

class WordDocuments : public IDispatchObject {
public:
    std::string TypeName() const override { return "Documents"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("Add")) {
            docs_.push_back(std::make_shared<WordDocument>());
            return OleVariant(disp(docs_.back()));
        }
        if (call.Is("Count")) return OleVariant(int(docs_.size()));
        Unsupported(call);
    }

private:
    std::vector<std::shared_ptr<WordDocument>> docs_;
};

class WordApplication : public IDispatchObject {
public:
    std::string TypeName() const override { return "Application"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("Documents")) return OleVariant(disp(documents_));
        if (call.Is("Quit")) return OleVariant();
        if (call.Is("Visible")) return call.Kind == InvokeKind::PropertyPut ? OleVariant() : OleVariant(false);
        if (call.Is("Name")) return OleVariant("Microsoft Word");
        Unsupported(call);
    }

private:
    std::shared_ptr<WordDocuments> documents_ = std::make_shared<WordDocuments>();
};

// =============================== spreadsheet ===============================

using xlsx::Block;

// The refusal of a range that reaches beyond the sheet, with the numbers.
std::string beyondSheet(const std::string &address, int64_t lastRow, int64_t lastCol)
{
    std::string reach;
    if (lastRow > xlsx::kSheetRows) reach = "row " + officefiles::Grouped(lastRow);
    if (lastCol > xlsx::kSheetColumns)
        reach += (reach.empty() ? "" : " and ") + std::string("column ") + officefiles::Grouped(lastCol) + " (" +
                 xlsx::ColumnName(int(lastCol)) + ")";
    return "The range " + address + " does not fit on a sheet: it reaches " + reach + ", and a sheet has " +
           officefiles::Grouped(xlsx::kSheetRows) + " rows and " + officefiles::Grouped(xlsx::kSheetColumns) +
           " columns.";
}

// "A1:C2", "$A$1:$C$2" or "B3"; false when it names no block of cells.
// A block that reaches beyond the sheet is refused (EOleException) with the
// sheet's limits.
bool parseAddress(const std::string &address, Block &b)
{
    const std::string a = Rtl::Trim(address);
    const size_t colon = a.find(':');
    int64_t r1, c1, r2, c2;
    if (colon == std::string::npos) {
        if (!xlsx::ParseCellRefUnbounded(a, r1, c1)) return false;
        r2 = r1;
        c2 = c1;
    } else if (!xlsx::ParseCellRefUnbounded(a.substr(0, colon), r1, c1) ||
               !xlsx::ParseCellRefUnbounded(a.substr(colon + 1), r2, c2)) {
        return false;
    }
    if (std::max(r1, r2) > xlsx::kSheetRows || std::max(c1, c2) > xlsx::kSheetColumns)
        throw EOleException(beyondSheet(a, std::max(r1, r2), std::max(c1, c2)));
    b.Row = int(std::min(r1, r2) - 1);
    b.Col = int(std::min(c1, c2) - 1);
    b.Rows = int(std::abs(r2 - r1) + 1);
    b.Cols = int(std::abs(c2 - c1) + 1);
    return true;
}

std::string absoluteAddress(const Block &b)
{
    auto cell = [](int row, int col) { return "$" + xlsx::ColumnName(col + 1) + "$" + std::to_string(row + 1); };
    std::string s = cell(b.Row, b.Col);
    if (b.Rows > 1 || b.Cols > 1) s += ":" + cell(b.Row + b.Rows - 1, b.Col + b.Cols - 1);
    return s;
}

// A block is read into an array only up to this size: the used block of a
// sheet with cells at A1 and XFD1048576 must not ask for a terabyte. (Writes
// keep the values handed over as they are, so they need no such bound.)
constexpr int64_t kMaxBlockCells = 250000;

int64_t cellCount(const Block &b) { return int64_t(b.Rows) * int64_t(b.Cols); }

void checkBlockSize(const Block &b)
{
    if (cellCount(b) > kMaxBlockCells) throw EOleException("Not enough storage is available to complete this operation.");
}

// A value a cell can hold: no object, no array.
void checkCellValue(const OleVariant &x)
{
    if (x.IsDispatch() || x.IsArray()) throw EOleException("Type mismatch");
}

struct Book {
    xlsx::Workbook wb;
    bool closed = false;
};

class ExcelRange : public IDispatchObject {
public:
    ExcelRange(std::shared_ptr<Book> book, int sheet, Block b) : book_(std::move(book)), sheet_(sheet), block_(b) {}
    std::string TypeName() const override { return "Range"; }
    OleVariant Invoke(const OleCall &call) override
    {
        xlsx::Sheet &sheet = book_->wb.Sheets[size_t(sheet_)];
        if (call.Is("Value") || call.Is("Value2")) {
            if (call.Kind == InvokeKind::PropertyPut) {
                put(sheet, call.Value);
                return OleVariant();
            }
            auto value = [&](int r, int c) {
                const OleVariant *v = sheet.Find(block_.Row + r, block_.Col + c);
                return v ? *v : OleVariant();
            };
            if (block_.Rows == 1 && block_.Cols == 1) return value(0, 0);
            checkBlockSize(block_);
            OleVariant a = OleVariant::Array2D(1, block_.Rows, 1, block_.Cols);
            for (int r = 0; r < block_.Rows; ++r)
                for (int c = 0; c < block_.Cols; ++c) a.At(r + 1, c + 1) = value(r, c);
            return a;
        }
        if (call.Is("Address")) return OleVariant(absoluteAddress(block_));
        if (call.Is("Count")) return OleVariant(cellCount(block_));
        if (call.Is("Row")) return OleVariant(block_.Row + 1);
        if (call.Is("Column")) return OleVariant(block_.Col + 1);
        Unsupported(call);
    }

private:
    // The values are kept as they were handed over (an array is shared, not
    // copied): a block of any size the sheet holds costs no more than its
    // array already does.
    void put(xlsx::Sheet &sheet, const OleVariant &v)
    {
        if (v.IsArray()) {
            for (int r = v.LowBound(1); r <= v.HighBound(1); ++r)
                for (int c = v.LowBound(2); c <= v.HighBound(2); ++c) checkCellValue(v.At(r, c));
        } else {
            checkCellValue(v);
        }
        Block b = block_;
        b.Values = v;
        sheet.Write(std::move(b));
    }

    std::shared_ptr<Book> book_;
    int sheet_;
    Block block_;
};

class ExcelSheet : public IDispatchObject {
public:
    ExcelSheet(std::shared_ptr<Book> book, int sheet) : book_(std::move(book)), sheet_(sheet) {}
    std::string TypeName() const override { return "Worksheet"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (book_->closed) throw EOleException("The object invoked has disconnected from its clients.");
        if (call.Is("Range")) {
            Block b;
            const OleVariant &a = required(call, 0, "Cell1");
            if (a.Type() != VarType::String || !parseAddress(a.AsString(), b))
                throw EOleException("Method 'Range' of object '_Worksheet' failed");
            return OleVariant(disp(std::make_shared<ExcelRange>(book_, sheet_, b)));
        }
        if (call.Is("Cells")) {
            const int row = intArg(call, 0, "RowIndex", 1), col = intArg(call, 1, "ColumnIndex", 1);
            if (row < 1 || col < 1) throw EOleException("Application-defined or object-defined error");
            if (row > xlsx::kSheetRows || col > xlsx::kSheetColumns)
                throw EOleException(beyondSheet("R" + std::to_string(row) + "C" + std::to_string(col), row, col));
            Block b;
            b.Row = row - 1;
            b.Col = col - 1;
            return OleVariant(disp(std::make_shared<ExcelRange>(book_, sheet_, b)));
        }
        if (call.Is("UsedRange")) {
            Block b;
            int r0, c0, r1, c1;
            if (book_->wb.Sheets[size_t(sheet_)].UsedBounds(r0, c0, r1, c1)) {
                b.Row = r0;
                b.Col = c0;
                b.Rows = r1 - r0 + 1;
                b.Cols = c1 - c0 + 1;
            }
            return OleVariant(disp(std::make_shared<ExcelRange>(book_, sheet_, b)));
        }
        if (call.Is("Name")) return OleVariant(book_->wb.Sheets[size_t(sheet_)].Name);
        if (call.Is("Activate")) {
            book_->wb.Active = sheet_;
            return OleVariant();
        }
        Unsupported(call);
    }
    int index() const { return sheet_; }

private:
    std::shared_ptr<Book> book_;
    int sheet_;
};

class ExcelSheets : public IDispatchObject {
public:
    explicit ExcelSheets(std::shared_ptr<Book> book) : book_(std::move(book)) {}
    std::string TypeName() const override { return "Sheets"; }
    OleVariant Invoke(const OleCall &call) override
    {
        auto &sheets = book_->wb.Sheets;
        if (call.Is("Add")) {
            // A new sheet goes before the active one and becomes active; it is
            // named after the first free "SheetN".
            int n = 1;
            auto used = [&](const std::string &name) {
                return std::any_of(sheets.begin(), sheets.end(),
                                   [&](const xlsx::Sheet &s) { return Rtl::SameText(s.Name, name); });
            };
            while (used("Sheet" + std::to_string(n))) ++n;
            xlsx::Sheet s;
            s.Name = "Sheet" + std::to_string(n);
            const int at = std::clamp(book_->wb.Active, 0, int(sheets.size()));
            sheets.insert(sheets.begin() + at, std::move(s));
            book_->wb.Active = at;
            return OleVariant(disp(std::make_shared<ExcelSheet>(book_, at)));
        }
        if (call.Is("Count")) return OleVariant(int(sheets.size()));
        if (call.Is("Item")) {
            const int i = intArg(call, 0, "Index", 0);
            if (i < 1 || i > int(sheets.size())) throw EOleException("Subscript out of range");
            return OleVariant(disp(std::make_shared<ExcelSheet>(book_, i - 1)));
        }
        Unsupported(call);
    }

private:
    std::shared_ptr<Book> book_;
};

class ExcelWorkbook : public IDispatchObject {
public:
    explicit ExcelWorkbook(std::shared_ptr<Book> book, std::string path = std::string())
        : book_(std::move(book)), path_(std::move(path)) {}
    std::string TypeName() const override { return "Workbook"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (book_->closed) throw EOleException("The object invoked has disconnected from its clients.");
        if (call.Is("WorkSheets") || call.Is("Sheets")) return OleVariant(disp(std::make_shared<ExcelSheets>(book_)));
        if (call.Is("ActiveSheet")) return OleVariant(disp(std::make_shared<ExcelSheet>(book_, book_->wb.Active)));
        if (call.Is("SaveAs")) {
            const std::string name = textArg(call, 0, "Filename");
            save(name);
            path_ = name;
            return OleVariant();
        }
        if (call.Is("Save")) {
            if (path_.empty()) throw EOleException("The workbook has no file name");
            save(path_);
            return OleVariant();
        }
        if (call.Is("Close")) {
            const OleVariant *s = call.Arg(0, "SaveChanges");
            if (s && !s->IsEmpty() && s->AsBool()) {
                if (path_.empty()) throw EOleException("The workbook has no file name");
                save(path_);
            }
            book_->closed = true;
            return OleVariant();
        }
        if (call.Is("Name")) return OleVariant(path_.empty() ? std::string("Book1") : Rtl::ExtractFileName(path_));
        Unsupported(call);
    }

private:
    void save(const std::string &name)
    {
        if (name.empty()) cannotCreate(name, "no file name was given");
        // What the file format cannot hold is refused before the file is
        // touched, with the cell and the numbers.
        std::string why;
        if (!xlsx::Fits(book_->wb, why)) throw EOleException(why);
        std::string err;
        if (!xlsx::WriteXlsx(book_->wb, name, err)) cannotCreate(name, err);
    }

    std::shared_ptr<Book> book_;
    std::string path_;
};

class ExcelWorkbooks : public IDispatchObject {
public:
    std::string TypeName() const override { return "Workbooks"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("Add")) {
            auto book = std::make_shared<Book>();
            xlsx::Sheet first;
            first.Name = "Sheet1";
            book->wb.Sheets.push_back(std::move(first));
            ++count_;
            return OleVariant(disp(std::make_shared<ExcelWorkbook>(book)));
        }
        if (call.Is("Open")) {
            const std::string name = textArg(call, 0, "Filename");
            auto book = std::make_shared<Book>();
            std::string err;
            if (!Rtl::FileExists(name))
                throw EOleException("'" + name + "' could not be found.");
            if (!xlsx::ReadXlsx(name, book->wb, err))
                throw EOleException("'" + name + "' is not a workbook: " + err);
            ++count_;
            return OleVariant(disp(std::make_shared<ExcelWorkbook>(book, name)));
        }
        if (call.Is("Count")) return OleVariant(count_);
        Unsupported(call);
    }

private:
    int count_ = 0;
};

class ExcelApplication : public IDispatchObject {
public:
    std::string TypeName() const override { return "Application"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("WorkBooks")) return OleVariant(disp(workbooks_));
        if (call.Is("Quit")) return OleVariant();
        if (call.Is("Visible") || call.Is("DisplayAlerts"))
            return call.Kind == InvokeKind::PropertyPut ? OleVariant() : OleVariant(false);
        if (call.Is("Name")) return OleVariant("Microsoft Excel");
        Unsupported(call);
    }

private:
    std::shared_ptr<ExcelWorkbooks> workbooks_ = std::make_shared<ExcelWorkbooks>();
};

} // namespace

DispatchPtr NewWordApplication() { return std::make_shared<WordApplication>(); }
DispatchPtr NewExcelApplication() { return std::make_shared<ExcelApplication>(); }

} // namespace ole
