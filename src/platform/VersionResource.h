#pragma once
// Our stand-in for the system's version-information functions.
//
// A version resource is a Windows VS_VERSIONINFO block: a tree of nodes
// (length, value length, type, UTF-16 key, value, children on 32-bit
// boundaries) whose root value is the fixed file information.
// It is found in
//   - an ELF file: the note of owner "MIXDECK" and type 16 that our build puts
//     into every executable, found through the section headers or, without
//     them, through the program headers (PT_NOTE);
//   - a PE file (Windows executable or library): the resource of type
//     RT_VERSION (16), first name, first language.
// Every length and offset read from a file is checked against the data that
// is really there: a truncated or hostile file simply has no version
// information.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace verinfo {

// Signature of the fixed file information.
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
// Note type (and PE resource type) of the version resource.
constexpr uint32_t kVersionNoteType = 16;
// Owner name of our version note.
constexpr const char *kVersionNoteOwner = "MIXDECK";
// Size of the fixed file information: 13 values of 32 bits.
constexpr uint32_t kFixedFileInfoSize = 52;

// The fixed file information, the system's record of 13 32-bit values.
struct TVSFixedFileInfo {
    uint32_t dwSignature = 0;
    uint32_t dwStrucVersion = 0;
    uint32_t dwFileVersionMS = 0;
    uint32_t dwFileVersionLS = 0;
    uint32_t dwProductVersionMS = 0;
    uint32_t dwProductVersionLS = 0;
    uint32_t dwFileFlagsMask = 0;
    uint32_t dwFileFlags = 0;
    uint32_t dwFileOS = 0;
    uint32_t dwFileType = 0;
    uint32_t dwFileSubtype = 0;
    uint32_t dwFileDateMS = 0;
    uint32_t dwFileDateLS = 0;
};

// Size of the version-information block of the file; 0 when the file cannot
// be read or has no (well-formed) version resource.
uint32_t GetFileVersionInfoSize(const std::string &fileName);

// Copies the version-information block of the file into data (at most len
// bytes; the rest of the buffer is zeroed). False when the file has none or
// len is 0.
bool GetFileVersionInfo(const std::string &fileName, uint32_t len, void *data);

// The whole block of the file; empty when it has none.
std::vector<uint8_t> ReadVersionBlock(const std::string &fileName);

// The block found in a file image held in memory; empty when there is none.
std::vector<uint8_t> FindVersionBlock(const uint8_t *image, size_t size);

// Looks a value up in a block (len bytes at block): "\" gives the fixed file
// information, "\VarFileInfo\Translation" the translation pairs,
// "\StringFileInfo\040904E4\ProductName" a string. Names compare without
// regard to ASCII case. A text value comes back as Windows-1252 bytes up to
// (not including) its terminating zero, with *isText set; a binary value as
// its bytes. False when the path is not there or the block is malformed.
bool VerQueryValue(const void *block, size_t len, const std::string &subBlock,
                   std::string &value, bool *isText = nullptr);

// The fixed file information of a block's root value; false (and all zeros)
// when the root value is shorter than the record.
bool QueryFixedFileInfo(const void *block, size_t len, TVSFixedFileInfo &info);

} // namespace verinfo
