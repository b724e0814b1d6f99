#include "platform/IniFiles.h"

#include "platform/FileIO.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace Rtl;

namespace {

// A value never carries a line break into the file.
std::string singleLine(const std::string &value)
{
    std::string v = value;
    for (char &c : v)
        if (c == '\r' || c == '\n')
            c = ' ';
    return v;
}

std::string_view trimView(std::string_view s) { return IniTrim(s); }

bool isHeader(std::string_view trimmed) { return trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.find(']') != std::string_view::npos; }

} // namespace

// ---- shared readers ----------------------------------------------------------------

int TCustomIniFile::ReadInteger(const std::string &section, const std::string &ident, int def)
{
    std::string s = ReadString(section, ident, "");
    if (s.empty())
        return def;
    return StrToIntDef(s, def);
}

void TCustomIniFile::WriteInteger(const std::string &section, const std::string &ident, int value)
{
    WriteString(section, ident, IntToStr(value));
}

bool TCustomIniFile::ReadBool(const std::string &section, const std::string &ident, bool def)
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string &section, const std::string &ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

bool TCustomIniFile::SectionExists(const std::string &section)
{
    TStringList keys;
    ReadSection(section, keys);
    if (keys.Count() > 0)
        return true;
    TStringList sections;
    ReadSections(sections);
    return sections.IndexOf(section) >= 0;
}

bool TCustomIniFile::ValueExists(const std::string &section, const std::string &ident)
{
    TStringList keys;
    ReadSection(section, keys);
    return keys.IndexOf(ident) >= 0;
}

// ---- TProfileText and TIniFile: the profile functions ------------------------------
//
// The file is kept as its lines. Section and key names are trimmed and
// matched without regard to case; the first of duplicate sections or keys
// counts. Comment lines (";") and anything else unknown stay where they are.

namespace {

constexpr size_t kProfileValueMax = 2047;

// A key line's trimmed name and value; false for comments and other lines.
bool keyOf(std::string_view line, std::string_view &key, std::string_view &value)
{
    std::string_view t = trimView(line);
    if (t.empty() || t.front() == ';')
        return false;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = trimView(t.substr(0, eq));
    value = trimView(t.substr(eq + 1));
    return true;
}

std::string_view headerView(std::string_view trimmed)
{
    size_t close = trimmed.find(']');
    return trimView(trimmed.substr(1, close - 1));
}

} // namespace

TProfileText::Store::Store(Store &&o) noexcept
    : blocks_(std::move(o.blocks_)), free_(std::exchange(o.free_, nullptr)), room_(std::exchange(o.room_, 0))
{
}

TProfileText::Store &TProfileText::Store::operator=(Store &&o) noexcept
{
    blocks_ = std::move(o.blocks_);
    free_ = std::exchange(o.free_, nullptr);
    room_ = std::exchange(o.room_, 0);
    return *this;
}

char *TProfileText::Store::take(size_t n)
{
    if (n > room_) {
        const size_t size = std::max<size_t>(n, 64 * 1024);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        free_ = blocks_.back().get();
        room_ = size;
    }
    char *at = free_;
    free_ += n;
    room_ -= n;
    return at;
}

TProfileText::TProfileText(std::string_view text)
{
    text_ = std::make_unique<std::string>(text);
    std::vector<std::string_view> lines;
    lines.reserve(text.size() / 24);
    Rtl::ForEachLine(*text_, [&](std::string_view l) { lines.push_back(l); });
    build(std::move(lines));
}

// Splits the lines into parts at every header and indexes the names.
void TProfileText::build(std::vector<std::string_view> lines)
{
    parts_.clear();
    names_.clear();
    parts_.emplace_back();
    for (std::string_view l : lines) {
        const std::string_view t = trimView(l);
        if (isHeader(t)) {
            addPart(l);
            continue;
        }
        Part &p = parts_.back();
        if (t.empty()) {
            p.tail.push_back(l);
        } else {
            // Blank lines followed by another line belong to the body.
            p.lines.insert(p.lines.end(), p.tail.begin(), p.tail.end());
            p.tail.clear();
            p.lines.push_back(l);
        }
    }
    examined_ += lines.size();
}

// The lines of the live parts, split anew: after a write whose key line
// reads as a header, which starts a section of its own.
void TProfileText::rebuild()
{
    std::vector<std::string_view> lines;
    for (const Part &p : parts_)
        if (p.alive) {
            lines.insert(lines.end(), p.lines.begin(), p.lines.end());
            lines.insert(lines.end(), p.tail.begin(), p.tail.end());
        }
    build(std::move(lines));
}

// Appends a part for the header line and adds it to its name's chain.
void TProfileText::addPart(std::string_view header)
{
    const size_t at = parts_.size();
    parts_.emplace_back();
    parts_.back().lines.push_back(header);
    auto [it, fresh] = names_.try_emplace(headerView(trimView(header)), Chain{at, at});
    if (!fresh) {
        parts_[it->second.last].next = at;
        it->second.last = at;
    }
}

// Erased parts at the end are let go, so the last part is always live.
void TProfileText::dropDeadTail()
{
    while (parts_.size() > 1 && !parts_.back().alive)
        parts_.pop_back();
}

std::string TProfileText::Text() const
{
    size_t n = 0;
    for (const Part &p : parts_)
        if (p.alive) {
            for (std::string_view l : p.lines)
                n += l.size() + 2;
            for (std::string_view l : p.tail)
                n += l.size() + 2;
        }
    std::string r;
    r.reserve(n);
    for (const Part &p : parts_)
        if (p.alive)
            for (const auto *run : {&p.lines, &p.tail})
                for (std::string_view l : *run) {
                    r += l;
                    r += "\r\n";
                }
    return r;
}

// The first section of the name, or nullptr.
const TProfileText::Part *TProfileText::findPart(std::string_view section) const
{
    auto it = names_.find(trimView(section));
    return it == names_.end() ? nullptr : &parts_[it->second.first];
}

// Enters the key of the body's line into the part's table, unless an
// earlier line holds the same key (the first of repeated keys counts).
void TProfileText::addKey(const Part &p, std::string_view key, size_t line) const
{
    if ((p.keyCount + 1) * 2 > p.keys.size()) {
        // Twice the room; the entries keep their hashes.
        std::vector<uint64_t> old = std::move(p.keys);
        p.keys.assign(std::max<size_t>(16, old.size() * 2), 0);
        const size_t mask = p.keys.size() - 1;
        for (const uint64_t e : old)
            if (e) {
                size_t h = (e >> 32) & mask;
                while (p.keys[h])
                    h = (h + 1) & mask;
                p.keys[h] = e;
            }
    }
    const uint64_t hash = uint32_t(Rtl::AnsiHashText(key));
    const size_t mask = p.keys.size() - 1;
    size_t h = hash & mask;
    std::string_view k, v;
    for (; p.keys[h]; h = (h + 1) & mask)
        if (p.keys[h] >> 32 == hash && keyOf(p.lines[(p.keys[h] & 0xffffffffu) - 1], k, v) &&
            Rtl::SameTextView(k, key)) {
            p.repeats = true;
            return;
        }
    p.keys[h] = hash << 32 | (line + 1);
    ++p.keyCount;
}

void TProfileText::indexKeys(const Part &p) const
{
    if (p.keyed)
        return;
    p.keys.clear();
    p.keyCount = 0;
    p.repeats = false;
    std::string_view k, v;
    for (size_t i = 1; i < p.lines.size(); ++i)
        if (keyOf(p.lines[i], k, v))
            addKey(p, k, i);
    examined_ += p.lines.size();
    p.keyed = true;
}

// Index of the key's line in the part, or npos.
size_t TProfileText::findKey(const Part &p, std::string_view ident) const
{
    indexKeys(p);
    if (p.keys.empty())
        return std::string::npos;
    const std::string_view want = trimView(ident);
    std::string_view k, v;
    // Keys are mostly read in file order: the line after the one found
    // last is tried first. While no key stands twice, the line is the
    // key's first; the table is then not touched.
    if (!p.repeats && p.after < p.lines.size() && keyOf(p.lines[p.after], k, v) && Rtl::SameTextView(k, want))
        return p.after++;
    const uint64_t hash = uint32_t(Rtl::AnsiHashText(want));
    const size_t mask = p.keys.size() - 1;
    for (size_t h = hash & mask; p.keys[h]; h = (h + 1) & mask) {
        const size_t line = (p.keys[h] & 0xffffffffu) - 1;
        if (p.keys[h] >> 32 == hash && keyOf(p.lines[line], k, v) && Rtl::SameTextView(k, want)) {
            p.after = line + 1;
            return line;
        }
    }
    return std::string::npos;
}

std::string TProfileText::ReadString(const std::string &section, const std::string &ident, const std::string &def) const
{
    const Part *p = findPart(section);
    if (!p)
        return def;
    const size_t i = findKey(*p, ident);
    if (i == std::string::npos)
        return def;
    std::string_view k, v;
    keyOf(p->lines[i], k, v);
    return std::string(v.substr(0, kProfileValueMax));
}

int TProfileText::ReadInteger(const std::string &section, const std::string &ident, int def) const
{
    std::string s = ReadString(section, ident, "");
    return s.empty() ? def : StrToIntDef(s, def);
}

void TProfileText::WriteString(const std::string &section, const std::string &ident, const std::string &value)
{
    // key=value, the value without leading blanks and its line breaks
    // written as blanks.
    const std::string_view key = trimView(ident);
    size_t from = 0;
    while (from < value.size() && static_cast<unsigned char>(value[from]) <= ' ')
        ++from;
    char *out = owned_.take(key.size() + 1 + value.size() - from);
    const std::string_view line(out, key.size() + 1 + value.size() - from);
    out = std::copy(key.begin(), key.end(), out);
    *out++ = '=';
    for (size_t i = from; i < value.size(); ++i)
        *out++ = value[i] == '\r' || value[i] == '\n' ? ' ' : value[i];
    // A key line that reads as a header starts a section of its own.
    const bool splits = isHeader(trimView(line));
    if (parts_.empty())
        parts_.emplace_back();  // a text moved from starts again empty
    Part *p = findPart(section);
    if (!p) {
        // A blank line after the text, then the new section at its end.
        Part &last = parts_.back();
        const std::string_view *end = !last.tail.empty() ? &last.tail.back()
                                      : !last.lines.empty() ? &last.lines.back()
                                                            : nullptr;
        if (end && !trimView(*end).empty())
            last.tail.emplace_back();
        const std::string_view name = trimView(section);
        char *h = owned_.take(name.size() + 2);
        h[0] = '[';
        std::copy(name.begin(), name.end(), h + 1);
        h[name.size() + 1] = ']';
        addPart(std::string_view(h, name.size() + 2));
        parts_.back().lines.push_back(line);
    } else if (const size_t i = findKey(*p, key); i != std::string::npos) {
        p->lines[i] = line;
    } else {
        // After the section's last line that is not blank; a run of new
        // keys tries no line before the next.
        p->lines.push_back(line);
        p->after = p->lines.size();
        std::string_view k, v;
        if (p->keyed && keyOf(line, k, v))
            addKey(*p, k, p->lines.size() - 1);
    }
    if (splits)
        rebuild();
}

void TProfileText::WriteInteger(const std::string &section, const std::string &ident, int value)
{
    WriteString(section, ident, IntToStr(value));
}

bool TProfileText::EraseSection(const std::string &section)
{
    auto it = names_.find(trimView(section));
    if (it == names_.end())
        return false;
    Part &p = parts_[it->second.first];
    if (p.next)
        it->second.first = p.next;
    else
        names_.erase(it);
    p = Part();
    p.alive = false;
    dropDeadTail();
    return true;
}

bool TProfileText::DeleteKey(const std::string &section, const std::string &ident)
{
    Part *p = findPart(section);
    if (!p)
        return false;
    const size_t i = findKey(*p, ident);
    if (i == std::string::npos)
        return false;
    p->lines.erase(p->lines.begin() + long(i));
    // Blank lines left at the body's end join the tail.
    size_t end = p->lines.size();
    while (end > 1 && trimView(p->lines[end - 1]).empty())
        --end;
    p->tail.insert(p->tail.begin(), p->lines.begin() + long(end), p->lines.end());
    p->lines.resize(end);
    p->keyed = false;
    return true;
}

void TProfileText::ReadSections(TStringList &strings) const
{
    strings.Clear();
    for (size_t i = 1; i < parts_.size(); ++i)
        if (parts_[i].alive)
            strings.Add(std::string(headerView(trimView(parts_[i].lines[0]))));
}

// Calls f(key, value) for every key line of the section, in file order.
template <class F>
void TProfileText::forEachKey(const std::string &section, F f) const
{
    const Part *p = findPart(section);
    if (!p)
        return;
    std::string_view k, v;
    for (size_t i = 1; i < p->lines.size(); ++i)
        if (keyOf(p->lines[i], k, v))
            f(k, v);
}

void TProfileText::ReadSection(const std::string &section, TStringList &strings) const
{
    strings.Clear();
    forEachKey(section, [&](std::string_view k, std::string_view) { strings.Add(std::string(k)); });
}

void TProfileText::ReadSectionValues(const std::string &section, TStringList &strings) const
{
    strings.Clear();
    forEachKey(section, [&](std::string_view k, std::string_view v) {
        std::string line(k);
        line.append(1, '=').append(v);
        strings.Add(line);
    });
}

namespace {

bool loadProfile(const std::string &path, TProfileText &f)
{
    std::string text;
    if (!fileio::ReadFile(path, text))
        return false;
    f = TProfileText(text);
    return true;
}

void saveProfile(const std::string &path, const TProfileText &f)
{
    if (!fileio::AtomicWriteFile(path, f.Text()))
        throw EIniFileException("Unable to write to " + path);
}

} // namespace

std::string TIniFile::ReadString(const std::string &section, const std::string &ident, const std::string &def)
{
    TProfileText f;
    if (!loadProfile(FileName, f))
        return def;
    return f.ReadString(section, ident, def);
}

void TIniFile::WriteString(const std::string &section, const std::string &ident, const std::string &value)
{
    TProfileText f;
    loadProfile(FileName, f);  // a missing file is created
    f.WriteString(section, ident, value);
    saveProfile(FileName, f);
}

void TIniFile::ReadSections(TStringList &strings)
{
    strings.Clear();
    TProfileText f;
    if (loadProfile(FileName, f))
        f.ReadSections(strings);
}

void TIniFile::ReadSection(const std::string &section, TStringList &strings)
{
    strings.Clear();
    TProfileText f;
    if (loadProfile(FileName, f))
        f.ReadSection(section, strings);
}

void TIniFile::ReadSectionValues(const std::string &section, TStringList &strings)
{
    strings.Clear();
    TProfileText f;
    if (loadProfile(FileName, f))
        f.ReadSectionValues(section, strings);
}

void TIniFile::EraseSection(const std::string &section)
{
    TProfileText f;
    if (loadProfile(FileName, f) && f.EraseSection(section))
        saveProfile(FileName, f);
}

void TIniFile::DeleteKey(const std::string &section, const std::string &ident)
{
    TProfileText f;
    if (loadProfile(FileName, f) && f.DeleteKey(section, ident))
        saveProfile(FileName, f);
}

// ---- TMemIniFile: the in-memory object ------------------------------------------------

namespace {

// Sections of up to this many lines are searched line by line.
constexpr size_t kLinearLines = 8;

uint32_t nameHash(std::string_view name) { return uint32_t(Rtl::AnsiHashText(name)) & 0x7FFFFFFFu; }

// Whether two names are the same bytes; names are mostly short, so they are
// compared a word at a time without a call.
inline bool sameBytes(const char *a, const char *b, size_t n)
{
    auto load8 = [](const char *p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    };
    auto load4 = [](const char *p) {
        uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    };
    if (n >= 8) {
        if (n > 16)
            return std::memcmp(a, b, n) == 0;
        return load8(a) == load8(b) && load8(a + n - 8) == load8(b + n - 8);
    }
    if (n >= 4)
        return load4(a) == load4(b) && load4(a + n - 4) == load4(b + n - 4);
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// The INI classes' name comparison, with the same bytes decided at once.
inline bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && (sameBytes(a.data(), b.data(), a.size()) || Rtl::SameTextView(a, b));
}

size_t tableSize(size_t entries)
{
    size_t size = 16;
    while (size < entries * 2)
        size *= 2;
    return size;
}

} // namespace

TMemIniFile::TMemIniFile(std::string fileName) : TCustomIniFile(std::move(fileName))
{
    struct stat st;
    if (stat(FileName.c_str(), &st) != 0)
        return;  // a missing file is an empty object
    std::string text;
    if (!fileio::ReadFile(FileName, text, kMaxTextBytes))
        throw EFOpenError("Cannot open file " + FileName);
    load(std::move(text));
}

void TMemIniFile::Clear() { store_ = Store(); }

// Keeps the bytes with what was written before; gives where they are.
uint32_t TMemIniFile::write(std::string_view bytes)
{
    std::string &w = store_.written;
    if (bytes.size() > kNoValue - kWritten - 1 - w.size())
        throw EIniFileException("Too much written to the INI object");
    const uint32_t at = kWritten + uint32_t(w.size());
    w.append(bytes);
    return at;
}

void TMemIniFile::Store::place(size_t section)
{
    const size_t mask = sectionSlots.size() - 1;
    size_t h = sections[section].hash & mask;
    while (sectionSlots[h])
        h = (h + 1) & mask;
    sectionSlots[h] = uint32_t(section + 1);
}

void TMemIniFile::Store::makeSectionTable(size_t room)
{
    sectionSlots.assign(tableSize(room), 0);
    for (size_t i = 0; i < sections.size(); ++i)
        place(i);
}

// Index of the section of the name, or SIZE_MAX.
size_t TMemIniFile::Store::find(std::string_view name, uint32_t hash) const
{
    if (sectionSlots.empty())
        return SIZE_MAX;
    const size_t mask = sectionSlots.size() - 1;
    for (size_t h = hash & mask; sectionSlots[h]; h = (h + 1) & mask) {
        const size_t i = sectionSlots[h] - 1;
        if (sections[i].hash == hash && sameName(this->name(sections[i]), name))
            return i;
    }
    return SIZE_MAX;
}

// The reads' quick paths: the section found last or the one after it, and
// the line after the one found last; the rest looks names up by hash.
inline TMemIniFile::Section *TMemIniFile::find(std::string_view section)
{
    std::vector<Section> &all = store_.sections;
    const size_t last = store_.last;
    if (last < all.size() && sameName(store_.name(all[last]), section))
        return &all[last];
    return lookUp(section);
}

TMemIniFile::Section *TMemIniFile::lookUp(std::string_view section)
{
    std::vector<Section> &all = store_.sections;
    const size_t last = store_.last;
    if (last + 1 < all.size() && sameName(store_.name(all[last + 1]), section))
        return &all[store_.last = last + 1];
    const size_t i = store_.find(section, nameHash(section));
    if (i == SIZE_MAX)
        return nullptr;
    return &all[store_.last = i];
}

inline TMemIniFile::Line *TMemIniFile::findKey(Section &s, std::string_view ident)
{
    const size_t n = Store::count(s);
    if (n) {
        // After the last line, a section is mostly read again from its first.
        if (s.next >= n)
            s.next = 0;
        Line &at = store_.linesOf(s)[s.next];
        // A shadowed line's nameLen never equals a length.
        if (at.nameLen == ident.size() && at.hasValue() && sameName(store_.name(at), ident)) {
            ++s.next;
            return &at;
        }
    }
    return lookUp(s, ident);
}

TMemIniFile::Section &TMemIniFile::findOrAdd(std::string_view section)
{
    if (Section *s = find(section))
        return *s;
    Section s;
    s.name = write(section);
    s.nameLen = uint32_t(section.size());
    s.hash = nameHash(section);
    s.owned = true;
    store_.sections.push_back(std::move(s));
    if (store_.sections.size() * 2 > store_.sectionSlots.size())
        store_.makeSectionTable(store_.sections.size());
    else
        store_.place(store_.sections.size() - 1);
    store_.last = store_.sections.size() - 1;
    return store_.sections.back();
}

void TMemIniFile::ownLines(Section &s)
{
    if (s.owned)
        return;
    s.own.assign(store_.lines.begin() + s.begin, store_.lines.begin() + s.end);
    s.owned = true;
}

void TMemIniFile::makeKeyTable(Section &s)
{
    const size_t n = Store::count(s);
    const Line *l = store_.linesOf(s);
    s.keySlots.assign(tableSize(n), 0);
    const size_t mask = s.keySlots.size() - 1;
    // Only the first line of each name goes in: no two entries are alike,
    // so none needs comparing.
    for (size_t i = 0; i < n; ++i) {
        if (!l[i].hasValue() || l[i].shadowed())
            continue;
        const uint64_t hash = l[i].hash;
        size_t h = hash & mask;
        while (s.keySlots[h])
            h = (h + 1) & mask;
        s.keySlots[h] = hash << 32 | (i + 1);
    }
}

TMemIniFile::Line *TMemIniFile::lookUp(Section &s, std::string_view ident)
{
    Line *l = store_.linesOf(s);
    const size_t n = Store::count(s);
    if (n <= kLinearLines) {
        for (size_t i = 0; i < n; ++i)
            if (l[i].hasValue() && sameName(store_.name(l[i]), ident)) {
                s.next = uint32_t(i + 1);
                return &l[i];
            }
        return nullptr;
    }
    if (s.keySlots.empty())
        makeKeyTable(s);
    const size_t mask = s.keySlots.size() - 1;
    const uint64_t hash = nameHash(ident);
    for (size_t h = hash & mask; s.keySlots[h]; h = (h + 1) & mask) {
        if (s.keySlots[h] >> 32 != hash)
            continue;
        const uint32_t i = uint32_t(s.keySlots[h]) - 1;
        if (sameName(store_.name(l[i]), ident)) {
            s.next = i + 1;
            return &l[i];
        }
    }
    return nullptr;
}

void TMemIniFile::SetStrings(const std::string &text)
{
    if (text.size() > kMaxTextBytes)
        throw EIniFileException("INI text too large");
    load(text);
}

// The lines are kept as they are read: offsets into the text, which the
// object keeps, all in one vector in file order, each section a range of it.
// Each key line is marked when an earlier line of its section has the name,
// so reads in file order need no table at all.
void TMemIniFile::load(std::string text)
{
    Store st;
    st.text = std::move(text);
    const std::string_view all = st.text;
    const char *base = all.data();

    // Room for the lines, counted in the first part of the text; never
    // more than one line in eight bytes (the vector grows past that).
    {
        const size_t sample = std::min<size_t>(all.size(), 1u << 16);
        size_t breaks = 0;
        for (size_t i = 0; i < sample; ++i)
            breaks += all[i] == '\n';
        if (!breaks)
            for (size_t i = 0; i < sample; ++i)
                breaks += all[i] == '\r';
        if (sample)
            st.lines.reserve(std::min(breaks * (all.size() / sample) + breaks, all.size() / 8) + 16);
    }

    // Which key names the section has had: line index + 1 in the section's
    // vector, tagged with the section's number so that the table is never
    // cleared. Every key's name is hashed here, once: lookups out of file
    // order make a section's table from these hashes.
    std::vector<uint64_t> seen(256, 0);
    uint32_t tag = 0;
    size_t keys = 0;  // key lines of the section in the table
    Section *cur = nullptr;
    std::vector<Line> *into = nullptr;
    size_t first = 0;  // the section's first line in into

    // kShadowed when an earlier line of the section has the name of the
    // line that is (or will be) at index; otherwise the line is remembered.
    auto remember = [&](std::string_view name, uint32_t hash, uint32_t index) -> uint32_t {
        const size_t mask = seen.size() - 1;
        for (size_t h = hash & mask;; h = (h + 1) & mask) {
            const uint64_t e = seen[h];
            if (uint32_t(e >> 32) != tag) {
                seen[h] = uint64_t(tag) << 32 | (index + 1);
                return 0;
            }
            const Line &o = (*into)[uint32_t(e) - 1];
            if (o.hash == hash && sameName({base + o.name, o.nameLen}, name))
                return Line::kShadowed;
        }
    };
    // A new tag, with the section's key lines so far remembered, after the
    // table grew to room for as many when it must.
    auto restart = [&](size_t room) {
        ++tag;
        while (seen.size() < room * 2)
            seen.assign(seen.size() * 2, 0);
        keys = 0;
        for (size_t i = first; i < into->size(); ++i) {
            const Line &l = (*into)[i];
            if (l.hasValue() && !l.shadowed()) {
                remember({base + l.name, l.nameLen}, l.hash, uint32_t(i));
                ++keys;
            }
        }
    };
    auto close = [&] {
        if (cur && !cur->owned)
            cur->end = uint32_t(st.lines.size());
    };
    st.makeSectionTable(64);

    ForEachIniLine(all, [&](const TIniLine &l) {
        if (l.kind == TIniLine::Key) {
            if (!cur)
                return;  // before the first section
            if (++keys * 2 > seen.size()) {
                restart(keys);
                ++keys;
            }
            const uint32_t hash = nameHash(l.name);
            const uint32_t shadowed = remember(l.name, hash, uint32_t(into->size()));
            into->push_back(Line{uint32_t(l.name.data() - base), uint32_t(l.name.size()) | shadowed,
                                 uint32_t(l.value.data() - base), uint32_t(l.value.size()), hash});
        } else if (l.kind == TIniLine::Other) {
            if (cur)
                into->push_back(Line{uint32_t(l.raw.data() - base), uint32_t(l.raw.size()), kNoValue, 0, 0});
        } else {
            close();
            const uint32_t hash = nameHash(l.name);
            size_t i = st.find(l.name, hash);
            if (i == SIZE_MAX) {
                Section s;
                s.name = uint32_t(l.name.data() - base);
                s.nameLen = uint32_t(l.name.size());
                s.hash = hash;
                s.begin = s.end = uint32_t(st.lines.size());
                st.sections.push_back(std::move(s));
                i = st.sections.size() - 1;
                if (st.sections.size() * 2 > st.sectionSlots.size())
                    st.makeSectionTable(st.sections.size() * 2);
                else
                    st.place(i);
                cur = &st.sections[i];
                into = &st.lines;
                first = cur->begin;
                ++tag;
                keys = 0;
            } else {
                // The header stands again: its lines join the first ones.
                cur = &st.sections[i];
                if (!cur->owned) {
                    cur->own.assign(st.lines.begin() + cur->begin, st.lines.begin() + cur->end);
                    cur->owned = true;
                }
                into = &cur->own;
                first = 0;
                restart(into->size());
            }
        }
    });
    close();
    store_ = std::move(st);
}

std::string TMemIniFile::GetStrings() const
{
    size_t n = 0;
    for (const Section &s : store_.sections) {
        n += s.nameLen + 6;
        const Line *l = store_.linesOf(s);
        for (size_t i = 0, c = Store::count(s); i < c; ++i)
            n += l[i].size() + l[i].valueLen + 3;
    }
    std::string r;
    r.reserve(n);
    for (const Section &s : store_.sections) {
        r += '[';
        r += store_.name(s);
        r += "]\r\n";
        const Line *l = store_.linesOf(s);
        for (size_t i = 0, c = Store::count(s); i < c; ++i) {
            r += store_.name(l[i]);
            if (l[i].hasValue()) {
                r += '=';
                r += store_.value(l[i]);
            }
            r += "\r\n";
        }
        r += "\r\n";
    }
    return r;
}

std::string TMemIniFile::ReadString(const std::string &section, const std::string &ident, const std::string &def)
{
    Section *s = find(section);
    if (!s)
        return def;
    const Line *l = findKey(*s, ident);
    return l ? std::string(store_.value(*l)) : def;
}

void TMemIniFile::WriteString(const std::string &section, const std::string &ident, const std::string &value)
{
    const std::string v = singleLine(value);
    Section &s = findOrAdd(section);
    if (Line *l = findKey(s, ident)) {
        // The stored name stays.
        l->value = write(v);
        l->valueLen = uint32_t(v.size());
        return;
    }
    // No line has the name: the new one is not shadowed.
    const uint32_t name = write(ident);
    const Line line{name, uint32_t(ident.size()), write(v), uint32_t(v.size()), nameHash(ident)};
    ownLines(s);
    s.own.push_back(line);
    if (s.keySlots.empty())
        return;
    if (s.own.size() * 2 > s.keySlots.size()) {
        makeKeyTable(s);
        return;
    }
    const size_t mask = s.keySlots.size() - 1;
    const uint64_t hash = line.hash;
    size_t h = hash & mask;
    while (s.keySlots[h])
        h = (h + 1) & mask;
    s.keySlots[h] = hash << 32 | s.own.size();
}

void TMemIniFile::ReadSections(TStringList &strings)
{
    strings.Clear();
    for (const Section &s : store_.sections)
        strings.Add(std::string(store_.name(s)));
}

void TMemIniFile::ReadSection(const std::string &section, TStringList &strings)
{
    strings.Clear();
    if (Section *s = find(section)) {
        const Line *l = store_.linesOf(*s);
        for (size_t i = 0, c = Store::count(*s); i < c; ++i)
            if (l[i].hasValue())
                strings.Add(std::string(store_.name(l[i])));
    }
}

void TMemIniFile::ReadSectionValues(const std::string &section, TStringList &strings)
{
    strings.Clear();
    if (Section *s = find(section)) {
        const Line *l = store_.linesOf(*s);
        for (size_t i = 0, c = Store::count(*s); i < c; ++i)
            if (l[i].hasValue())
                strings.Add(std::string(store_.name(l[i])).append(1, '=').append(store_.value(l[i])));
    }
}

void TMemIniFile::EraseSection(const std::string &section)
{
    Section *s = find(section);
    if (!s)
        return;
    store_.sections.erase(store_.sections.begin() + (s - store_.sections.data()));
    store_.last = SIZE_MAX;
    store_.makeSectionTable(store_.sections.size());
}

void TMemIniFile::DeleteKey(const std::string &section, const std::string &ident)
{
    Section *s = find(section);
    if (!s)
        return;
    const Line *l = findKey(*s, ident);
    if (!l)
        return;
    const size_t i = size_t(l - store_.linesOf(*s));
    const std::string_view name = store_.name(*l);
    ownLines(*s);
    s->own.erase(s->own.begin() + long(i));
    // The next line of the name, if any, is now the first.
    for (size_t j = i; j < s->own.size(); ++j)
        if (s->own[j].hasValue() && sameName(store_.name(s->own[j]), name)) {
            s->own[j].nameLen &= ~Line::kShadowed;
            break;
        }
    s->keySlots.clear();  // made again by the next lookup
}

bool TMemIniFile::SectionExists(const std::string &section) { return find(section) != nullptr; }

bool TMemIniFile::ValueExists(const std::string &section, const std::string &ident)
{
    Section *s = find(section);
    return s && findKey(*s, ident);
}

void TMemIniFile::UpdateFile()
{
    if (!fileio::AtomicWriteFile(FileName, GetStrings()))
        throw EFCreateError("Cannot create file " + FileName);
}
