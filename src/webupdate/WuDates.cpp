#include "webupdate/WuDates.h"

#include "platform/Cp1252.h"
#include "platform/Rtl.h"

#include <QDate>
#include <QLocale>

#include <cmath>
#include <cstdio>
#include <vector>

namespace wudates {

namespace {

// The numbers of a text split at Separator; false when a part is empty, not
// all digits or too long.
bool Numbers(const std::string &Text, char Separator, std::vector<int> &Out)
{
    Out.clear();
    std::string t = Rtl::Trim(Text);
    std::string cur;
    for (size_t i = 0; i <= t.size(); ++i) {
        if (i == t.size() || t[i] == Separator) {
            if (cur.empty() || cur.size() > 4)
                return false;
            Out.push_back(std::stoi(cur));
            cur.clear();
        } else if (t[i] >= '0' && t[i] <= '9') {
            cur += t[i];
        } else {
            return false;
        }
    }
    return true;
}

// The order of the day, month and year in a format: "DMY", "MDY", "YMD".
std::string Order(const std::string &Format)
{
    std::string order;
    for (char c : Rtl::UpperCase(Format))
        if ((c == 'D' || c == 'M' || c == 'Y') && order.find(c) == std::string::npos)
            order += c;
    return order.size() == 3 ? order : "DMY";
}

} // namespace

double BaseDate()
{
    return Rtl::EncodeDate(1980, 1, 1);
}

bool ParseDate(const std::string &Text, const std::string &Format, char Separator, double &Date)
{
    std::vector<int> n;
    if (!Numbers(Text, Separator, n) || n.size() != 3)
        return false;
    const std::string order = Order(Format);
    int d = 0, m = 0, y = 0;
    bool shortYear = false;
    const std::string t = Rtl::Trim(Text);
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t end = i < 2 ? t.find(Separator, start) : t.size();
        const int v = n[size_t(i)];
        switch (order[size_t(i)]) {
        case 'D': d = v; break;
        case 'M': m = v; break;
        default:
            y = v;
            shortYear = end - start <= 2;
        }
        start = end + 1;
    }
    if (shortYear)
        y += y < 50 ? 2000 : 1900;
    return Rtl::TryEncodeDate(y, m, d, Date);
}

bool ParseTime(const std::string &Text, const std::string &, char Separator, double &Time)
{
    std::vector<int> n;
    if (!Numbers(Text, Separator, n) || n.size() < 2 || n.size() > 3)
        return false;
    return Rtl::TryEncodeTime(n[0], n[1], n.size() == 3 ? n[2] : 0, 0, Time);
}

std::string FormatDate(double Date, const std::string &Format, char Separator)
{
    int y, m, d;
    Rtl::DecodeDate(Date, y, m, d);
    std::string out;
    const std::string f = Rtl::UpperCase(Format);
    for (size_t i = 0; i < f.size();) {
        size_t j = i;
        while (j < f.size() && f[j] == f[i])
            ++j;
        const size_t run = j - i;
        char buf[16];
        switch (f[i]) {
        case 'D': std::snprintf(buf, sizeof buf, run >= 2 ? "%02d" : "%d", d); out += buf; break;
        case 'M': std::snprintf(buf, sizeof buf, run >= 2 ? "%02d" : "%d", m); out += buf; break;
        case 'Y':
            if (run <= 2)
                std::snprintf(buf, sizeof buf, "%02d", y % 100);
            else
                std::snprintf(buf, sizeof buf, "%04d", y);
            out += buf;
            break;
        case '/': out += Separator; break;
        default: out += f.substr(i, run);
        }
        i = j;
    }
    return out;
}

std::string SystemShortDate(double Date)
{
    int y, m, d;
    Rtl::DecodeDate(Date, y, m, d);
    // The locale the program runs in: the system's, unless a test chose another.
    return ToAnsi(QLocale().toString(QDate(y, m, d), QLocale::ShortFormat));
}

std::string StoredDate(double Date)
{
    return FormatDate(Date, "dd/mm/yyyy", '/');
}

std::string StoredTime(double Date)
{
    int h, n, s, ms;
    Rtl::DecodeTime(Date, h, n, s, ms);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, n, s);
    return buf;
}

bool ParseStoredDate(const std::string &Text, double &Date)
{
    return ParseDate(Text, "dd/mm/yyyy", '/', Date);
}

bool ParseStoredTime(const std::string &Text, double &Time)
{
    return ParseTime(Text, "hh:nn:ss", ':', Time);
}

} // namespace wudates
