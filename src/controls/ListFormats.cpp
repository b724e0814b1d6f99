#include "controls/ListFormats.h"

#include "controls/Alvutil.h"
#include "controls/EnhListData.h"
#include "platform/Cp1252.h"

namespace ListFormats {

namespace {

char singleChar(const QString &s, char fallback)
{
    const std::string a = ToAnsi(s);
    if (a.size() != 1 || (a[0] == '?' && s != QStringLiteral("?"))) return fallback;
    return a[0];
}

} // namespace

TSystemFormats FromLocale(const QLocale &locale)
{
    TSystemFormats f;
    f.DecimalSeparator = singleChar(locale.decimalPoint(), '.');
    f.ThousandSeparator = singleChar(locale.groupSeparator(), f.DecimalSeparator == ',' ? '.' : ',');
    // The order in which day, month and year first appear in the short format.
    const QString fmt = locale.dateFormat(QLocale::ShortFormat).toLower();
    const qsizetype d = fmt.indexOf('d'), m = fmt.indexOf('m'), y = fmt.indexOf('y');
    if (d >= 0 && m >= 0 && y >= 0) {
        if (y < m && y < d) f.ShortDateOrder = "YMD";
        else if (m < d) f.ShortDateOrder = "MDY";
        else f.ShortDateOrder = "DMY";
    }
    return f;
}

void Apply(const TSystemFormats &formats)
{
    EnhListSort::DecimalSeparator = formats.DecimalSeparator;
    EnhListSort::ThousandSeparator = formats.ThousandSeparator;
    EnhListSort::ShortDateOrder = formats.ShortDateOrder;
    Alvutil::DecimalSeparator = formats.DecimalSeparator;
}

void ApplySystemOnce()
{
    static const bool applied = [] {
        Apply(FromLocale(QLocale::system()));
        return true;
    }();
    (void)applied;
}

} // namespace ListFormats
