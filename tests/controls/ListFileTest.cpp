// The list's own cell files and streams, and the CSV import.
#include "common/TestUtil.h"
#include "controls/EnhListV.h"
#include "platform/Streams.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using testutil::TempDir;

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows rowsOf(const TEnhListView &list)
{
    Rows rows;
    for (int i = 0; i < list.Items.Count(); ++i) {
        std::vector<std::string> r{list.Items[i]->Caption()};
        for (int s = 0; s < list.Items[i]->SubItems.Count(); ++s) r.push_back(list.Items[i]->SubItems[s]);
        rows.push_back(r);
    }
    return rows;
}

std::vector<std::string> captions(const TEnhListView &list)
{
    std::vector<std::string> c;
    for (int i = 0; i < list.Columns.Count(); ++i) c.push_back(list.Columns[i]->Caption());
    return c;
}

// Columns A (100) and B (50), one item x / y.
std::unique_ptr<TEnhListView> abList()
{
    auto list = std::make_unique<TEnhListView>();
    list->Columns.Add("A", 100);
    list->Columns.Add("B", 50);
    TListItem *it = list->Items.Add();
    it->SetCaption("x");
    it->SubItems.Add("y");
    return list;
}

} // namespace

// ---- cell files ----------------------------------------------------------------------------------------

TEST(ListCellFile, SavedLinesAndLoadedBack)
{
    TempDir dir;
    const std::string file = dir.file("list.dat");
    auto list = abList();
    list->SaveToFile(file);
    EXPECT_EQ(testutil::readFile(file), "2,1\r\ncw 0,100\r\ncw 1,50\r\n0,0,-1,x\r\n1,0,-1,y\r\n");

    list->SaveHeader = true;
    list->SaveToFile(file);
    EXPECT_EQ(testutil::readFile(file), "2,1\r\ncw 0,100\r\ncw 1,50\r\n0,0,A\r\n1,0,B\r\n0,1,-1,x\r\n1,1,-1,y\r\n");

    TEnhListView back;
    back.LoadHeader = true;
    back.LoadFromFile(file);
    // ClearInit gives every item as many sub-items as there are columns.
    EXPECT_EQ(rowsOf(back), (Rows{{"x", "y"}}));  // sub-items come with their cells
    EXPECT_EQ(captions(back), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(back.Columns[0]->Width(), 100);
    EXPECT_EQ(back.Columns[1]->Width(), 50);
    EXPECT_FALSE(back.SubImages());  // caption lines carry no image

    // A caption holding commas comes back whole.
    list->Columns[1]->SetCaption("B, the second");
    list->SaveToFile(file);
    back.LoadFromFile(file);
    EXPECT_EQ(captions(back), (std::vector<std::string>{"A", "B, the second"}));
}

TEST(ListCellFile, MultiLineTextsImagesAndCommas)
{
    TempDir dir;
    const std::string file = dir.file("m.dat");
    auto list = abList();
    list->Items[0]->SubItems.Put(0, "a\r\nb");
    list->Items[0]->SetCaption("one, two, three");
    list->Items[0]->SetImageIndex(4);
    list->SaveToFile(file);
    EXPECT_EQ(testutil::readFile(file), "2,1\r\ncw 0,100\r\ncw 1,50\r\n0,0,4,one, two, three\r\n1,0,-1,a\t\bb\r\n");

    TEnhListView back;
    back.LoadFromFile(file);
    // Only the first line of a multi-line text comes back.
    EXPECT_EQ(rowsOf(back), (Rows{{"one, two, three", "a"}}));
    EXPECT_EQ(back.Items[0]->ImageIndex(), 4);
    EXPECT_EQ(back.Items[0]->SubItemImage(0), -1);
    EXPECT_TRUE(back.SubImages());
}

TEST(ListCellFile, CorruptOrMissingFiles)
{
    TempDir dir;
    auto list = abList();
    struct Case { const char *content; };
    for (const Case &c : {Case{"0,5\r\n0,0,-1,x\r\n"}, Case{"3,0\r\n"}, Case{"abc\r\n"}, Case{""}, Case{"\r\n2,1\r\n"},
                          Case{"-2,1\r\n"}, Case{"99999999,99999999\r\n"}}) {
        const std::string file = dir.file("bad.dat");
        testutil::writeFile(file, c.content);
        try {
            list->LoadFromFile(file);
            ADD_FAILURE() << "no error for " << c.content;
        } catch (const EEnhListViewError &e) {
            EXPECT_EQ(e.Message, "File contains no data or corrupt file " + file);
        }
        EXPECT_EQ(rowsOf(*list), (Rows{{"x", "y"}})) << "the list stays as it was";
    }
    const std::string missing = dir.file("missing.dat");
    try {
        list->LoadFromFile(missing);
        ADD_FAILURE() << "no error";
    } catch (const EEnhListViewError &e) {
        EXPECT_EQ(e.Message, "File " + missing + " not found");
    }
    EXPECT_THROW(list->SaveToFile(dir.file("no/dir/x.dat")), EInOutError);
}

TEST(ListCellFile, LinesOutsideTheListAreIgnored)
{
    TempDir dir;
    const std::string file = dir.file("o.dat");
    testutil::writeFile(file, "2,2\n"
                              "cw 7,300\n"
                              "cw -1,300\n"
                              "cw 1,70\n"
                              "5,0,-1,far right\n"
                              "0,9,-1,far below\n"
                              "-1,0,-1,left of all\n"
                              "0,-3,-1,above all\n"
                              "0,0,-1,top\n"
                              "1,1,-1,bottom\n"
                              "garbage without commas\n");
    TEnhListView list;
    list.LoadFromFile(file);
    EXPECT_EQ(list.Columns.Count(), 2);
    EXPECT_EQ(list.Columns[1]->Width(), 70);
    EXPECT_EQ(rowsOf(list), (Rows{{"top"}, {"", "bottom"}}));
    EXPECT_FALSE(list.SubImages());

    // A file saved with captions, loaded without: the caption lines land on
    // the first item and the last row falls outside the list.
    auto ab = abList();
    ab->SaveHeader = true;
    ab->SaveToFile(file);
    TEnhListView plain;
    plain.LoadFromFile(file);
    EXPECT_EQ(plain.Items.Count(), 1);
}

// ---- streams -------------------------------------------------------------------------------------------------

TEST(ListStream, RecordsAndLoadBack)
{
    auto list = abList();
    list->Items[0]->SubItems.Put(0, "p\r\nq");
    TListItem *two = list->Items.Add();
    two->SetCaption("z");
    TMemoryStream s;
    s.WriteString("HEAD");  // writing starts at the current position
    list->SaveToStream(s);
    EXPECT_EQ(s.Bytes(), "HEAD2,3\r\n0,0,A\r\n1,0,B\r\n0,1,x\r\n1,1,p\t\bq\r\n0,2,z\r\n");

    TMemoryStream in;
    in.SetBytes(s.Bytes().substr(4));
    in.Seek(0, soEnd);  // reading starts at 0 wherever the stream stands
    TEnhListView back;
    back.LoadFromStream(in);
    EXPECT_EQ(captions(back), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(rowsOf(back), (Rows{{"x", "p"}, {"z"}}));
}

TEST(ListStream, EmptyBadAndOutOfRangeRecords)
{
    auto list = abList();
    struct Case { const char *bytes; };
    for (const Case &c : {Case{""}, Case{"\r\n"}, Case{"0,3\r\n"}, Case{"2,0\r\n"}}) {
        TMemoryStream s;
        s.SetBytes(c.bytes);
        list->LoadFromStream(s);
        EXPECT_EQ(rowsOf(*list), (Rows{{"x", "y"}})) << "nothing happens for '" << c.bytes << "'";
    }
    TMemoryStream bad;
    bad.SetBytes("two,1\r\n");
    EXPECT_THROW(list->LoadFromStream(bad), EConvertError);
    bad.SetBytes("2,2\r\n0,1,ok\r\nx,1,no\r\n");
    EXPECT_THROW(list->LoadFromStream(bad), EConvertError);
    EXPECT_EQ(rowsOf(*list), (Rows{{"ok"}}));  // filled as far as it got

    TMemoryStream far;
    far.SetBytes("2,2\r\n9,0,cap\r\n0,5,row\r\n7,1,cell\r\n-1,1,neg\r\n1,1,in\r\n");
    list->LoadFromStream(far);
    EXPECT_EQ(rowsOf(*list), (Rows{{"", "in"}}));
}

// ---- CSV import ----------------------------------------------------------------------------------------------

TEST(ListCsvImport, DelimiterDetection)
{
    struct Case { const char *content; char before, after; };
    const Case cases[] = {
        {"a;b;c\r\n1;2;3\r\n", 0, ';'},
        {"a,b;c\r\n1,2;3\r\n", 0, ','},   // the earlier candidate keeps a tie
        {"a#b\n1#2\n", 0, '#'},
        {"a\tb\tc\n1\t2\t3\n", 0, '\t'},
        {"a|b\r1|2\r", 0, '|'},
        {"a,b;c;d\r\n1,2,3;4\r\n", 0, 0},   // no candidate counts alike
        {"a;;b\r\n1;;2\r\n", 0, 0},          // doubled delimiters do not count
        {"a;b\r\n1;2\r\n", '|', '|'},        // a set delimiter is kept
    };
    for (const Case &c : cases) {
        TempDir dir;
        const std::string file = dir.file("d.csv");
        testutil::writeFile(file, c.content);
        TEnhListView list;
        list.Delimiter = c.before;
        list.LoadFromCSV(file);
        EXPECT_EQ(list.Delimiter, c.after) << c.content;
    }
}

TEST(ListCsvImport, FieldsAndQuotes)
{
    struct Case { const char *line; std::vector<std::string> row; };
    const Case cases[] = {
        {"\"x,y\",z", {"x,y", "z"}},
        {"p,q,", {"p", "q"}},
        {"p,\"\"", {"p", ""}},
        {"p,\"", {"p", ""}},
        {"\"he said \"\"hi\"\" ok\",2", {"he said \"hi\" ok", "2"}},  // doubled quotes read as one
        {"a,\"b,c\",d", {"a", "b,c", "d"}},
        {"\"open,quote", {"", "quote"}},
        {"single", {"single"}},
        {"", {""}},
        {"\"solo\"", {"solo"}},
    };
    for (const Case &c : cases) {
        TempDir dir;
        const std::string file = dir.file("f.csv");
        testutil::writeFile(file, std::string(c.line) + "\r\n");
        TEnhListView list;
        list.Delimiter = ',';
        list.LoadFromCSV(file);
        EXPECT_EQ(rowsOf(list), (Rows{c.row})) << c.line;
        if (*c.line) {
            EXPECT_GE(list.Columns.Count(), int(c.row.size())) << c.line;
        }
    }
}

// Rows of different widths in one file: each row keeps exactly its own
// fields (a wide row before a narrow one leaves the narrow one nothing of
// it), the columns grow to the widest row, and a quoted field running over a
// line break brings more fields than its first line's delimiters promise.
TEST(ListCsvImport, RowsOfDifferentWidths)
{
    TempDir dir;
    const std::string file = dir.file("w.csv");
    testutil::writeFile(file, "a,b,c\r\nd\r\ne,f\r\n\"g\r\nh,\",i,j,k\r\n,\r\nl,m\r\n");
    TEnhListView list;
    list.Delimiter = ',';
    list.Items.Add()->SetCaption("kept");
    list.LoadFromCSV(file);
    EXPECT_EQ(rowsOf(list), (Rows{{"kept"}, {"a", "b", "c"}, {"d"}, {"e", "f"}, {"g\r\nh,", "i", "j", "k"},
                                  {""}, {"l", "m"}}));
    EXPECT_EQ(list.Columns.Count(), 4);
    for (int r : {0, 2}) EXPECT_EQ(list.Items[r]->SubItems.Count(), 0) << r;
    EXPECT_EQ(list.Items[3]->SubItems.Count(), 1);
    EXPECT_EQ(list.Items[4]->SubItems.Count(), 3);
}

TEST(ListCsvImport, HeaderAppendAndRoundTrip)
{
    TempDir dir;
    const std::string file = dir.file("h.csv");
    testutil::writeFile(file, "\"Artist, Name\";Title;\"Tracks\"\r\nBj\xF6rk;Debut;11\r\n\"A;B\";\"T\";007\r\n");
    TEnhListView list;
    list.Columns.Add("old", 40);
    list.Items.Add()->SetCaption("gone");
    list.LoadHeader = true;
    list.LoadFromCSV(file);
    EXPECT_EQ(list.Delimiter, ';');
    EXPECT_EQ(captions(list), (std::vector<std::string>{"Artist, Name", "Title", "Tracks"}));
    EXPECT_EQ(rowsOf(list), (Rows{{"Bj\xF6rk", "Debut", "11"}, {"A;B", "T", "007"}}));

    // Insert (and LoadFromCSV without LoadHeader) keeps the rows and appends.
    list.InsertFromCSV(file);
    EXPECT_EQ(list.Items.Count(), 5);
    EXPECT_EQ(rowsOf(list)[2], (std::vector<std::string>{"Artist, Name", "Title", "Tracks"}));

    TEnhListView three;
    three.Columns.Add("A", 40);
    for (const char *c : {"r1", "r2", "r3"}) three.Items.Add()->SetCaption(c);
    three.LoadFromCSV(file);
    EXPECT_EQ(three.Items.Count(), 6);
    EXPECT_EQ(three.Items[0]->Caption(), "r1");
    EXPECT_EQ(three.Items[4]->Caption(), "Bj\xF6rk");

    // What the CSV export writes comes back.
    TEnhListView src;
    src.Columns.Add("ID", 40);
    src.Columns.Add("NAME", 40);
    src.SaveHeader = true;
    for (auto r : {std::vector<std::string>{"007", "Bond"}, {"0042", "Answer"}}) {
        TListItem *it = src.Items.Add();
        it->SetCaption(r[0]);
        it->SubItems.Add(r[1]);
    }
    src.SaveToCSV(dir.file("rt.csv"));
    TEnhListView dst;
    dst.LoadHeader = true;
    dst.LoadFromCSV(dir.file("rt.csv"));
    EXPECT_EQ(captions(dst), (std::vector<std::string>{"ID", "NAME"}));
    EXPECT_EQ(rowsOf(dst), rowsOf(src));

    try {
        dst.LoadFromCSV(dir.file("missing.csv"));
        ADD_FAILURE() << "no error";
    } catch (const EEnhListViewError &e) {
        EXPECT_EQ(e.Message, "File cannot be opened");
    }
}

// A CSV file may be larger than a cell file: one of 64 MiB and a little
// more loads whole; one of more than 128 MiB is refused and leaves the
// list as it was. The files are sparse (the system reads their holes as
// zero bytes), so they cost no disk.
TEST(ListCsvImport, FilesUpTo128MiBLoadLargerOnesAreRefused)
{
    TempDir dir;
    const std::string file = dir.file("big.csv");
    auto sparse = [&](off_t size, const std::string &tail) {
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), size - off_t(tail.size())), ssize_t(tail.size()));
        close(fd);
    };
    const std::string tail = "\r\nlast,cell\r\n";
    {
        sparse((off_t(64) << 20) + 4096, tail);
        TEnhListView list;
        list.Delimiter = ',';
        list.LoadFromCSV(file);
        ASSERT_EQ(list.Items.Count(), 2);
        EXPECT_EQ(list.Items[0]->Caption().size(), (size_t(64) << 20) + 4096 - tail.size());
        EXPECT_EQ(list.Items[1]->Caption(), "last");
        EXPECT_EQ(list.Items[1]->SubItems[0], "cell");
    }
    sparse((off_t(128) << 20) + 1, tail);
    auto list = abList();
    try {
        list->LoadFromCSV(file);
        ADD_FAILURE() << "a file over 128 MiB was read";
    } catch (const EEnhListViewError &e) {
        EXPECT_EQ(e.Message, "File cannot be opened");
    }
    EXPECT_EQ(rowsOf(*list), (Rows{{"x", "y"}}));
    EXPECT_EQ(captions(*list), (std::vector<std::string>{"A", "B"}));
}

TEST(ListPrepare, ClearAndClearInit)
{
    auto list = abList();
    list->Clear();
    EXPECT_EQ(list->Items.Count(), 0);
    EXPECT_EQ(captions(*list), (std::vector<std::string>{"", ""}));

    list->Columns[0]->SetCaption("keep?");
    list->ClearInit(2, 3);
    EXPECT_EQ(list->Columns.Count(), 3);
    EXPECT_EQ(captions(*list), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(rowsOf(*list), (Rows{{"", "", "", ""}, {"", "", "", ""}}));
    EXPECT_EQ(list->Items[1]->ImageIndex(), -1);
    EXPECT_EQ(list->Items[1]->SubItemImage(2), -1);

    list->Columns[2]->SetCaption("third");
    list->ClearInit(1, 1);  // never removes columns, keeps captions beyond Cols
    EXPECT_EQ(list->Columns.Count(), 3);
    EXPECT_EQ(list->Columns[2]->Caption(), "third");
}
