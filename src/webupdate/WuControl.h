#pragma once
// The update control file ("update.inf"): an INI file from the publisher,
// read whole within a byte budget. Values come back as the file has them
// (trimmed); prefixes are expanded and paths confined by the caller
// (TWebUpdate::ExpandPath, TWebUpdate::ConfinePath).
#include "platform/IniFiles.h"

#include <cstdint>
#include <optional>
#include <string>

// One listed file: the section "file" followed by its number, from 1.
struct TUpdateFileEntry {
    std::string Url;
    std::string Descr;
    std::string NewVersion;
    std::string LocalVersion;
    std::string CustomVersion;
    std::string TargetDir;
    int64_t NewSize = 0;
    std::optional<uint32_t> NewChecksum;
    bool Compressed = false;
};

// A checksum text: decimal, "$" or "0x" hexadecimal, read as an unsigned
// 32-bit value, so $FFFFFFFF and values above 2147483647 are real checksums.
// Only "-1" (and an empty or malformed text) means that none is given; other
// negative decimals stand for their 32-bit pattern.
std::optional<uint32_t> ParseChecksum(const std::string &Text);
// A size text: a whole number (decimal or hexadecimal as above); Def when
// empty or malformed.
int64_t ParseSize(const std::string &Text, int64_t Def = 0);

class TUpdateControlFile {
public:
    static constexpr int64_t MaxBytes = 1 << 20;   // a larger control file is refused
    static constexpr int MaxFiles = 1000;           // the largest [files] count

    TUpdateControlFile();
    // False (and the object empty) when the file cannot be read or is larger
    // than MaxBytes.
    bool LoadFromFile(const std::string &FileName);
    bool LoadFromText(const std::string &Text);

    // The trimmed value; Def when the key is missing.
    std::string Value(const std::string &Section, const std::string &Key, const std::string &Def = "");
    // A whole number; Def when missing or malformed.
    int Integer(const std::string &Section, const std::string &Key, int Def);
    int64_t Size(const std::string &Section, const std::string &Key) { return ParseSize(Value(Section, Key)); }
    std::optional<uint32_t> Checksum(const std::string &Section, const std::string &Key)
    {
        return ParseChecksum(Value(Section, Key));
    }

    // The [files] count: 0 when empty or missing; false when it is not a
    // whole number or lies outside 0 to MaxFiles.
    bool FileCount(int &Count);
    // The listed file number Index (from 1).
    TUpdateFileEntry File(int Index);

private:
    TMemIniFile FIni;
};
