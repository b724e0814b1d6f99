#include "netclient/NetCoder3To4.h"

#include "netclient/NetGlobal.h"
#include "platform/Prefault.h"
#include "platform/Rtl.h"

#include <algorithm>
#include <cstring>

const char *const Base64CodeTable = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char *const UUCodeTable = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
const char *const XXCodeTable = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

namespace {

// Lookup tables of the Base64 alphabet: two characters per 12 bits for
// coding, and for decoding each character's value already shifted to its
// place in the 24 bits of a group (bit 24 marks a character outside it).
struct Base64Tables {
    uint16_t pairs[4096];
    uint32_t d[4][256];
    Base64Tables()
    {
        for (int v = 0; v < 4096; ++v) {
            const char two[2] = {Base64CodeTable[v >> 6], Base64CodeTable[v & 63]};
            std::memcpy(&pairs[v], two, 2);
        }
        for (auto &row : d)
            for (uint32_t &x : row)
                x = 1u << 24;
        for (uint32_t v = 0; v < 64; ++v) {
            const auto c = static_cast<unsigned char>(Base64CodeTable[v]);
            d[0][c] = v << 18;
            d[1][c] = v << 12;
            d[2][c] = v << 6;
            d[3][c] = v;
        }
    }
};

const Base64Tables &b64()
{
    static const Base64Tables t;
    return t;
}

constexpr uint32_t kBad = 0xFF000000u;

} // namespace

// ---- TNetASCIICoder ----------------------------------------------------------------
TNetASCIICoder::TNetASCIICoder(int tableLength) : TableLength(tableLength), table_(size_t(tableLength), '\0') {}

void TNetASCIICoder::SetCodingTable(const std::string &table)
{
    table_ = table;
}

// ---- TId3To4Coder ------------------------------------------------------------------
TId3To4Coder::TId3To4Coder() : TNetASCIICoder(64)
{
    std::memset(values_, -1, sizeof values_);
}

void TId3To4Coder::SetCodingTable(const std::string &table)
{
    table_.resize(64, '\0');
    table_.replace(0, std::min<size_t>(table.size(), 64), table, 0, 64);
    std::memset(values_, -1, sizeof values_);
    for (int v = 63; v >= 0; --v)  // a character listed twice decodes to its first place
        values_[static_cast<unsigned char>(table_[size_t(v)])] = int8_t(v);
    standard_ = table_ == Base64CodeTable;
}

void TId3To4Coder::EncodeGroups(const unsigned char *in, size_t n, std::string &out) const
{
    const size_t whole = n / 3, rest = n % 3;
    const size_t at = out.size();
    out.resize(at + (whole + (rest ? 1 : 0)) * 4);
    char *o = out.data() + at;
    if (standard_) {
        const uint16_t *pairs = b64().pairs;
        size_t g = 0;
        // Two groups at a time from one 8-byte load (while 8 bytes are there to read).
        for (; g + 2 < whole; g += 2, in += 6, o += 8) {
            uint64_t v;
            std::memcpy(&v, in, 8);
            v = __builtin_bswap64(v);
            const uint64_t four = uint64_t(pairs[v >> 52]) | uint64_t(pairs[(v >> 40) & 0xFFF]) << 16
                                  | uint64_t(pairs[(v >> 28) & 0xFFF]) << 32
                                  | uint64_t(pairs[(v >> 16) & 0xFFF]) << 48;
            std::memcpy(o, &four, 8);
        }
        for (; g < whole; ++g, in += 3, o += 4) {
            const uint32_t v = uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
            std::memcpy(o, &pairs[v >> 12], 2);
            std::memcpy(o + 2, &pairs[v & 0xFFF], 2);
        }
    } else {
        const char *t = table_.data();
        for (size_t g = 0; g < whole; ++g, in += 3, o += 4) {
            o[0] = t[in[0] >> 2];
            o[1] = t[(in[0] & 3) << 4 | in[1] >> 4];
            o[2] = t[(in[1] & 15) << 2 | in[2] >> 6];
            o[3] = t[in[2] & 63];
        }
    }
    if (rest) {
        const unsigned char b1 = in[0], b2 = rest > 1 ? in[1] : 0;
        const char *t = table_.data();
        o[0] = t[b1 >> 2];
        o[1] = t[(b1 & 3) << 4 | b2 >> 4];
        o[2] = t[(b2 & 15) << 2];
        o[3] = t[0];
    }
}

void TId3To4Coder::PutGroup(const int v[4], size_t bytes, std::string &out)
{
    const uint32_t x = uint32_t(v[0]) << 18 | uint32_t(v[1]) << 12 | uint32_t(v[2]) << 6 | uint32_t(v[3]);
    const char b[3] = {char(x >> 16), char(x >> 8), char(x)};
    out.append(b, bytes);
}

void TId3To4Coder::TableEntryNotFound()
{
    throw ENetTableNotFound(NetRes::RSCoderNoTableEntryNotFound);
}

// ---- Base64 ------------------------------------------------------------------------
TNetBase64Encoder::TNetBase64Encoder()
{
    SetCodingTable(Base64CodeTable);
}

void TNetBase64Encoder::CodeBlock()
{
    const size_t whole = count_ - count_ % 3;
    std::string out;
    EncodeGroups(reinterpret_cast<const unsigned char *>(buffer_.data()), whole, out);
    std::memmove(buffer_.data(), buffer_.data() + whole, count_ - whole);
    count_ -= whole;
    if (!out.empty())
        OutputString(std::move(out));
}

void TNetBase64Encoder::CodeRemainder()
{
    completed_ = true;
    std::string out;
    EncodeGroups(reinterpret_cast<const unsigned char *>(buffer_.data()), count_, out);
    if (count_ % 3 == 1)
        out.replace(out.size() - 2, 2, "==");
    else if (count_ % 3 == 2)
        out.back() = '=';
    count_ = 0;
    if (!out.empty())
        OutputString(std::move(out));
}

TNetBase64Decoder::TNetBase64Decoder()
{
    SetCodingTable(Base64CodeTable);
}

void TNetBase64Decoder::Reset()
{
    TId3To4Coder::Reset();
    quadCount_ = 0;
    padding_ = false;
}

void TNetBase64Decoder::decode(std::string &out)
{
    const auto *in = reinterpret_cast<const unsigned char *>(buffer_.data());
    const size_t n = count_;
    out.resize(n / 4 * 3 + 3);
    char *o = out.data();
    size_t i = 0;
    const auto &d = b64().d;
    while (i < n) {
        if (quadCount_ == 0 && !padding_ && standard_) {
            // Whole groups of alphabet characters: four lookups each.
            while (i + 4 <= n) {
                const uint32_t x = d[0][in[i]] | d[1][in[i + 1]] | d[2][in[i + 2]] | d[3][in[i + 3]];
                if (x & kBad)
                    break;
                o[0] = char(x >> 16);
                o[1] = char(x >> 8);
                o[2] = char(x);
                o += 3;
                i += 4;
            }
            if (i >= n)
                break;
        }
        const unsigned char c = in[i++];
        if (c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            padding_ = true;
            continue;
        }
        const int v = ValueOf(c);
        if (v < 0 || padding_)
            TableEntryNotFound();
        quad_[quadCount_++] = v;
        if (quadCount_ == 4) {
            const uint32_t x = uint32_t(quad_[0]) << 18 | uint32_t(quad_[1]) << 12 | uint32_t(quad_[2]) << 6
                               | uint32_t(quad_[3]);
            o[0] = char(x >> 16);
            o[1] = char(x >> 8);
            o[2] = char(x);
            o += 3;
            quadCount_ = 0;
        }
    }
    out.resize(size_t(o - out.data()));
    count_ = 0;
}

void TNetBase64Decoder::CodeBlock()
{
    std::string out;
    decode(out);
    if (!out.empty())
        OutputString(std::move(out));
}

void TNetBase64Decoder::CodeRemainder()
{
    completed_ = true;
    std::string out;
    decode(out);
    // The last group: three characters give two bytes, two or one give one.
    if (quadCount_ > 0) {
        for (int k = quadCount_; k < 4; ++k)
            quad_[k] = 0;
        PutGroup(quad_, quadCount_ == 3 ? 2 : 1, out);
    }
    quadCount_ = 0;
    padding_ = false;
    if (!out.empty())
        OutputString(std::move(out));
}

int Base64CharValue(unsigned char c)
{
    const uint32_t x = b64().d[3][c];
    return x & kBad ? -1 : int(x);
}

std::string CodeWhole(TNetCoder &coder, std::string_view text, size_t expected)
{
    std::string result;
    result.reserve(expected);
    // A large result is set up in one step rather than page by page as it fills.
    PrefaultForWrite(result.data(), expected);
    coder.DeliverByEvent = true;
    coder.OnCodedOutput = [&](TNetCoder *, const std::string &part) { result += part; };
    coder.CompleteOnCode = true;
    coder.CodeString(text);
    return result;
}

std::string Base64Encode(std::string_view text)
{
    TNetBase64Encoder coder;
    return CodeWhole(coder, text, (text.size() + 2) / 3 * 4);
}

std::string Base64Decode(std::string_view text)
{
    TNetBase64Decoder coder;
    return CodeWhole(coder, text, text.size() / 4 * 3 + 3);
}

// ---- UU and XX encoders --------------------------------------------------------------
TNetUUEncoder::TNetUUEncoder()
{
    SetCodingTable(UUCodeTable);
    AppendLineBreak = true;
    SetBlockSize(61);
}

TNetXXEncoder::TNetXXEncoder()
{
    SetCodingTable(XXCodeTable);
}

void TNetUUEncoder::Reset()
{
    TId3To4Coder::Reset();
    headerPending_ = true;
}

void TNetUUEncoder::ProcessHeader()
{
    if (TableLines) {
        OutputString("table");
        OutputString(table_.substr(0, 32));
        OutputString(table_.substr(32));
    }
    OutputString("begin " + Rtl::IntToStr(FileMode) + " " + CodedFileName);
    headerPending_ = false;
}

void TNetUUEncoder::line(const unsigned char *in, size_t n)
{
    std::string out(1, table_[n & 63]);
    EncodeGroups(in, n, out);
    OutputString(std::move(out));
}

void TNetUUEncoder::CodeBlock()
{
    if (headerPending_)
        ProcessHeader();
    // A line holds at most 63 bytes (its length is one table character).
    const auto *in = reinterpret_cast<const unsigned char *>(buffer_.data());
    for (size_t at = 0; at < count_; at += 63)
        line(in + at, std::min<size_t>(63, count_ - at));
    count_ = 0;
}

void TNetUUEncoder::CodeRemainder()
{
    completed_ = true;
    if (count_ > 0)
        CodeBlock();
    else if (headerPending_)
        ProcessHeader();
    OutputString(std::string(1, table_[0]));
    OutputString("end");
    headerPending_ = true;
}

// ---- UU and XX decoders --------------------------------------------------------------
namespace {
constexpr size_t kMaxLine = 64 * 1024;  // longer lines are cut: no UU line comes near
}

TNetUUDecoder::TNetUUDecoder() : defaultTable_(UUCodeTable)
{
    SetCodingTable(defaultTable_);
}

TNetXXDecoder::TNetXXDecoder()
{
    defaultTable_ = XXCodeTable;
    SetCodingTable(defaultTable_);
}

void TNetUUDecoder::restart()
{
    state_ = St::Searching;
    tableText_.clear();
    SetCodingTable(defaultTable_);
}

void TNetUUDecoder::Reset()
{
    TId3To4Coder::Reset();
    restart();
    pending_.clear();
    Errors.Clear();
}

void TNetUUDecoder::CodeBlock()
{
    const char *s = buffer_.data();
    const char *const end = s + count_;
    while (s < end) {
        const auto *nl = static_cast<const char *>(std::memchr(s, '\n', size_t(end - s)));
        const char *const stop = nl ? nl : end;
        // The rest of an overlong line is dropped.
        pending_.append(s, std::min(size_t(stop - s), kMaxLine - std::min(kMaxLine, pending_.size())));
        if (!nl)
            break;
        if (!pending_.empty() && pending_.back() == '\r')
            pending_.pop_back();
        processLine(std::move(pending_));
        pending_.clear();
        s = nl + 1;
    }
    count_ = 0;
}

void TNetUUDecoder::CodeRemainder()
{
    completed_ = true;
    CodeBlock();
    std::string last = std::move(pending_);
    pending_.clear();
    if (!last.empty() && last.back() == '\r')
        last.pop_back();
    if (state_ == St::Data) {
        // The input ended before the zero-length line: the unfinished line is not output.
        Errors.Add(NetRes::RSUUDataEndedWithoutEnd);
    } else if (!last.empty()) {
        processLine(std::move(last));
    }
}

void TNetUUDecoder::begin(const std::string &rest)
{
    // "begin" mode name: the mode must be three decimal digits.
    const size_t blank = rest.find(' ');
    const std::string mode = rest.substr(0, blank);
    const char *error = nullptr;
    if (mode.size() > 3)
        error = NetRes::RSUUTooManyPrivilegeChars;
    else if (mode.size() < 3)
        error = NetRes::RSUUNotEnoughPrivilegeChars;
    else if (!IsNumeric(mode[0]) || !IsNumeric(mode[1]) || !IsNumeric(mode[2]))
        error = NetRes::RSUUPrivilegeNotNumeric;
    if (error) {
        Errors.Add(error);
        OutputNotification(uuFileModeError, error);
    } else {
        FileMode = Rtl::StrToInt(mode);
        OutputNotification(uuFileMode, mode);
    }
    std::string name = blank == std::string::npos ? std::string() : rest.substr(blank + 1);
    const size_t first = name.find_first_not_of(' ');
    name.erase(0, first == std::string::npos ? name.size() : first);
    CodedFileName = name;
    OutputNotification(uuFileName, name);
    state_ = St::Data;
}

void TNetUUDecoder::ProcessHeader(const std::string &line)
{
    const std::string upper = Rtl::UpperCase(line);
    const size_t b = upper.find("BEGIN ");
    const size_t t = upper.find("TABLE");
    if (b != std::string::npos && (t == std::string::npos || b < t)) {
        OutputNotification(uuBegin, line);
        begin(line.substr(b + 6));
    } else if (t != std::string::npos) {
        OutputNotification(uuTable, line);
        tableText_.clear();
        state_ = St::Table1;
    }
}

void TNetUUDecoder::processLine(std::string line)
{
    switch (state_) {
    case St::Searching:
        ProcessHeader(line);
        return;
    case St::Table1:
        tableText_ = line.substr(0, 32);
        state_ = St::Table2;
        return;
    case St::Table2:
        SetCodingTable(tableText_ + line.substr(0, 32));
        state_ = St::AfterTable;
        return;
    case St::AfterTable: {
        const size_t b = Rtl::UpperCase(line).find("BEGIN ");
        if (b == std::string::npos) {
            Errors.Add(NetRes::RSUUNoBeginAfterTable);
            OutputNotification(uuNoBeginAfterTable, NetRes::RSUUNoBeginAfterTable);
            restart();
            return;
        }
        OutputNotification(uuBegin, line);
        begin(line.substr(b + 6));
        return;
    }
    case St::Data: {
        if (line.empty())
            return;
        const auto *p = reinterpret_cast<const unsigned char *>(line.data());
        if (p[0] == static_cast<unsigned char>(table_[0])) {
            OutputNotification(uuLastLine, "");
            state_ = St::End;
            return;
        }
        const int len = ValueOf(p[0]);
        if (len < 0)
            TableEntryNotFound();
        // Characters missing at the end of a line count as zero bits.
        std::string out;
        out.reserve(size_t(len) + 3);
        size_t at = 1;
        for (int left = len; left > 0; left -= 3) {
            int v[4] = {0, 0, 0, 0};
            for (int k = 0; k < 4 && at < line.size(); ++k, ++at) {
                v[k] = ValueOf(p[at]);
                if (v[k] < 0)
                    TableEntryNotFound();
            }
            PutGroup(v, size_t(std::min(left, 3)), out);
        }
        OutputString(std::move(out));
        return;
    }
    case St::End:
        if (Rtl::UpperCase(line).rfind("END", 0) == 0) {
            OutputNotification(uuEnd, "");
            restart();
        }
        return;
    }
}
