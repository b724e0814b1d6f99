#pragma once
// Reader of the version resource of an executable or library file: the fixed
// part (version numbers, flags, file type) and the string part (company name,
// product name and the other standard texts) of one of the file's language
// and character-set translations.
#include "platform/VersionResource.h"

#include <cstdint>
#include <string>
#include <vector>

// A version as four 16-bit numbers, V1 the most significant.
struct TFileVersionNumber {
    uint16_t V1 = 0;
    uint16_t V2 = 0;
    uint16_t V3 = 0;
    uint16_t V4 = 0;
};

class TVellVersionInfo {
public:
    // Reads the running program's own version information at once.
    TVellVersionInfo();
    virtual ~TVellVersionInfo();
    TVellVersionInfo(const TVellVersionInfo &) = delete;
    TVellVersionInfo &operator=(const TVellVersionInfo &) = delete;

    // The file whose version resource is read. Setting it stores the name
    // (an empty name stands for the running program's file), then runs
    // ClearProperties and ReadVersionInfo.
    const std::string &FileName() const { return FFileName; }
    void SetFileName(const std::string &Value);

    virtual void ClearProperties();
    virtual void ReadVersionInfo();

    // True when the file has a version resource.
    bool HaveInfo() const { return FHaveInfo; }

    // File and product version; all 0 without information.
    TFileVersionNumber GetFileVersionNumber() const;
    TFileVersionNumber GetProductVersionNumber() const;

    // A string value of the current translation; empty without information
    // or when the value is not there.
    std::string GetStringFileInfo(const std::string &Name) const;
    // The same for the standard string name of the index (0 to 11).
    std::string GetStringFileInfoByIdx(int Index) const;

    // The current translation as 8 upper-case hexadecimal digits (language,
    // then character set, e.g. 040904E4); empty without a current one.
    std::string GetTransStr() const;
    uint16_t GetLanguageCode() const;
    uint16_t GetCharSetCode() const;
    // Name of the language code; empty without information or when unknown.
    std::string GetLanguage() const;
    // Name of the character-set code; empty when unknown or without information.
    std::string GetCharSet() const;

    int GetCurrentTranslation() const;
    // An index from 0 to TranslationCount - 1 becomes current; any other value
    // leaves no current translation (-1).
    void SetCurrentTranslation(int Value);
    int TranslationCount() const { return FTranslationCount; }

    // The fixed file information (all 0 while nothing has been read).
    const verinfo::TVSFixedFileInfo &FixedFileInfo() const { return FFixedFileInfo; }
    uint32_t Signature() const { return FFixedFileInfo.dwSignature; }
    uint32_t StrucVersion() const { return FFixedFileInfo.dwStrucVersion; }
    uint32_t FileVersionMS() const { return FFixedFileInfo.dwFileVersionMS; }
    uint32_t FileVersionLS() const { return FFixedFileInfo.dwFileVersionLS; }
    uint32_t ProductVersionMS() const { return FFixedFileInfo.dwProductVersionMS; }
    uint32_t ProductVersionLS() const { return FFixedFileInfo.dwProductVersionLS; }
    uint32_t FileFlagsMask() const { return FFixedFileInfo.dwFileFlagsMask; }
    uint32_t FileFlags() const { return FFixedFileInfo.dwFileFlags; }
    uint32_t FileOS() const { return FFixedFileInfo.dwFileOS; }
    uint32_t FileType() const { return FFixedFileInfo.dwFileType; }
    uint32_t FileSubtype() const { return FFixedFileInfo.dwFileSubtype; }
    uint32_t FileDateMS() const { return FFixedFileInfo.dwFileDateMS; }
    uint32_t FileDateLS() const { return FFixedFileInfo.dwFileDateLS; }

    // The standard string names, index 0 to 11.
    static const char *const StringNames[12];

private:
    std::string FFileName;
    bool FHaveInfo = false;
    int FTranslationCount = 0;
    int FCurrentTranslation = -1;
    verinfo::TVSFixedFileInfo FFixedFileInfo;
    std::vector<uint8_t> FVersionBuffer;   // the raw block, zero-terminated
    std::vector<uint16_t> FTranslations;   // language, character set, language, ...
};

// The path of the running program (empty when it cannot be found).
std::string RunningProgramFileName();

// A file version as two signed 32-bit halves, the high half holding the
// first two numbers (first in the upper 16 bits), the low half the last two;
// -1 in a half means "not known".
struct TVersionDwords {
    int32_t High = -1;
    int32_t Low = -1;
};

// Both halves from the file's version resource; -1, -1 when it has none or
// its fixed file information lacks the signature FEEF04BD.
TVersionDwords GetFileVersionDwords(const std::string &FileName);

// Both halves of a version text such as "1.2.3.4" or "1,2,3,4": exactly four
// parts give both halves, three only the high half, anything else nothing.
TVersionDwords ParseVersionString(const std::string &Text);
