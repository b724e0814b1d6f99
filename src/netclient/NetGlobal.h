#pragma once
// Small text, date and system helpers shared by the networking library.
#include "netclient/NetException.h"
#include "platform/Rtl.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

class TStringList;

// ---- text ------------------------------------------------------------------------
// The part of input before the first delimiter (case-sensitive). With doDelete
// that part and the delimiter leave input; a missing delimiter returns the
// whole input (which then becomes empty with doDelete).
std::string Fetch(std::string &input, const std::string &delimiter = " ", bool doDelete = true);
// 1-based start of the last occurrence of needle beginning at or before start
// (-1: the end), ignoring case; 0 when none.
int RPos(const std::string &needle, const std::string &haystack, int start = -1);
// Equal ignoring case (code-page aware).
bool TextIsSame(const std::string &a, const std::string &b);
// Index of the first equal entry; -1 when none.
int PosInStrArray(const std::string &text, const std::vector<std::string> &list, bool caseSensitive = true);
bool IsNumeric(char c);
// Splits at commas outside double-quoted parts; pieces trimmed, empty ones dropped.
void CommaSeparatedToStringList(TStringList &list, const std::string &text);
int32_t Min(int32_t a, int32_t b);

// ---- dates -----------------------------------------------------------------------
extern const char *const wdays[8];   // [1] = "Sun" .. [7] = "Sat"
extern const char *const monthnames[13];  // [1] = "Jan" .. [12] = "Dec"
int StrToDay(const std::string &text);    // 1..7, 0 when unknown
int StrToMonth(const std::string &text);  // 1..12, 0 when unknown
// Local time minus UTC, as a date-time difference.
Rtl::TDateTime OffsetFromUTC();
// "GMT" for 0 with useGMT, else a sign and hhmm.
std::string DateTimeToGmtOffsetStr(Rtl::TDateTime offset, bool useGMT);
// RFC 822 date with a numeric zone, "Tue, 3 Dec 2002 10:20:30 +0100".
std::string DateTimeToInternetStr(Rtl::TDateTime value);
// Reads the date and time of an RFC 822 date, leaving the zone in text; 0 on failure.
Rtl::TDateTime RawStrInternetToDateTime(std::string &text);
// "+hhmm"/"-hhmm" as a date-time difference; 0 for anything else.
Rtl::TDateTime GmtOffsetStrToDateTime(const std::string &text);
// An RFC 822 date moved to local time.
Rtl::TDateTime GMTToLocalDateTime(std::string text);

// ---- system ----------------------------------------------------------------------
// True on the program's main (interface) thread.
bool InMainThread();
// The temporary folder with a trailing path delimiter.
std::string TempPath();
// Appends the path delimiter unless the text already ends with one.
std::string AddBackslash(const std::string &path);
// A new empty file in the temporary folder, named with the prefix "Net".
std::string MakeTempFilename();
// 0 simplified Chinese, 1 other Chinese, 2 Japanese, 3 Korean, 4 any other.
int DefaultCharSet();
