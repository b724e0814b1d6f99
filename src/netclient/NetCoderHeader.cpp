#include "netclient/NetCoderHeader.h"

#include "netclient/NetCoder3To4.h"
#include "netclient/NetGlobal.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cstdint>

const char *const DisplayNameSpecials = "\"(),.:;<>@[\\]";

TMimeSettings MimeSettingsForCharSet(int defaultCharSet)
{
    switch (defaultCharSet) {
    case 0: return {false, 'B', "GB2312"};
    case 1: return {false, 'B', "Big5"};
    case 2: return {true, 'B', "ISO-2022-JP"};
    case 3: return {false, 'B', "EUC-KR"};
    default: return {false, 'Q', "ISO-8859-1"};
    }
}

TMimeSettings MimeSettingsFromLocale()
{
    return MimeSettingsForCharSet(DefaultCharSet());
}

namespace {

bool isDelimiter(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool mustEncode(unsigned char c, const std::string &specials)
{
    return c < 32 || c > 126 || specials.find(char(c)) != std::string::npos;
}

// One run of text as encoded words of at most 75 columns, joined by CR LF TAB.
std::string encodeRun(const std::string &run, const std::string &specials, char encoding,
                      const std::string &charSet)
{
    const std::string prefix = "=?" + charSet + "?" + encoding + "?";
    const size_t start = prefix.size() + 2;
    std::string out = prefix;
    size_t col = start, inWord = 0;
    auto put = [&](const std::string &piece) {
        if (col + piece.size() > 75 && inWord > 0) {
            out += "?=\r\n\t" + prefix;
            col = start;
            inWord = 0;
        }
        out += piece;
        col += piece.size();
        ++inWord;
    };
    if (encoding == 'Q' || encoding == 'q') {
        for (const char ch : run) {
            const auto c = static_cast<unsigned char>(ch);
            std::string piece;
            if (c == ' ')
                piece = "_";
            else if (mustEncode(c, specials) || c == '=' || c == '?' || c == '_')
                AppendHexEscape(piece, c);
            else
                piece = ch;
            put(piece);
        }
    } else {
        for (size_t i = 0; i < run.size(); i += 3)
            put(Base64Encode(std::string_view(run).substr(i, 3)));
    }
    return out + "?=";
}

std::string decodeQ(const std::string &data)
{
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=') {
            const std::string pair = data.substr(i + 1, 2);
            if (pair.size() < 2 || HexDigitValue(pair[0]) < 0 || HexDigitValue(pair[1]) < 0)
                throw EConvertError("'$" + pair + "' is not a valid integer value");
            out += char(HexDigitValue(pair[0]) << 4 | HexDigitValue(pair[1]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string decodeB(std::string data)
{
    while (!data.empty() && data.back() == '=')
        data.pop_back();
    std::string out;  // a character outside the alphabet counts as 0
    for (size_t i = 0; i < data.size(); i += 4) {
        const size_t k = std::min<size_t>(4, data.size() - i);
        uint32_t x = 0;
        for (size_t j = 0; j < 4; ++j)
            x = x << 6 | uint32_t(j < k ? std::max(0, Base64CharValue(static_cast<unsigned char>(data[i + j]))) : 0);
        out += char(x >> 16);
        if (k >= 3)
            out += char(x >> 8);
        if (k == 4)
            out += char(x);
    }
    return out;
}

bool allWhite(const std::string &s)
{
    for (const char c : s)
        if (!isDelimiter(c))
            return false;
    return true;
}

} // namespace

std::string EncodeHeaderText(const std::string &text, const std::string &specials, char headerEncoding,
                             bool jisMode, const std::string &charSet)
{
    const std::string s = jisMode ? ShiftJisToJis(text) : text;
    const size_t n = s.size();
    std::string out;
    size_t i = 0;
    size_t runStart = std::string::npos, runEnd = 0;
    auto closeRun = [&] {
        if (runStart != std::string::npos)
            out += encodeRun(s.substr(runStart, runEnd - runStart), specials, headerEncoding, charSet);
        runStart = std::string::npos;
    };
    while (i < n) {
        const size_t delimStart = i;
        while (i < n && isDelimiter(s[i]))
            ++i;
        const size_t wordStart = i;
        bool need = false;
        for (; i < n && !isDelimiter(s[i]); ++i)
            if (mustEncode(static_cast<unsigned char>(s[i]), specials))
                need = true;
        if (wordStart == i) {  // blanks at the end
            closeRun();
            out.append(s, delimStart, i - delimStart);
        } else if (need) {
            // The first word to encode opens a run; the blanks before it stay plain.
            if (runStart == std::string::npos) {
                out.append(s, delimStart, wordStart - delimStart);
                runStart = wordStart;
            }
            runEnd = i;
        } else {
            closeRun();
            out.append(s, delimStart, i - delimStart);
        }
    }
    closeRun();
    return out;
}

std::string EncodeAddressText(const TNetEMailAddressItem &item, char headerEncoding, bool jisMode,
                              const std::string &charSet)
{
    if (item.Name.empty())
        return item.Address;
    bool plain = true;
    for (const char c : item.Name)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126)
            plain = false;
    std::string name;
    if (!plain) {
        name = EncodeHeaderText(item.Name, DisplayNameSpecials, headerEncoding, jisMode, charSet);
    } else {
        name = "\"";
        for (const char c : item.Name) {
            if (c == '\\' || c == '"')
                name += '\\';
            name += c;
        }
        name += '"';
    }
    return name + " <" + item.Address + ">";
}

std::string EncodeAddressListText(const TNetEMailAddressList &list, char headerEncoding, bool jisMode,
                                  const std::string &charSet)
{
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0)
            out += ", ";
        out += EncodeAddressText(list.Items(i), headerEncoding, jisMode, charSet);
    }
    return out;
}

std::string DecodeEncodedWords(const std::string &text)
{
    if (Rtl::UpperCase(text).find("=?ISO") == std::string::npos)
        return text;
    std::string out;
    size_t i = 0;
    bool lastDecoded = false;
    while (i < text.size()) {
        const size_t open = text.find("=?", i);
        if (open == std::string::npos)
            break;
        const size_t q1 = text.find('?', open + 2);
        const bool shaped = q1 != std::string::npos && q1 + 2 < text.size() && text[q1 + 2] == '?';
        const size_t close = shaped ? text.find("?=", q1 + 3) : std::string::npos;
        if (close == std::string::npos) {  // not an encoded word
            out.append(text, i, open + 2 - i);
            i = open + 2;
            lastDecoded = false;
            continue;
        }
        const std::string between = text.substr(i, open - i);
        const std::string charSet = text.substr(open + 2, q1 - open - 2);
        const char letter = text[q1 + 1];
        const std::string data = text.substr(q1 + 3, close - q1 - 3);
        i = close + 2;
        if (!Rtl::SameText(charSet.substr(0, 3), "ISO")) {
            out += between;
            out.append(text, open, i - open);  // other character sets stay as they are
            lastDecoded = false;
            continue;
        }
        // White space between two encoded words belongs to neither.
        if (!(lastDecoded && allWhite(between)))
            out += between;
        std::string decoded = (letter == 'Q' || letter == 'q') ? decodeQ(data) : decodeB(data);
        if (Rtl::SameText(charSet, "ISO-2022-JP"))
            decoded = JisToShiftJis(decoded);
        out += decoded;
        lastDecoded = true;
    }
    out.append(text, std::min(i, text.size()));
    return out;
}

// ---- Shift_JIS and ISO-2022-JP ------------------------------------------------------
namespace {

const char kToTwoByte[] = "\x1b$B";
const char kToOneByte[] = "\x1b(B";

// JIS X 0208 codes of the half-width katakana 0xA1 to 0xDF of JIS X 0201.
const uint16_t kHalfWidthKana[63] = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529, 0x2563,
    0x2565, 0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D, 0x252F,
    0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541, 0x2544, 0x2546, 0x2548,
    0x254A, 0x254B, 0x254C, 0x254D, 0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E, 0x255F,
    0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x256D, 0x256F,
    0x2573, 0x212B, 0x212C};

bool isLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool isTrailByte(unsigned char c)
{
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

} // namespace

std::string ShiftJisToJis(const std::string &text)
{
    std::string out;
    bool twoByte = false;
    auto enter = [&] {
        if (!twoByte)
            out += kToTwoByte;
        twoByte = true;
    };
    auto leave = [&] {
        if (twoByte)
            out += kToOneByte;
        twoByte = false;
    };
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < n ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (isLeadByte(c) && isTrailByte(next)) {
            const int row = c <= 0x9F ? c - 0x70 : c - 0xB0;
            int j1, j2;
            if (next >= 0x9F) {
                j1 = row * 2;
                j2 = next - 0x7E;
            } else {
                j1 = row * 2 - 1;
                j2 = next - 0x1F - (next >= 0x80 ? 1 : 0);
            }
            enter();
            out += char(j1);
            out += char(j2);
            ++i;
        } else if (c >= 0xA1 && c <= 0xDF) {
            // Half-width katakana become full-width, joined with a following
            // (semi-)voiced sound mark where a combined character exists.
            uint16_t code = kHalfWidthKana[c - 0xA1];
            if (next == 0xDE && ((c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE))) {
                ++code;
                ++i;
            } else if (next == 0xDE && c == 0xB3) {
                code = 0x2574;
                ++i;
            } else if (next == 0xDF && c >= 0xCA && c <= 0xCE) {
                code += 2;
                ++i;
            }
            enter();
            out += char(code >> 8);
            out += char(code & 0xFF);
        } else {
            leave();
            out += char(c);
        }
    }
    leave();
    return out;
}

std::string JisToShiftJis(const std::string &text)
{
    std::string out;
    bool twoByte = false;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0x1B) {
            const std::string seq = text.substr(i + 1, 2);
            if (seq == "$B" || seq == "$@")
                twoByte = true;
            else if (seq == "(B" || seq == "(J")
                twoByte = false;
            i += 2;  // other escape sequences of three bytes are skipped
        } else if (!twoByte || c < 0x21) {
            out += char(c);
        } else if (i + 1 < n) {
            const int c1 = c, c2 = static_cast<unsigned char>(text[++i]);
            const int s1 = (c1 + 1) / 2 + (c1 <= 0x5E ? 0x70 : 0xB0);
            int s2;
            if (c1 & 1)
                s2 = c2 + (c2 < 0x60 ? 0x1F : 0x20);
            else
                s2 = c2 + 0x7E;
            out += char(s1);
            out += char(s2);
        }
        // a lone last byte in two-byte mode is dropped
    }
    return out;
}
