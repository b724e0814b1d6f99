#pragma once
// RFC 822 header lines ("Name: value") with access by name. Reading a value
// joins its continuation lines; writing one folds it at FoldWidth columns
// where blanks allow (never inside double quotes). A value is put on one
// line (HeaderValueOneLine) before it is folded: line breaks of its own
// never reach the list, so no value can end the header block or begin a
// header line of its own.
#include "platform/Classes.h"

#include <memory>
#include <string>
#include <vector>

class TNetHeaderList : public TStringList {
public:
    TNetHeaderList() = default;

    std::string NameSeparator = ": ";
    bool NamesCaseSensitive = false;  // false: names are returned in capitals
    bool Unfold = true;
    bool Fold = true;
    int FoldWidth = 78;

    // The name of the line at index (before its first ":"); empty without ":".
    std::string GetName(int index) const;
    // First index whose name equals name ignoring case; -1 when none.
    int IndexOfName(const std::string &name) const;
    // The value of the named line, continuation lines joined; empty when missing.
    std::string Values(const std::string &name) const;
    // Replaces or appends the named line; an empty value removes it.
    void SetValue(const std::string &name, const std::string &value);
    // The folded pieces of one header line, put on one line first;
    // continuation pieces begin with one blank.
    std::unique_ptr<TStringList> FoldLine(const std::string &line) const;

private:
    // Index after the continuation lines that follow line i.
    int continuationEnd(int i) const;
};

// A header text on one line: every run of CR and LF becomes one blank. Every
// header line written goes through it.
std::string HeaderValueOneLine(const std::string &text);

// The lines of a header block as they go on the wire: each entry on one line;
// an entry that is no "Name: value" line (a name of printable characters
// without blanks, then ":") is a continuation of the line before it, and an
// entry of nothing but blanks is left out. The caller writes at least one
// header line before the block.
std::vector<std::string> HeaderBlockLines(const TStringList &lines);

// Wraps a line at break characters outside double quotes so that pieces
// stay within limit columns where possible; an existing breakText is kept.
std::string WrapText(const std::string &line, const std::string &breakText, const std::string &breakChars,
                     int limit);
