#include "netclient/NetHeaderList.h"

#include "netclient/NetGlobal.h"
#include "platform/Rtl.h"

namespace {

bool isContinuation(const std::string &line)
{
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

std::string trimLeftControls(const std::string &s)
{
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= 32)
        ++i;
    return s.substr(i);
}

} // namespace

std::string HeaderValueOneLine(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    bool inBreak = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!inBreak)
                out += ' ';
            inBreak = true;
        } else {
            out += c;
            inBreak = false;
        }
    }
    return out;
}

std::vector<std::string> HeaderBlockLines(const TStringList &lines)
{
    std::vector<std::string> out;
    for (int i = 0; i < lines.Count(); ++i) {
        const std::string line = HeaderValueOneLine(lines[i]);
        if (Rtl::Trim(line).empty())
            continue;
        size_t name = 0;
        while (name < line.size() && line[name] != ':' && static_cast<unsigned char>(line[name]) > 32 &&
               static_cast<unsigned char>(line[name]) < 127)
            ++name;
        const bool field = name > 0 && name < line.size() && line[name] == ':';
        out.push_back(field || line[0] == ' ' || line[0] == '\t' ? line : " " + line);
    }
    return out;
}

std::string WrapText(const std::string &line, const std::string &breakText, const std::string &breakChars,
                     int limit)
{
    // Positions and columns count from 1, as in the rules they follow.
    const int len = int(line.size());
    const int breakLen = int(breakText.size());
    std::string result;
    if (len == 0)
        return result;
    auto at = [&](int p) { return line[size_t(p - 1)]; };
    auto isBreakChar = [&](char c) { return breakChars.find(c) != std::string::npos; };
    int pos = 1, col = 1, lineStart = 1, breakPos = 0;
    bool inQuote = false, existingBreak = false;
    while (pos <= len) {
        const char c = at(pos);
        if (breakLen > 0 && c == breakText[0]) {
            if (!inQuote && Rtl::SameText(Rtl::Copy(line, pos, breakLen), breakText)) {
                existingBreak = true;
                pos += breakLen - 1;
                breakPos = pos;
            }
        } else if (isBreakChar(c)) {
            if (!inQuote)
                breakPos = pos;
        } else if (c == '"') {
            inQuote = !inQuote;
        }
        ++pos;
        ++col;
        if (!inQuote && (existingBreak || (col > limit && breakPos > lineStart))) {
            col = pos - breakPos;
            result += Rtl::Copy(line, lineStart, breakPos - lineStart + 1);
            if (c != '"')
                while (pos <= len && (isBreakChar(at(pos)) || at(pos) == '\r' || at(pos) == '\n'))
                    ++pos;
            if (!existingBreak && pos < len)
                result += breakText;
            lineStart = breakPos + 1;
            existingBreak = false;
        }
    }
    result += Rtl::Copy(line, lineStart);
    return result;
}

std::string TNetHeaderList::GetName(int index) const
{
    const std::string &line = (*this)[index];
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
        return {};
    const std::string name = line.substr(0, colon);
    return NamesCaseSensitive ? name : Rtl::UpperCase(name);
}

int TNetHeaderList::IndexOfName(const std::string &name) const
{
    for (int i = 0; i < Count(); ++i)
        if (TextIsSame(GetName(i), name))
            return i;
    return -1;
}

int TNetHeaderList::continuationEnd(int i) const
{
    int j = i + 1;
    while (j < Count() && isContinuation((*this)[j]))
        ++j;
    return j;
}

std::string TNetHeaderList::Values(const std::string &name) const
{
    const int i = IndexOfName(name);
    if (i < 0)
        return {};
    std::string value = Rtl::Copy((*this)[i], int64_t(GetName(i).size()) + 2);
    if (Unfold) {
        const int end = continuationEnd(i);
        for (int j = i + 1; j < end; ++j) {
            if (!value.empty() && value.back() != ' ' && value.back() != '\t')
                value += ' ';
            value += trimLeftControls((*this)[j]);
        }
    }
    return trimLeftControls(value);
}

void TNetHeaderList::SetValue(const std::string &name, const std::string &value)
{
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) {
            if (Fold)
                for (int j = continuationEnd(i) - 1; j > i; --j)
                    Delete(j);
            Delete(i);
        }
        return;
    }
    const std::string line = HeaderValueOneLine(name + NameSeparator + value);
    if (i < 0)
        i = Add("");
    if (!Fold) {
        Put(i, line);
        return;
    }
    for (int j = continuationEnd(i) - 1; j > i; --j)
        Delete(j);
    const std::unique_ptr<TStringList> pieces = FoldLine(line);
    const int n = pieces->Count();
    Put(i, (*pieces)[n - 1]);
    for (int k = 0; k < n - 1; ++k)
        Insert(i + k, (*pieces)[k]);
}

std::unique_ptr<TStringList> TNetHeaderList::FoldLine(const std::string &line) const
{
    auto pieces = std::make_unique<TStringList>();
    const std::string wrapped = WrapText(HeaderValueOneLine(line), "\r\n ", " \t", FoldWidth);
    size_t start = 0;
    for (;;) {
        const size_t end = wrapped.find("\r\n", start);
        pieces->Add(Rtl::TrimRight(wrapped.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return pieces;
}
