#pragma once
// The dates of the web update: the control file's date and time in the
// formats the component names, and the stored form of the remembered date.
#include <string>

namespace wudates {

// 1 January 1980, 00:00: the date of a control file without a valid date
// and the remembered date when none is kept.
double BaseDate();

// A date in Format ("dd/mm/yyyy", "mm/dd/yy", "yyyy-mm-dd", ...: the order
// of d, m and y counts) with Separator between the numbers; a year of one
// or two digits lies in 1950 to 2049. False for anything else.
bool ParseDate(const std::string &Text, const std::string &Format, char Separator, double &Date);
// A time "h<sep>n[<sep>s]" (the format's order of h, n and s is always
// that one); false for anything else.
bool ParseTime(const std::string &Text, const std::string &Format, char Separator, double &Time);
// The date written in Format with Separator (d, dd, m, mm, yy, yyyy).
std::string FormatDate(double Date, const std::string &Format, char Separator);
// The date as the system writes short dates (the user's locale's short
// date format).
std::string SystemShortDate(double Date);

// The stored form of the remembered date and time: "dd/mm/yyyy" and
// "hh:nn:ss". Read back by ParseStoredDate/ParseStoredTime.
std::string StoredDate(double Date);
std::string StoredTime(double Date);
bool ParseStoredDate(const std::string &Text, double &Date);
bool ParseStoredTime(const std::string &Text, double &Time);

} // namespace wudates
