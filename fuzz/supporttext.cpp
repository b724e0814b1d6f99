// The support units' readers of text over arbitrary bytes: dates under a
// format, wildcards, hex-coded values, Roman numerals, INI line breaks, and
// stored properties applied from an INI text to a real object.
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "support/Apputils.h"
#include "support/Dateutil.h"
#include "support/PropStore.h"
#include "support/Strutils.h"

#include <QTimer>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const size_t half = text.size() / 2;
    const std::string a = text.substr(0, half), b = text.substr(half);

    for (const char *fmt : {"DD/MM/YYYY", "YYYY-MMM-DD", "MM/DD/YY"})
        StrToDateFmtDef(fmt, text, 0);
    StrToDateFmtDef(a, b, 0);
    IsWild(a, b, false);
    IsWild(a, b, true);
    XorDecode(a, b);
    RomanToInt(text);
    Hex2Dec(text);
    ExtractDelimited(3, text, CharSet(",;"));
    WordCount(text, CharSet(" \t"));
    try {
        IniStrToStr(text);
        StrToIniStr(text);
    } catch (const Exception &) {
    }

    TMemIniFile ini("");
    ini.SetStrings(text);
    TPropsStorage st;
    st.Section = "S";
    st.OnReadStr = [&](const std::string &s, const std::string &i, const std::string &d) {
        return ini.ReadString(s, i, d);
    };
    QTimer timer;
    st.Target = &timer;
    TStringList names;
    names.SetText("interval\nsingleShot\ntimerType\nobjectName\n");
    st.LoadProperties(names);
    return 0;
}
