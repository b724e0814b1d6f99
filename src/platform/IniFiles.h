#pragma once
// The two INI classes.
//
// TIniFile follows the system's key-by-key profile functions: every read
// opens the file, every write reads it, changes one key or section and
// writes it back at once. Unknown lines and comments are kept. Values are
// stored without leading blanks and given back with leading and trailing
// blanks removed (at most 2047 characters); a missing key reads as the
// caller's default.
//
// TMemIniFile is the in-memory INI object: the file is read whole when the
// object is made, edited in memory and written back whole by UpdateFile.
// Values are kept exactly as they stand after the first "=". Empty lines,
// comment lines (";") and lines before the first section are dropped.
//
// Both compare section and key names without regard to case, accept CR LF,
// LF and CR line ends, write CR LF, and write through an atomic replace, so a
// failed write leaves the old file byte for byte as it was. TIniFile then
// raises EIniFileException "Unable to write to <file>", TMemIniFile
// EFCreateError "Cannot create file <file>". A line break inside a value
// would split the line: it is written as a blank.
#include "platform/Classes.h"
#include "platform/Rtl.h"

#include <deque>
#include <memory>
#include <unordered_map>
#include <string>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <vector>

// Section and key names are hashed and compared as the INI classes compare
// them: without regard to case (code page), and without copying the name.
struct TIniNameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return Rtl::AnsiHashText(s); }
};
struct TIniNameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return Rtl::SameTextView(a, b); }
};

// One line of an INI text as the in-memory INI object reads it.
struct TIniLine {
    enum Kind { Header, Key, Other } kind;
    std::string_view raw;    // the whole line
    std::string_view name;   // Header: the trimmed section name; Key: the trimmed key
    std::string_view value;  // Key: everything after the first "=", unchanged
};

// Calls f(const TIniLine &) for every line of the text that the in-memory INI
// object keeps (empty lines and ";" comments are skipped), split at CR LF,
// LF or CR. Both TMemIniFile and readers that want the same reading without
// building its table go through this one function.
// The lines' trimming: every character up to code 32 at either end.
inline std::string_view IniTrim(std::string_view v)
{
    size_t i = 0, j = v.size();
    while (i < j && static_cast<unsigned char>(v[i]) <= ' ')
        ++i;
    while (j > i && static_cast<unsigned char>(v[j - 1]) <= ' ')
        --j;
    return v.substr(i, j - i);
}

// Whether the line is a section header for the in-memory INI object ("[",
// name, "]" after trimming); name is then the trimmed name.
inline bool IniHeader(std::string_view raw, std::string_view &name)
{
    const std::string_view t = IniTrim(raw);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return false;
    name = IniTrim(t.substr(1, t.size() - 2));
    return true;
}

// When f returns bool, false stops the walk.
template <class F>
void ForEachIniLine(std::string_view text, F f)
{
    auto call = [&](const TIniLine &l) {
        if constexpr (std::is_same_v<decltype(f(l)), bool>)
            return f(l);
        else
            return f(l), true;
    };
    Rtl::ForEachLine(text, [&](std::string_view raw) -> bool {
        // The first non-blank character tells the kind; only a header needs
        // the line's end trimmed.
        size_t i = 0;
        while (i < raw.size() && static_cast<unsigned char>(raw[i]) <= ' ')
            ++i;
        if (i == raw.size() || raw[i] == ';')
            return true;
        std::string_view name;
        if (raw[i] == '[' && IniHeader(raw.substr(i), name))
            return call(TIniLine{TIniLine::Header, raw, name, {}});
        const size_t eq = raw.find('=', i);
        if (eq == std::string_view::npos)
            return call(TIniLine{TIniLine::Other, raw, {}, {}});
        return call(TIniLine{TIniLine::Key, raw, IniTrim(raw.substr(i, eq - i)), raw.substr(eq + 1)});
    });
}

// Calls f(name, raw) for every section header of the text, in order, as
// ForEachIniLine would report them, but looks only at the lines that hold a
// "[" (a header's first non-blank character), so a large text is passed
// over at the speed of a byte search.
template <class F>
void ForEachIniHeader(std::string_view text, F f)
{
    const char *base = text.data();
    const size_t n = text.size();
    size_t from = 0;
    while (from < n) {
        const void *hit = std::memchr(base + from, '[', n - from);
        if (!hit)
            return;
        const size_t at = size_t(static_cast<const char *>(hit) - base);
        from = at + 1;
        size_t begin = at;
        while (begin > 0 && base[begin - 1] != '\r' && base[begin - 1] != '\n' &&
               static_cast<unsigned char>(base[begin - 1]) <= ' ')
            --begin;
        if (begin > 0 && base[begin - 1] != '\r' && base[begin - 1] != '\n')
            continue;  // not the line's first non-blank character
        size_t end = at;
        while (end < n && base[end] != '\r' && base[end] != '\n')
            ++end;
        from = end;
        const std::string_view raw = text.substr(begin, end - begin);
        std::string_view name;
        if (IniHeader(raw, name))
            f(name, raw);
    }
}

// The profile functions over an INI text held in memory. Each operation does
// to the lines exactly what the same TIniFile call does to its file, and
// Text() gives the bytes TIniFile would have written; so a run of profile
// writes can be made with one read and one write of the file. Reads look
// names up through an index that the first read builds.
class TProfileText {
public:
    TProfileText() = default;
    explicit TProfileText(std::string_view text);
    // The lines are views of the object's own storage: it moves, never copies.
    TProfileText(TProfileText &&) = default;
    TProfileText &operator=(TProfileText &&) = default;
    TProfileText(const TProfileText &) = delete;
    TProfileText &operator=(const TProfileText &) = delete;

    std::string ReadString(const std::string &section, const std::string &ident, const std::string &def) const;
    int ReadInteger(const std::string &section, const std::string &ident, int def) const;
    void WriteString(const std::string &section, const std::string &ident, const std::string &value);
    void WriteInteger(const std::string &section, const std::string &ident, int value);
    // False when there was nothing to erase or delete.
    bool EraseSection(const std::string &section);
    bool DeleteKey(const std::string &section, const std::string &ident);
    void ReadSections(TStringList &strings) const;
    void ReadSection(const std::string &section, TStringList &strings) const;
    void ReadSectionValues(const std::string &section, TStringList &strings) const;
    // The lines, each followed by CR LF.
    std::string Text() const;

private:
    bool findSection(std::string_view section, size_t &begin, size_t &end) const;
    size_t findKey(size_t begin, size_t end, std::string_view ident) const;
    template <class F>
    void forEachKey(const std::string &section, F f) const;
    void changed() { index_.clear(); indexed_ = false; }
    std::string_view own(std::string line)
    {
        owned_.push_back(std::move(line));
        return owned_.back();
    }

    // The text read (one allocation, whose address moves with the object)
    // and the lines written since (a deque keeps its strings in place); the
    // lines are views of these.
    std::unique_ptr<std::string> text_;
    std::deque<std::string> owned_;
    std::vector<std::string_view> lines_;
    struct Body {
        size_t begin = 0, end = 0;
        bool keyed = false;
        // Open-addressed: key hash << 32 | line index + 1, the first line of each key.
        std::vector<uint64_t> keys;
    };
    // The first section of each name; views into lines_, dropped by any change.
    mutable std::unordered_map<std::string_view, Body, TIniNameHash, TIniNameEqual> index_;
    mutable bool indexed_ = false;
};

class TCustomIniFile {
public:
    explicit TCustomIniFile(std::string fileName) : FileName(std::move(fileName)) {}
    virtual ~TCustomIniFile() = default;

    const std::string FileName;

    virtual std::string ReadString(const std::string &section, const std::string &ident,
                                   const std::string &def) = 0;
    virtual void WriteString(const std::string &section, const std::string &ident,
                             const std::string &value) = 0;
    // Decimal, or hexadecimal after "0x"/"0X" (and "$"); anything else reads
    // as the default.
    virtual int ReadInteger(const std::string &section, const std::string &ident, int def);
    virtual void WriteInteger(const std::string &section, const std::string &ident, int value);
    // Written as "1"/"0"; read as an integer, any value other than 0 is true.
    virtual bool ReadBool(const std::string &section, const std::string &ident, bool def);
    virtual void WriteBool(const std::string &section, const std::string &ident, bool value);

    // Names of the sections in file order.
    virtual void ReadSections(TStringList &strings) = 0;
    // Key names of one section in order.
    virtual void ReadSection(const std::string &section, TStringList &strings) = 0;
    // "key=value" lines of one section.
    virtual void ReadSectionValues(const std::string &section, TStringList &strings) = 0;
    virtual void EraseSection(const std::string &section) = 0;
    virtual void DeleteKey(const std::string &section, const std::string &ident) = 0;
    virtual bool SectionExists(const std::string &section);
    virtual bool ValueExists(const std::string &section, const std::string &ident);
    virtual void UpdateFile() = 0;
};

class TIniFile : public TCustomIniFile {
public:
    explicit TIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)) {}

    std::string ReadString(const std::string &section, const std::string &ident,
                           const std::string &def) override;
    void WriteString(const std::string &section, const std::string &ident,
                     const std::string &value) override;
    void ReadSections(TStringList &strings) override;
    void ReadSection(const std::string &section, TStringList &strings) override;
    void ReadSectionValues(const std::string &section, TStringList &strings) override;
    void EraseSection(const std::string &section) override;
    void DeleteKey(const std::string &section, const std::string &ident) override;
    void UpdateFile() override {}  // every write is on disk already
};

class TMemIniFile : public TCustomIniFile {
public:
    // Reads the file when it exists; a missing file is an empty object.
    // A file that exists but cannot be read raises EFOpenError
    // "Cannot open file <file>".
    explicit TMemIniFile(std::string fileName);

    std::string ReadString(const std::string &section, const std::string &ident,
                           const std::string &def) override;
    void WriteString(const std::string &section, const std::string &ident,
                     const std::string &value) override;
    void ReadSections(TStringList &strings) override;
    void ReadSection(const std::string &section, TStringList &strings) override;
    void ReadSectionValues(const std::string &section, TStringList &strings) override;
    void EraseSection(const std::string &section) override;
    void DeleteKey(const std::string &section, const std::string &ident) override;
    bool SectionExists(const std::string &section) override;
    bool ValueExists(const std::string &section, const std::string &ident) override;
    // Writes every section as its header, its key lines and one empty line.
    void UpdateFile() override;

    // Replaces the contents by the text (the INI lines) / gives them as text.
    void SetStrings(const std::string &text);
    std::string GetStrings() const;
    void Clear();

private:
    // Names and values are views of the text read (text_) or of what was
    // written since (owned_, a deque: its strings never move).
    struct Line {
        std::string_view name;   // key name; the whole line when hasValue is false
        std::string_view value;
        bool hasValue = true;
        // Set with the key table (below), and only valid while it stands:
        // the hash of the key name, and whether an earlier line has the name.
        bool shadowed = false;
        uint32_t hash = 0;
    };
    struct Section {
        std::string_view name;
        std::vector<Line> lines;  // in file order
        // Open-addressed table of line index + 1 for the key lines, the first
        // of each name; built on the first lookup in a section of more than
        // a few lines, kept up to date by appends, dropped by deletions.
        std::vector<uint32_t> keySlots;
        // The line after the one found last: keys are mostly read in file
        // order, so it is tried before the table.
        size_t next = 0;
        Line *find(std::string_view ident);
        void add(Line line);
        void erase(size_t i);
        void rebuild();
        void place(uint32_t lineIndex);
    };
    Section *find(std::string_view section);
    // stable: the name is a view of text_ already.
    Section &findOrAdd(std::string_view section, bool stable);
    void load(std::string text);
    std::string_view own(std::string_view s);
    std::unique_ptr<std::string> text_;
    std::deque<std::string> owned_;
    Section *last_ = nullptr;  // the section found last: keys are mostly read section by section
    std::vector<std::unique_ptr<Section>> sections_;
    // Views of the sections' own names.
    std::unordered_map<std::string_view, Section *, TIniNameHash, TIniNameEqual> sectionIndex_;
};
