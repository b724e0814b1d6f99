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

std::string_view trimView(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

bool isHeader(std::string_view trimmed) { return trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.find(']') != std::string_view::npos; }

std::string headerName(std::string_view trimmed)
{
    size_t close = trimmed.find(']');
    return std::string(trimView(trimmed.substr(1, close - 1)));
}

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

// ---- TIniFile: the profile functions -------------------------------------------------
//
// The file is kept as its lines. Section and key names are trimmed and
// matched without regard to case; the first of duplicate sections or keys
// counts. Comment lines (";") and anything else unknown stay where they are.

namespace {
constexpr size_t kProfileValueMax = 2047;
}

namespace inifile {

struct ProfileFile {
    std::vector<std::string> lines;
    bool endsWithBreak = true;

    bool load(const std::string &path)
    {
        std::string text;
        if (!fileio::ReadFile(path, text))
            return false;
        ForEachLine(text, [&](std::string_view l) { lines.emplace_back(l); });
        return true;
    }

    std::string text() const
    {
        std::string r;
        for (const std::string &l : lines) {
            r += l;
            r += "\r\n";
        }
        return r;
    }

    // [begin, end) of the section's body lines; begin-1 is the header.
    bool findSection(const std::string &section, size_t &begin, size_t &end) const
    {
        const std::string want(trimView(section));
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string_view t = trimView(lines[i]);
            if (isHeader(t) && SameText(headerName(t), want)) {
                begin = i + 1;
                end = begin;
                while (end < lines.size() && !isHeader(trimView(lines[end])))
                    ++end;
                return true;
            }
        }
        return false;
    }

    static bool keyOf(const std::string &line, std::string &key, std::string &value)
    {
        std::string_view t = trimView(line);
        if (t.empty() || t.front() == ';')
            return false;
        size_t eq = t.find('=');
        if (eq == std::string_view::npos)
            return false;
        key = std::string(trimView(t.substr(0, eq)));
        value = std::string(trimView(t.substr(eq + 1)));
        return true;
    }

    // Index of the key's line inside [begin, end), or npos.
    size_t findKey(size_t begin, size_t end, const std::string &ident) const
    {
        const std::string want(trimView(ident));
        std::string k, v;
        for (size_t i = begin; i < end; ++i)
            if (keyOf(lines[i], k, v) && SameText(k, want))
                return i;
        return std::string::npos;
    }
};

void saveProfile(const std::string &path, const ProfileFile &f)
{
    if (!fileio::AtomicWriteFile(path, f.text()))
        throw EIniFileException("Unable to write to " + path);
}

} // namespace inifile

using inifile::ProfileFile;

struct TIniFile::Held {
    ProfileFile file;
    bool loaded = false;
};

bool TIniFile::Hold()
{
    if (!held_) {
        held_ = std::make_shared<Held>();
        held_->loaded = held_->file.load(FileName);
    }
    return held_->loaded;
}

void TIniFile::Flush()
{
    if (!held_)
        return;
    std::shared_ptr<Held> held = std::move(held_);
    inifile::saveProfile(FileName, held->file);
}

bool TIniFile::loadLines(ProfileFile &f) const
{
    if (!held_)
        return f.load(FileName);
    f = held_->file;
    return held_->loaded;
}

void TIniFile::saveLines(ProfileFile &f)
{
    if (held_) {
        held_->file = std::move(f);
        held_->loaded = true;
    } else
        inifile::saveProfile(FileName, f);
}

std::string TIniFile::ReadString(const std::string &section, const std::string &ident, const std::string &def)
{
    ProfileFile f;
    if (!loadLines(f))
        return def;
    size_t b, e;
    if (!f.findSection(section, b, e))
        return def;
    size_t i = f.findKey(b, e, ident);
    if (i == std::string::npos)
        return def;
    std::string k, v;
    ProfileFile::keyOf(f.lines[i], k, v);
    if (v.size() > kProfileValueMax)
        v.resize(kProfileValueMax);
    return v;
}

void TIniFile::WriteString(const std::string &section, const std::string &ident, const std::string &value)
{
    ProfileFile f;
    loadLines(f);  // a missing file is created
    const std::string key(trimView(ident));
    const std::string line = key + "=" + TrimLeft(singleLine(value));
    size_t b, e;
    if (!f.findSection(section, b, e)) {
        if (!f.lines.empty() && !trimView(f.lines.back()).empty())
            f.lines.emplace_back();
        std::string header(1, '[');
        header.append(trimView(section)).append(1, ']');
        f.lines.push_back(std::move(header));
        f.lines.push_back(line);
    } else {
        size_t i = f.findKey(b, e, key);
        if (i != std::string::npos) {
            f.lines[i] = line;
        } else {
            // After the section's last non-empty line.
            size_t at = e;
            while (at > b && trimView(f.lines[at - 1]).empty())
                --at;
            f.lines.insert(f.lines.begin() + long(at), line);
        }
    }
    saveLines(f);
}

void TIniFile::ReadSections(TStringList &strings)
{
    strings.Clear();
    ProfileFile f;
    if (!loadLines(f))
        return;
    for (const std::string &l : f.lines) {
        std::string_view t = trimView(l);
        if (isHeader(t))
            strings.Add(headerName(t));
    }
}

// Calls f(key, value) for every key line of the section, in file order.
template <class F>
static void forEachKey(const ProfileFile &file, const std::string &section, F f)
{
    size_t b, e;
    if (!file.findSection(section, b, e))
        return;
    std::string k, v;
    for (size_t i = b; i < e; ++i)
        if (ProfileFile::keyOf(file.lines[i], k, v))
            f(k, v);
}

void TIniFile::ReadSection(const std::string &section, TStringList &strings)
{
    strings.Clear();
    ProfileFile file;
    if (loadLines(file))
        forEachKey(file, section, [&](const std::string &k, const std::string &) { strings.Add(k); });
}

void TIniFile::ReadSectionValues(const std::string &section, TStringList &strings)
{
    strings.Clear();
    ProfileFile file;
    if (loadLines(file))
        forEachKey(file, section, [&](const std::string &k, const std::string &v) { strings.Add(k + "=" + v); });
}

void TIniFile::EraseSection(const std::string &section)
{
    ProfileFile f;
    size_t b, e;
    if (!loadLines(f) || !f.findSection(section, b, e))
        return;
    f.lines.erase(f.lines.begin() + long(b - 1), f.lines.begin() + long(e));
    saveLines(f);
}

void TIniFile::DeleteKey(const std::string &section, const std::string &ident)
{
    ProfileFile f;
    size_t b, e;
    if (!loadLines(f) || !f.findSection(section, b, e))
        return;
    size_t i = f.findKey(b, e, ident);
    if (i == std::string::npos)
        return;
    f.lines.erase(f.lines.begin() + long(i));
    saveLines(f);
}

// ---- TMemIniFile: the in-memory object ------------------------------------------------

TMemIniFile::Line *TMemIniFile::Section::find(const std::string &ident)
{
    for (Line &l : lines)
        if (l.hasValue && SameText(l.name, ident))
            return &l;
    return nullptr;
}

TMemIniFile::TMemIniFile(std::string fileName) : TCustomIniFile(std::move(fileName))
{
    struct stat st;
    if (stat(FileName.c_str(), &st) != 0)
        return;  // a missing file is an empty object
    std::string text;
    if (!fileio::ReadFile(FileName, text))
        throw EFOpenError("Cannot open file " + FileName);
    SetStrings(text);
}

void TMemIniFile::Clear()
{
    sections_.clear();
    sectionIndex_.clear();
}

TMemIniFile::Section *TMemIniFile::find(const std::string &section)
{
    auto it = sectionIndex_.find(AnsiUpperCase(section));
    return it == sectionIndex_.end() ? nullptr : it->second;
}

TMemIniFile::Section &TMemIniFile::findOrAdd(const std::string &section)
{
    std::string folded = AnsiUpperCase(section);
    auto it = sectionIndex_.find(folded);
    if (it != sectionIndex_.end())
        return *it->second;
    sections_.push_back(std::make_unique<Section>());
    Section *s = sections_.back().get();
    s->name = section;
    sectionIndex_.emplace(std::move(folded), s);
    return *s;
}

void TMemIniFile::SetStrings(const std::string &text)
{
    Clear();
    Section *current = nullptr;
    ForEachLine(text, [&](std::string_view raw) {
        std::string_view t = trimView(raw);
        if (t.empty() || t.front() == ';')
            return;
        if (isHeader(t) && t.back() == ']') {
            current = &findOrAdd(std::string(trimView(t.substr(1, t.size() - 2))));
            return;
        }
        if (!current)
            return;
        size_t eq = raw.find('=');
        Line l;
        if (eq == std::string_view::npos) {
            l.name = std::string(raw);
            l.hasValue = false;
        } else {
            l.name = std::string(trimView(raw.substr(0, eq)));
            l.value = std::string(raw.substr(eq + 1));
        }
        current->lines.push_back(std::move(l));
    });
}

std::string TMemIniFile::GetStrings() const
{
    std::string r;
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
    return l ? l->value : def;
}

void TMemIniFile::WriteString(const std::string &section, const std::string &ident, const std::string &value)
{
    Section &s = findOrAdd(section);
    std::string v = singleLine(value);
    if (Line *l = s.find(ident)) {
        l->value = std::move(v);
        return;
    }
    s.lines.push_back(Line{ident, std::move(v), true});
}

void TMemIniFile::ReadSections(TStringList &strings)
{
    strings.Clear();
    for (const auto &s : sections_)
        strings.Add(s->name);
}

void TMemIniFile::ReadSection(const std::string &section, TStringList &strings)
{
    strings.Clear();
    if (Section *s = find(section))
        for (const Line &l : s->lines)
            if (l.hasValue)
                strings.Add(l.name);
}

void TMemIniFile::ReadSectionValues(const std::string &section, TStringList &strings)
{
    strings.Clear();
    if (Section *s = find(section))
        for (const Line &l : s->lines)
            if (l.hasValue)
                strings.Add(l.name + "=" + l.value);
}

void TMemIniFile::EraseSection(const std::string &section)
{
    auto it = sectionIndex_.find(AnsiUpperCase(section));
    if (it == sectionIndex_.end())
        return;
    Section *s = it->second;
    sectionIndex_.erase(it);
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
    for (size_t i = 0; i < s->lines.size(); ++i)
        if (s->lines[i].hasValue && SameText(s->lines[i].name, ident)) {
            s->lines.erase(s->lines.begin() + long(i));
            return;
        }
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
