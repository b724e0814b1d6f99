#include "platform/OfficeServers.h"

#include "platform/DocxWriter.h"
#include "platform/Rtl.h"
#include "platform/XlsxIO.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <variant>

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

// =============================== word processor ===============================

struct WordDoc {
    // Body blocks in order: a table, or a paragraph's text.
    std::vector<std::variant<std::shared_ptr<docx::Table>, std::string>> body;
    bool closed = false;
};

class WordParagraphFormat : public IDispatchObject {
public:
    WordParagraphFormat(std::shared_ptr<docx::Table> t, int r, int c) : table_(std::move(t)), row_(r), col_(c) {}
    std::string TypeName() const override { return "ParagraphFormat"; }
    OleVariant Invoke(const OleCall &call) override
    {
        if (call.Is("Alignment")) {
            docx::Cell &cell = table_->At(row_, col_);
            if (call.Kind != InvokeKind::PropertyPut) return OleVariant(cell.Alignment);
            int a;
            try {
                a = call.Value.AsInt();
            } catch (const EOleError &) {
                throw EOleException("Type mismatch");
            }
            if (a < 0 || a > 9) throw EOleException("Value out of range");
            cell.Alignment = a <= 3 ? a : 3;
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
        docx::Cell &cell = table_->At(row_, col_);
        if (call.Is("InsertAfter")) {
            cell.Text += textArg(call, 0, "Text");
            return OleVariant();
        }
        if (call.Is("InsertBefore")) {
            cell.Text = textArg(call, 0, "Text") + cell.Text;
            return OleVariant();
        }
        if (call.Is("Text")) {
            if (call.Kind == InvokeKind::PropertyPut) {
                cell.Text = call.Value.AsString();
                return OleVariant();
            }
            return OleVariant(cell.Text);
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
            doc_->body.emplace_back(textArg(call, 0, "Text"));
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
        if (call.Is("Add")) {
            const OleVariant &where = required(call, 0, "Range");
            auto *range = where.IsDispatch() ? dynamic_cast<WordDocRange *>(where.AsDispatch().get()) : nullptr;
            if (!range || range->doc() != doc_.get()) throw EOleException("Type mismatch");
            const int rows = intArg(call, 1, "NumRows", 0), cols = intArg(call, 2, "NumColumns", 0);
            if (rows < 1 || rows > 32767) throw EOleException("The number must be between 1 and 32767.");
            if (cols < 1 || cols > 63) throw EOleException("The number must be between 1 and 63.");
            auto t = std::make_shared<docx::Table>();
            t->Rows = rows;
            t->Cols = cols;
            t->Cells.resize(size_t(rows) * size_t(cols));
            if (range->start() <= 0) doc_->body.insert(doc_->body.begin(), t);
            else doc_->body.emplace_back(t);
            return OleVariant(disp(std::make_shared<WordTable>(t)));
        }
        if (call.Is("Count")) {
            int n = 0;
            for (const auto &b : doc_->body) n += std::holds_alternative<std::shared_ptr<docx::Table>>(b);
            return OleVariant(n);
        }
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
            docx::Document d;
            for (const auto &b : doc_->body) {
                docx::Block block;
                if (auto t = std::get_if<std::shared_ptr<docx::Table>>(&b)) block.Tbl = **t;
                else block.Paragraph.Text = std::get<std::string>(b);
                d.Body.push_back(std::move(block));
            }
            std::string err;
            if (name.empty() || !docx::WriteDocx(d, name, err))
                throw EOleException("Word cannot save the document " + name + (err.empty() ? "" : ": " + err));
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

struct Block {
    int row = 0, col = 0, rows = 1, cols = 1;  // first cell from 0, size
};

// "A1:C2", "$A$1:$C$2" or "B3"; false when it names no block of cells.
bool parseAddress(const std::string &address, Block &b)
{
    const std::string a = Rtl::Trim(address);
    const size_t colon = a.find(':');
    int r1, c1, r2, c2;
    if (colon == std::string::npos) {
        if (!xlsx::ParseCellRef(a, r1, c1)) return false;
        r2 = r1;
        c2 = c1;
    } else if (!xlsx::ParseCellRef(a.substr(0, colon), r1, c1) || !xlsx::ParseCellRef(a.substr(colon + 1), r2, c2)) {
        return false;
    }
    b.row = std::min(r1, r2) - 1;
    b.col = std::min(c1, c2) - 1;
    b.rows = std::abs(r2 - r1) + 1;
    b.cols = std::abs(c2 - c1) + 1;
    return true;
}

std::string absoluteAddress(const Block &b)
{
    auto cell = [](int row, int col) { return "$" + xlsx::ColumnName(col + 1) + "$" + std::to_string(row + 1); };
    std::string s = cell(b.row, b.col);
    if (b.rows > 1 || b.cols > 1) s += ":" + cell(b.row + b.rows - 1, b.col + b.cols - 1);
    return s;
}

// A block is read or written cell by cell only up to this size: the used
// block of a sheet with cells at A1 and XFD1048576 must not ask for a
// terabyte.
constexpr int64_t kMaxBlockCells = 250000;

int64_t cellCount(const Block &b) { return int64_t(b.rows) * int64_t(b.cols); }

void checkBlockSize(const Block &b)
{
    if (cellCount(b) > kMaxBlockCells) throw EOleException("Not enough storage is available to complete this operation.");
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
        auto &cells = book_->wb.Sheets[size_t(sheet_)].Cells;
        if (call.Is("Value") || call.Is("Value2")) {
            if (call.Kind == InvokeKind::PropertyPut) {
                put(cells, call.Value);
                return OleVariant();
            }
            auto value = [&](int r, int c) {
                auto it = cells.find({block_.row + r, block_.col + c});
                return it == cells.end() ? OleVariant() : it->second;
            };
            if (block_.rows == 1 && block_.cols == 1) return value(0, 0);
            checkBlockSize(block_);
            OleVariant a = OleVariant::Array2D(1, block_.rows, 1, block_.cols);
            for (int r = 0; r < block_.rows; ++r)
                for (int c = 0; c < block_.cols; ++c) a.At(r + 1, c + 1) = value(r, c);
            return a;
        }
        if (call.Is("Address")) return OleVariant(absoluteAddress(block_));
        if (call.Is("Count")) return OleVariant(cellCount(block_));
        if (call.Is("Row")) return OleVariant(block_.row + 1);
        if (call.Is("Column")) return OleVariant(block_.col + 1);
        Unsupported(call);
    }

private:
    void put(std::map<std::pair<int, int>, OleVariant> &cells, const OleVariant &v)
    {
        checkBlockSize(block_);
        for (int r = 0; r < block_.rows; ++r) {
            for (int c = 0; c < block_.cols; ++c) {
                OleVariant x;
                if (v.IsArray()) {
                    // Cells beyond the array get #N/A, as the spreadsheet does.
                    const int ar = v.LowBound(1) + r, ac = v.LowBound(2) + c;
                    x = ar <= v.HighBound(1) && ac <= v.HighBound(2) ? v.At(ar, ac) : OleVariant::Error(2042);
                } else {
                    x = v;
                }
                if (x.IsDispatch() || x.IsArray()) throw EOleException("Type mismatch");
                if (x.IsEmpty()) cells.erase({block_.row + r, block_.col + c});
                else cells[{block_.row + r, block_.col + c}] = x;
            }
        }
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
            Block b;
            b.row = intArg(call, 0, "RowIndex", 1) - 1;
            b.col = intArg(call, 1, "ColumnIndex", 1) - 1;
            if (b.row < 0 || b.col < 0 || b.row >= 1048576 || b.col >= 16384)
                throw EOleException("Application-defined or object-defined error");
            return OleVariant(disp(std::make_shared<ExcelRange>(book_, sheet_, b)));
        }
        if (call.Is("UsedRange")) {
            const auto &cells = book_->wb.Sheets[size_t(sheet_)].Cells;
            Block b;
            if (!cells.empty()) {
                int r0 = INT_MAX, c0 = INT_MAX, r1 = 0, c1 = 0;
                for (const auto &kv : cells) {
                    r0 = std::min(r0, kv.first.first);
                    r1 = std::max(r1, kv.first.first);
                    c0 = std::min(c0, kv.first.second);
                    c1 = std::max(c1, kv.first.second);
                }
                b = Block{r0, c0, r1 - r0 + 1, c1 - c0 + 1};
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
        std::string err;
        if (name.empty() || !xlsx::WriteXlsx(book_->wb, name, err))
            throw EOleException("Cannot access '" + name + "'" + (err.empty() ? "" : ": " + err));
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
