#pragma once
// The arithmetic of the tape view: time texts, tape lengths, side captions
// and track references. The main window keeps the widgets; these functions
// keep the rules.
#include <array>
#include <string>

namespace tape {

// "mm:ss", a "0" in front of a part below 10; minutes are not limited to 59.
// A deficit (negative seconds) is shown as "-mm:ss".
std::string SecondsToTime(int seconds);
// Minutes before the first ":" (1 when they are no number, also when there
// is no ":"), seconds from the two characters after it (0 when no number).
// So "--:--" and "Unknown" count 60 seconds and "45" counts 105.
int TimeToSeconds(const std::string &text);
// A number below 10 gets a "0" in front (also a negative one, before its
// sign); the number is taken as a signed 16-bit value.
std::string LeadingZero(int n);

// The seven tape lengths, each with its leading blank.
inline const std::array<const char *, 7> kTapeLengths = {" 46 min", " 54 min", " 60 min", " 74 min",
                                                         " 90 min", " 100 min", " 120 min"};
// Minutes of a tape-length text: from its second character up to the one
// before its last blank; 54 when that is no number.
int TapeMinutes(const std::string &lengthText);
// Seconds of one side: minutes * 60 / 2.
int SideCapacity(const std::string &lengthText);

// "SIDE A - Remaining Time (mm:ss)  " + remaining.
std::string SideCaption(char side, const std::string &remaining);

// A side row's caption is reference + " - " + title; the reference is the
// caption before the first " - ", the pane its first three characters.
std::string ReferenceOf(const std::string &caption);
std::string PaneNameOf(const std::string &caption);
// 1, 2 or 3 for "CD1".."CD3", 0 for anything else.
int PaneNumberOf(const std::string &caption);
// Track number of a reference: the characters from the sixth on, 1 when they
// are no number.
int TrackNumberOf(const std::string &reference);
// "CD" + pane + " T" + (row + 1) + " - " + title.
std::string SideRowCaption(int pane, int row, const std::string &title);
// The row number of a side key read from a compilation file: the key is the
// prefix (compared without regard to case) followed by the number as
// IntToStr writes it; -1 for any other key.
int KeyNumber(const std::string &key, const std::string &prefix);

// Used-track marks: three panes of 100 rows. Rows beyond the table have no
// mark: setting one does nothing, reading one gives false.
class UsedTracks {
public:
    static constexpr int kRows = 100;
    bool Get(int pane, int row) const;
    void Set(int pane, int row, bool used);
    void Clear(int pane);
    void ClearAll();
private:
    std::array<std::array<bool, kRows>, 3> marks_{};
};

} // namespace tape
