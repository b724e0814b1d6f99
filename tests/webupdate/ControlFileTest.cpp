// Reading the update control file.
#include "common/TestUtil.h"
#include "webupdate/WuControl.h"

#include <gtest/gtest.h>

TEST(ControlFile, ChecksumsAreUnsigned32BitValues)
{
    const std::pair<std::string, std::optional<uint32_t>> cases[] = {
        {"-1", std::nullopt},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"4294967296", std::nullopt},        // does not fit 32 bits
        {"$FFFFFFFF", 0xFFFFFFFFu},
        {"4294967295", 0xFFFFFFFFu},
        {"2147483648", 0x80000000u},
        {"0x10", 16u},
        {" 12345 ", 12345u},
        {"0", 0u},
        {"-2", 0xFFFFFFFEu},
    };
    for (const auto &[text, value] : cases)
        EXPECT_EQ(ParseChecksum(text), value) << text;
    EXPECT_EQ(ParseSize("$100"), 256);
    EXPECT_EQ(ParseSize("5000000000"), 5000000000);
    EXPECT_EQ(ParseSize("12k", 7), 7);
}

TEST(ControlFile, SectionsKeysAndListedFiles)
{
    // Mixed line ends, letter case and blanks around values.
    const std::string text =
        "[Update]\r\nSignature = WebUpdate \r\nnewversion=1,4,0,12\nnewchecksum=$FFFFFFFF\r"
        "[files]\r\ncount=2\r\n"
        "[FILE1]\r\nurl=http://host/app.ex_\r\ndescr=The program\r\nnewsize=$1000\r\n"
        "compressed=1\r\ntargetdir={APP}\\bin\r\nlocalversion={APP}\\bin\\app.exe\r\n"
        "[file2]\r\nurl=http://host/data.cab\r\ncompressed=2\r\nnewchecksum=-1\r\n";
    TUpdateControlFile f;
    ASSERT_TRUE(f.LoadFromText(text));
    EXPECT_EQ(f.Value("update", "signature"), "WebUpdate");
    EXPECT_EQ(f.Value("update", "date", "none"), "none");
    EXPECT_EQ(f.Checksum("update", "newchecksum"), 0xFFFFFFFFu);
    EXPECT_EQ(f.Integer("update", "newversion", -5), -5);
    int count = -1;
    ASSERT_TRUE(f.FileCount(count));
    ASSERT_EQ(count, 2);
    const TUpdateFileEntry a = f.File(1);
    EXPECT_EQ(a.Url, "http://host/app.ex_");
    EXPECT_EQ(a.Descr, "The program");
    EXPECT_EQ(a.NewSize, 4096);
    EXPECT_TRUE(a.Compressed);
    EXPECT_EQ(a.TargetDir, "{APP}\\bin");
    EXPECT_EQ(a.LocalVersion, "{APP}\\bin\\app.exe");
    EXPECT_FALSE(a.NewChecksum);
    const TUpdateFileEntry b = f.File(2);
    EXPECT_FALSE(b.Compressed);
    EXPECT_FALSE(b.NewChecksum);
    EXPECT_EQ(b.NewSize, 0);
    EXPECT_EQ(f.File(3).Url, "");
}

TEST(ControlFile, CountAndSizeAreBounded)
{
    TUpdateControlFile f;
    const std::pair<std::string, bool> counts[] = {
        {"", true}, {"0", true}, {"1000", true}, {"1001", false}, {"-1", false}, {"many", false}, {"99999999999", false}};
    for (const auto &[text, ok] : counts) {
        ASSERT_TRUE(f.LoadFromText("[files]\ncount=" + text + "\n"));
        int n = -1;
        EXPECT_EQ(f.FileCount(n), ok) << text;
        if (!ok) {
            EXPECT_EQ(n, 0);
        }
    }
    EXPECT_FALSE(f.LoadFromText(std::string(TUpdateControlFile::MaxBytes + 1, 'x')));
    testutil::TempDir dir;
    testutil::writeFile(dir.file("big.inf"), "[update]\n" + std::string(TUpdateControlFile::MaxBytes, ';'));
    EXPECT_FALSE(f.LoadFromFile(dir.file("big.inf")));
    EXPECT_FALSE(f.LoadFromFile(dir.file("missing.inf")));
    EXPECT_EQ(f.Value("update", "x", "d"), "d");
}
