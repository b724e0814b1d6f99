#pragma once
// RFC 822 header lines ("Name: value") with access by name. Reading a value
// joins its continuation lines; writing one folds it at FoldWidth columns
// where blanks allow (never inside double quotes).
#include "platform/Classes.h"

#include <memory>
#include <string>

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
    // The folded pieces of one header line; continuation pieces begin with one blank.
    std::unique_ptr<TStringList> FoldLine(const std::string &line) const;

private:
    // Index after the continuation lines that follow line i.
    int continuationEnd(int i) const;
};

// Wraps a line at break characters outside double quotes so that pieces
// stay within limit columns where possible; an existing breakText is kept.
std::string WrapText(const std::string &line, const std::string &breakText, const std::string &breakChars,
                     int limit);
