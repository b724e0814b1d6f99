#pragma once
// The delimiter-separated text of the list's CSV export and import: one
// function writes a field, one reader cuts records, so what the export
// writes the import reads back to the same cells.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace csv {

// A field as the export writes it: a text holding the delimiter, a double
// quote, CR or LF is put in double quotes with every inner double quote
// doubled; any other text is written as it is.
std::string QuoteField(const std::string &text, char delimiter);

// Cuts delimiter-separated text into records, the way the list's import
// has always read its lines, and besides reads the export's quoting back:
// - fields are cut at the delimiter; a record ends at CR LF, LF or CR;
// - a field beginning with a double quote runs to the next double quote
//   that is not doubled (the delimiter and line breaks inside stay part of
//   it) and its doubled quotes are read as one; text after that closing
//   quote up to the next delimiter is dropped; without any closing quote
//   the field is empty (or, as the record's last field, its text without
//   the opening quote and a closing one);
// - a delimiter at the end of the record adds no empty field after it;
//   the last field is kept when it is not empty, and also when empty if
//   fields came before it and keepEmptyLast is set.
// Linear in the length of the text.
class Reader {
public:
    Reader(std::string_view text, char delimiter) : text_(text), d_(delimiter) {}
    // The next record's fields; false at the end of the text.
    bool Next(std::vector<std::string> &fields, bool keepEmptyLast);

private:
    size_t lineEnd(size_t from) const;
    void skipLineBreak();
    size_t closingQuote(size_t from);
    std::string_view text_;
    char d_;
    size_t pos_ = 0;
    size_t noCloseFrom_ = std::string_view::npos;  // no closing quote after this
};

} // namespace csv
