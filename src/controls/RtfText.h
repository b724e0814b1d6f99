#pragma once
// A minimal reader and writer of RTF documents for rich-text list cells:
// the text with its paragraph breaks, tabs, character escapes and Unicode
// characters, bold,
// italic, underline and sub- and superscript runs; groups of destinations
// (font and colour tables, pictures, "\*" groups) are skipped.
//
// Input is bounded: nesting deeper than MaxDepth and text beyond MaxBytes
// are cut, never read past.
#include <cstdint>
#include <string>
#include <vector>

namespace RtfText {

constexpr int MaxDepth = 64;
constexpr std::size_t MaxBytes = 4u * 1024u * 1024u;

struct TRun {
    std::string Text;      // Windows-1252 bytes; paragraphs end with CR
    bool Bold = false, Italic = false, Underline = false;
    int Offset = 0;        // vertical offset: -1 subscript, 1 superscript
};

// The runs of a document (adjacent runs of equal format merged).
std::vector<TRun> Parse(const std::string &rtf);
// Its plain text: each paragraph mark as CR LF, "\u" characters in
// Windows-1252 ("?" where it has none).
std::string ToPlainText(const std::string &rtf);
// A document of the runs.
std::string FromRuns(const std::vector<TRun> &runs);

} // namespace RtfText
