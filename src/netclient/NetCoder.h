#pragma once
// The coder framework: a component that turns a stream of input text into
// coded output in blocks and reports its output as entries ("0;" + coded text
// for data, number + ";" + text for notifications) or through events; and the
// process-wide registry that maps MIME transfer encodings and content types
// to coder classes.
#include "netclient/NetBaseComponent.h"
#include "netclient/NetException.h"
#include "platform/Rtl.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace NetRes {
inline constexpr const char *RSCoderNoTableEntryNotFound = "Coding table entry not found.";
} // namespace NetRes

// A character to be decoded is not in the coding table.
MIXDECK_EXCEPTION(ENetTableNotFound, ENetException);

class TNetCoder;
using TNetCodedOutputEvent = std::function<void(TNetCoder *sender, const std::string &text)>;
using TIntStringEvent = std::function<void(TNetCoder *sender, int value, const std::string &text)>;

class TNetCoder : public TNetBaseComponent {
public:
    TNetCoder();
    ~TNetCoder() override;
    virtual const char *ClassName() const { return "TNetCoder"; }

    // Every output text gets CR LF appended.
    bool AppendLineBreak = false;
    // CodeString ends with CompletedInput instead of GetCodedData.
    bool CompleteOnCode = false;
    // A file name a decoder found in its input (the UU encoder writes it).
    std::string CodedFileName;
    // With DropNotifications: fetching discards all entries.
    bool DropData = false;
    // GetCodedText skips notifications.
    bool DropNotifications = false;
    // Output goes to the events instead of the entry list.
    bool DeliverByEvent = false;
    TNetCodedOutputEvent OnCodedOutput;
    TIntStringEvent OnCodedNotification;

    // Appends the text to the input; every full block is coded on the way.
    // Returns CompletedInput() with CompleteOnCode, else GetCodedData().
    // A coding error empties the coder (Reset) before it is raised.
    std::string CodeString(std::string_view text);
    // Codes what is left and returns GetCodedData().
    virtual std::string CompletedInput();
    // The text of the first entry when it is coded data (removed).
    virtual std::string GetCodedText();
    // The first entry when it is a notification; otherwise "0;" and the
    // texts of the leading run of coded-data entries, joined (all removed).
    virtual std::string GetCodedData();
    // Empties the input, the completed mark and the entry list.
    virtual void Reset();
    virtual void SetNote(const std::string &note) { Note = note; }
    int BlockSize() const { return int(blockSize_); }
    // Grows the buffer when needed; the input waiting in it is dropped.
    virtual void SetBlockSize(int n);

    bool InputCompleted() const { return completed_; }
    std::string Note;  // kept for the caller; no operation reads it
    const std::deque<std::string> &Entries() const { return entries_; }

protected:
    // Codes one full buffer; must leave fewer than BlockSize() bytes in it.
    virtual void CodeBlock();
    // Codes what is left in the buffer.
    virtual void CodeRemainder();

    void OutputString(std::string text);
    void OutputNotification(int value, const std::string &text);

    // The input waiting to be coded: buffer_[0, count_).
    std::string buffer_;
    size_t count_ = 0;
    bool completed_ = false;

private:
    std::string codeString(std::string_view text);
    size_t blockSize_ = 4096;
    std::deque<std::string> entries_;
};

// ---- registry ----------------------------------------------------------------------
enum TNetCoderKind : unsigned char { ckEncoder = 0, ckDecoder = 128 };
using TNetCoderFactory = std::unique_ptr<TNetCoder> (*)();

template <class T>
std::unique_ptr<TNetCoder> NewNetCoder()
{
    return std::make_unique<T>();
}

struct TNetCoderItem {
    TNetCoderKind Kind;
    unsigned char Priority;
    std::string ContentType;
    std::string TransferEncoding;
    std::string ClassName;
    TNetCoderFactory Factory;
    // A new coder of the item's class; the caller owns it.
    std::unique_ptr<TNetCoder> Create() const { return Factory(); }
};

// Appends an item to the registry (which already holds every coder of the
// library, registered in a fixed order the first time it is used).
void RegisterCoderClass(TNetCoderFactory factory, const std::string &className, TNetCoderKind kind,
                        unsigned char priority, const std::string &contentType,
                        const std::string &transferEncoding);
// First item of the kind whose content type and transfer encoding both equal
// the given ones ignoring case; nullptr when none.
const TNetCoderItem *FindCoder(const std::string &contentType, const std::string &transferEncoding,
                               TNetCoderKind kind);
// The exact match; else the first item of the kind with that transfer
// encoding (when one is given) or with that content type (when not); else the
// pass-through coder for "application/octet-stream". Never nullptr.
const TNetCoderItem *CoderFor(const std::string &contentType, const std::string &transferEncoding,
                              TNetCoderKind kind);
const std::deque<TNetCoderItem> &CoderRegistry();

// "=" and the byte in two upper-case hexadecimal digits (quoted-printable, Q words).
void AppendHexEscape(std::string &out, unsigned char c);
using Rtl::HexDigitValue;

// The seven top-level media types, "application/" to "video/".
extern const char *const MediaTypePrefixes[7];
