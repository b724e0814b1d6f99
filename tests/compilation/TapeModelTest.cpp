#include "compilation/TapeModel.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace tape;

TEST(TapeModel, TimeTexts)
{
    struct { int seconds; const char *text; } toText[] = {
        {0, "00:00"}, {59, "00:59"}, {187, "03:07"}, {600, "10:00"}, {3600, "60:00"},
        {7509, "125:09"}, {-30, "-00:30"}, {-301, "-05:01"},
    };
    for (auto &c : toText) {
        EXPECT_EQ(SecondsToTime(c.seconds), c.text) << c.seconds;
        EXPECT_EQ(TimeToSeconds(c.text), c.seconds) << c.text;
    }
    struct { const char *text; int seconds; } toSeconds[] = {
        {"--:--", 60}, {"Unknown", 60}, {"45", 105}, {"", 60}, {":30", 90},
        {"03:7x", 180}, {"2:05", 125}, {"99999999999:00", 60}, {"-:30", 90},
        // Only the two characters after the colon are the seconds.
        {"3:456", 225}, {"3:4", 184},
        {"2000000000:00", INT32_MAX / 2}, {"-2000000000:00", -(INT32_MAX / 2)},
    };
    for (auto &c : toSeconds)
        EXPECT_EQ(TimeToSeconds(c.text), c.seconds) << c.text;
    EXPECT_EQ(LeadingZero(7), "07");
    EXPECT_EQ(LeadingZero(10), "10");
    EXPECT_EQ(LeadingZero(-3), "0-3");
    EXPECT_EQ(LeadingZero(65536 + 5), "05");
}

TEST(TapeModel, TapeLengths)
{
    const int minutes[] = {46, 54, 60, 74, 90, 100, 120};
    const int capacity[] = {1380, 1620, 1800, 2220, 2700, 3000, 3600};
    for (size_t i = 0; i < kTapeLengths.size(); ++i) {
        EXPECT_EQ(TapeMinutes(kTapeLengths[i]), minutes[i]);
        EXPECT_EQ(SideCapacity(kTapeLengths[i]), capacity[i]);
    }
    EXPECT_EQ(TapeMinutes(" xx min"), 54);
    EXPECT_EQ(TapeMinutes(""), 54);
    // A length from a damaged compilation file never overflows the seconds.
    EXPECT_EQ(SideCapacity(" 1721185267 min"), INT32_MAX / 2);
    EXPECT_EQ(SideCapacity(" -1721185267 min"), -(INT32_MAX / 2));
    EXPECT_EQ(SideCaption('A', "45:00"), "SIDE A - Remaining Time (mm:ss)  45:00");
}

TEST(TapeModel, ReferencesAndMarks)
{
    EXPECT_EQ(ReferenceOf("CD1 T10 - Best - of"), "CD1 T10");
    EXPECT_EQ(PaneNumberOf("CD2 T5 - x"), 2);
    EXPECT_EQ(PaneNumberOf("CD4 T5 - x"), 0);
    EXPECT_EQ(PaneNumberOf("C"), 0);
    EXPECT_EQ(TrackNumberOf("CD1 T10"), 10);
    EXPECT_EQ(TrackNumberOf("CD1 Tx"), 1);
    EXPECT_EQ(TrackNumberOf("CD1"), 1);
    EXPECT_EQ(SideRowCaption(2, 6, "Title"), "CD2 T7 - Title");

    UsedTracks u;
    u.Set(1, 99, true);
    u.Set(1, 100, true);   // beyond the table: ignored
    u.Set(4, 0, true);     // no such pane
    EXPECT_TRUE(u.Get(1, 99));
    EXPECT_FALSE(u.Get(1, 100));
    EXPECT_FALSE(u.Get(0, 0));
    u.Clear(1);
    EXPECT_FALSE(u.Get(1, 99));
}

// Where a time text's parts reach two digits, and the third pane.
TEST(TapeModel, TwoDigitEdgesAndTheThirdPane)
{
    struct { int seconds; const char *text; } edges[] = {
        {540, "09:00"}, {550, "09:10"}, {609, "10:09"}, {10, "00:10"}, {-550, "-09:10"},
    };
    for (auto &c : edges) {
        EXPECT_EQ(SecondsToTime(c.seconds), c.text) << c.seconds;
        EXPECT_EQ(TimeToSeconds(c.text), c.seconds) << c.text;
    }
    EXPECT_EQ(LeadingZero(9), "09");

    EXPECT_EQ(PaneNumberOf("CD3 T1 - x"), 3);
    UsedTracks u;
    u.Set(3, 0, true);
    u.Set(3, UsedTracks::kRows - 1, true);
    EXPECT_TRUE(u.Get(3, 0));
    EXPECT_TRUE(u.Get(3, UsedTracks::kRows - 1));
    u.Clear(2);
    EXPECT_TRUE(u.Get(3, 0));
    u.Clear(3);
    EXPECT_FALSE(u.Get(3, 0));
    EXPECT_FALSE(u.Get(3, UsedTracks::kRows - 1));
    // Reading past a pane's last row reads nothing, not the next pane's first.
    u.Set(2, 0, true);
    EXPECT_FALSE(u.Get(1, UsedTracks::kRows));
    EXPECT_FALSE(u.Get(1, -1));
}

TEST(TapeModel, KeyNumbersOfSideKeys)
{
    struct {
        const char *key;
        int number;
    } cases[] = {
        {"tracka0", 0},           {"tracka19999", 19999},    {"TRACKA7", 7},         {"trackA2147483647", 2147483647},
        {"tracka", -1},           {"tracka007", -1},         {"tracka00", -1},       {"tracka-1", -1},
        {"tracka+1", -1},         {"tracka1x", -1},          {"tracka 1", -1},       {"trackb1", -1},
        {"tracka2147483648", -1}, {"tracka99999999999", -1}, {"xtracka1", -1},       {"", -1},
    };
    for (auto &c : cases)
        EXPECT_EQ(KeyNumber(c.key, "tracka"), c.number) << c.key;
}
