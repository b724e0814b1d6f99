#include "platform/VersionResource.h"

#include "platform/Cp1252.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace verinfo {
namespace {

// Limits on what we are willing to read of a file. A version block is at
// most 64 KiB (its length is a 16-bit number); everything around it is
// bounded so that a hostile file cannot make us read or allocate much.
constexpr uint64_t kMaxHeaders = 1u << 20;     // bytes of section/program/PE section headers
constexpr uint64_t kMaxDescription = 1u << 20; // a note description we look at
constexpr uint32_t kMaxBlock = 0xFFFF;

// ---- byte sources ------------------------------------------------------------

class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly n bytes at off; false when they are not all there.
    virtual bool read(uint64_t off, void *dst, size_t n) const = 0;

    bool readVec(uint64_t off, uint64_t n, std::vector<uint8_t> &out) const
    {
        if (n > size() || off > size() - n)
            return false;
        out.assign(static_cast<size_t>(n), 0);
        return n == 0 || read(off, out.data(), static_cast<size_t>(n));
    }
};

class MemSource : public Source {
public:
    MemSource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read(uint64_t off, void *dst, size_t n) const override
    {
        if (n > size_ || off > size_ - n)
            return false;
        if (n)
            std::memcpy(dst, data_ + off, n);
        return true;
    }
private:
    const uint8_t *data_;
    size_t size_;
};

class FileSource : public Source {
public:
    explicit FileSource(const std::string &name)
    {
        if (name.empty())
            return;
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            return;
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        size_ = static_cast<uint64_t>(st.st_size);
    }
    ~FileSource() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;

    bool ok() const { return fd_ >= 0; }
    uint64_t size() const override { return size_; }
    bool read(uint64_t off, void *dst, size_t n) const override
    {
        if (fd_ < 0 || n > size_ || off > size_ - n)
            return false;
        auto *p = static_cast<uint8_t *>(dst);
        while (n > 0) {
            ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(off));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false; // error, or the file shrank under us
            p += got;
            off += static_cast<uint64_t>(got);
            n -= static_cast<size_t>(got);
        }
        return true;
    }
private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

// ---- little/big-endian numbers -----------------------------------------------------

uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t *p) { return uint32_t(le16(p)) | (uint32_t(le16(p + 2)) << 16); }

struct Endian {
    bool little = true;
    uint16_t u16(const uint8_t *p) const { return little ? le16(p) : uint16_t((p[0] << 8) | p[1]); }
    uint32_t u32(const uint8_t *p) const
    {
        return little ? le32(p)
                      : (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    }
    uint64_t u64(const uint8_t *p) const
    {
        return little ? (uint64_t(u32(p)) | (uint64_t(u32(p + 4)) << 32))
                      : ((uint64_t(u32(p)) << 32) | uint64_t(u32(p + 4)));
    }
};

uint64_t alignUp(uint64_t v, uint64_t a) { return (v + (a - 1)) & ~(a - 1); }

// ---- the version tree ------------------------------------------------------------------

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

// UTF-16LE code units at [off, end) up to the first zero, as Windows-1252.
std::string ansiText(const uint8_t *b, size_t off, size_t end)
{
    std::string s;
    for (size_t i = off; i + 2 <= end; i += 2) {
        char16_t c = char16_t(le16(b + i));
        if (c == 0)
            break;
        int ch = cp1252::FromUnicode(c);
        s.push_back(ch < 0 ? '?' : char(ch));
    }
    return s;
}

// One node of a block, all offsets from the start of the block and all
// within it.
struct NodeView {
    size_t off = 0;
    size_t end = 0;
    uint16_t type = 0;
    std::string key;
    size_t valueOff = 0;
    size_t valueBytes = 0;
    size_t childOff = 0;
};

bool parseNode(const uint8_t *b, size_t limit, size_t off, NodeView &n)
{
    if (off > limit || limit - off < 6)
        return false;
    const size_t length = le16(b + off);
    if (length < 6 || length > limit - off)
        return false;
    n.off = off;
    n.end = off + length;
    const uint16_t valueLength = le16(b + off + 2);
    n.type = le16(b + off + 4);
    size_t k = off + 6;
    bool terminated = false;
    while (k + 2 <= n.end) {
        char16_t c = char16_t(le16(b + k));
        k += 2;
        if (c == 0) {
            terminated = true;
            break;
        }
    }
    if (!terminated)
        return false;
    n.key = ansiText(b, off + 6, k);
    n.valueOff = std::min<size_t>(alignUp(k, 4), n.end);
    const size_t declared = n.type == 1 ? size_t(valueLength) * 2 : size_t(valueLength);
    n.valueBytes = std::min(declared, n.end - n.valueOff);
    n.childOff = std::min<size_t>(alignUp(n.valueOff + n.valueBytes, 4), n.end);
    return true;
}

bool findChild(const uint8_t *b, const NodeView &parent, const std::string &name, NodeView &out)
{
    size_t pos = parent.childOff;
    while (pos < parent.end && parent.end - pos >= 6) {
        NodeView child;
        if (!parseNode(b, parent.end, pos, child))
            return false;
        if (sameName(child.key, name)) {
            out = child;
            return true;
        }
        pos = alignUp(child.end, 4); // child.end >= pos + 6: always moves on
    }
    return false;
}

// Length of a well-formed block at the start of p[0..n): the root node must
// be wholly there and be named VS_VERSION_INFO.
size_t blockLength(const uint8_t *p, size_t n)
{
    NodeView root;
    if (!parseNode(p, n, 0, root) || !sameName(root.key, "VS_VERSION_INFO"))
        return 0;
    return root.end;
}

bool takeBlock(const std::vector<uint8_t> &data, std::vector<uint8_t> &out)
{
    size_t len = blockLength(data.data(), data.size());
    if (len == 0)
        return false;
    out.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(len));
    return true;
}

// ---- ELF ---------------------------------------------------------------------------------

constexpr uint32_t kShtNote = 7;
constexpr uint32_t kPtNote = 4;

// Walks the notes in [off, off + size) of the file looking for ours.
bool findInNotes(const Source &src, const Endian &e, uint64_t off, uint64_t size, uint64_t align,
                 std::vector<uint8_t> &out)
{
    if (off >= src.size())
        return false;
    const uint64_t end = off + std::min(size, src.size() - off);
    const uint64_t a = align == 8 ? 8 : 4;
    const size_t ownerLen = std::strlen(kVersionNoteOwner);
    uint64_t pos = off;
    while (end - pos >= 12) {
        uint8_t h[12];
        if (!src.read(pos, h, sizeof h))
            return false;
        const uint32_t namesz = e.u32(h);
        const uint32_t descsz = e.u32(h + 4);
        const uint32_t type = e.u32(h + 8);
        const uint64_t nameOff = pos + 12;
        const uint64_t descOff = nameOff + alignUp(namesz, a);
        if (descOff > end || descsz > end - descOff)
            return false;
        if (type == kVersionNoteType && (namesz == ownerLen || namesz == ownerLen + 1)
            && descsz <= kMaxDescription) {
            char name[16] = {};
            if (src.read(nameOff, name, namesz) && std::memcmp(name, kVersionNoteOwner, ownerLen) == 0
                && name[ownerLen] == 0) {
                std::vector<uint8_t> desc;
                if (src.readVec(descOff, descsz, desc) && takeBlock(desc, out))
                    return true;
            }
        }
        const uint64_t next = descOff + alignUp(descsz, a);
        if (next <= pos || next > end)
            return false;
        pos = next;
    }
    return false;
}

bool findInElf(const Source &src, std::vector<uint8_t> &out)
{
    uint8_t h[64];
    if (src.size() < 52 || !src.read(0, h, 52))
        return false;
    if (h[0] != 0x7F || h[1] != 'E' || h[2] != 'L' || h[3] != 'F')
        return false;
    const bool is64 = h[4] == 2;
    if (h[4] != 1 && h[4] != 2)
        return false;
    if (h[5] != 1 && h[5] != 2)
        return false;
    Endian e;
    e.little = h[5] == 1;
    if (is64 && !src.read(0, h, 64))
        return false;

    uint64_t phoff, shoff;
    uint32_t phentsize, phnum, shentsize, shnum;
    if (is64) {
        phoff = e.u64(h + 32);
        shoff = e.u64(h + 40);
        phentsize = e.u16(h + 54);
        phnum = e.u16(h + 56);
        shentsize = e.u16(h + 58);
        shnum = e.u16(h + 60);
    } else {
        phoff = e.u32(h + 28);
        shoff = e.u32(h + 32);
        phentsize = e.u16(h + 42);
        phnum = e.u16(h + 44);
        shentsize = e.u16(h + 46);
        shnum = e.u16(h + 48);
    }
    const uint32_t shNeed = is64 ? 64 : 40;
    const uint32_t phNeed = is64 ? 56 : 32;

    // Section headers first.
    if (shoff != 0 && shentsize >= shNeed) {
        uint64_t count = shnum;
        if (count == 0) {
            // More sections than fit in the header: section 0 holds the count.
            std::vector<uint8_t> s0;
            if (src.readVec(shoff, shentsize, s0))
                count = is64 ? e.u64(s0.data() + 32) : e.u32(s0.data() + 20);
        }
        if (shoff < src.size())
            count = std::min<uint64_t>(count, (src.size() - shoff) / shentsize);
        else
            count = 0;
        count = std::min<uint64_t>(count, kMaxHeaders / shentsize);
        std::vector<uint8_t> sh;
        if (count > 0 && src.readVec(shoff, count * shentsize, sh)) {
            for (uint64_t i = 0; i < count; ++i) {
                const uint8_t *s = sh.data() + i * shentsize;
                if (e.u32(s + 4) != kShtNote)
                    continue;
                uint64_t off, size, align;
                if (is64) {
                    off = e.u64(s + 24);
                    size = e.u64(s + 32);
                    align = e.u64(s + 48);
                } else {
                    off = e.u32(s + 16);
                    size = e.u32(s + 20);
                    align = e.u32(s + 32);
                }
                if (findInNotes(src, e, off, size, align, out))
                    return true;
            }
        }
    }

    // Then the note segments (a file without section headers).
    if (phoff != 0 && phentsize >= phNeed && phoff < src.size()) {
        uint64_t count = std::min<uint64_t>(phnum, (src.size() - phoff) / phentsize);
        count = std::min<uint64_t>(count, kMaxHeaders / phentsize);
        std::vector<uint8_t> ph;
        if (count > 0 && src.readVec(phoff, count * phentsize, ph)) {
            for (uint64_t i = 0; i < count; ++i) {
                const uint8_t *p = ph.data() + i * phentsize;
                if (e.u32(p) != kPtNote)
                    continue;
                uint64_t off, size, align;
                if (is64) {
                    off = e.u64(p + 8);
                    size = e.u64(p + 32);
                    align = e.u64(p + 48);
                } else {
                    off = e.u32(p + 4);
                    size = e.u32(p + 16);
                    align = e.u32(p + 28);
                }
                if (findInNotes(src, e, off, size, align, out))
                    return true;
            }
        }
    }
    return false;
}

// ---- PE ------------------------------------------------------------------------------------

struct PeSection {
    uint32_t va, vsize, rawPtr, rawSize;
};

// File offset of n bytes at the relative virtual address; false when they do
// not all lie in the raw data of one section.
bool mapRva(const std::vector<PeSection> &sections, uint64_t rva, uint64_t n, uint64_t &fileOff)
{
    for (const PeSection &s : sections) {
        if (rva < s.va)
            continue;
        const uint64_t rel = rva - s.va;
        if (rel > s.rawSize || n > s.rawSize - rel)
            continue;
        fileOff = uint64_t(s.rawPtr) + rel;
        return true;
    }
    return false;
}

bool readRva(const Source &src, const std::vector<PeSection> &sections, uint64_t rva, uint64_t n,
             std::vector<uint8_t> &out)
{
    uint64_t off;
    return mapRva(sections, rva, n, off) && src.readVec(off, n, out);
}

constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kRtVersion = 16;

// Entries of the resource directory at offset dirOff from the resource base:
// pairs (name or id, offset to data).
bool readResourceDir(const Source &src, const std::vector<PeSection> &sections, uint64_t base,
                     uint32_t dirOff, std::vector<std::pair<uint32_t, uint32_t>> &entries)
{
    std::vector<uint8_t> h;
    if (!readRva(src, sections, base + dirOff, 16, h))
        return false;
    const uint64_t count = uint64_t(le16(h.data() + 12)) + le16(h.data() + 14);
    std::vector<uint8_t> raw;
    if (count == 0 || !readRva(src, sections, base + dirOff + 16, count * 8, raw))
        return false;
    entries.clear();
    for (uint64_t i = 0; i < count; ++i)
        entries.emplace_back(le32(raw.data() + i * 8), le32(raw.data() + i * 8 + 4));
    return true;
}

bool findInPe(const Source &src, std::vector<uint8_t> &out)
{
    uint8_t dos[64];
    if (!src.read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const uint64_t peOff = le32(dos + 0x3C);
    uint8_t coff[24];
    if (!src.read(peOff, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0)
        return false;
    const uint32_t nsec = le16(coff + 4 + 2);
    const uint32_t optSize = le16(coff + 4 + 16);
    const uint64_t optOff = peOff + 24;
    std::vector<uint8_t> opt;
    if (optSize < 2 || !src.readVec(optOff, optSize, opt))
        return false;
    const uint16_t magic = le16(opt.data());
    size_t numDirsAt, dirsAt;
    if (magic == 0x10B) {
        numDirsAt = 92;
        dirsAt = 96;
    } else if (magic == 0x20B) {
        numDirsAt = 108;
        dirsAt = 112;
    } else {
        return false;
    }
    const size_t resourceDir = dirsAt + 2 * 8;
    if (opt.size() < resourceDir + 8 || le32(opt.data() + numDirsAt) < 3)
        return false;
    const uint32_t rsrcRva = le32(opt.data() + resourceDir);
    if (rsrcRva == 0)
        return false;

    std::vector<uint8_t> secRaw;
    if (nsec == 0 || !src.readVec(optOff + optSize, uint64_t(nsec) * 40, secRaw))
        return false;
    std::vector<PeSection> sections;
    for (uint32_t i = 0; i < nsec; ++i) {
        const uint8_t *s = secRaw.data() + i * 40;
        sections.push_back({le32(s + 12), le32(s + 8), le32(s + 20), le32(s + 16)});
    }

    // Type RT_VERSION, then the first name, then the first language.
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    if (!readResourceDir(src, sections, rsrcRva, 0, entries))
        return false;
    uint32_t next = 0;
    bool found = false;
    for (const auto &en : entries) {
        if (!(en.first & kSubdirectory) && en.first == kRtVersion) {
            next = en.second;
            found = true;
            break;
        }
    }
    if (!found || !(next & kSubdirectory))
        return false;
    for (int level = 0; level < 2; ++level) {
        if (!readResourceDir(src, sections, rsrcRva, next & ~kSubdirectory, entries))
            return false;
        next = entries.front().second;
        const bool wantDirectory = level == 0;
        if (bool(next & kSubdirectory) != wantDirectory)
            return false;
    }
    std::vector<uint8_t> dataEntry;
    if (!readRva(src, sections, uint64_t(rsrcRva) + next, 16, dataEntry))
        return false;
    const uint32_t dataRva = le32(dataEntry.data());
    const uint32_t dataSize = std::min(le32(dataEntry.data() + 4), kMaxBlock);
    std::vector<uint8_t> data;
    return dataSize > 0 && readRva(src, sections, dataRva, dataSize, data) && takeBlock(data, out);
}

bool findBlock(const Source &src, std::vector<uint8_t> &out)
{
    out.clear();
    return findInElf(src, out) || findInPe(src, out);
}

} // namespace

std::vector<uint8_t> FindVersionBlock(const uint8_t *image, size_t size)
{
    std::vector<uint8_t> block;
    if (image == nullptr)
        return block;
    MemSource src(image, size);
    if (!findBlock(src, block))
        block.clear();
    return block;
}

std::vector<uint8_t> ReadVersionBlock(const std::string &fileName)
{
    std::vector<uint8_t> block;
    FileSource src(fileName);
    if (!src.ok() || !findBlock(src, block))
        block.clear();
    return block;
}

uint32_t GetFileVersionInfoSize(const std::string &fileName)
{
    return static_cast<uint32_t>(ReadVersionBlock(fileName).size());
}

bool GetFileVersionInfo(const std::string &fileName, uint32_t len, void *data)
{
    if (len == 0 || data == nullptr)
        return false;
    std::vector<uint8_t> block = ReadVersionBlock(fileName);
    if (block.empty())
        return false;
    const size_t n = std::min<size_t>(len, block.size());
    std::memcpy(data, block.data(), n);
    std::memset(static_cast<uint8_t *>(data) + n, 0, len - n);
    return true;
}

bool VerQueryValue(const void *block, size_t len, const std::string &subBlock, std::string &value,
                   bool *isText)
{
    value.clear();
    if (isText)
        *isText = false;
    if (block == nullptr)
        return false;
    const auto *b = static_cast<const uint8_t *>(block);
    NodeView node;
    if (!parseNode(b, len, 0, node))
        return false;
    size_t i = 0;
    while (i < subBlock.size()) {
        size_t j = subBlock.find('\\', i);
        if (j == std::string::npos)
            j = subBlock.size();
        if (j > i) {
            NodeView child;
            if (!findChild(b, node, subBlock.substr(i, j - i), child))
                return false;
            node = child;
        }
        i = j + 1;
    }
    if (node.type == 1) {
        value = ansiText(b, node.valueOff, node.valueOff + node.valueBytes);
        if (isText)
            *isText = true;
    } else {
        value.assign(reinterpret_cast<const char *>(b + node.valueOff), node.valueBytes);
    }
    return true;
}

bool QueryFixedFileInfo(const void *block, size_t len, TVSFixedFileInfo &info)
{
    info = TVSFixedFileInfo();
    std::string v;
    bool text = false;
    if (!VerQueryValue(block, len, "\\", v, &text) || text || v.size() < kFixedFileInfoSize)
        return false;
    const auto *p = reinterpret_cast<const uint8_t *>(v.data());
    uint32_t *fields[13] = {&info.dwSignature,        &info.dwStrucVersion,   &info.dwFileVersionMS,
                            &info.dwFileVersionLS,    &info.dwProductVersionMS, &info.dwProductVersionLS,
                            &info.dwFileFlagsMask,    &info.dwFileFlags,      &info.dwFileOS,
                            &info.dwFileType,         &info.dwFileSubtype,    &info.dwFileDateMS,
                            &info.dwFileDateLS};
    for (int k = 0; k < 13; ++k)
        *fields[k] = le32(p + 4 * k);
    return true;
}

} // namespace verinfo
