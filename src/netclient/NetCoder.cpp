#include "netclient/NetCoder.h"

#include "netclient/NetCoder3To4.h"
#include "netclient/NetCoderIMF.h"
#include "netclient/NetCoderText.h"
#include "platform/Rtl.h"

#include <cstring>
#include <mutex>

TNetCoder::TNetCoder() : buffer_(4096, '\0') {}  // the initial block size

TNetCoder::~TNetCoder() = default;

std::string TNetCoder::CodeString(std::string_view text)
{
    try {
        return codeString(text);
    } catch (...) {
        Reset();  // a failed coding leaves no half-coded input behind for the next call
        throw;
    }
}

std::string TNetCoder::codeString(std::string_view text)
{
    size_t pos = 0;
    for (;;) {
        const size_t room = blockSize_ - count_;
        if (text.size() - pos < room)
            break;
        std::memcpy(&buffer_[count_], text.data() + pos, room);
        count_ += room;
        pos += room;
        CodeBlock();
        if (count_ >= blockSize_)  // a coder that keeps a whole block back would never end
            count_ = 0;
    }
    const size_t rest = text.size() - pos;
    if (rest > 0) {
        std::memcpy(&buffer_[count_], text.data() + pos, rest);
        count_ += rest;
    }
    return CompleteOnCode ? CompletedInput() : GetCodedData();
}

std::string TNetCoder::CompletedInput()
{
    completed_ = true;
    CodeRemainder();
    return GetCodedData();
}

std::string TNetCoder::GetCodedText()
{
    while (!entries_.empty()) {
        std::string &e = entries_.front();
        if (e.compare(0, 2, "0;") == 0) {
            std::string text = e.substr(2);
            entries_.pop_front();
            return text;
        }
        if (!DropNotifications)
            return {};
        entries_.pop_front();
    }
    return {};
}

std::string TNetCoder::GetCodedData()
{
    if (DropData && DropNotifications) {
        entries_.clear();
        return {};
    }
    if (entries_.empty())
        return {};
    if (entries_.front().compare(0, 2, "0;") != 0) {
        std::string note = std::move(entries_.front());
        entries_.pop_front();
        return note;
    }
    size_t n = 0, total = 2;
    while (n < entries_.size() && entries_[n].compare(0, 2, "0;") == 0)
        total += entries_[n++].size() - 2;
    if (n == 1) {
        std::string only = std::move(entries_.front());
        entries_.pop_front();
        return only;
    }
    std::string joined;
    joined.reserve(total);
    joined = "0;";
    for (size_t i = 0; i < n; ++i) {
        joined.append(entries_.front(), 2);
        entries_.pop_front();
    }
    return joined;
}

void TNetCoder::Reset()
{
    SetBlockSize(int(blockSize_));
    completed_ = false;
    entries_.clear();
}

void TNetCoder::SetBlockSize(int n)
{
    const size_t size = n > 0 ? size_t(n) : 1;
    if (size > buffer_.size())
        buffer_.resize(size);
    blockSize_ = size;
    count_ = 0;
}

void TNetCoder::CodeBlock()
{
    OutputString(buffer_.substr(0, count_));
    count_ = 0;
}

void TNetCoder::CodeRemainder()
{
    if (count_ > 0)
        OutputString(buffer_.substr(0, count_));
    count_ = 0;
}

void TNetCoder::OutputString(std::string text)
{
    if (AppendLineBreak)
        text += "\r\n";
    if (DeliverByEvent) {
        if (OnCodedOutput)
            OnCodedOutput(this, text);
        return;
    }
    std::string entry;
    entry.reserve(text.size() + 2);
    entry = "0;";
    entry += text;
    entries_.push_back(std::move(entry));
}

void TNetCoder::OutputNotification(int value, const std::string &text)
{
    if (DeliverByEvent) {
        if (OnCodedNotification)
            OnCodedNotification(this, value, text);
        return;
    }
    entries_.push_back(Rtl::IntToStr(value) + ";" + text);
}

void AppendHexEscape(std::string &out, unsigned char c)
{
    static const char hex[] = "0123456789ABCDEF";
    const char escape[3] = {'=', hex[c >> 4], hex[c & 15]};
    out.append(escape, 3);
}

// ---- registry ----------------------------------------------------------------------
const char *const MediaTypePrefixes[7] = {"application/", "audio/", "image/", "message/",
                                          "multipart/", "text/", "video/"};

namespace {

std::deque<TNetCoderItem> &registry()
{
    static std::deque<TNetCoderItem> items;
    static std::once_flag once;
    std::call_once(once, [] {
        auto add = [](TNetCoderFactory f, const char *name, TNetCoderKind kind, unsigned char prio,
                      const char *type, const char *encoding) {
            items.push_back({kind, prio, type, encoding, name, f});
        };
        add(NewNetCoder<TNetCoder>, "TNetCoder", ckEncoder, 0, "application/octet-stream", "");
        add(NewNetCoder<TNetCoder>, "TNetCoder", ckDecoder, 0, "application/octet-stream", "");
        add(NewNetCoder<TNetBase64Encoder>, "TNetBase64Encoder", ckEncoder, 8, "", "base64");
        add(NewNetCoder<TNetBase64Decoder>, "TNetBase64Decoder", ckDecoder, 8, "", "base64");
        add(NewNetCoder<TNetUUEncoder>, "TNetUUEncoder", ckEncoder, 8, "", "x-uu");
        add(NewNetCoder<TNetUUDecoder>, "TNetUUDecoder", ckDecoder, 8, "", "x-uu");
        add(NewNetCoder<TNetXXEncoder>, "TNetXXEncoder", ckEncoder, 8, "", "x-xx");
        add(NewNetCoder<TNetXXDecoder>, "TNetXXDecoder", ckDecoder, 8, "", "x-xx");
        for (const char *enc : {"7bit", "8bit", "binary"})
            add(NewNetCoder<TNetCoder>, "TNetCoder", ckDecoder, 0, "", enc);
        add(NewNetCoder<TNetIMFDecoder>, "TNetIMFDecoder", ckDecoder, 9, "text/", "8bit");
        add(NewNetCoder<TNetQuotedPrintableEncoder>, "TNetQuotedPrintableEncoder", ckEncoder, 8, "",
            "quoted-printable");
        add(NewNetCoder<TNetQuotedPrintableDecoder>, "TNetQuotedPrintableDecoder", ckDecoder, 8, "",
            "quoted-printable");
    });
    return items;
}

} // namespace

const std::deque<TNetCoderItem> &CoderRegistry()
{
    return registry();
}

void RegisterCoderClass(TNetCoderFactory factory, const std::string &className, TNetCoderKind kind,
                        unsigned char priority, const std::string &contentType,
                        const std::string &transferEncoding)
{
    registry().push_back({kind, priority, contentType, transferEncoding, className, factory});
}

const TNetCoderItem *FindCoder(const std::string &contentType, const std::string &transferEncoding,
                               TNetCoderKind kind)
{
    for (const TNetCoderItem &item : registry())
        if (item.Kind == kind && Rtl::SameText(item.ContentType, contentType)
            && Rtl::SameText(item.TransferEncoding, transferEncoding))
            return &item;
    return nullptr;
}

const TNetCoderItem *CoderFor(const std::string &contentType, const std::string &transferEncoding,
                              TNetCoderKind kind)
{
    if (const TNetCoderItem *exact = FindCoder(contentType, transferEncoding, kind))
        return exact;
    for (const TNetCoderItem &item : registry()) {
        if (item.Kind != kind)
            continue;
        if (!transferEncoding.empty() ? Rtl::SameText(item.TransferEncoding, transferEncoding)
                                      : Rtl::SameText(item.ContentType, contentType))
            return &item;
    }
    return FindCoder("application/octet-stream", "", kind);
}
