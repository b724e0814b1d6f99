#include "compilation/Catalogue.h"

#include "platform/Classes.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <csignal>
#include <sys/mman.h>
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

// ---- the copy's bytes ---------------------------------------------------------------
//
// The catalogue is mapped read-only rather than read into memory. Reading it
// whole costs a fresh buffer as large as the file (tens of megabytes at
// 100,000 discs), which the kernel must clear page by page before the copy
// from its page cache lands in it: at start-up that was about half the time
// to the first painted window, and the file's contents stood twice in
// memory. A mapping shares the page cache's copy and costs only the page
// tables. Reading only the parts the first paint needs would still have to
// walk every section for the selectors' artist and title, so it saves
// nothing over the mapping and costs a second way of reading.
//
// The mapping stays valid while the program replaces the file: every write
// of the catalogue is a rename of a new file over the old one, and the old
// file lives on, unnamed, for as long as it is mapped. Another program may
// however cut the file short in place (truncate it, or rewrite it through
// O_TRUNC): touching a mapped page past the new end then raises SIGBUS. A
// handler catches exactly that fault inside a mapping made here, puts zero
// pages over the rest of that mapping so the read goes on (reading zero
// bytes where the cut text stood), and marks the copy cut short:
// the next Refresh reads the file again whatever its stamp says, and every
// caller refreshes before it reads a disc. Any other SIGBUS goes to the
// handler that was there before, or ends the program as it would have.
// Where the file cannot be mapped, or every guard slot is taken, it is read
// into memory as before: large copies in huge pages where the system offers
// them, so tens of megabytes are read without a page fault per 4 KB.

namespace {

struct GuardSlot {
    std::atomic<uintptr_t> begin{0};
    std::atomic<size_t> length{0};
    std::atomic<bool> cut{false};
    std::atomic<bool> taken{false};
};
constexpr int kGuardSlots = 16;
GuardSlot guardSlots[kGuardSlots];
struct sigaction previousBusAction;
uintptr_t pageSize = 4096;
std::once_flag guardInstalled;

void onBus(int sig, siginfo_t *info, void *context)
{
    if (info && info->si_code == BUS_ADRERR) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
        for (GuardSlot &slot : guardSlots) {
            const uintptr_t begin = slot.begin.load();
            const size_t length = slot.length.load();
            if (!begin || at < begin || at - begin >= length)
                continue;
            const uintptr_t page = at & ~(pageSize - 1);
            void *zero = mmap(reinterpret_cast<void *>(page), begin + length - page, PROT_READ,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (zero == MAP_FAILED)
                break;
            slot.cut.store(true);
            return;
        }
    }
    // Not a fault of ours.
    if ((previousBusAction.sa_flags & SA_SIGINFO) && previousBusAction.sa_sigaction) {
        previousBusAction.sa_sigaction(sig, info, context);
        return;
    }
    if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(sig);
        return;
    }
    // The default action: a fault repeats on return and ends the program;
    // a signal that was sent is sent again.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGBUS, &dfl, nullptr);
    if (!info || info->si_code <= 0)
        raise(sig);
}

void installGuard()
{
    std::call_once(guardInstalled, [] {
        pageSize = uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction act {};
        act.sa_sigaction = onBus;
        act.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&act.sa_mask);
        sigaction(SIGBUS, &act, &previousBusAction);
    });
}

// A free slot for the mapping, or -1.
int takeGuard(char *begin, size_t length)
{
    installGuard();
    for (int i = 0; i < kGuardSlots; ++i) {
        bool expected = false;
        if (!guardSlots[i].taken.compare_exchange_strong(expected, true))
            continue;
        guardSlots[i].cut.store(false);
        guardSlots[i].length.store(length);
        guardSlots[i].begin.store(reinterpret_cast<uintptr_t>(begin));
        return i;
    }
    return -1;
}

void dropGuard(int i)
{
    guardSlots[i].begin.store(0);
    guardSlots[i].length.store(0);
    guardSlots[i].cut.store(false);
    guardSlots[i].taken.store(false);
}

} // namespace

TCatalogueCache::Buffer::~Buffer() { release(); }

void TCatalogueCache::Buffer::release()
{
    if (guard_ >= 0)
        dropGuard(guard_);
    guard_ = -1;
    if (kind_ == Kind::Heap)
        std::free(data_);
    else
        munmap(data_, capacity_);
    data_ = nullptr;
    capacity_ = size_ = 0;
    kind_ = Kind::Heap;
}

bool TCatalogueCache::Buffer::mapFile(int fd, size_t size)
{
    release();
    if (size == 0)
        return true;
    installGuard();
    // MAP_POPULATE: the page tables are filled in one go rather than by a
    // fault per few pages while the sections are walked.
    void *m = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (m == MAP_FAILED)
        return false;
    const size_t length = (size + pageSize - 1) & ~(pageSize - 1);
    const int guard = takeGuard(static_cast<char *>(m), length);
    if (guard < 0) {
        munmap(m, size);
        return false;
    }
    data_ = static_cast<char *>(m);
    capacity_ = length;
    size_ = size;
    kind_ = Kind::File;
    guard_ = guard;
    return true;
}

bool TCatalogueCache::Buffer::cutShort() const { return guard_ >= 0 && guardSlots[guard_].cut.load(); }

bool TCatalogueCache::Buffer::reserve(size_t capacity)
{
    constexpr size_t kMapFrom = size_t(4) << 20;
    char *p = nullptr;
    bool mapped = false;
    if (capacity >= kMapFrom) {
        void *m = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m != MAP_FAILED) {
            madvise(m, capacity, MADV_HUGEPAGE);
            p = static_cast<char *>(m);
            mapped = true;
        }
    }
    if (!p)
        p = static_cast<char *>(std::malloc(capacity ? capacity : 1));
    if (!p)
        return false;
    if (size_)
        std::memcpy(p, data_, size_);
    const size_t keep = size_;
    release();
    data_ = p;
    capacity_ = capacity;
    size_ = keep;
    kind_ = mapped ? Kind::Anonymous : Kind::Heap;
    return true;
}

void TCatalogueCache::Buffer::swap(Buffer &other)
{
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(size_, other.size_);
    std::swap(kind_, other.kind_);
    std::swap(guard_, other.guard_);
}

namespace {

// Reads the open file whole into the buffer, within the budget.
bool readWithin(int fd, size_t expected, TCatalogueCache::Buffer &buf)
{
    if (expected > kMaxCatalogueBytes || !buf.reserve(expected + 1))
        return false;
    while (true) {
        if (buf.size() == buf.capacity()) {
            // The file grew since it was looked at.
            const size_t more = std::min(kMaxCatalogueBytes + 1, buf.capacity() * 2);
            if (buf.capacity() > kMaxCatalogueBytes || !buf.reserve(more))
                return false;
        }
        ssize_t n = read(fd, buf.data() + buf.size(), buf.capacity() - buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return buf.size() <= kMaxCatalogueBytes;
        buf.setSize(buf.size() + size_t(n));
    }
}

} // namespace

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
    if (known_ && now == stamp_ && !bytes_.cutShort())
        return false;
    Buffer bytes;
    if (now.exists) {
        ++readCount;
        int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw EFOpenError("Cannot open file " + path_);
        // The size is checked against the budget before anything is
        // allocated; the stamp is the one of the file actually read.
        struct stat fst;
        bool ok = fstat(fd, &fst) == 0 && S_ISREG(fst.st_mode) && size_t(fst.st_size) <= kMaxCatalogueBytes &&
                  (bytes.mapFile(fd, size_t(fst.st_size)) || readWithin(fd, size_t(fst.st_size), bytes));
        if (ok) {
            now.size = (unsigned long long)fst.st_size;
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
    const std::string_view text = bytes_.view();
    const char *base = text.data();
    Range *open = nullptr;
    auto place = [&](size_t i) {
        size_t h = TIniNameHash()(sections_[i].name) & (size - 1);
        while (slots_[h])
            h = (h + 1) & (size - 1);
        slots_[h] = uint32_t(i + 1);
    };
    ForEachIniHeader(text, [&](std::string_view name, std::string_view raw) {
        const size_t at = size_t(raw.data() - base);
        if (open)
            open->end = at;
        const size_t after = at + raw.size();
        int i = find(name);
        if (i < 0) {
            if ((sections_.size() + 1) * 2 > size) {
                size *= 2;
                slots_.assign(size, 0);
                for (size_t j = 0; j < sections_.size(); ++j)
                    place(j);
            }
            sections_.push_back(Entry{name, Range{after, after, -1}});
            place(sections_.size() - 1);
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
        open->end = text.size();
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
        const std::string_view body = bytes_.view().substr(r->begin, r->end - r->begin);
        ForEachIniLine(body, [&](const TIniLine &l) {
            if (l.kind == TIniLine::Key)
                go = f(l.name, l.value);
            return go;
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
        text.append(bytes_.view().substr(r->begin, r->end - r->begin)).append("\r\n");
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
