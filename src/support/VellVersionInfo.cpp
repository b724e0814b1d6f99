#include "support/VellVersionInfo.h"

#include <climits>
#include <cstdio>
#include <unistd.h>

namespace {

struct CodeName {
    uint16_t code;
    const char *name;
};

const CodeName kCharSets[] = {
    {0, "7-bit ASCII"},
    {932, "Windows, Japan (Shift - JIS X-0208)"},
    {949, "Windows, Korea (Shift - KSC 5601)"},
    {950, "Windows, Taiwan (GB5)"},
    {1200, "Unicode"},
    {1250, "Windows, Latin-2 (Eastern European)"},
    {1251, "Windows, Cyrillic"},
    {1252, "Windows, Multilingual"},
    {1253, "Windows, Greek"},
    {1254, "Windows, Turkish"},
    {1255, "Windows, Hebrew"},
    {1256, "Windows, Arabic"},
};

// Names of the language codes version resources commonly carry.
const CodeName kLanguages[] = {
    {0x0000, "Language Neutral"},
    {0x0401, "Arabic (Saudi Arabia)"},
    {0x0402, "Bulgarian"},
    {0x0403, "Catalan"},
    {0x0404, "Chinese (Taiwan)"},
    {0x0405, "Czech"},
    {0x0406, "Danish"},
    {0x0407, "German (Germany)"},
    {0x0408, "Greek"},
    {0x0409, "English (United States)"},
    {0x040A, "Spanish (Spain, Traditional Sort)"},
    {0x040B, "Finnish"},
    {0x040C, "French (France)"},
    {0x040D, "Hebrew"},
    {0x040E, "Hungarian"},
    {0x040F, "Icelandic"},
    {0x0410, "Italian (Italy)"},
    {0x0411, "Japanese"},
    {0x0412, "Korean"},
    {0x0413, "Dutch (Netherlands)"},
    {0x0414, "Norwegian (Bokmal)"},
    {0x0415, "Polish"},
    {0x0416, "Portuguese (Brazil)"},
    {0x0418, "Romanian"},
    {0x0419, "Russian"},
    {0x041A, "Croatian"},
    {0x041B, "Slovak"},
    {0x041D, "Swedish"},
    {0x041F, "Turkish"},
    {0x0424, "Slovenian"},
    {0x0800, "Language Neutral"},
    {0x0804, "Chinese (PRC)"},
    {0x0807, "German (Switzerland)"},
    {0x0809, "English (United Kingdom)"},
    {0x080A, "Spanish (Mexico)"},
    {0x080C, "French (Belgium)"},
    {0x0810, "Italian (Switzerland)"},
    {0x0813, "Dutch (Belgium)"},
    {0x0814, "Norwegian (Nynorsk)"},
    {0x0816, "Portuguese (Portugal)"},
    {0x0C07, "German (Austria)"},
    {0x0C09, "English (Australia)"},
    {0x0C0A, "Spanish (Spain, International Sort)"},
    {0x0C0C, "French (Canada)"},
    {0x1009, "English (Canada)"},
    {0x100C, "French (Switzerland)"},
};

template <size_t N>
std::string lookup(const CodeName (&table)[N], uint16_t code)
{
    for (const CodeName &e : table)
        if (e.code == code)
            return e.name;
    return std::string();
}

TFileVersionNumber split(uint32_t ms, uint32_t ls)
{
    TFileVersionNumber v;
    v.V1 = uint16_t(ms >> 16);
    v.V2 = uint16_t(ms & 0xFFFF);
    v.V3 = uint16_t(ls >> 16);
    v.V4 = uint16_t(ls & 0xFFFF);
    return v;
}

} // namespace

const char *const TVellVersionInfo::StringNames[12] = {
    "Comments",       "CompanyName",      "FileDescription", "FileVersion",
    "InternalName",   "LegalCopyright",   "LegalTrademarks", "OriginalFileName",
    "PrivateBuild",   "ProductName",      "ProductVersion",  "SpecialBuild",
};

std::string RunningProgramFileName()
{
    char buf[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

TVellVersionInfo::TVellVersionInfo()
{
    SetFileName(std::string());
}

TVellVersionInfo::~TVellVersionInfo() = default;

void TVellVersionInfo::SetFileName(const std::string &Value)
{
    FFileName = Value.empty() ? RunningProgramFileName() : Value;
    ClearProperties();
    ReadVersionInfo();
}

void TVellVersionInfo::ClearProperties()
{
    FHaveInfo = false;
}

void TVellVersionInfo::ReadVersionInfo()
{
    FHaveInfo = false;
    FFixedFileInfo = verinfo::TVSFixedFileInfo();
    FTranslationCount = 0;
    FCurrentTranslation = -1;

    const uint32_t size = verinfo::GetFileVersionInfoSize(FFileName);
    if (size == 0)
        return;
    FVersionBuffer.assign(size_t(size) + 1, 0); // one more for the terminating zero
    if (!verinfo::GetFileVersionInfo(FFileName, size, FVersionBuffer.data()))
        return;

    FHaveInfo = true;
    verinfo::QueryFixedFileInfo(FVersionBuffer.data(), size, FFixedFileInfo);

    std::string trans;
    FTranslations.clear();
    if (verinfo::VerQueryValue(FVersionBuffer.data(), size, "\\VarFileInfo\\Translation", trans)) {
        FTranslationCount = int(trans.size() / 4);
        for (size_t i = 0; i + 1 < size_t(FTranslationCount) * 4; i += 2)
            FTranslations.push_back(uint16_t(uint8_t(trans[i]) | (uint8_t(trans[i + 1]) << 8)));
    }
    FCurrentTranslation = FTranslationCount > 0 ? 0 : -1;
}

TFileVersionNumber TVellVersionInfo::GetFileVersionNumber() const
{
    return split(FFixedFileInfo.dwFileVersionMS, FFixedFileInfo.dwFileVersionLS);
}

TFileVersionNumber TVellVersionInfo::GetProductVersionNumber() const
{
    return split(FFixedFileInfo.dwProductVersionMS, FFixedFileInfo.dwProductVersionLS);
}

std::string TVellVersionInfo::GetStringFileInfo(const std::string &Name) const
{
    if (!FHaveInfo || FVersionBuffer.empty())
        return std::string();
    std::string value;
    const std::string path = "\\StringFileInfo\\" + GetTransStr() + "\\" + Name;
    if (!verinfo::VerQueryValue(FVersionBuffer.data(), FVersionBuffer.size() - 1, path, value))
        return std::string();
    const size_t zero = value.find('\0');
    if (zero != std::string::npos)
        value.resize(zero);
    return value;
}

std::string TVellVersionInfo::GetStringFileInfoByIdx(int Index) const
{
    if (Index < 0 || Index > 11)
        return std::string();
    return GetStringFileInfo(StringNames[Index]);
}

std::string TVellVersionInfo::GetTransStr() const
{
    if (GetCurrentTranslation() < 0)
        return std::string();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%4.4X%4.4X", unsigned(GetLanguageCode()), unsigned(GetCharSetCode()));
    return buf;
}

uint16_t TVellVersionInfo::GetLanguageCode() const
{
    const int i = GetCurrentTranslation();
    return i < 0 ? 0 : FTranslations[size_t(i) * 2];
}

uint16_t TVellVersionInfo::GetCharSetCode() const
{
    const int i = GetCurrentTranslation();
    return i < 0 ? 0 : FTranslations[size_t(i) * 2 + 1];
}

std::string TVellVersionInfo::GetLanguage() const
{
    if (!FHaveInfo || GetCurrentTranslation() < 0)
        return std::string();
    return lookup(kLanguages, GetLanguageCode());
}

std::string TVellVersionInfo::GetCharSet() const
{
    if (!FHaveInfo || GetCurrentTranslation() < 0)
        return std::string();
    return lookup(kCharSets, GetCharSetCode());
}

int TVellVersionInfo::GetCurrentTranslation() const
{
    return FHaveInfo ? FCurrentTranslation : -1;
}

void TVellVersionInfo::SetCurrentTranslation(int Value)
{
    FCurrentTranslation = (Value >= 0 && Value < FTranslationCount) ? Value : -1;
}

// ---- version halves ----------------------------------------------------------------

TVersionDwords GetFileVersionDwords(const std::string &FileName)
{
    TVersionDwords r;
    const uint32_t size = verinfo::GetFileVersionInfoSize(FileName);
    if (size == 0)
        return r;
    std::vector<uint8_t> buffer(size);
    if (!verinfo::GetFileVersionInfo(FileName, size, buffer.data()))
        return r;
    verinfo::TVSFixedFileInfo info;
    if (verinfo::QueryFixedFileInfo(buffer.data(), buffer.size(), info)
        && info.dwSignature == verinfo::kFixedFileInfoSignature) {
        r.High = int32_t(info.dwFileVersionMS);
        r.Low = int32_t(info.dwFileVersionLS);
    }
    return r;
}

namespace {

// A part read as a decimal whole number: leading blanks, an optional sign,
// then digits and nothing else make it valid (when it fits 32 signed bits);
// value is the number of its leading digits either way (0 without digits).
bool readWholeNumber(const std::string &s, uint32_t &value)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    uint64_t n = 0;
    size_t digits = 0;
    bool overflow = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        n = n * 10 + uint64_t(s[i] - '0');
        if (n > 0xFFFFFFFFull) {
            overflow = true;
            n &= 0xFFFFFFFFull;
        }
        ++digits;
        ++i;
    }
    value = negative ? uint32_t(0u - uint32_t(n)) : uint32_t(n);
    const uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
    return digits > 0 && i == s.size() && !overflow && n <= limit;
}

int32_t halves(uint32_t a, uint32_t b)
{
    return int32_t(((a & 0xFFFF) << 16) | (b & 0xFFFF));
}

} // namespace

TVersionDwords ParseVersionString(const std::string &Text)
{
    TVersionDwords r;
    char sep;
    if (Text.find(',') != std::string::npos)
        sep = ',';
    else if (Text.find('.') != std::string::npos)
        sep = '.';
    else
        return r;

    size_t p = Text.find(sep);
    uint32_t n1 = 0;
    const bool valid1 = readWholeNumber(Text.substr(0, p), n1);
    const std::string rest = Text.substr(p + 1);

    const size_t q = rest.find(sep);
    if (q == std::string::npos || !valid1)
        return r;
    uint32_t n2 = 0;
    const bool valid2 = readWholeNumber(rest.substr(0, q), n2);
    r.High = halves(n1, n2);
    const std::string rest2 = rest.substr(q + 1);

    const size_t s = rest2.find(sep);
    if (s == std::string::npos || !valid2)
        return r;
    uint32_t n3 = 0, n4 = 0;
    readWholeNumber(rest2.substr(0, s), n3);
    if (readWholeNumber(rest2.substr(s + 1), n4))
        r.Low = halves(n3, n4);
    return r;
}
