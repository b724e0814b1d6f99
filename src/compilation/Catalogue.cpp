#include "compilation/Catalogue.h"

#include "platform/Classes.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace catalogue {

std::string TrackKey(int i) { return "track" + std::to_string(i); }
std::string TimeKey(int i) { return "time" + std::to_string(i); }
std::string ExttKey(int i) { return "extt" + std::to_string(i); }

namespace {
std::atomic<unsigned long> readCount{0};
}

unsigned long ReadCount() { return readCount.load(); }

std::unique_ptr<TMemIniFile> Open(const std::string &path)
{
    ++readCount;
    return std::make_unique<TMemIniFile>(path);
}

// ---- the main window's copy ---------------------------------------------------------

TCatalogueCache::TCatalogueCache(std::string path) : path_(std::move(path)) {}

bool TCatalogueCache::Refresh()
{
    struct stat st;
    FileStamp now;
    if (stat(path_.c_str(), &st) == 0) {
        now.exists = true;
        now.dev = st.st_dev;
        now.ino = st.st_ino;
        now.size = (unsigned long long)st.st_size;
        now.mtimeSec = st.st_mtim.tv_sec;
        now.mtimeNsec = st.st_mtim.tv_nsec;
    } else if (errno != ENOENT && errno != ENOTDIR) {
        throw EFOpenError("Cannot open file " + path_);
    }
    if (known_ && now == stamp_)
        return false;
    std::string bytes;
    if (now.exists) {
        ++readCount;
        int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw EFOpenError("Cannot open file " + path_);
        struct stat fst;
        // The file's size is checked against the budget before anything is
        // allocated for it, and read through the same descriptor.
        bool ok = fstat(fd, &fst) == 0 && S_ISREG(fst.st_mode) && size_t(fst.st_size) <= kMaxCatalogueBytes;
        if (ok) {
            bytes.resize(size_t(fst.st_size));
            size_t got = 0;
            while (ok && got < bytes.size()) {
                ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;  // the file became shorter: what was read counts
                got += size_t(n);
            }
            bytes.resize(got);
            // Grown since: the rest up to the budget.
            char extra[65536];
            while (ok) {
                ssize_t n = read(fd, extra, sizeof extra);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    ok = false;
                if (n <= 0)
                    break;
                if (bytes.size() + size_t(n) > kMaxCatalogueBytes)
                    ok = false;
                else
                    bytes.append(extra, size_t(n));
            }
            now.size = fst.st_size;
            now.ino = fst.st_ino;
            now.dev = fst.st_dev;
            now.mtimeSec = fst.st_mtim.tv_sec;
            now.mtimeNsec = fst.st_mtim.tv_nsec;
        }
        close(fd);
        if (!ok)
            throw EFOpenError("Cannot open file " + path_);
    }
    bytes_.swap(bytes);
    stamp_ = now;
    known_ = true;
    parse();
    return true;
}

void TCatalogueCache::parse()
{
    sections_.clear();
    more_.clear();
    size_t size = 16;
    slots_.assign(size, 0);
    const char *base = bytes_.data();
    Range *open = nullptr;
    auto grow = [&] {
        size *= 2;
        slots_.assign(size, 0);
        for (size_t i = 0; i < sections_.size(); ++i) {
            size_t h = TIniNameHash()(sections_[i].name) & (size - 1);
            while (slots_[h])
                h = (h + 1) & (size - 1);
            slots_[h] = uint32_t(i + 1);
        }
    };
    ForEachIniLine(bytes_, [&](const TIniLine &l) {
        if (l.kind != TIniLine::Header)
            return;
        const size_t at = size_t(l.raw.data() - base);
        if (open)
            open->end = at;
        const size_t after = at + l.raw.size();
        int i = find(l.name);
        if (i < 0) {
            if ((sections_.size() + 1) * 2 > size)
                grow();
            sections_.push_back(Entry{l.name, Range{after, after, -1}});
            size_t h = TIniNameHash()(l.name) & (size - 1);
            while (slots_[h])
                h = (h + 1) & (size - 1);
            slots_[h] = uint32_t(sections_.size());
            open = &sections_.back().body;
        } else {
            // A section standing again: its lines join the first one's.
            Range *last = &sections_[size_t(i)].body;
            while (last->next >= 0)
                last = &more_[size_t(last->next)];
            last->next = int(more_.size());
            more_.push_back(Range{after, after, -1});
            open = &more_.back();
        }
    });
    if (open)
        open->end = bytes_.size();
}

int TCatalogueCache::find(std::string_view section) const
{
    if (slots_.empty())
        return -1;
    const size_t mask = slots_.size() - 1;
    for (size_t h = TIniNameHash()(section) & mask; slots_[h]; h = (h + 1) & mask)
        if (TIniNameEqual()(sections_[slots_[h] - 1].name, section))
            return int(slots_[h] - 1);
    return -1;
}

// Calls f(key, value) for the key lines of section i in order until f
// returns false.
template <class F>
void TCatalogueCache::forEachKey(int i, F f) const
{
    if (i < 0)
        return;
    bool go = true;
    for (const Range *r = &sections_[size_t(i)].body; r && go;
         r = r->next >= 0 ? &more_[size_t(r->next)] : nullptr) {
        const std::string_view body = std::string_view(bytes_).substr(r->begin, r->end - r->begin);
        ForEachIniLine(body, [&](const TIniLine &l) {
            if (go && l.kind == TIniLine::Key)
                go = f(l.name, l.value);
        });
    }
}

std::string TCatalogueCache::ReadString(std::string_view section, std::string_view ident, const std::string &def) const
{
    std::string r = def;
    forEachKey(find(section), [&](std::string_view k, std::string_view v) {
        if (!Rtl::SameTextView(k, ident))
            return true;
        r.assign(v);
        return false;
    });
    return r;
}

void TCatalogueCache::ReadPair(int i, std::string_view key1, std::string_view key2, std::string &value1,
                               std::string &value2, const std::string &def) const
{
    bool got1 = false, got2 = false;
    forEachKey(i, [&](std::string_view k, std::string_view v) {
        if (!got1 && Rtl::SameTextView(k, key1)) {
            value1.assign(v);
            got1 = true;
        } else if (!got2 && Rtl::SameTextView(k, key2)) {
            value2.assign(v);
            got2 = true;
        }
        return !(got1 && got2);
    });
    if (!got1)
        value1 = def;
    if (!got2)
        value2 = def;
}

std::unique_ptr<TMemIniFile> TCatalogueCache::Section(std::string_view section) const
{
    auto ini = std::make_unique<TMemIniFile>(std::string());
    const int i = find(section);
    if (i < 0)
        return ini;
    std::string text = "[";
    text.append(sections_[size_t(i)].name).append("]\r\n");
    for (const Range *r = &sections_[size_t(i)].body; r; r = r->next >= 0 ? &more_[size_t(r->next)] : nullptr)
        text.append(bytes_, r->begin, r->end - r->begin).append("\r\n");
    ini->SetStrings(text);
    return ini;
}

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
