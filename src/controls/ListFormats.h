#pragma once
// The "System" number and date formats of the list view: the decimal and
// thousand separators and the order of day, month and year of the user's
// locale, applied to the sorting styles and to the decimal-separator fix of
// the text utilities.
#include <QLocale>

#include <string>

namespace ListFormats {

struct TSystemFormats {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    std::string ShortDateOrder = "DMY"; // "DMY", "MDY" or "YMD"
};

// The formats of a locale; separators that have no single Windows-1252
// character fall back to "." and ",".
TSystemFormats FromLocale(const QLocale &locale);
// Makes the formats those of the sorting and the text utilities.
void Apply(const TSystemFormats &formats);
// Applies the user's locale once per program run.
void ApplySystemOnce();

} // namespace ListFormats
