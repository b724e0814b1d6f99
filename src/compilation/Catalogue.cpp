#include "compilation/Catalogue.h"

#include "platform/Classes.h"
#include "platform/Rtl.h"

namespace catalogue {

std::string TrackKey(int i) { return "track" + std::to_string(i); }
std::string TimeKey(int i) { return "time" + std::to_string(i); }
std::string ExttKey(int i) { return "extt" + std::to_string(i); }

std::unique_ptr<TMemIniFile> Open(const std::string &path) { return std::make_unique<TMemIniFile>(path); }

int ReadTrackCount(TCustomIniFile &ini, const std::string &pid)
{
    int n = ini.ReadInteger(pid, kTotalTracks, 0);
    if (n < 0)
        return 0;
    return n > kMaxTracks ? kMaxTracks : n;
}

std::string EncodeExtendedText(const std::vector<std::string> &lines)
{
    std::string r;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            r += "\\n";
        for (char c : lines[i]) {
            if (c == '\\')
                r += "\\\\";
            else if (c == '\t')
                r += "\\t";
            else if (c == '\r' || c == '\n')
                r += ' ';  // never a raw line break inside the value
            else
                r.push_back(c);
        }
    }
    return r;
}

std::string EncodeExtendedText(const std::string &editorText)
{
    if (editorText.empty())
        return {};
    TStringList lines;
    lines.SetText(editorText);
    return EncodeExtendedText(lines.ToVector());
}

std::string DecodeExtendedText(const std::string &value)
{
    // Undo the escapes; split into lines in memory.
    std::vector<std::string> lines(1);
    const size_t n = value.size();
    for (size_t k = 0; k < n; ++k) {
        char c = value[k];
        if (c == '\\' && k + 1 < n) {
            char next = value[k + 1];
            if (next == '\\') {
                lines.back().push_back('\\');
                ++k;
                continue;
            }
            if (next == 'n') {
                lines.emplace_back();
                ++k;
                continue;
            }
            if (next == 't') {
                lines.back().push_back('\t');
                ++k;
                continue;
            }
        }
        if (c == '\r' || c == '\n') {
            // A raw line break (hand-edited file): CR LF counts once.
            if (c == '\r' && k + 1 < n && value[k + 1] == '\n')
                ++k;
            lines.emplace_back();
            continue;
        }
        lines.back().push_back(c);
    }
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += "\r\n";
        text += lines[i];
    }
    return Rtl::TrimRight(text);
}

} // namespace catalogue
