#include "support/Maxmin.h"

#include <utility>

void SwapInt(int &a, int &b) { std::swap(a, b); }
void SwapLong(std::int32_t &a, std::int32_t &b) { std::swap(a, b); }
void SwapInt64(std::int64_t &a, std::int64_t &b) { std::swap(a, b); }

namespace {

template <typename T, bool Largest>
T pick(std::initializer_list<T> values)
{
    if (values.size() == 0)
        throw std::invalid_argument("empty sequence");
    auto it = values.begin();
    T best = *it;
    for (++it; it != values.end(); ++it) {
        if (Largest ? *it > best : *it < best)
            best = *it;
    }
    return best;
}

} // namespace

std::int32_t MaxInteger(std::initializer_list<std::int32_t> v) { return pick<std::int32_t, true>(v); }
std::int32_t MinInteger(std::initializer_list<std::int32_t> v) { return pick<std::int32_t, false>(v); }
std::int64_t MaxInt64(std::initializer_list<std::int64_t> v) { return pick<std::int64_t, true>(v); }
std::int64_t MinInt64(std::initializer_list<std::int64_t> v) { return pick<std::int64_t, false>(v); }
long double MaxFloat(std::initializer_list<long double> v) { return pick<long double, true>(v); }
long double MinFloat(std::initializer_list<long double> v) { return pick<long double, false>(v); }
double MaxDateTime(std::initializer_list<double> v) { return pick<double, true>(v); }
double MinDateTime(std::initializer_list<double> v) { return pick<double, false>(v); }

static QVariant PickVariant(std::initializer_list<QVariant> values, bool largest)
{
    if (values.size() == 0)
        throw std::invalid_argument("empty sequence");
    auto it = values.begin();
    QVariant best = *it;
    for (++it; it != values.end(); ++it) {
        const QPartialOrdering o = QVariant::compare(*it, best);
        if (largest ? o == QPartialOrdering::Greater : o == QPartialOrdering::Less)
            best = *it;
    }
    return best;
}

QVariant MaxOf(std::initializer_list<QVariant> values) { return PickVariant(values, true); }
QVariant MinOf(std::initializer_list<QVariant> values) { return PickVariant(values, false); }
