// Received header text: the header list's names and unfolded values, address
// parsing, encoded words and the ISO-2022-JP conversion.
#include "netclient/NetCoderHeader.h"
#include "netclient/NetEMailAddress.h"
#include "netclient/NetHeaderList.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    TNetHeaderList h;
    h.SetText(text);
    for (int i = 0; i < h.Count() && i < 64; ++i) {
        const std::string name = h.GetName(i);
        const std::string value = h.Values(name);
        try {
            DecodeEncodedWords(value);
        } catch (const EConvertError &) {
        }
        TNetEMailAddressList list;
        list.SetEMailAddresses(value);
        for (int k = 0; k < list.Count(); ++k)
            EncodeAddressText(list.Items(k), 'Q', false, "ISO-8859-1");
        // A value of words between single blanks, written back under a name
        // without blanks, reads the same (folding keeps no other white space).
        bool words = !name.empty() && value == Rtl::Trim(value) && value.find("  ") == std::string::npos;
        for (const char c : value)
            words = words && (static_cast<unsigned char>(c) > 32 || c == ' ');
        for (const char c : name)  // and a name without blanks
            words = words && static_cast<unsigned char>(c) > 32;
        if (words) {
            TNetHeaderList w;
            w.SetValue(name, value);
            if (w.Values(name) != value)
                std::abort();
        }
    }
    JisToShiftJis(text);
    ShiftJisToJis(text);
    const std::string coded = EncodeHeaderText(text, DisplayNameSpecials, 'B', false, "ISO-8859-1");
    (void)coded;
    return 0;
}
