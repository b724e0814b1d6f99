// The CSV reader at the last field of a record: quotes at its ends, an
// empty quoted header field, a doubled quote where no closing one follows.
#include "controls/CsvText.h"

#include <gtest/gtest.h>

namespace {

using Records = std::vector<std::vector<std::string>>;

Records readAll(const std::string &text, bool keepEmptyLast)
{
    csv::Reader reader(text, ',');
    Records out;
    std::vector<std::string> fields;
    while (reader.Next(fields, keepEmptyLast))
        out.push_back(fields);
    return out;
}

} // namespace

TEST(CsvTextEdge, LastFieldsOfARecord)
{
    struct Case {
        const char *text;
        bool keepEmptyLast;   // false for a header line, true for data lines
        Records want;
    };
    const Case cases[] = {
        // An unquoted last field loses a double quote at its end.
        {"p,q\"", true, {{"p", "q"}}},
        {"x\"\r\ny", true, {{"x"}, {"y"}}},
        // An empty quoted last field: no column caption, one empty cell.
        {"A,\"\"", false, {{"A"}}},
        {"p,\"\"", true, {{"p", ""}}},
        // A doubled quote ends no field: without a closing quote the last
        // field keeps its text and one quote of the pair.
        {"p,\"ab\"\"", true, {{"p", "ab\""}}},
        {"p,\"ab\"\"\r\nz", true, {{"p", "ab\""}, {"z"}}},
        // An unclosed quote earlier in the text: a later field's own doubled
        // quote still closes it, empty.
        {"\"ab\r\n\"\",x", true, {{"ab"}, {"", "x"}}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(readAll(c.text, c.keepEmptyLast), c.want) << c.text;
}
