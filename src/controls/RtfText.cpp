#include "controls/RtfText.h"

#include "platform/Cp1252.h"

#include <algorithm>
#include <cctype>

namespace RtfText {

namespace {

struct Fmt {
    bool bold = false, italic = false, underline = false;
    int offset = 0;
    bool skip = false; // a destination whose text is not shown
    int uc = 1;        // characters that stand in for a \\u character
    bool operator==(const Fmt &o) const
    {
        return bold == o.bold && italic == o.italic && underline == o.underline && offset == o.offset;
    }
};

void append(std::vector<TRun> &runs, const Fmt &f, char c, std::size_t &total)
{
    if (total >= MaxBytes) return;
    ++total;
    if (runs.empty() || !(Fmt{runs.back().Bold, runs.back().Italic, runs.back().Underline, runs.back().Offset} == f)) {
        TRun r;
        r.Bold = f.bold;
        r.Italic = f.italic;
        r.Underline = f.underline;
        r.Offset = f.offset;
        runs.push_back(r);
    }
    runs.back().Text += c;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::vector<TRun> Parse(const std::string &rtf)
{
    std::vector<TRun> runs;
    std::vector<Fmt> stack;
    Fmt cur;
    std::size_t total = 0;
    int skippedDepth = 0; // groups deeper than MaxDepth
    const std::size_t n = rtf.size();
    for (std::size_t i = 0; i < n;) {
        char c = rtf[i];
        if (c == '{') {
            if (int(stack.size()) >= MaxDepth) ++skippedDepth;
            else stack.push_back(cur);
            ++i;
            continue;
        }
        if (c == '}') {
            if (skippedDepth > 0) --skippedDepth;
            else if (!stack.empty()) {
                cur = stack.back();
                stack.pop_back();
            }
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            if (!cur.skip && skippedDepth == 0) append(runs, cur, c, total);
            ++i;
            continue;
        }
        // A control word or symbol.
        ++i;
        if (i >= n) break;
        c = rtf[i];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++i;
            if (c == '\'') {
                int h = i < n ? hexDigit(rtf[i]) : -1, l = i + 1 < n ? hexDigit(rtf[i + 1]) : -1;
                if (h >= 0 && l >= 0) {
                    if (!cur.skip && skippedDepth == 0) append(runs, cur, char(h * 16 + l), total);
                    i += 2;
                }
            } else if (c == '*') {
                cur.skip = true;
            } else if (c == '~') {
                if (!cur.skip && skippedDepth == 0) append(runs, cur, ' ', total);
            } else if (c == '\\' || c == '{' || c == '}') {
                if (!cur.skip && skippedDepth == 0) append(runs, cur, c, total);
            }
            continue;
        }
        std::size_t w0 = i;
        while (i < n && std::isalpha(static_cast<unsigned char>(rtf[i])) && i - w0 < 32) ++i;
        std::string word = rtf.substr(w0, i - w0);
        bool hasArg = false, neg = false;
        long arg = 0;
        if (i < n && rtf[i] == '-') {
            neg = true;
            ++i;
        }
        std::size_t d0 = i;
        while (i < n && std::isdigit(static_cast<unsigned char>(rtf[i])) && i - d0 < 10) {
            arg = arg * 10 + (rtf[i] - '0');
            ++i;
        }
        hasArg = i > d0;
        if (neg) arg = -arg;
        if (i < n && rtf[i] == ' ') ++i;
        const bool on = !hasArg || arg != 0;
        if (word == "b") cur.bold = on;
        else if (word == "i") cur.italic = on;
        else if (word == "ul") cur.underline = on;
        else if (word == "ulnone") cur.underline = false;
        else if (word == "sub") cur.offset = -1;
        else if (word == "super") cur.offset = 1;
        else if (word == "nosupersub") cur.offset = 0;
        else if (word == "up") cur.offset = on ? 1 : 0;
        else if (word == "dn") cur.offset = on ? -1 : 0;
        else if (word == "plain") {
            const bool skip = cur.skip;
            cur = Fmt();
            cur.skip = skip;
        } else if (word == "par" || word == "line") {
            if (!cur.skip && skippedDepth == 0) append(runs, cur, '\r', total);
        } else if (word == "tab") {
            if (!cur.skip && skippedDepth == 0) append(runs, cur, '\t', total);
        } else if (word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info" ||
                   word == "pict" || word == "object" || word == "header" || word == "footer" ||
                   word == "generator" || word == "listtable" || word == "listoverridetable") {
            cur.skip = true;
        } else if (word == "uc" && hasArg) {
            cur.uc = int(std::min<long>(arg, 8));
        } else if (word == "u" && hasArg) {
            // A Unicode character, then uc replacement characters to skip.
            const int code = arg < 0 ? int(arg + 65536) : int(arg);
            const int b = cp1252::FromUnicode(char16_t(code));
            if (!cur.skip && skippedDepth == 0) append(runs, cur, b >= 0 ? char(b) : '?', total);
            for (int k = 0; k < cur.uc && i < n; ++k) {
                if (rtf[i] == '\\' && i + 3 < n && rtf[i + 1] == '\'') i += 4;
                else if (rtf[i] == '{' || rtf[i] == '}') break;
                else ++i;
            }
        } else if (word == "bin" && hasArg && arg > 0) {
            // Binary data is skipped, never beyond the end.
            i = std::size_t(arg) >= n - i ? n : i + std::size_t(arg);
        }
    }
    return runs;
}

std::string ToPlainText(const std::string &rtf)
{
    std::string out;
    for (const TRun &r : Parse(rtf))
        for (char c : r.Text) {
            if (c == '\r') out += "\r\n";
            else out += c;
        }
    return out;
}

std::string FromRuns(const std::vector<TRun> &runs)
{
    std::string s = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 MS Sans Serif;}}\\f0\\fs16 ";
    for (const TRun &r : runs) {
        s += "{";
        std::string controls;
        if (r.Bold) controls += "\\b";
        if (r.Italic) controls += "\\i";
        if (r.Underline) controls += "\\ul";
        if (r.Offset < 0) controls += "\\sub";
        if (r.Offset > 0) controls += "\\super";
        // The blank ends the last control word; without one it would be text.
        if (!controls.empty()) s += controls + " ";
        for (char c : r.Text) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '\r') s += "\\par ";
            else if (c == '\n') continue;
            else if (c == '\t') s += "\\tab ";
            else if (c == '\\' || c == '{' || c == '}') {
                s += '\\';
                s += c;
            } else if (u >= 0x80 || u < 0x20) {
                static const char hex[] = "0123456789abcdef";
                s += "\\'";
                s += hex[u >> 4];
                s += hex[u & 15];
            } else
                s += c;
        }
        s += "}";
    }
    s += "}";
    return s;
}

} // namespace RtfText
