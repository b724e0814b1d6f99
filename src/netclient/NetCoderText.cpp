#include "netclient/NetCoderText.h"

#include <cstring>

namespace {

// Bytes the encoder writes as "=" and two hexadecimal digits: controls, bytes
// above 126, "=" and the printables that some gateways change.
bool mustEscape(unsigned char c)
{
    return c < 32 || c > 126 || c == '=' || std::strchr("!\"#$@[\\]^`{|}~", c) != nullptr;
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

std::string TNetQuotedPrintableDecoder::decode()
{
    std::string out;
    out.reserve(count_);
    for (size_t i = 0; i < count_; ++i) {
        const char c = buffer_[i];
        if (escapeCount_ == 0) {
            if (c == '=')
                escapeCount_ = 1;
            else
                out += c;
        } else if (escapeCount_ == 1) {
            if (c == '\n') {  // a soft line break written with LF alone
                escapeCount_ = 0;
            } else {
                escape_[0] = c;
                escapeCount_ = 2;
            }
        } else {
            escapeCount_ = 0;
            const int hi = HexDigitValue(escape_[0]), lo = HexDigitValue(c);
            if (hi >= 0 && lo >= 0) {
                out += char(hi << 4 | lo);
            } else if (!(escape_[0] == '\r' && c == '\n')) {  // CR LF: a soft line break
                out += '=';
                out += escape_[0];
                out += c;
            }
        }
    }
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
