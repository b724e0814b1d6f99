#include "netclient/NetCoderText.h"

#include <cstring>

namespace {

// Bytes the encoder writes as "=" and two hexadecimal digits: controls, bytes
// above 126, "=" and the printables that some gateways change; one lookup
// a byte.
struct EscapeTable {
    bool escape[256];
    constexpr EscapeTable() : escape()
    {
        for (int c = 0; c < 256; ++c)
            escape[c] = c < 32 || c > 126 || c == '=';
        for (const char *p = "!\"#$@[\\]^`{|}~"; *p; ++p)
            escape[static_cast<unsigned char>(*p)] = true;
    }
};
constexpr EscapeTable kEscape;

bool mustEscape(unsigned char c)
{
    return kEscape.escape[c];
}

// A blank or TAB at the end of a line would be lost in transport: escape it.
void escapeTrailingBlank(std::string &line)
{
    if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
        const unsigned char c = static_cast<unsigned char>(line.back());
        line.pop_back();
        AppendHexEscape(line, c);
    }
}

} // namespace

// ---- encoder -----------------------------------------------------------------------
TNetQuotedPrintableEncoder::TNetQuotedPrintableEncoder()
{
    AppendLineBreak = false;
}

void TNetQuotedPrintableEncoder::Reset()
{
    TNetCoder::Reset();
    pending_.clear();
    heldCR_ = false;
}

std::string TNetQuotedPrintableEncoder::convert(bool last)
{
    const auto *in = reinterpret_cast<const unsigned char *>(buffer_.data());
    const size_t n = count_;
    std::string out;
    out.reserve(n + n / 2 + 8);
    size_t i = 0;
    if (heldCR_) {
        heldCR_ = false;
        if (n > 0 && in[0] == '\n') {
            out += "\r\n";
            i = 1;
        } else {
            AppendHexEscape(out, '\r');
        }
    }
    for (; i < n; ++i) {
        const unsigned char c = in[i];
        if (c == '\r') {
            if (i + 1 < n) {
                if (in[i + 1] == '\n') {
                    out += "\r\n";
                    ++i;
                } else {
                    AppendHexEscape(out, c);
                }
            } else if (last) {
                AppendHexEscape(out, c);
            } else {
                heldCR_ = true;
            }
        } else if (mustEscape(c)) {
            AppendHexEscape(out, c);
        } else {
            out += char(c);
        }
    }
    count_ = 0;
    return out;
}

size_t TNetQuotedPrintableEncoder::cut(const std::string &text, size_t from, size_t to)
{
    while (to - from >= 76) {
        // 75 characters and "=" make 76; never split an "=XX" escape.
        size_t n = 75;
        if (text[from + 72] == '=')
            n = 72;
        else if (text[from + 73] == '=')
            n = 73;
        else if (text[from + 74] == '=')
            n = 74;
        OutputString(text.substr(from, n) + "=\r\n");
        from += n;
    }
    return from;
}

void TNetQuotedPrintableEncoder::EmitLines(const std::string &converted)
{
    pending_ += converted;
    size_t start = 0;
    for (;;) {
        const size_t end = pending_.find("\r\n", start);
        if (end == std::string::npos)
            break;
        std::string line = pending_.substr(start, end - start);
        escapeTrailingBlank(line);
        const size_t rest = cut(line, 0, line.size());
        OutputString(line.substr(rest) + "\r\n");
        start = end + 2;
    }
    start = cut(pending_, start, pending_.size());
    pending_.erase(0, start);
}

void TNetQuotedPrintableEncoder::CodeBlock()
{
    EmitLines(convert(false));
}

void TNetQuotedPrintableEncoder::CodeRemainder()
{
    completed_ = true;
    EmitLines(convert(true));
    escapeTrailingBlank(pending_);
    const size_t rest = cut(pending_, 0, pending_.size());
    if (rest < pending_.size())
        OutputString(pending_.substr(rest));
    pending_.clear();
}

// ---- decoder -----------------------------------------------------------------------
TNetQuotedPrintableDecoder::TNetQuotedPrintableDecoder()
{
    AppendLineBreak = false;
}

void TNetQuotedPrintableDecoder::Reset()
{
    TNetCoder::Reset();
    escapeCount_ = 0;
    AppendLineBreak = false;
}

namespace {

// The value of a hexadecimal digit, or -1, for every byte.
struct HexTable {
    signed char v[256];
    constexpr HexTable() : v()
    {
        for (int c = 0; c < 256; ++c)
            v[c] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                            : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                                   : -1);
    }
};
constexpr HexTable kHex;

} // namespace

// Runs of plain text are copied up to the next "="; an escape whose
// characters are all in this block is decoded on the spot; one cut off by
// the end of the block is finished, character by character, in the next.
std::string TNetQuotedPrintableDecoder::decode()
{
    std::string out;
    // Each character gives at most one, except that the character which
    // ends an escape begun in the previous block may give three.
    out.resize(count_ + 2);
    char *o = out.data();
    const char *s = buffer_.data();
    const char *const end = s + count_;
    while (s < end) {
        if (escapeCount_ == 0) {
            // A short run is copied byte by byte; a long one (no "=" among
            // the next 16 characters) with one search and one copy.
            const char *stop = end - s > 16 ? s + 16 : end;
            while (s < stop && *s != '=')
                *o++ = *s++;
            if (s == stop) {
                if (s == end)
                    break;
                const char *eq = static_cast<const char *>(std::memchr(s, '=', size_t(end - s)));
                if (!eq)
                    eq = end;
                std::memcpy(o, s, size_t(eq - s));
                o += eq - s;
                s = eq;
                if (s == end)
                    break;
            }
            ++s;  // the "="
            escapeCount_ = 1;
            if (end - s < 2)
                continue;
            const char a = s[0], b = s[1];
            escapeCount_ = 0;
            if (a == '\n') {  // a soft line break written with LF alone
                s += 1;
                continue;
            }
            s += 2;
            const int hi = kHex.v[static_cast<unsigned char>(a)], lo = kHex.v[static_cast<unsigned char>(b)];
            if (hi >= 0 && lo >= 0) {
                *o++ = char(hi << 4 | lo);
            } else if (!(a == '\r' && b == '\n')) {  // CR LF: a soft line break
                *o++ = '=';
                *o++ = a;
                *o++ = b;
            }
        } else if (escapeCount_ == 1) {
            const char c = *s++;
            if (c == '\n') {
                escapeCount_ = 0;
            } else {
                escape_[0] = c;
                escapeCount_ = 2;
            }
        } else {
            const char c = *s++;
            escapeCount_ = 0;
            const int hi = kHex.v[static_cast<unsigned char>(escape_[0])], lo = kHex.v[static_cast<unsigned char>(c)];
            if (hi >= 0 && lo >= 0) {
                *o++ = char(hi << 4 | lo);
            } else if (!(escape_[0] == '\r' && c == '\n')) {
                *o++ = '=';
                *o++ = escape_[0];
                *o++ = c;
            }
        }
    }
    out.resize(size_t(o - out.data()));
    count_ = 0;
    return out;
}

void TNetQuotedPrintableDecoder::CodeBlock()
{
    std::string out = decode();
    if (!out.empty())
        OutputString(std::move(out));
}

void TNetQuotedPrintableDecoder::CodeRemainder()
{
    completed_ = true;
    std::string out = decode();
    if (escapeCount_ == 2)  // an escape cut off by the end: its characters without the "="
        out += escape_[0];
    escapeCount_ = 0;
    if (!out.empty())
        OutputString(std::move(out));
}
