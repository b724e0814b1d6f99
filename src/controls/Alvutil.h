#pragma once
// Text routines of the enhanced list view: line-break coding of its cell
// files, quote handling of delimiter-separated files, a pattern matcher with
// comparison operators and wildcards, and small conversions. Pure functions
// over single-byte (Windows-1252) texts; positions count from 1.
#include "platform/Graphics.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Alvutil {

// The decimal separator of the user's locale as the program holds it.
extern char DecimalSeparator;

// Windows (ANSI, code page 1252) <-> OEM (code page 437) character sets.
// Characters without an OEM counterpart become their nearest plain letter or "?".
void StringToOem(std::string &s);
void OemToString(std::string &s);

std::string DoubleToSingleChar(char ch, const std::string &s);
void LineFeedsToCSV(std::string &s);
void CSVToLineFeeds(std::string &s);
std::string UpStr(const std::string &s);

// Pattern match: comparisons (">", ">=", "<", "<=", "&", "^", "!") or
// wildcards ("*", "?", "!" inverts). Time grows with the product of the
// lengths, never exponentially; no length limit.
bool Matches(const std::string &pattern, const std::string &text);
bool Matchstr(const std::string &pattern, const std::string &text);

// Cell file coding: CR <-> TAB, LF <-> backspace.
std::string LfToFile(const std::string &s);
std::string FileToLf(const std::string &s, bool MultiLine);
std::string GetNextLine(std::string &s, bool MultiLine);
int LinesInText(const std::string &s, bool MultiLine);
std::string RectString(const TRect &r);
std::string FixDecimalSeparator(const std::string &s);
// Raises EConvertError for a date that does not exist.
double GetNextDate(double date, uint16_t years, uint16_t months, uint16_t days, double increment);
int SinglePos(char ch, const std::string &s);
int NumSingleChar(char ch, std::string_view s);

} // namespace Alvutil
