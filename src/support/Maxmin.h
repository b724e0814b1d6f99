#pragma once
// Minimum, maximum and swap routines.
#include <cstdint>
#include <initializer_list>
#include <stdexcept>

void SwapInt(int &a, int &b);
void SwapLong(std::int32_t &a, std::int32_t &b);
void SwapInt64(std::int64_t &a, std::int64_t &b);

inline int Max(int a, int b) { return a > b ? a : b; }
inline int Min(int a, int b) { return a < b ? a : b; }

// The largest or smallest of a non-empty sequence; the first value wins ties.
// An empty sequence raises std::invalid_argument.
std::int32_t MaxInteger(std::initializer_list<std::int32_t> values);
std::int32_t MinInteger(std::initializer_list<std::int32_t> values);
std::int64_t MaxInt64(std::initializer_list<std::int64_t> values);
std::int64_t MinInt64(std::initializer_list<std::int64_t> values);
long double MaxFloat(std::initializer_list<long double> values);
long double MinFloat(std::initializer_list<long double> values);
// Date-times as days since 1899-12-30 (the class library's TDateTime).
double MaxDateTime(std::initializer_list<double> values);
double MinDateTime(std::initializer_list<double> values);

#include <QVariant>
// The largest or smallest of non-empty variants (Qt's variant comparison;
// the first wins ties); a copy.
QVariant MaxOf(std::initializer_list<QVariant> values);
QVariant MinOf(std::initializer_list<QVariant> values);
