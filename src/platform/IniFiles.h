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
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Where the bytes CR, LF and "=" stand in 64 bytes (bit i for byte i).
struct TIniBlockMasks {
    uint64_t cr, lf, eq;
};

// Word by word, on any processor.
inline TIniBlockMasks IniBlockMasksPortable(const char *block)
{
    constexpr uint64_t ones = 0x0101010101010101ull, low7 = 0x7F7F7F7F7F7F7F7Full;
    // One bit per byte of w that equals c, gathered into the low 8 bits.
    auto hits = [](uint64_t w, uint64_t c) {
        const uint64_t v = w ^ (c * ones);
        const uint64_t zero = ~(((v & low7) + low7) | v | low7);  // 0x80 in each zero byte
        return (zero >> 7) * 0x0102040810204080ull >> 56;
    };
    TIniBlockMasks m{0, 0, 0};
    for (int k = 0; k < 8; ++k) {
        uint64_t w = 0;
        for (int b = 7; b >= 0; --b)  // little-endian order whatever the processor
            w = w << 8 | static_cast<unsigned char>(block[8 * k + b]);
        m.cr |= hits(w, '\r') << (8 * k);
        m.lf |= hits(w, '\n') << (8 * k);
        m.eq |= hits(w, '=') << (8 * k);
    }
    return m;
}

inline TIniBlockMasks IniBlockMasks(const char *block)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), eq = _mm_set1_epi8('=');
    TIniBlockMasks m{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * k));
        m.cr |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)))) << (16 * k);
        m.lf |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))) << (16 * k);
        m.eq |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, eq)))) << (16 * k);
    }
    return m;
#else
    return IniBlockMasksPortable(block);
#endif
}

// Calls f(const TIniLine &) for every line of the text that the in-memory INI
// object keeps (empty lines and ";" comments are skipped), split at CR LF,
// LF or CR; a final line break adds no empty line. Both TMemIniFile and
// readers that want the same reading without building its table go through
// this one function. When f returns bool, false stops the walk.
//
// The text is looked at 64 bytes at a time: where the line breaks and the
// "=" stand comes from one comparison of the block, not from a search per
// line.
template <class F>
void ForEachIniLine(std::string_view text, F f)
{
    const char *p = text.data();
    const size_t n = text.size();
    constexpr size_t none = std::string_view::npos;
    // The line [start, end), whose first "=" is at eq; false stops.
    auto line = [&](size_t start, size_t end, size_t eq) -> bool {
        // The first non-blank character tells the kind; only a header needs
        // the line's end trimmed.
        size_t i = start;
        while (i < end && static_cast<unsigned char>(p[i]) <= ' ')
            ++i;
        if (i == end || p[i] == ';')
            return true;
        const std::string_view raw(p + start, end - start);
        TIniLine l{TIniLine::Other, raw, {}, {}};
        if (p[i] == '[' && IniHeader(raw.substr(i - start), l.name)) {
            l.kind = TIniLine::Header;
        } else if (eq != none) {
            size_t j = eq;  // the key ends before the blanks in front of "="
            while (j > i && static_cast<unsigned char>(p[j - 1]) <= ' ')
                --j;
            l = TIniLine{TIniLine::Key, raw, std::string_view(p + i, j - i), std::string_view(p + eq + 1, end - eq - 1)};
        }
        if constexpr (std::is_same_v<decltype(f(l)), bool>)
            return f(l);
        else
            return f(l), true;
    };
    // The first "=" of the block's mask from bit `from` up to (not
    // including) bit `to`, as a text position; none when there is none.
    auto firstEq = [](uint64_t eqs, size_t block, size_t from, size_t to) -> size_t {
        if (from >= 64)
            return std::string_view::npos;
        uint64_t e = eqs & (~uint64_t(0) << from);
        if (to < 64)
            e &= (uint64_t(1) << to) - 1;
        return e ? block + size_t(std::countr_zero(e)) : std::string_view::npos;
    };
    size_t start = 0, eq = none;
    uint64_t crBefore = 0;  // 1 when the block before ended with CR
    for (size_t block = 0; block < n; block += 64) {
        TIniBlockMasks m;
        if (n - block >= 64) {
            m = IniBlockMasks(p + block);
        } else {
            char tail[64] = {};
            std::memcpy(tail, p + block, n - block);
            m = IniBlockMasks(tail);
        }
        // A line ends at every CR, and at every LF that does not follow a CR.
        uint64_t ends = (m.cr | m.lf) & ~(m.lf & (m.cr << 1 | crBefore));
        crBefore = m.cr >> 63;
        const size_t from = start > block ? start - block : 0;
        if (eq == none)
            eq = firstEq(m.eq, block, from, ends ? size_t(std::countr_zero(ends)) : 64);
        while (ends) {
            const size_t end = block + size_t(std::countr_zero(ends));
            ends &= ends - 1;
            if (!line(start, end, eq))
                return;
            start = end + 1;
            if (p[end] == '\r' && start < n && p[start] == '\n')
                ++start;
            eq = firstEq(m.eq, block, start - block, ends ? size_t(std::countr_zero(ends)) : 64);
        }
    }
    if (start < n)
        line(start, n, eq);
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
// writes can be made with one read and one write of the file.
//
// The lines are kept in runs, one per section (its header, its body, and the
// blank lines after its last other line apart), with the lines before the
// first header as the first run; the sections are found by name through an
// index, and the keys of a section through an index of its own, both kept up
// to date by the writes. So each read and each write costs about the same
// however long the text, and writing n keys costs n times that. Keys read
// in file order are found from the line after the one found last, without
// a jump into the index for each: a long section then costs its number of
// keys in time too, not more once the index outgrows the processor's cache.
class TProfileText {
public:
    TProfileText() { parts_.emplace_back(); }
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
    // How many lines the indexes have looked at so far: the work of the
    // lookups, which grows with the lines read and written, not with their
    // product.
    size_t LinesExamined() const { return examined_; }

private:
    // A section: lines[0] its header (the first part has none), then its
    // body up to its last line that is not blank; tail the blank lines after.
    struct Part {
        std::vector<std::string_view> lines;
        std::vector<std::string_view> tail;
        bool alive = true;
        size_t next = 0;  // the next part of the same name, 0 for none
        // The first line of each key of the body, made on first use: open
        // addressed, key hash << 32 | line index + 1, at most half full.
        mutable bool keyed = false;
        mutable size_t keyCount = 0;
        mutable std::vector<uint64_t> keys;
        // Whether a key stands twice in the body (known once keyed), and
        // the line after the one found last (never the header).
        mutable bool repeats = false;
        mutable size_t after = 1;
    };
    struct Chain {
        size_t first = 0, last = 0;
    };
    // The bytes of the lines written: large blocks that never move, so the
    // views of them stay valid; moving the text hands them over whole.
    class Store {
    public:
        Store() = default;
        Store(Store &&o) noexcept;
        Store &operator=(Store &&o) noexcept;
        // Room for n bytes, to be filled before the next call.
        char *take(size_t n);

    private:
        std::vector<std::unique_ptr<char[]>> blocks_;
        char *free_ = nullptr;
        size_t room_ = 0;
    };

    void build(std::vector<std::string_view> lines);
    void rebuild();
    const Part *findPart(std::string_view section) const;
    Part *findPart(std::string_view section) { return const_cast<Part *>(std::as_const(*this).findPart(section)); }
    void indexKeys(const Part &p) const;
    void addKey(const Part &p, std::string_view key, size_t line) const;
    size_t findKey(const Part &p, std::string_view ident) const;
    void addPart(std::string_view header);
    void dropDeadTail();
    template <class F>
    void forEachKey(const std::string &section, F f) const;

    // The text read (one allocation, whose address moves with the object)
    // and the lines written since; the lines and the names of the index are
    // views of these.
    std::unique_ptr<std::string> text_;
    Store owned_;
    // parts_[0] holds the lines before the first header; erased sections
    // stay as dead parts until they are the last ones.
    std::vector<Part> parts_;
    // The parts of each section name, in file order: the first counts.
    std::unordered_map<std::string_view, Chain, TIniNameHash, TIniNameEqual> names_;
    mutable size_t examined_ = 0;
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
    // The most bytes of INI text one object holds; a longer file raises
    // EFOpenError as an unreadable one does, a longer text given to
    // SetStrings EIniFileException, both before anything is allocated.
    static constexpr size_t kMaxTextBytes = 0x7FFFFFFFu;

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
    // A failed load leaves the contents as they were.
    void SetStrings(const std::string &text);
    std::string GetStrings() const;
    void Clear();

private:
    // Where names and values are: offsets below kWritten are in the text
    // read, the others (less kWritten) in what was written since.
    static constexpr uint32_t kWritten = 0x80000000u, kNoValue = 0xFFFFFFFFu;

    // One kept line of a section: a key line, or any other line as it stands.
    struct Line {
        uint32_t name;     // the trimmed key name; the whole line when value is kNoValue
        uint32_t nameLen;  // with kShadowed when an earlier line of the section has the
                           // name: such a line is never found
        uint32_t value;    // everything after the first "=", unchanged
        uint32_t valueLen;
        uint32_t hash;     // key lines: the name's hash, made once when the line is read or written
        static constexpr uint32_t kShadowed = 0x80000000u;
        bool hasValue() const { return value != kNoValue; }
        bool shadowed() const { return nameLen & kShadowed; }
        uint32_t size() const { return nameLen & ~kShadowed; }
    };
    struct Section {
        uint32_t name = 0, nameLen = 0, hash = 0;
        // The lines as read stand in lines[begin, end), all sections' lines
        // in one vector; a section gets lines of its own (own) when it is
        // changed or its header stands a second time.
        uint32_t begin = 0, end = 0;
        bool owned = false;
        // The line after the one found last: keys are mostly read in file
        // order, so it is tried first.
        uint32_t next = 0;
        std::vector<Line> own;
        // Open-addressed table of the first line of each key name (name hash
        // << 32 | line index + 1); made by the first lookup in a section of
        // more than a few lines that the next line does not answer, dropped
        // by deletions.
        std::vector<uint64_t> keySlots;
    };
    // What a load makes: swapped in whole, so a failed load changes nothing.
    struct Store {
        std::string text;
        std::string written;
        std::vector<Line> lines;
        std::vector<Section> sections;  // in file order
        std::vector<uint32_t> sectionSlots;  // open-addressed: section index + 1
        size_t last = SIZE_MAX;  // the section found last: keys are mostly read section by section

        const char *at(uint32_t offset) const
        {
            return offset < kWritten ? text.data() + offset : written.data() + (offset - kWritten);
        }
        std::string_view name(const Line &l) const { return {at(l.name), l.size()}; }
        std::string_view value(const Line &l) const { return {at(l.value), l.valueLen}; }
        std::string_view name(const Section &s) const { return {at(s.name), s.nameLen}; }
        Line *linesOf(Section &s) { return s.owned ? s.own.data() : this->lines.data() + s.begin; }
        const Line *linesOf(const Section &s) const { return s.owned ? s.own.data() : this->lines.data() + s.begin; }
        static size_t count(const Section &s) { return s.owned ? s.own.size() : s.end - s.begin; }
        size_t find(std::string_view name, uint32_t hash) const;
        void place(size_t section);
        void makeSectionTable(size_t room);
    };

    void ownLines(Section &s);
    Section *find(std::string_view section);
    Section *lookUp(std::string_view section);
    Line *findKey(Section &s, std::string_view ident);
    Line *lookUp(Section &s, std::string_view ident);
    void makeKeyTable(Section &s);
    Section &findOrAdd(std::string_view section);
    void load(std::string text);
    uint32_t write(std::string_view bytes);

    Store store_;
};
