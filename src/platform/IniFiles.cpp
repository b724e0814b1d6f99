#include "platform/IniFiles.h"

#include "platform/FileIO.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <cerrno>
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

TProfileText::TProfileText(std::string_view text)
{
    text_ = std::make_unique<std::string>(text);
    lines_.reserve(text.size() / 24);
    Rtl::ForEachLine(*text_, [&](std::string_view l) { lines_.push_back(l); });
}

std::string TProfileText::Text() const
{
    size_t n = 0;
    for (std::string_view l : lines_)
        n += l.size() + 2;
    std::string r;
    r.reserve(n);
    for (std::string_view l : lines_) {
        r += l;
        r += "\r\n";
    }
    return r;
}

// [begin, end) of the section's body lines; begin-1 is the header.
bool TProfileText::findSection(std::string_view section, size_t &begin, size_t &end) const
{
    const std::string_view want = trimView(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view t = trimView(lines_[i]);
        if (isHeader(t) && Rtl::SameTextView(headerView(t), want)) {
            begin = i + 1;
            end = begin;
            while (end < lines_.size() && !isHeader(trimView(lines_[end])))
                ++end;
            return true;
        }
    }
    return false;
}

// Index of the key's line inside [begin, end), or npos.
size_t TProfileText::findKey(size_t begin, size_t end, std::string_view ident) const
{
    const std::string_view want = trimView(ident);
    std::string_view k, v;
    for (size_t i = begin; i < end; ++i)
        if (keyOf(lines_[i], k, v) && Rtl::SameTextView(k, want))
            return i;
    return std::string::npos;
}

std::string TProfileText::ReadString(const std::string &section, const std::string &ident, const std::string &def) const
{
    if (!indexed_) {
        // One pass over the lines: where each section's first occurrence is.
        index_.clear();
        Body *open = nullptr;
        for (size_t i = 0; i < lines_.size(); ++i) {
            std::string_view t = trimView(lines_[i]);
            if (!isHeader(t))
                continue;
            if (open)
                open->end = i;
            auto [it, fresh] = index_.try_emplace(headerView(t));
            open = fresh ? &it->second : nullptr;
            if (open)
                open->begin = i + 1;
        }
        if (open)
            open->end = lines_.size();
        indexed_ = true;
    }
    auto it = index_.find(trimView(section));
    if (it == index_.end())
        return def;
    Body &b = it->second;
    std::string_view k, v;
    if (!b.keyed) {
        size_t count = 0;
        for (size_t i = b.begin; i < b.end; ++i)
            count += keyOf(lines_[i], k, v);
        size_t size = 8;
        while (size < count * 2)
            size *= 2;
        b.keys.assign(size, 0);
        for (size_t i = b.begin; i < b.end; ++i) {
            if (!keyOf(lines_[i], k, v))
                continue;
            const uint64_t hash = uint32_t(Rtl::AnsiHashText(k));
            size_t h = hash & (size - 1);
            bool first = true;
            for (; b.keys[h]; h = (h + 1) & (size - 1)) {
                std::string_view k2, v2;
                if (b.keys[h] >> 32 == hash && keyOf(lines_[(b.keys[h] & 0xffffffffu) - 1], k2, v2) &&
                    Rtl::SameTextView(k2, k)) {
                    first = false;
                    break;
                }
            }
            if (first)
                b.keys[h] = hash << 32 | (i + 1);
        }
        b.keyed = true;
    }
    const std::string_view want = trimView(ident);
    const uint64_t hash = uint32_t(Rtl::AnsiHashText(want));
    const size_t mask = b.keys.size() - 1;
    for (size_t h = hash & mask; b.keys[h]; h = (h + 1) & mask) {
        if (b.keys[h] >> 32 != hash)
            continue;
        if (keyOf(lines_[(b.keys[h] & 0xffffffffu) - 1], k, v) && Rtl::SameTextView(k, want))
            return std::string(v.substr(0, kProfileValueMax));
    }
    return def;
}

int TProfileText::ReadInteger(const std::string &section, const std::string &ident, int def) const
{
    std::string s = ReadString(section, ident, "");
    return s.empty() ? def : StrToIntDef(s, def);
}

void TProfileText::WriteString(const std::string &section, const std::string &ident, const std::string &value)
{
    changed();
    const std::string_view key = trimView(ident);
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key).append(1, '=').append(TrimLeft(singleLine(value)));
    size_t b, e;
    if (!findSection(section, b, e)) {
        if (!lines_.empty() && !trimView(lines_.back()).empty())
            lines_.emplace_back();
        std::string header(1, '[');
        header.append(trimView(section)).append(1, ']');
        lines_.push_back(own(std::move(header)));
        lines_.push_back(own(std::move(line)));
        return;
    }
    size_t i = findKey(b, e, key);
    if (i != std::string::npos) {
        lines_[i] = own(std::move(line));
        return;
    }
    // After the section's last non-empty line.
    size_t at = e;
    while (at > b && trimView(lines_[at - 1]).empty())
        --at;
    lines_.insert(lines_.begin() + long(at), own(std::move(line)));
}

void TProfileText::WriteInteger(const std::string &section, const std::string &ident, int value)
{
    WriteString(section, ident, IntToStr(value));
}

bool TProfileText::EraseSection(const std::string &section)
{
    size_t b, e;
    if (!findSection(section, b, e))
        return false;
    changed();
    lines_.erase(lines_.begin() + long(b - 1), lines_.begin() + long(e));
    return true;
}

bool TProfileText::DeleteKey(const std::string &section, const std::string &ident)
{
    size_t b, e;
    if (!findSection(section, b, e))
        return false;
    size_t i = findKey(b, e, ident);
    if (i == std::string::npos)
        return false;
    changed();
    lines_.erase(lines_.begin() + long(i));
    return true;
}

void TProfileText::ReadSections(TStringList &strings) const
{
    strings.Clear();
    for (std::string_view l : lines_) {
        std::string_view t = trimView(l);
        if (isHeader(t))
            strings.Add(std::string(headerView(t)));
    }
}

// Calls f(key, value) for every key line of the section, in file order.
template <class F>
void TProfileText::forEachKey(const std::string &section, F f) const
{
    size_t b, e;
    if (!findSection(section, b, e))
        return;
    std::string_view k, v;
    for (size_t i = b; i < e; ++i)
        if (keyOf(lines_[i], k, v))
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
}

void TMemIniFile::Section::place(uint32_t lineIndex)
{
    const size_t mask = keySlots.size() - 1;
    Line &line = lines[lineIndex];
    line.hash = uint32_t(Rtl::AnsiHashText(line.name));
    line.shadowed = false;
    size_t h = line.hash & mask;
    while (keySlots[h]) {
        const Line &other = lines[keySlots[h] - 1];
        if (other.hash == line.hash && Rtl::SameTextView(other.name, line.name)) {
            line.shadowed = true;  // the first of the name stays
            return;
        }
        h = (h + 1) & mask;
    }
    keySlots[h] = lineIndex + 1;
}

void TMemIniFile::Section::rebuild()
{
    size_t size = 16;
    while (size < lines.size() * 2)
        size *= 2;
    keySlots.assign(size, 0);
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].hasValue)
            place(uint32_t(i));
}

TMemIniFile::Line *TMemIniFile::Section::find(std::string_view ident)
{
    if (keySlots.empty()) {
        if (lines.size() <= kLinearLines) {
            for (Line &l : lines)
                if (l.hasValue && Rtl::SameTextView(l.name, ident))
                    return &l;
            return nullptr;
        }
        rebuild();
    }
    if (next < lines.size()) {
        Line &l = lines[next];
        if (l.hasValue && !l.shadowed && Rtl::SameTextView(l.name, ident)) {
            ++next;
            return &l;
        }
    }
    const size_t mask = keySlots.size() - 1;
    const uint32_t hash = uint32_t(Rtl::AnsiHashText(ident));
    for (size_t h = hash & mask; keySlots[h]; h = (h + 1) & mask) {
        Line &l = lines[keySlots[h] - 1];
        if (l.hash == hash && Rtl::SameTextView(l.name, ident)) {
            next = keySlots[h];
            return &l;
        }
    }
    return nullptr;
}

void TMemIniFile::Section::add(Line line)
{
    lines.push_back(std::move(line));
    if (keySlots.empty())
        return;
    if (lines.size() * 2 > keySlots.size())
        rebuild();
    else if (lines.back().hasValue)
        place(uint32_t(lines.size() - 1));
}

void TMemIniFile::Section::erase(size_t i)
{
    lines.erase(lines.begin() + long(i));
    keySlots.clear();  // built again by the next lookup
}

TMemIniFile::TMemIniFile(std::string fileName) : TCustomIniFile(std::move(fileName))
{
    struct stat st;
    if (stat(FileName.c_str(), &st) != 0)
        return;  // a missing file is an empty object
    std::string text;
    if (!fileio::ReadFile(FileName, text))
        throw EFOpenError("Cannot open file " + FileName);
    load(std::move(text));
}

void TMemIniFile::Clear()
{
    last_ = nullptr;
    sections_.clear();
    sectionIndex_.clear();
    owned_.clear();
    text_.reset();
}

std::string_view TMemIniFile::own(std::string_view s)
{
    owned_.emplace_back(s);
    return owned_.back();
}

TMemIniFile::Section *TMemIniFile::find(std::string_view section)
{
    if (last_ && Rtl::SameTextView(last_->name, section))
        return last_;
    auto it = sectionIndex_.find(section);
    if (it == sectionIndex_.end())
        return nullptr;
    return last_ = it->second;
}

TMemIniFile::Section &TMemIniFile::findOrAdd(std::string_view section, bool stable)
{
    auto it = sectionIndex_.find(section);
    if (it != sectionIndex_.end())
        return *it->second;
    sections_.push_back(std::make_unique<Section>());
    Section *s = sections_.back().get();
    s->name = stable ? section : own(section);
    sectionIndex_.emplace(s->name, s);
    return *s;
}

void TMemIniFile::SetStrings(const std::string &text) { load(text); }

// The lines are views of the text, which the object keeps: a load makes no
// string per line.
void TMemIniFile::load(std::string text)
{
    Clear();
    text_ = std::make_unique<std::string>(std::move(text));
    Section *current = nullptr;
    // Sections of one file are mostly alike: room for as many lines as the
    // one before saves growing the vector line by line. A section that
    // turned out much smaller gives the room back.
    auto close = [](Section *s) {
        if (s && s->lines.capacity() > 2 * s->lines.size() + 16)
            s->lines.shrink_to_fit();
    };
    ForEachIniLine(*text_, [&](const TIniLine &l) {
        if (l.kind == TIniLine::Header) {
            close(current);
            const size_t before = current ? current->lines.size() : 0;
            current = &findOrAdd(l.name, true);
            if (current->lines.empty())
                current->lines.reserve(before);
        } else if (!current)
            return;  // before the first section
        else if (l.kind == TIniLine::Key)
            current->add(Line{l.name, l.value, true});
        else
            current->add(Line{l.raw, {}, false});
    });
    close(current);
}

std::string TMemIniFile::GetStrings() const
{
    size_t n = 0;
    for (const auto &s : sections_) {
        n += s->name.size() + 6;
        for (const Line &l : s->lines)
            n += l.name.size() + l.value.size() + 3;
    }
    std::string r;
    r.reserve(n);
    for (const auto &s : sections_) {
        r += "[";
        r += s->name;
        r += "]\r\n";
        for (const Line &l : s->lines) {
            r += l.name;
            if (l.hasValue) {
                r += "=";
                r += l.value;
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
    Line *l = s->find(ident);
    return l ? std::string(l->value) : def;
}

void TMemIniFile::WriteString(const std::string &section, const std::string &ident, const std::string &value)
{
    Section &s = findOrAdd(section, false);
    const std::string_view v = own(singleLine(value));
    if (Line *l = s.find(ident)) {
        l->value = v;
        return;
    }
    s.add(Line{own(ident), v, true});
}

void TMemIniFile::ReadSections(TStringList &strings)
{
    strings.Clear();
    for (const auto &s : sections_)
        strings.Add(std::string(s->name));
}

void TMemIniFile::ReadSection(const std::string &section, TStringList &strings)
{
    strings.Clear();
    if (Section *s = find(section))
        for (const Line &l : s->lines)
            if (l.hasValue)
                strings.Add(std::string(l.name));
}

void TMemIniFile::ReadSectionValues(const std::string &section, TStringList &strings)
{
    strings.Clear();
    if (Section *s = find(section))
        for (const Line &l : s->lines)
            if (l.hasValue)
                strings.Add(std::string(l.name).append(1, '=').append(l.value));
}

void TMemIniFile::EraseSection(const std::string &section)
{
    auto it = sectionIndex_.find(std::string_view(section));
    if (it == sectionIndex_.end())
        return;
    Section *s = it->second;
    sectionIndex_.erase(it);
    if (last_ == s)
        last_ = nullptr;
    for (size_t i = 0; i < sections_.size(); ++i)
        if (sections_[i].get() == s) {
            sections_.erase(sections_.begin() + long(i));
            break;
        }
}

void TMemIniFile::DeleteKey(const std::string &section, const std::string &ident)
{
    Section *s = find(section);
    if (!s)
        return;
    if (Line *l = s->find(ident))
        s->erase(size_t(l - s->lines.data()));
}

bool TMemIniFile::SectionExists(const std::string &section) { return find(section) != nullptr; }

bool TMemIniFile::ValueExists(const std::string &section, const std::string &ident)
{
    Section *s = find(section);
    return s && s->find(ident);
}

void TMemIniFile::UpdateFile()
{
    if (!fileio::AtomicWriteFile(FileName, GetStrings()))
        throw EFCreateError("Cannot create file " + FileName);
}
