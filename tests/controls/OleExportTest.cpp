// Word-processor and spreadsheet exports and the spreadsheet import over the
// automation layer: the files read back by python3-docx and openpyxl, the
// exact calls made, and the failures.
#include "ListExportPeer.h"
#include "MemoryPeak.h"

#include "common/TestUtil.h"
#include "controls/EnhListV.h"
#include "platform/OfficeServers.h"
#include "platform/OleAuto.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sys/stat.h>

using namespace exportpeer;
using testutil::TempDir;

namespace {

// Replaces a server with a recording wrapper of the built-in one, or marks it
// as not installed, for the life of the object.
class ServerOverride {
public:
    ServerOverride(std::string progId, ole::DispatchPtr (*make)())
        : progId_(std::move(progId)), log_(std::make_shared<std::vector<std::string>>())
    {
        auto log = log_;
        ole::RegisterOleServer(progId_, [log, make] { return ole::RecordCalls(make(), log); });
    }
    explicit ServerOverride(std::string progId) : progId_(std::move(progId))
    {
        ole::SetOleServerAvailable(progId_, false);
    }
    ~ServerOverride() { ole::ResetOleServer(progId_); }
    const std::vector<std::string> &log() const { return *log_; }

private:
    std::string progId_;
    std::shared_ptr<std::vector<std::string>> log_;
};

std::unique_ptr<TEnhListView> smallList()
{
    auto list = std::make_unique<TEnhListView>();
    list->Columns.Add("A", 50);
    list->Columns.Add("B", 50, taCenter);
    list->Columns.Add("C", 50, taRightJustify);
    TListItem *a = list->Items.Add();
    a->SetCaption("a");
    a->SubItems.Add("b");
    a->SubItems.Add("c");
    list->Items.Add()->SetCaption("d");
    return list;
}

std::string q(const std::string &s) { return "\"" + s + "\""; }

// Writes a workbook with openpyxl from a JSON description.
void writeWorkbook(const TempDir &dir, const std::string &file, const std::string &json)
{
    const std::string layout = dir.file("layout.json");
    testutil::writeFile(layout, json);
    const QJsonObject got = read("writexlsx", file, layout);
    ASSERT_TRUE(got["ok"].toBool());
}

std::vector<std::vector<std::string>> rowsOf(const TEnhListView &list)
{
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < list.Items.Count(); ++i) {
        std::vector<std::string> r{list.Items[i]->Caption()};
        for (int s = 0; s < list.Items[i]->SubItems.Count(); ++s) r.push_back(list.Items[i]->SubItems[s]);
        rows.push_back(r);
    }
    return rows;
}

using Rows = std::vector<std::vector<std::string>>;

} // namespace

// ---- the word processor -----------------------------------------------------------------------

TEST(ListExportDoc, ReadBackByPythonDocx)
{
    TempDir dir;
    auto list = catalogueList(sampleRows());
    const std::string file = dir.file("cat.docx");
    list->SaveToDOC(file);

    const QJsonObject got = read("docx", file);
    const QJsonArray tables = got["tables"].toArray();
    ASSERT_EQ(tables.size(), 1);
    const QJsonObject t = tables[0].toObject();
    const std::vector<Row> rows = sampleRows();
    EXPECT_EQ(t["rows"].toInt(), int(rows.size()));  // no row of column captions
    EXPECT_EQ(t["cols"].toInt(), 5);
    const QJsonArray cells = t["cells"].toArray();
    for (size_t r = 0; r < rows.size(); ++r) {
        const QJsonArray row = cells[qsizetype(r)].toArray();
        ASSERT_EQ(row.size(), 5);
        for (int c = 0; c < 5; ++c) {
            const QJsonObject cell = row[c].toObject();
            const std::string want = c == 0 ? rows[r].caption
                                            : (c - 1 < int(rows[r].subs.size()) ? rows[r].subs[size_t(c - 1)] : "");
            EXPECT_EQ(cell["text"].toString(), u(want)) << r << "," << c;
            // Centred columns (TRACKS, PIDS) give 1, the right-aligned one 2,
            // left-aligned ones no alignment of their own.
            const QJsonValue al = cell["alignment"].toArray()[0];
            if (c == 2 || c == 3) EXPECT_EQ(al.toInt(), 1) << c;
            else if (c == 4) EXPECT_EQ(al.toInt(), 2) << c;
            else EXPECT_TRUE(al.isNull()) << c;
        }
    }
}

TEST(ListExportDoc, MakesExactlyTheCallsInOrder)
{
    TempDir dir;
    ServerOverride word("word.application", ole::NewWordApplication);
    auto list = smallList();
    const std::string file = dir.file("s.docx");
    list->SaveToDOC(file);
    const std::vector<std::string> expected = {
        "Documents()", "Add()", "Range(start:=0, end:=0)", "Tables()",
        "Add(byref <Range>, numrows:=2, numcolumns:=3)",
        "Cell(row:=1, column:=1)", "Range()", "InsertAfter(\"a\")",
        "Cell(row:=1, column:=2)", "Range()", "InsertAfter(\"b\")", "Range()", "ParagraphFormat()", "put Alignment := 1",
        "Cell(row:=1, column:=3)", "Range()", "InsertAfter(\"c\")", "Range()", "ParagraphFormat()", "put Alignment := 2",
        "Cell(row:=2, column:=1)", "Range()", "InsertAfter(\"d\")",
        "Cell(row:=2, column:=2)", "Range()", "ParagraphFormat()", "put Alignment := 1",
        "Cell(row:=2, column:=3)", "Range()", "ParagraphFormat()", "put Alignment := 2",
        "SaveAs(" + q(file) + ")", "Quit()",
    };
    EXPECT_EQ(word.log(), expected);
    EXPECT_TRUE(testutil::fileExists(file));
}

TEST(ListExportDoc, ServerMissingOrFailing)
{
    TempDir dir;
    auto list = smallList();
    {
        ServerOverride missing("word.application");
        try {
            list->SaveToDOC(dir.file("x.docx"));
            ADD_FAILURE() << "no error";
        } catch (const EEnhListViewError &) {
            ADD_FAILURE() << "the word processor's absence is a general exception";
        } catch (const Exception &e) {
            EXPECT_STREQ(e.ClassName(), "Exception");
            EXPECT_EQ(e.Message, "Word OLE server not found");
            // The server's own failure is kept as the cause.
            EXPECT_TRUE(TEnhListView::ServerMissing(e));
        }
        EXPECT_FALSE(testutil::fileExists(dir.file("x.docx")));
    }
    {
        // A table of zero rows is refused by the server; the rest is not
        // called and the server is told to quit.
        ServerOverride word("word.application", ole::NewWordApplication);
        auto empty = catalogueList({});
        try {
            empty->SaveToDOC(dir.file("e.docx"));
            ADD_FAILURE() << "no error";
        } catch (const EOleException &e) {
            EXPECT_EQ(e.Message, "A table has at least one row and one column; asked for 0 rows and 5 columns.");
            EXPECT_FALSE(TEnhListView::ServerMissing(e));
        }
        ASSERT_GE(word.log().size(), 2u);
        EXPECT_EQ(word.log()[word.log().size() - 2], "Add(byref <Range>, numrows:=0, numcolumns:=5)");
        EXPECT_EQ(word.log().back(), "Quit()");
        EXPECT_FALSE(testutil::fileExists(dir.file("e.docx")));
    }
    // A file that cannot be written: its name and the system's reason.
    try {
        list->SaveToDOC(dir.file("no/such/dir/x.docx"));
        ADD_FAILURE() << "no error";
    } catch (const EOleException &e) {
        EXPECT_EQ(e.Message, "Cannot create file " + dir.file("no/such/dir/x.docx") + ": No such file or directory");
        EXPECT_FALSE(TEnhListView::ServerMissing(e));
    }
    // After the override the built-in server is back.
    list->SaveToDOC(dir.file("ok.docx"));
    EXPECT_TRUE(testutil::fileExists(dir.file("ok.docx")));
}

// ---- the spreadsheet: export -------------------------------------------------------------------------

TEST(ListExportXls, ReadBackByOpenpyxlWithLeadingZerosKept)
{
    TempDir dir;
    auto list = catalogueList(sampleRows());
    const std::string file = dir.file("cat.xlsx");
    list->SaveToXLS(file);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    const QJsonObject got = read("xlsx", file);
    EXPECT_EQ(got["dimensions"].toString(), "A1:E3");
    EXPECT_EQ(got["title"].toString(), "Sheet2");  // the sheet added to the new workbook
    const QJsonArray values = got["values"].toArray();
    const QJsonArray types = got["types"].toArray();
    const QJsonArray formats = got["formats"].toArray();
    const std::vector<Row> rows = sampleRows();
    ASSERT_EQ(values.size(), qsizetype(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r) {
        const QJsonArray row = values[qsizetype(r)].toArray();
        ASSERT_EQ(row.size(), 5);
        for (int c = 0; c < 5; ++c) {
            const std::string want = c == 0 ? rows[r].caption
                                            : (c - 1 < int(rows[r].subs.size()) ? rows[r].subs[size_t(c - 1)] : "");
            if (want.empty()) {
                EXPECT_TRUE(row[c].isNull()) << r << "," << c;
            } else {
                EXPECT_EQ(row[c].toString(), u(want)) << r << "," << c;
                EXPECT_EQ(types[qsizetype(r)].toArray()[c].toString(), "s");
            }
            EXPECT_EQ(formats[qsizetype(r)].toArray()[c].toString(), "@");
        }
    }
    EXPECT_EQ(values[0].toArray()[3].toString(), "007");
    EXPECT_EQ(values[1].toArray()[3].toString(), "0042");
}

TEST(ListExportXls, MakesExactlyTheCallsAndAddresses)
{
    TempDir dir;
    ServerOverride excel("excel.application", ole::NewExcelApplication);
    auto list = smallList();
    const std::string file = dir.file("s.xlsx");
    list->SaveToXLS(file);
    const std::vector<std::string> expected = {
        "WorkBooks()", "Add()", "WorkSheets()", "Add()", "get Range(\"A1:C2\")", "put Value := Array[0..1, 0..2]",
        "SaveAs(" + q(file) + ")", "Quit()",
    };
    EXPECT_EQ(excel.log(), expected);

    // 27 columns and 10 rows.
    TEnhListView wide;
    for (int c = 0; c < 27; ++c) wide.Columns.Add("c" + std::to_string(c), 40);
    for (int r = 0; r < 10; ++r) wide.Items.Add()->SetCaption("r" + std::to_string(r));
    wide.SaveToXLS(dir.file("w.xlsx"));
    EXPECT_EQ(excel.log()[excel.log().size() - 4], "get Range(\"A1:AA10\")");
    EXPECT_EQ(read("xlsx", dir.file("w.xlsx"))["dimensions"].toString(), "A1:AA10");

    struct Case { int n; const char *letters; };
    for (const Case &c : {Case{1, "A"}, Case{26, "Z"}, Case{27, "AA"}, Case{52, "AZ"}, Case{53, "BA"}, Case{702, "ZZ"},
                          Case{703, "AAA"}})
        EXPECT_EQ(TEnhListView::XLSColumnLetters(c.n), c.letters) << c.n;
}

TEST(ListExportXls, ServerMissingOrFailing)
{
    TempDir dir;
    auto list = smallList();
    {
        ServerOverride missing("excel.application");
        for (int op = 0; op < 2; ++op) {
            try {
                if (op == 0) list->SaveToXLS(dir.file("x.xlsx"));
                else list->LoadFromXLS(dir.file("x.xlsx"));
                ADD_FAILURE() << "no error";
            } catch (const EEnhListViewError &e) {
                EXPECT_EQ(e.Message, "Excel OLE server not found");
                EXPECT_STREQ(e.ClassName(), "EEnhListViewError");
                EXPECT_TRUE(TEnhListView::ServerMissing(e));
            }
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        }
        EXPECT_FALSE(testutil::fileExists(dir.file("x.xlsx")));
        EXPECT_EQ(list->Items.Count(), 2);
    }
    ServerOverride excel("excel.application", ole::NewExcelApplication);
    try {
        list->SaveToXLS(dir.file("no/such/dir/x.xlsx"));
        ADD_FAILURE() << "no error";
    } catch (const EOleException &e) {
        EXPECT_EQ(e.Message, "Cannot create file " + dir.file("no/such/dir/x.xlsx") + ": No such file or directory");
        EXPECT_FALSE(TEnhListView::ServerMissing(e));
    }
    EXPECT_EQ(excel.log().back(), "Quit()");
    // An empty list gives an address the spreadsheet refuses.
    auto empty = catalogueList({});
    EXPECT_THROW(empty->SaveToXLS(dir.file("e.xlsx")), EOleException);
    EXPECT_FALSE(testutil::fileExists(dir.file("e.xlsx")));
    EXPECT_THROW(list->LoadFromXLS(dir.file("missing.xlsx")), EOleException);
    testutil::writeFile(dir.file("junk.xlsx"), "not a zip file");
    EXPECT_THROW(list->LoadFromXLS(dir.file("junk.xlsx")), EOleException);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A list wider than a sheet: refused at the block's address, with the
// numbers, before the cells are copied or anything is written.
TEST(ListExportXls, AListWiderThanASheetIsRefusedBeforeItsCellsAreCopied)
{
    TempDir dir;
    ServerOverride excel("excel.application", ole::NewExcelApplication);
    TEnhListView wide;
    wide.BeginUpdate();
    for (int c = 0; c < 16385; ++c) wide.Columns.Add("c", 10);
    TListItem *item = wide.Items.Add();
    item->SetCaption("first");
    for (int c = 1; c < 16385; ++c) item->SubItems.Add("v");
    wide.EndUpdate();
    try {
        wide.SaveToXLS(dir.file("wide.xlsx"));
        ADD_FAILURE() << "no error";
    } catch (const EOleException &e) {
        EXPECT_EQ(e.Message, "The range A1:XFE1 does not fit on a sheet: it reaches column 16,385 (XFE), and a sheet "
                             "has 1,048,576 rows and 16,384 columns.");
    }
    const std::vector<std::string> expected = {"WorkBooks()", "Add()", "WorkSheets()", "Add()",
                                               "get Range(\"A1:XFE1\")", "Quit()"};
    EXPECT_EQ(excel.log(), expected);
    EXPECT_FALSE(testutil::fileExists(dir.file("wide.xlsx")));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // One column less fits; its last column is XFD.
    wide.Columns.Delete(16384);
    item->SubItems.Delete(16383);
    wide.SaveToXLS(dir.file("widest.xlsx"));
    const QJsonObject got = read("dims", dir.file("widest.xlsx"));
    EXPECT_EQ(got["dimensions"].toString(), "A1:XFD1");
}

// A cell holds 32,767 characters: a text of that length is written whole, a
// longer one is refused naming the cell and the numbers, and no file is made.
TEST(ListExportXls, ATextLongerThanACellHoldsIsRefused)
{
    TempDir dir;
    auto list = catalogueList({{"a", {std::string(32767, 'y')}}, {"b", {"c", "d"}}});
    list->SaveToXLS(dir.file("fits.xlsx"));
    const QJsonObject got = read("rows", dir.file("fits.xlsx"));
    EXPECT_EQ(got["longest"].toInt(), 32767);
    EXPECT_EQ(got["rows"].toInt(), 2);

    list->Items[1]->SubItems.Add(std::string(32768, 'z'));
    try {
        list->SaveToXLS(dir.file("long.xlsx"));
        ADD_FAILURE() << "no error";
    } catch (const EOleException &e) {
        EXPECT_EQ(e.Message, "The cell D2 of the sheet Sheet2 holds 32,768 characters, where a cell holds at most 32,767.");
    }
    EXPECT_FALSE(testutil::fileExists(dir.file("long.xlsx")));
}

// Files a user may not write, as user "nobody" so that permissions apply:
// each export names the file and the system's reason, and the old file
// stays as it was.
TEST(ListExports, AFileTheUserMayNotWriteIsNamedWithTheReason)
{
    TempDir dir;
    auto list = catalogueList(sampleRows());
    struct Export {
        const char *extension;
        void (TEnhListView::*save)(const std::string &);
    };
    const Export exports[] = {{".docx", &TEnhListView::SaveToDOC},
                              {".xlsx", &TEnhListView::SaveToXLS},
                              {".html", &TEnhListView::SaveToHTML},
                              {".csv", &TEnhListView::SaveToCSV}};
    std::string expected;
    for (const Export &x : exports) {
        const std::string file = dir.file(std::string("old") + x.extension);
        testutil::writeFile(file, std::string("old ") + x.extension);
        chmod(file.c_str(), 0444);
        expected += "Cannot create file " + file + ": Permission denied|";
    }
    testutil::openToAll(dir.path());
    const std::string said = testutil::runUnprivileged([&] {
        std::string r;
        for (const Export &x : exports) {
            try {
                (list.get()->*x.save)(dir.file(std::string("old") + x.extension));
                r += "written|";
            } catch (const std::exception &e) {
                r += std::string(e.what()) + "|";
            }
        }
        return r;
    });
    EXPECT_EQ(said, expected);
    for (const Export &x : exports)
        EXPECT_EQ(testutil::readFile(dir.file(std::string("old") + x.extension)), std::string("old ") + x.extension);
}

// ---- the servers' limits -----------------------------------------------------------------------

// The spreadsheet refuses only what an .xlsx sheet cannot hold; a written
// block may be of any size within it (the guard against a huge used block
// bounds reading it into an array only).
TEST(OfficeServers, ASheetRefusesOnlyWhatItCannotHold)
{
    TempDir dir;
    const ole::OleVariant app = ole::CreateOleObject("excel.application");
    const ole::OleVariant book = app.Call("WorkBooks").Call("Add");
    const ole::OleVariant sheet = book.Call("WorkSheets").Call("Add");
    const std::string limits = ", and a sheet has 1,048,576 rows and 16,384 columns.";
    struct Case {
        const char *address;
        std::string refusal;  // empty: accepted
    };
    const Case cases[] = {
        {"A1:XFD1048576", ""},
        {"$XFD$1048576", ""},
        {"A1:D1048577", "The range A1:D1048577 does not fit on a sheet: it reaches row 1,048,577" + limits},
        {"XFE1", "The range XFE1 does not fit on a sheet: it reaches column 16,385 (XFE)" + limits},
        {"B2:ZZZ2000000",
         "The range B2:ZZZ2000000 does not fit on a sheet: it reaches row 2,000,000 and column 18,278 (ZZZ)" + limits},
        {"A0", "Method 'Range' of object '_Worksheet' failed"},
        {"A1:B99999999999", "Method 'Range' of object '_Worksheet' failed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.address);
        try {
            sheet.Get("Range", {c.address});
            EXPECT_EQ(c.refusal, "");
        } catch (const EOleException &e) {
            EXPECT_EQ(e.Message, c.refusal);
        }
    }
    try {
        sheet.Get("Cells", {1048577, 1});
        ADD_FAILURE() << "no error";
    } catch (const EOleException &e) {
        EXPECT_EQ(e.Message, "The range R1048577C1 does not fit on a sheet: it reaches row 1,048,577" + limits);
    }

    // 62,501 rows of 4 columns: more cells than an array read may take.
    const int rows = 62501;
    ole::OleVariant values = ole::OleVariant::Array2D(0, rows, 0, 4);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 4; ++c) values.At(r, c) = ole::OleVariant("r" + std::to_string(r) + "c" + std::to_string(c));
    const ole::OleVariant block = sheet.Get("Range", {"A1:D62501"});
    block.Put("Value", values);
    EXPECT_EQ(sheet.Call("UsedRange").Call("Address").AsString(), "$A$1:$D$62501");
    EXPECT_EQ(sheet.Get("Range", {"D62501"}).Get("Value").AsString(), "r62500c3");
    try {
        block.Get("Value");
        ADD_FAILURE() << "a block of 250,004 cells was read";
    } catch (const EOleException &e) {
        EXPECT_EQ(e.Message, "Not enough storage is available to complete this operation.");
    }
    // The sheet kept the array as it was handed: changing ours afterwards
    // changes nothing there.
    values.At(0, 0) = ole::OleVariant("changed");
    EXPECT_EQ(sheet.Get("Range", {"A1"}).Get("Value").AsString(), "r0c0");
    const std::string file = dir.file("big.xlsx");
    book.Call("SaveAs", {file});
    app.Call("Quit");
    const QJsonObject got = read("dims", file);
    EXPECT_EQ(got["dimensions"].toString(), "A1:D62501");
    EXPECT_EQ(got["title"].toString(), "Sheet2");
}

// Blocks written over each other: what a later write covers is replaced,
// the rest of an earlier block stays; a block larger than its array gets
// #N/A beyond it; an empty value clears. The sheet reads and saves the same.
TEST(OfficeServers, BlocksWrittenOverEachOther)
{
    TempDir dir;
    const ole::OleVariant app = ole::CreateOleObject("excel.application");
    const ole::OleVariant book = app.Call("WorkBooks").Call("Add");
    const ole::OleVariant sheet = book.Call("WorkSheets").Call("Add");
    auto array = [](int rows, int cols, const std::string &prefix) {
        ole::OleVariant a = ole::OleVariant::Array2D(1, rows, 1, cols);
        for (int r = 1; r <= rows; ++r)
            for (int c = 1; c <= cols; ++c) a.At(r, c) = ole::OleVariant(prefix + std::to_string(r) + std::to_string(c));
        return a;
    };
    sheet.Get("Range", {"A1:C3"}).Put("Value", array(3, 3, "a"));
    sheet.Get("Range", {"B2"}).Put("Value", ole::OleVariant("x"));
    sheet.Get("Range", {"C1:D2"}).Put("Value", array(2, 2, "b"));
    sheet.Get("Range", {"A3:B3"}).Put("Value", ole::OleVariant());
    sheet.Get("Range", {"E5:F5"}).Put("Value", array(1, 1, "c"));
    sheet.Get("Range", {"F6:G7"}).Put("Value", array(2, 2, "d"));
    sheet.Get("Range", {"F6:G7"}).Put("Value", ole::OleVariant());  // written and cleared again

    const Rows want = {
        {"a11", "a12", "b11", "b12", "", ""},
        {"a21", "x", "b21", "b22", "", ""},
        {"", "", "a33", "", "", ""},
        {"", "", "", "", "", ""},
        {"", "", "", "", "c11", "#N/A"},
    };
    EXPECT_EQ(sheet.Call("UsedRange").Call("Address").AsString(), "$A$1:$F$5");
    const ole::OleVariant values = sheet.Get("Range", {"A1:F5"}).Get("Value");
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 6; ++c) {
            const ole::OleVariant &v = values.At(r + 1, c + 1);
            const std::string text = v.Type() == ole::VarType::Error ? "#N/A" : v.AsString();
            EXPECT_EQ(text, want[size_t(r)][size_t(c)]) << r << "," << c;
            if (text == "#N/A") {
                EXPECT_EQ(v.ErrorCode(), 2042);
            }
        }

    // In the file: the same cells (the error value as a blank cell).
    const std::string file = dir.file("layers.xlsx");
    book.Call("SaveAs", {file});
    app.Call("Quit");
    const QJsonArray saved = read("xlsx", file)["values"].toArray();
    ASSERT_EQ(saved.size(), 5);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 6; ++c) {
            const std::string &w = want[size_t(r)][size_t(c)];
            const QJsonValue v = saved[r].toArray()[c];
            if (w.empty() || w == "#N/A") EXPECT_TRUE(v.isNull()) << r << "," << c;
            else EXPECT_EQ(v.toString().toStdString(), w) << r << "," << c;
        }
}

// A document's table has no row or column limit of its own, and only the
// cells written to take memory.
TEST(OfficeServers, ADocumentTableHasNoRowOrColumnLimit)
{
    TempDir dir;
    const ole::OleVariant word = ole::CreateOleObject("word.application");
    const ole::OleVariant doc = word.Call("Documents").Call("Add");
    const ole::OleVariant range = doc.Call("Range", {ole::Named("start", 0), ole::Named("end", 0)});
    const long mb = memorypeak::peakGrowthMb([&] {
        const ole::OleVariant huge = doc.Call("Tables").Call(
            "Add", {ole::OleArg::Ref(range), ole::Named("numrows", INT32_MAX), ole::Named("numcolumns", 100000)});
        huge.Call("Cell", {ole::Named("row", INT32_MAX), ole::Named("column", 100000)}).Call("Range").Call("InsertAfter", {"last"});
        EXPECT_THROW(huge.Call("Cell", {ole::Named("row", 1), ole::Named("column", 100001)}), EOleException);
    });
    EXPECT_LT(mb, 20);

    // 33,000 rows and 70 columns, more than the word processor's own
    // tables take: saved whole.
    struct Case {
        int rows, cols;
    };
    for (const Case &c : {Case{33000, 1}, Case{2, 70}}) {
        SCOPED_TRACE(c.rows);
        const ole::OleVariant d = word.Call("Documents").Call("Add");
        const ole::OleVariant table = d.Call("Tables").Call(
            "Add", {ole::OleArg::Ref(d.Call("Range", {ole::Named("start", 0), ole::Named("end", 0)})),
                    ole::Named("numrows", c.rows), ole::Named("numcolumns", c.cols)});
        table.Call("Cell", {ole::Named("row", 1), ole::Named("column", 1)}).Call("Range").Call("InsertAfter", {"first"});
        table.Call("Cell", {ole::Named("row", c.rows), ole::Named("column", c.cols)})
            .Call("Range")
            .Call("InsertAfter", {"last"});
        const std::string file = dir.file("table.docx");
        d.Call("SaveAs", {file});
        const QJsonObject got = read("rows", file);
        EXPECT_EQ(got["rows"].toInt(), c.rows);
        EXPECT_EQ(got["cols"].toInt(), c.cols);
        EXPECT_EQ(got["first"].toArray()[0].toString(), "first");
        EXPECT_EQ(got["last"].toArray()[c.cols - 1].toString(), "last");
    }
    word.Call("Quit");
}

// ---- the spreadsheet: import -----------------------------------------------------------------------

TEST(ListImportXls, ReadsAWorkbookThatOpenpyxlWrote)
{
    TempDir dir;
    const std::string file = dir.file("in.xlsx");
    writeWorkbook(dir, file,
                  R"({"sheets": [{"title": "Other", "cells": {"A1": "ignored"}},
                                 {"title": "Discs", "cells": {"A1": "007", "B1": 12, "C1": 1.5,
                                  "A2": "Caf\u00e9", "B2": "#DIV/0!", "C2": true}}],
                      "active": 1})");
    ServerOverride excel("excel.application", ole::NewExcelApplication);
    TEnhListView list;
    list.Items.Add()->SetCaption("old row");
    list.LoadFromXLS(file);
    EXPECT_EQ(rowsOf(list), (Rows{{"007", "12", "1.5"}, {"Caf\xE9", "", "True"}}));
    EXPECT_EQ(list.Columns.Count(), 3);
    const std::vector<std::string> expected = {
        "WorkBooks()", "Open(" + q(file) + ")", "ActiveSheet()", "UsedRange()", "Address()",
        "get Range(\"A1:C2\")", "value()", "Close(SaveChanges:=False)", "Quit()",
    };
    EXPECT_EQ(excel.log(), expected);

    // Our own export comes back as it was.
    auto cat = catalogueList(sampleRows());
    cat->SaveToXLS(dir.file("cat.xlsx"));
    TEnhListView back;
    back.LoadFromXLS(dir.file("cat.xlsx"));
    EXPECT_EQ(back.Columns.Count(), 5);
    Rows want;
    for (const Row &r : sampleRows()) {
        std::vector<std::string> v{r.caption};
        v.insert(v.end(), r.subs.begin(), r.subs.end());
        v.resize(5);
        want.push_back(v);
    }
    EXPECT_EQ(rowsOf(back), want);
}

TEST(ListImportXls, UsedBlockAwayFromA1AndColumnCounts)
{
    TempDir dir;
    const std::string file = dir.file("b3.xlsx");
    writeWorkbook(dir, file, R"({"sheets": [{"title": "S", "cells": {"B3": "p", "C3": "q", "B4": "r", "C4": 7}}]})");
    ServerOverride excel("excel.application", ole::NewExcelApplication);

    TEnhListView empty;
    empty.LoadFromXLS(file);
    // The used block $B$3:$C$4 is read where it lies: two rows of two columns.
    EXPECT_EQ(rowsOf(empty), (Rows{{"p", "q"}, {"r", "7"}}));
    EXPECT_EQ(empty.Columns.Count(), 2);
    EXPECT_EQ(excel.log()[5], "get Range(\"B3:C4\")");

    TEnhListView wide;
    for (int c = 0; c < 5; ++c) wide.Columns.Add("c", 40);
    wide.LoadFromXLS(file);
    EXPECT_EQ(wide.Columns.Count(), 5);
    EXPECT_EQ(wide.Items.Count(), 2);

    // A single used cell.
    const std::string one = dir.file("one.xlsx");
    writeWorkbook(dir, one, R"({"sheets": [{"title": "S", "cells": {"A1": "alone"}}]})");
    TEnhListView single;
    single.LoadFromXLS(one);
    EXPECT_EQ(rowsOf(single), (Rows{{"alone"}}));
}

// ---- the automation layer itself -----------------------------------------------------------------------

TEST(OleAutomation, CreationMembersAndVariants)
{
    EXPECT_THROW(ole::CreateOleObject("no.such.server"), EOleSysError);
    try {
        ole::CreateOleObject("no.such.server");
    } catch (const EOleSysError &e) {
        EXPECT_EQ(e.Message, "Invalid class string");
    }
    const ole::OleVariant word = ole::CreateOleObject("Word.Application");  // identifiers ignore case
    ASSERT_TRUE(word.IsDispatch());
    try {
        word.Call("Frobnicate");
        ADD_FAILURE() << "no error";
    } catch (const EOleError &e) {
        EXPECT_EQ(e.Message, "Method 'Frobnicate' not supported by automation object");
    }
    const ole::OleVariant table = word.Call("documents").Call("add").Call("tables");
    EXPECT_EQ(table.Call("Count").AsInt(), 0);

    struct Case { ole::OleVariant v; const char *text; };
    const Case cases[] = {{ole::OleVariant(), ""}, {ole::OleVariant(12.0), "12"}, {ole::OleVariant(1.5), "1.5"},
                          {ole::OleVariant(true), "True"}, {ole::OleVariant(-3), "-3"}, {ole::OleVariant("x"), "x"}};
    for (const Case &c : cases) EXPECT_EQ(c.v.AsString(), c.text);
    ole::OleVariant a = ole::OleVariant::Array2D(1, 2, 1, 3);
    EXPECT_EQ(a.HighBound(1), 2);
    EXPECT_EQ(a.HighBound(2), 3);
    a.At(2, 3) = ole::OleVariant("z");
    EXPECT_EQ(a.At(2, 3).AsString(), "z");
    EXPECT_THROW(a.At(0, 1), EOleError);
    EXPECT_THROW(a.At(3, 1), EOleError);
    // An array is a value: a copy changes apart from the original.
    ole::OleVariant b = a;
    b.At(2, 3) = ole::OleVariant("copy");
    a.At(1, 1) = ole::OleVariant("first");
    EXPECT_EQ(a.At(2, 3).AsString(), "z");
    EXPECT_EQ(b.At(2, 3).AsString(), "copy");
    EXPECT_EQ(b.At(1, 1).AsString(), "");
    EXPECT_THROW(ole::OleVariant("abc").AsInt(), EOleError);
    EXPECT_THROW(ole::OleVariant::Error(2007).AsString(), EOleError);
}

TEST(ListImportXls, InlineAndRichStringsOfOtherProducers)
{
    TempDir dir;
    const std::string file = dir.file("inline.xlsx");
    ASSERT_TRUE(read("inlinexlsx", file)["ok"].toBool());
    TEnhListView list;
    list.LoadFromXLS(file);
    EXPECT_EQ(rowsOf(list), (Rows{{"0099", "Rich", " na\xEFve "}, {"3.25", "", "0099x"}}));
}
