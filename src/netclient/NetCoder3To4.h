#pragma once
// Table-driven coders that turn three bytes into four characters: Base64,
// UU and XX, and the one-call Base64 functions.
#include "netclient/NetCoder.h"
#include "platform/Classes.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace NetRes {
inline constexpr const char *RSUUNoBeginAfterTable = "No BEGIN statement followed a TABLE";
inline constexpr const char *RSUUTooManyPrivilegeChars = "Too many chars for three-digit Privilege";
inline constexpr const char *RSUUNotEnoughPrivilegeChars = "Not enough chars for three-digit Privilege";
inline constexpr const char *RSUUPrivilegeNotNumeric = "Privilege chars not numeric";
inline constexpr const char *RSUUDataEndedWithoutEnd = " Data ended without an END statment";
} // namespace NetRes

extern const char *const Base64CodeTable;  // "ABC...xyz0123456789+/"
extern const char *const UUCodeTable;      // the backquote, then "!" to "_"
extern const char *const XXCodeTable;      // "+-0123456789ABC...xyz"

// A coder with a coding table of TableLength characters.
class TNetASCIICoder : public TNetCoder {
public:
    explicit TNetASCIICoder(int tableLength);
    const char *ClassName() const override { return "TNetASCIICoder"; }
    const std::string &CodingTable() const { return table_; }
    virtual void SetCodingTable(const std::string &table);
    const int TableLength;

protected:
    std::string table_;
};

// Three bytes to four characters of a 64-character table.
class TId3To4Coder : public TNetASCIICoder {
public:
    TId3To4Coder();
    const char *ClassName() const override { return "TId3To4Coder"; }
    // A shorter text replaces the beginning of the table; a longer one is cut to 64.
    void SetCodingTable(const std::string &table) override;

protected:
    // Appends the characters of n bytes; a last group of one or two bytes is
    // coded with zero bytes in the missing places (four characters).
    void EncodeGroups(const unsigned char *in, size_t n, std::string &out) const;
    // The 6-bit value of a character, -1 when it is not in the table.
    int ValueOf(unsigned char c) const { return values_[c]; }
    // Decodes one group of up to four 6-bit values into up to three bytes.
    static void PutGroup(const int v[4], size_t bytes, std::string &out);
    [[noreturn]] static void TableEntryNotFound();
    bool standard_ = false;  // the table is the Base64 alphabet: table-driven fast paths

private:
    int8_t values_[256];
};

class TNetBase64Encoder : public TId3To4Coder {
public:
    TNetBase64Encoder();
    const char *ClassName() const override { return "TNetBase64Encoder"; }

protected:
    // Codes the whole groups of the block; the one or two bytes left over
    // begin the next block, so consecutive outputs form one Base64 text.
    void CodeBlock() override;
    void CodeRemainder() override;
};

class TNetBase64Decoder : public TId3To4Coder {
public:
    TNetBase64Decoder();
    const char *ClassName() const override { return "TNetBase64Decoder"; }
    void Reset() override;

protected:
    // CR and LF separate; "=" may be followed only by more "=" (and line
    // breaks); any other character outside the table raises ENetTableNotFound.
    void CodeBlock() override;
    void CodeRemainder() override;

private:
    void decode(std::string &out);
    int quad_[4] = {0, 0, 0, 0};  // values of a group not yet complete
    int quadCount_ = 0;
    bool padding_ = false;
};

class TNetUUEncoder : public TId3To4Coder {
public:
    TNetUUEncoder();
    const char *ClassName() const override { return "TNetUUEncoder"; }
    int FileMode = 644;
    // Write "table" and the two table lines before "begin".
    bool TableLines = false;
    void Reset() override;

protected:
    virtual void ProcessHeader();
    void CodeBlock() override;
    void CodeRemainder() override;

private:
    void line(const unsigned char *in, size_t n);
    bool headerPending_ = true;
};

class TNetXXEncoder : public TNetUUEncoder {
public:
    TNetXXEncoder();
    const char *ClassName() const override { return "TNetXXEncoder"; }
};

// Notification numbers of the UU and XX decoders.
enum : int {
    uuFileName = 5,
    uuTable = 41,
    uuBegin = 42,
    uuNoBeginAfterTable = 43,
    uuLastLine = 44,
    uuEnd = 45,
    uuFileMode = 47,
    uuFileModeError = 48,
};

class TNetUUDecoder : public TId3To4Coder {
public:
    TNetUUDecoder();
    const char *ClassName() const override { return "TNetUUDecoder"; }
    int FileMode = 644;
    TStringList Errors;
    void Reset() override;

protected:
    virtual void ProcessHeader(const std::string &line);
    void CodeBlock() override;
    void CodeRemainder() override;
    std::string defaultTable_;

private:
    enum class St { Searching, Table1, Table2, AfterTable, Data, End };
    void takeLines();
    void processLine(std::string line);
    void begin(const std::string &rest);
    void restart();
    St state_ = St::Searching;
    std::string pending_;       // a line not yet ended by a line break
    std::string tableText_;
};

class TNetXXDecoder : public TNetUUDecoder {
public:
    TNetXXDecoder();
    const char *ClassName() const override { return "TNetXXDecoder"; }
};

// The 6-bit value of a character of the Base64 alphabet; -1 for any other.
int Base64CharValue(unsigned char c);

// The whole coded text of one complete input, gathered straight from the
// coder's output (its events are taken over) without the entry list;
// expected is the room made for it at once, as near the coded size as the
// caller can tell without going over it by much.
std::string CodeWhole(TNetCoder &coder, std::string_view text, size_t expected);

// Standard Base64 of the whole text: one line, "=" padding, no line breaks.
std::string Base64Encode(std::string_view text);
// The bytes of a Base64 text (CR and LF ignored); raises ENetTableNotFound
// "Coding table entry not found." for any other character outside the alphabet.
std::string Base64Decode(std::string_view text);
