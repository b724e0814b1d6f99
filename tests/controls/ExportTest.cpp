// The list's text exports, read back by Python's own readers.
#include "ListExportPeer.h"

#include "common/TestUtil.h"
#include "controls/EnhListV.h"
#include "platform/Classes.h"
#include "platform/Graphics.h"
#include "platform/Rtl.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace exportpeer;
using testutil::TempDir;

namespace {

std::vector<std::string> cells(const Row &r, int columns)
{
    std::vector<std::string> v{r.caption};
    for (int j = 0; j < int(r.subs.size()) && j + 1 < columns; ++j) v.push_back(r.subs[size_t(j)]);
    return v;
}

// A folder nobody may write into (the write really fails, also for root).
std::string unwritableFile(const TempDir &dir) { return dir.file("no/such/folder/out.txt"); }

} // namespace

// ---- CSV ----------------------------------------------------------------------------------------

TEST(ListExportCsv, ReadBackByPythonCsv)
{
    struct Case { char delimiter; bool header; const char *pyDelim; };
    const Case cases[] = {{0, true, ","}, {',', false, ","}, {';', true, ";"}, {'\t', true, "tab"}};
    for (const Case &c : cases) {
        TempDir dir;
        auto list = catalogueList(sampleRows());
        list->Delimiter = c.delimiter;
        list->SaveHeader = c.header;
        const std::string file = dir.file("cat.csv");
        list->SaveToCSV(file);
        const QJsonObject got = read("csv", file, c.pyDelim);
        EXPECT_TRUE(got["crlf"].toBool());
        const QJsonArray rows = got["rows"].toArray();
        std::vector<Row> expected = sampleRows();
        ASSERT_EQ(rows.size(), qsizetype(expected.size() + (c.header ? 1 : 0))) << int(c.delimiter);
        int at = 0;
        if (c.header) {
            const QJsonArray h = rows[at++].toArray();
            ASSERT_EQ(h.size(), 5);
            EXPECT_EQ(h[0].toString(), "ARTIST NAME");
            EXPECT_EQ(h[3].toString(), "PIDS");  // the hidden column is data too
        }
        for (const Row &r : expected) {
            const QJsonArray got = rows[at++].toArray();
            const std::vector<std::string> want = cells(r, 5);
            ASSERT_EQ(got.size(), qsizetype(want.size()));
            for (size_t k = 0; k < want.size(); ++k) EXPECT_EQ(got[qsizetype(k)].toString(), u(want[k]));
        }
    }
}

TEST(ListExportCsv, BytesAsSpecifiedAndNothingForEmptyLists)
{
    TempDir dir;
    TEnhListView list;
    list.Columns.Add("A", 50);
    list.Columns.Add("B", 50);
    list.Columns.Add("C", 50);
    const std::string file = dir.file("x.csv");

    list.SaveToCSV(file);  // no rows: no file
    EXPECT_FALSE(testutil::fileExists(file));

    TListItem *x = list.Items.Add();
    x->SetCaption("x");
    for (const char *s : {"y", "z", "w"}) x->SubItems.Add(s);
    list.Items.Add()->SetCaption("bare");
    TListItem *q = list.Items.Add();
    q->SetCaption("a,b");
    q->SubItems.Add("say \"hi\"");
    list.SaveHeader = true;
    list.SaveToCSV(file);
    // The third sub-item has no column; short rows stay short; only texts
    // holding the delimiter, a quote or a line break are quoted.
    EXPECT_EQ(testutil::readFile(file), "A,B,C\r\nx,y,z\r\nbare\r\n\"a,b\",\"say \"\"hi\"\"\"\r\n");

    TEnhListView noColumns;
    noColumns.Items.Add()->SetCaption("r");
    noColumns.SaveToCSV(dir.file("none.csv"));
    EXPECT_FALSE(testutil::fileExists(dir.file("none.csv")));

    const std::string bad = unwritableFile(dir);
    try {
        list.SaveToCSV(bad);
        ADD_FAILURE() << "no error";
    } catch (const EInOutError &e) {
        EXPECT_EQ(e.Message, "Cannot create file " + bad + ": No such file or directory");
    }
}

// ---- HTML --------------------------------------------------------------------------------------

TEST(ListExportHtml, ReadBackByHtmlParser)
{
    TempDir dir;
    auto list = catalogueList(sampleRows());
    list->Items[2]->SetCaption("");
    list->Items[0]->SubItems.Put(0, "");
    testutil::writeFile(dir.file("head.htm"), "<html><body>\nHEADER TEXT\n");
    testutil::writeFile(dir.file("foot.htm"), "FOOTER TEXT\r\n</body></html>");
    list->HTMLSettings.HeaderFile = dir.file("head.htm");
    list->HTMLSettings.FooterFile = dir.file("foot.htm");
    list->HTMLSettings.BorderSize = 2;
    list->HTMLSettings.CellSpacing = 3;
    list->HTMLSettings.Width = 80;
    const std::string file = dir.file("cat.html");
    list->SaveToHTML(file);

    const std::string bytes = testutil::readFile(file);
    EXPECT_EQ(bytes.substr(0, 27), "<html><body>\r\nHEADER TEXT\r\n");
    EXPECT_NE(bytes.find("FOOTER TEXT\r\n</body></html>\r\n"), std::string::npos);

    const QJsonObject got = read("html", file);
    EXPECT_EQ(got["tables"].toInt(), 1);
    EXPECT_EQ(got["before"].toString(), "HEADER TEXT");
    EXPECT_EQ(got["after"].toString(), "FOOTER TEXT");
    const QJsonObject table = got["table"].toObject();
    EXPECT_EQ(table["border"].toString(), "2");
    EXPECT_EQ(table["cellspacing"].toString(), "3");
    EXPECT_EQ(table["width"].toString(), "80%");

    const QJsonArray rows = got["rows"].toArray();
    ASSERT_EQ(rows.size(), 4);
    const QJsonArray header = rows[0].toArray();
    ASSERT_EQ(header.size(), 5);
    const std::string bg = "#" + TEnhListView::ColorToHTMLHex(GetSysColor(10));
    for (int c = 0; c < 5; ++c) {
        const QJsonObject h = header[c].toObject();
        EXPECT_EQ(h["text"].toString(), u(list->Columns[c]->Caption()));
        EXPECT_EQ(h["tags"].toArray()[0].toString(), "b");
        EXPECT_EQ(h["attrs"].toObject()["bgcolor"].toString(), QString::fromStdString(bg));
    }
    // Row 1: an empty sub-item is a line break without alignment; the centred
    // and right-aligned columns say so.
    const QJsonArray r1 = rows[1].toArray();
    ASSERT_EQ(r1.size(), 5);
    EXPECT_EQ(r1[0].toObject()["text"].toString(), u("Bj\xF6rk"));
    EXPECT_EQ(r1[1].toObject()["tags"].toArray()[0].toString(), "br");
    EXPECT_FALSE(r1[1].toObject()["attrs"].toObject().contains("align"));
    EXPECT_EQ(r1[2].toObject()["attrs"].toObject()["align"].toString(), "center");
    EXPECT_EQ(r1[3].toObject()["text"].toString(), "007");
    EXPECT_EQ(r1[4].toObject()["attrs"].toObject()["align"].toString(), "right");
    // Bytes as stored: the markup characters of a cell are not escaped.
    EXPECT_NE(bytes.find("<td nowrap>Tom & Jerry <live></td>"), std::string::npos);
    // Row 3: empty caption as <br>, a missing sub-item as an empty cell.
    const QJsonArray r3 = rows[3].toArray();
    ASSERT_EQ(r3.size(), 5);
    EXPECT_EQ(r3[0].toObject()["tags"].toArray()[0].toString(), "br");
    EXPECT_EQ(r3[1].toObject()["text"].toString(), "Only title");
    EXPECT_EQ(r3[4].toObject()["tags"].toArray()[0].toString(), "br");
}

TEST(ListExportHtml, CellLinesByTheOwnersColoursAndStyles)
{
    struct Case { bool saveColor, saveFonts; const char *boldRedCell; };
    const Case cases[] = {
        {false, true, "<td nowrap><B>hot</B></td>"},
        {true, true, "<td nowrap><font color=\"#FF0000\"><B>hot</B></font></td>"},
        {true, false, "<td nowrap><font color=\"#FF0000\">hot</font></td>"},
        {false, false, "<td nowrap>hot</td>"},
    };
    for (const Case &c : cases) {
        TempDir dir;
        TEnhListView list;
        list.Columns.Add("A", 50);
        list.Columns.Add("B", 50);
        list.Columns.Add("C", 50);
        TListItem *it = list.Items.Add();
        it->SetCaption("");
        it->SubItems.Add("hot");
        it->SubItems.Add("");
        list.Items.Add()->SetCaption("lonely");
        list.HTMLSettings.SaveColor = c.saveColor;
        list.HTMLSettings.SaveFonts = c.saveFonts;
        std::vector<std::string> seen;
        list.OnDrawItemProp = [&](TEnhListView *, int row, int sub, TOwnerDrawState, TColor &brush, TFontDesc &font,
                                  std::string text) {
            seen.push_back(std::to_string(row) + "/" + std::to_string(sub) + ":" + text);
            if (text == "hot") {
                font.Style = fsBold;
                font.Color = clRed;
            }
            if (text == "lonely") {
                brush = 0x00336699;
                font.Style = fsBold | fsItalic | fsUnderline;
            }
        };
        const std::string file = dir.file("t.html");
        list.SaveToHTML(file);
        const std::string bytes = testutil::readFile(file);
        EXPECT_NE(bytes.find(std::string("\r\n") + c.boldRedCell + "\r\n"), std::string::npos) << bytes;
        // Empty caption and empty sub-item of a left-aligned column.
        EXPECT_NE(bytes.find("\r\n<td nowrap><br></td>\r\n"), std::string::npos);
        EXPECT_NE(bytes.find("\r\n<td nowrap><BR></td>\r\n"), std::string::npos);
        // The row without sub-items has its caption cell only.
        const std::string lonely = c.saveColor ? "<td nowrap BGCOLOR=\"#996633\">" : "<td nowrap>";
        const std::string styled = c.saveFonts ? "<B><I><U>lonely</U></I></B>" : "lonely";
        EXPECT_NE(bytes.find("<tr>\r\n" + lonely + styled + "</td>\r\n</tr>\r\n"), std::string::npos) << bytes;
        EXPECT_EQ(bytes.substr(bytes.size() - 13), "</table><p>\r\n");
        // The owner sees the caption as stored and the prepared sub-item text.
        EXPECT_EQ(seen, (std::vector<std::string>{"0/-1:", "0/0:hot", "0/1:", "1/-1:lonely"}));
    }
}

TEST(ListExportHtml, LinksPrefixSuffixAndRichText)
{
    struct Case { bool show, full; const char *text, *expected; };
    const Case cases[] = {
        {false, false, "ftp://host/f", "ftp://host/f"},
        {true, false, "ftp://host/f", "<A HREF=ftp://host/f>host/f</A>"},
        {true, true, "ftp://host/f", "<A HREF=ftp://host/f>ftp://host/f</A>"},
        {true, false, "mailto:me@x.org", "<A HREF=mailto:me@x.org>me@x.org</A>"},
        {true, false, "<b>x</b> http://a", "<b>x</b> http://a"},
        {true, false, "plain", "plain"},
    };
    for (const Case &c : cases) {
        TEnhListView list;
        list.URLShow = c.show;
        list.URLFull = c.full;
        EXPECT_EQ(list.WrapURLAsAnchor(c.text), c.expected) << c.text;
    }
    EXPECT_EQ(TEnhListView::ColorToHTMLHex(0x00336699), "996633");
    EXPECT_EQ(TEnhListView::ColorToHTMLHex(0xFF0000FF), "FF0000");

    TempDir dir;
    TEnhListView list;
    list.Columns.Add("A", 50);
    list.Columns.Add("B", 50);
    TListItem *it = list.Items.Add();
    it->SetCaption("{\\rtf1\\ansi{\\fonttbl\\f0 Arial;}\\f0 Hello \\b W\\'f6rld\\b0}");
    it->SubItems.Add("http://example.org/");
    list.URLShow = true;
    list.HTMLSettings.PrefixTag = "<div>";
    list.HTMLSettings.SuffixTag = "</div>";
    list.HTMLSettings.HeaderFile = dir.file("missing.htm");  // skipped without a message
    const std::string file = dir.file("r.html");
    list.SaveToHTML(file);
    const std::string bytes = testutil::readFile(file);
    EXPECT_EQ(bytes.substr(0, 7), "<div>\r\n");
    EXPECT_NE(bytes.find("<td nowrap>Hello W\xF6rld</td>"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("<A HREF=http://example.org/>example.org/</A>"), std::string::npos);
    EXPECT_NE(bytes.find("</table><p>\r\n</div>\r\n"), std::string::npos);
}

TEST(ListExportHtml, FailuresAndEmptyLists)
{
    TempDir dir;
    auto list = catalogueList(sampleRows());
    const std::string bad = unwritableFile(dir);
    try {
        list->SaveToHTML(bad);
        ADD_FAILURE() << "no error";
    } catch (const EEnhListViewError &e) {
        EXPECT_EQ(e.Message, "Cannot create file " + bad + ": No such file or directory");
    }
    auto empty = catalogueList({});
    empty->SaveToHTML(dir.file("e.html"));
    EXPECT_FALSE(testutil::fileExists(dir.file("e.html")));
}

// ---- XML ---------------------------------------------------------------------------------------------

TEST(ListExportXml, ReadBackByElementTreeWithMarkupEscaped)
{
    TempDir dir;
    auto list = catalogueList(sampleRows());
    TStringList names;
    names.Add("artist");
    names.Add("title");
    const std::string file = dir.file("cat.xml");
    list->SaveToXML(file, "catalogue", "disc", names);

    const QJsonObject got = read("xml", file);
    EXPECT_EQ(got["root"].toString(), "catalogue");
    const QJsonArray records = got["records"].toArray();
    const std::vector<Row> rows = sampleRows();
    ASSERT_EQ(records.size(), qsizetype(rows.size()));
    const char *tags[] = {"artist", "title", "FIELD2", "FIELD3", "FIELD4"};
    for (size_t i = 0; i < rows.size(); ++i) {
        const QJsonArray rec = records[qsizetype(i)].toArray();
        ASSERT_EQ(rec.size(), 6);
        EXPECT_EQ(rec[0].toString(), "disc");
        for (int c = 0; c < 5; ++c) {
            const QJsonArray f = rec[c + 1].toArray();
            EXPECT_EQ(f[0].toString(), tags[c]);
            const std::string want = c == 0 ? rows[i].caption
                                            : (c - 1 < int(rows[i].subs.size()) ? rows[i].subs[size_t(c - 1)] : "");
            EXPECT_EQ(f[1].toString(), u(want)) << i << "," << c;
        }
    }
    const std::string bytes = testutil::readFile(file);
    EXPECT_EQ(bytes.substr(0, 60), "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<catalogue>\r\n");
    EXPECT_NE(bytes.find("<artist>Tom &amp; Jerry &lt;live&gt;</artist>\r\n"), std::string::npos);
}

TEST(ListExportXml, EmptyListsAndFailures)
{
    TempDir dir;
    TStringList none;
    auto empty = catalogueList({});
    empty->SaveToXML(dir.file("e.xml"), "L", "R", none);
    EXPECT_EQ(testutil::readFile(dir.file("e.xml")), "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<L>\r\n</L>\r\n");

    TEnhListView noColumns;
    noColumns.Items.Add()->SetCaption("x");
    noColumns.SaveToXML(dir.file("n.xml"), "L", "R", none);
    EXPECT_EQ(testutil::readFile(dir.file("n.xml")), "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<L>\r\n<R>\r\n</R>\r\n</L>\r\n");

    const std::string bad = unwritableFile(dir);
    try {
        empty->SaveToXML(bad, "L", "R", none);
        ADD_FAILURE() << "no error";
    } catch (const EEnhListViewError &e) {
        EXPECT_EQ(e.Message, "Cannot create file " + bad + ": No such file or directory");
    }
}

// ---- fixed-width text -----------------------------------------------------------------------------

TEST(ListExportAscii, ColumnsAlignedAndContinuationLines)
{
    TempDir dir;
    TEnhListView list;
    list.Columns.Add("A", 50);
    list.Columns.Add("B", 50, taRightJustify);
    list.Columns.Add("C", 50, taCenter);
    auto add = [&](const char *a, const char *b, const char *c) {
        TListItem *it = list.Items.Add();
        it->SetCaption(a);
        it->SubItems.Add(b);
        it->SubItems.Add(c);
    };
    add("abc", "12", "x");
    add("d", "12345", "a\r\nb");
    const std::string file = dir.file("t.txt");
    list.SaveToAscii(file);
    // Widths 3, 5 and 4 ("a" CR LF "b" counts its line break).
    EXPECT_EQ(testutil::readFile(file), "abc    12   x  \r\n"
                                        "d   12345   a  \r\n"
                                        "            b  \r\n");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // A second-column cell continuing below a first column of width 3.
    TEnhListView two;
    two.Columns.Add("A", 50);
    two.Columns.Add("B", 50);
    TListItem *it = two.Items.Add();
    it->SetCaption("xyz");
    it->SubItems.Add("a\r\nb");
    two.SaveToAscii(file);
    EXPECT_EQ(testutil::readFile(file), "xyz a    \r\n    b\r\n");

    // Cells longer than 255 characters keep their columns in line.
    TEnhListView wide;
    wide.Columns.Add("A", 50);
    wide.Columns.Add("B", 50);
    TListItem *w = wide.Items.Add();
    w->SetCaption(std::string(300, 'w'));
    w->SubItems.Add("end");
    wide.SaveToAscii(file);
    EXPECT_EQ(testutil::readFile(file), std::string(300, 'w') + " end \r\n");

    auto empty = catalogueList({});
    empty->SaveToAscii(file);
    EXPECT_TRUE(testutil::fileExists(file));
    EXPECT_EQ(testutil::readFile(file), "");

    EXPECT_THROW(list.SaveToAscii(unwritableFile(dir)), EInOutError);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
