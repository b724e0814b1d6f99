// Word-processor and spreadsheet exports and the spreadsheet import over the
// automation layer: the files read back by python3-docx and openpyxl, the
// exact calls made, and the failures.
#include "ListExportPeer.h"

#include "common/TestUtil.h"
#include "controls/EnhListV.h"
#include "platform/OfficeServers.h"
#include "platform/OleAuto.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <memory>

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
        }
        EXPECT_FALSE(testutil::fileExists(dir.file("x.docx")));
    }
    {
        // A table of zero rows is refused by the server; the rest is not
        // called and the server is told to quit.
        ServerOverride word("word.application", ole::NewWordApplication);
        auto empty = catalogueList({});
        EXPECT_THROW(empty->SaveToDOC(dir.file("e.docx")), EOleException);
        ASSERT_GE(word.log().size(), 2u);
        EXPECT_EQ(word.log()[word.log().size() - 2], "Add(byref <Range>, numrows:=0, numcolumns:=5)");
        EXPECT_EQ(word.log().back(), "Quit()");
        EXPECT_FALSE(testutil::fileExists(dir.file("e.docx")));
    }
    EXPECT_THROW(list->SaveToDOC(dir.file("no/such/dir/x.docx")), EOleException);
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
            }
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        }
        EXPECT_FALSE(testutil::fileExists(dir.file("x.xlsx")));
        EXPECT_EQ(list->Items.Count(), 2);
    }
    ServerOverride excel("excel.application", ole::NewExcelApplication);
    EXPECT_THROW(list->SaveToXLS(dir.file("no/such/dir/x.xlsx")), EOleException);
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
