#include "compilation/TapeModel.h"

#include "platform/Rtl.h"

#include <cstdint>

using namespace Rtl;

namespace tape {

std::string LeadingZero(int n)
{
    int16_t v = int16_t(n);
    std::string s = IntToStr(v);
    return v < 10 ? "0" + s : s;
}

std::string SecondsToTime(int seconds)
{
    // Signed seconds: a side that is over its capacity shows its deficit.
    const bool negative = seconds < 0;
    long long s = negative ? -static_cast<long long>(seconds) : seconds;
    long long minutes = s / 60;
    long long rest = s - minutes * 60;
    std::string m = minutes < 10 ? "0" + std::to_string(minutes) : std::to_string(minutes);
    std::string r = rest < 10 ? "0" + std::to_string(rest) : std::to_string(rest);
    return (negative ? "-" : "") + m + ":" + r;
}

int TimeToSeconds(const std::string &text)
{
    int p = Pos(":", text);
    std::string minuteText = Copy(text, 1, p - 1);
    // A leading minus is a deficit as SecondsToTime writes it ("-00:30").
    int minutes = 0;
    const bool negative = p > 2 && text[0] == '-' && text[1] != '-' && text[1] != '+' &&
                          TryStrToInt(Copy(minuteText, 2), minutes) && minutes >= 0;
    if (!negative)
        minutes = StrToIntDef(minuteText, 1);
    int seconds = StrToIntDef(Copy(text, p + 1, 2), 0);
    long long total = static_cast<long long>(minutes) * 60 + seconds;
    // Minutes near the integer limit cannot overflow the seconds.
    if (total > INT32_MAX / 2)
        total = INT32_MAX / 2;
    if (total < -(INT32_MAX / 2))
        total = -(INT32_MAX / 2);
    return int(negative ? -total : total);
}

int TapeMinutes(const std::string &lengthText)
{
    int last = LastDelimiter(" ", lengthText);
    return StrToIntDef(Copy(lengthText, 2, last - 2), 54);
}

int SideCapacity(const std::string &lengthText)
{
    // A length text from a damaged file may name any number of minutes:
    // the seconds are bounded as the time texts bound theirs.
    long long seconds = static_cast<long long>(TapeMinutes(lengthText)) * 60 / 2;
    if (seconds > INT32_MAX / 2)
        seconds = INT32_MAX / 2;
    if (seconds < -(INT32_MAX / 2))
        seconds = -(INT32_MAX / 2);
    return int(seconds);
}

std::string SideCaption(char side, const std::string &remaining)
{
    return std::string("SIDE ") + side + " - Remaining Time (mm:ss)  " + remaining;
}

std::string ReferenceOf(const std::string &caption)
{
    int p = Pos(" - ", caption);
    return p == 0 ? caption : Copy(caption, 1, p - 1);
}

std::string PaneNameOf(const std::string &caption) { return Copy(caption, 1, 3); }

int PaneNumberOf(const std::string &caption)
{
    std::string name = PaneNameOf(caption);
    if (name == "CD1")
        return 1;
    if (name == "CD2")
        return 2;
    if (name == "CD3")
        return 3;
    return 0;
}

int TrackNumberOf(const std::string &reference) { return StrToIntDef(Copy(reference, 6), 1); }

std::string SideRowCaption(int pane, int row, const std::string &title)
{
    return "CD" + IntToStr(pane) + " T" + IntToStr(row + 1) + " - " + title;
}

int KeyNumber(const std::string &key, const std::string &prefix)
{
    if (key.size() <= prefix.size() || !SameText(key.substr(0, prefix.size()), prefix))
        return -1;
    const std::string digits = key.substr(prefix.size());
    if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0'))
        return -1;
    int64_t n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n <= INT32_MAX ? int(n) : -1;
}

bool UsedTracks::Get(int pane, int row) const
{
    if (pane < 1 || pane > 3 || row < 0 || row >= kRows)
        return false;
    return marks_[size_t(pane - 1)][size_t(row)];
}

void UsedTracks::Set(int pane, int row, bool used)
{
    if (pane < 1 || pane > 3 || row < 0 || row >= kRows)
        return;
    marks_[size_t(pane - 1)][size_t(row)] = used;
}

void UsedTracks::Clear(int pane)
{
    if (pane >= 1 && pane <= 3)
        marks_[size_t(pane - 1)].fill(false);
}

void UsedTracks::ClearAll()
{
    for (auto &p : marks_)
        p.fill(false);
}

} // namespace tape
