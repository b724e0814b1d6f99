// The version-information reader: our own executables (ELF note), PE files
// written here, files without a resource, and hostile input.
#include "support/VellVersionInfo.h"
#include "platform/VersionResource.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#ifndef MIXDECK_VERSION_TEXT
#error "MIXDECK_VERSION_TEXT must come from the build"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// ---- builders ---------------------------------------------------------------------

void put16(Bytes &b, uint32_t v)
{
    b.push_back(uint8_t(v & 0xFF));
    b.push_back(uint8_t((v >> 8) & 0xFF));
}
void put32(Bytes &b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void set16(Bytes &b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v & 0xFF);
    b[at + 1] = uint8_t((v >> 8) & 0xFF);
}
void set32(Bytes &b, size_t at, uint32_t v)
{
    set16(b, at, v & 0xFFFF);
    set16(b, at + 2, v >> 16);
}
void pad(Bytes &b, size_t a)
{
    while (b.size() % a)
        b.push_back(0);
}
void append(Bytes &b, const Bytes &more) { b.insert(b.end(), more.begin(), more.end()); }

// One node of a VS_VERSIONINFO tree.
struct VNode {
    enum Kind { Binary, Text, Container } kind = Container;
    std::u16string key;
    Bytes value;
    std::u16string text;
    std::vector<VNode> children;

    Bytes bytes() const
    {
        Bytes b;
        put16(b, 0);
        put16(b, kind == Binary ? value.size() : kind == Text ? text.size() + 1 : 0);
        put16(b, kind == Binary ? 0 : 1);
        for (char16_t c : key)
            put16(b, c);
        put16(b, 0);
        pad(b, 4);
        if (kind == Binary)
            append(b, value);
        if (kind == Text) {
            for (char16_t c : text)
                put16(b, c);
            put16(b, 0);
        }
        for (const VNode &c : children) {
            pad(b, 4);
            append(b, c.bytes());
        }
        set16(b, 0, uint32_t(b.size()));
        return b;
    }
};

std::u16string u16(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

struct Table {
    uint16_t lang;
    uint16_t charset;
    std::vector<std::pair<std::u16string, std::u16string>> strings;
};

// A version block with the given file version (product version = file
// version + 1 in the last number), one string table per translation.
Bytes makeBlock(std::array<uint16_t, 4> v, const std::vector<Table> &tables,
                uint32_t signature = 0xFEEF04BD)
{
    VNode root;
    root.kind = VNode::Binary;
    root.key = u"VS_VERSION_INFO";
    const uint32_t ms = (uint32_t(v[0]) << 16) | v[1];
    const uint32_t ls = (uint32_t(v[2]) << 16) | v[3];
    for (uint32_t f : {signature, 0x00010000u, ms, ls, ms, ls + 1, 0x3Fu, 0x2u, 0x40004u, 2u, 7u,
                       0x01D2A3B4u, 0x5C6D7E8Fu})
        put32(root.value, f);
    VNode sfi;
    sfi.key = u"StringFileInfo";
    VNode vfi;
    vfi.key = u"VarFileInfo";
    VNode trans;
    trans.kind = VNode::Binary;
    trans.key = u"Translation";
    for (const Table &t : tables) {
        char name[16];
        std::snprintf(name, sizeof name, "%04X%04X", t.lang, t.charset);
        VNode table;
        table.key = u16(name);
        for (const auto &s : t.strings) {
            VNode n;
            n.kind = VNode::Text;
            n.key = s.first;
            n.text = s.second;
            table.children.push_back(n);
        }
        sfi.children.push_back(table);
        put16(trans.value, t.lang);
        put16(trans.value, t.charset);
    }
    vfi.children.push_back(trans);
    root.children.push_back(sfi);
    root.children.push_back(vfi);
    return root.bytes();
}

Table usTable()
{
    return {0x0409, 0x04E4,
            {{u"CompanyName", u"Tape Works Ltd"},
             {u"FileDescription", u"Test program"},
             {u"FileVersion", u"1.2.3.4"},
             {u"InternalName", u"tapetest"},
             {u"LegalCopyright", u"Copyright \u00A9 M\u00FCller \u20AC \u4E2D"},
             {u"OriginalFilename", u"TAPETEST.EXE"}, // case differs from the standard name
             {u"ProductName", u"MIXDECK"},
             {u"ProductVersion", u"1.2.3.5"}}};
}

Table germanTable()
{
    return {0x0407, 0x04B0, {{u"ProductName", u"Kassettenmischer"}, {u"Comments", u"Deutsch"}}};
}

// A minimal PE image: DOS header, PE signature, COFF header, optional header
// (PE32 or PE32+), one .rsrc section holding the resource tree
// type 16 -> id 1 -> language 0x409 -> data entry -> block.
Bytes makePe(const Bytes &block, bool pe64 = false, uint32_t resourceType = 16)
{
    const uint32_t rva = 0x1000;
    Bytes rsrc;
    auto dir = [&](uint32_t id, uint32_t offset) {
        put32(rsrc, 0);
        put32(rsrc, 0);
        put16(rsrc, 4);
        put16(rsrc, 0);
        put16(rsrc, 0); // named entries
        put16(rsrc, 1); // id entries
        put32(rsrc, id);
        put32(rsrc, offset);
    };
    dir(resourceType, 0x80000000u | 0x18);
    dir(1, 0x80000000u | 0x30);
    dir(0x409, 0x48);
    put32(rsrc, rva + 0x58); // data RVA
    put32(rsrc, uint32_t(block.size()));
    put32(rsrc, 0);
    put32(rsrc, 0);
    EXPECT_EQ(rsrc.size(), 0x58u);
    append(rsrc, block);
    const uint32_t rsrcSize = uint32_t(rsrc.size());
    pad(rsrc, 0x200);

    const uint32_t optSize = pe64 ? 240 : 224;
    Bytes f(0x40, 0);
    f[0] = 'M';
    f[1] = 'Z';
    set32(f, 0x3C, 0x40);
    for (char c : {'P', 'E', '\0', '\0'})
        f.push_back(uint8_t(c));
    put16(f, pe64 ? 0x8664 : 0x14C); // machine
    put16(f, 1);                     // sections
    put32(f, 0);
    put32(f, 0);
    put32(f, 0);
    put16(f, optSize);
    put16(f, 0x0102);
    const size_t opt = f.size();
    f.resize(opt + optSize, 0);
    set16(f, opt, pe64 ? 0x20B : 0x10B);
    set32(f, opt + 32, 0x1000); // section alignment
    set32(f, opt + 36, 0x200);  // file alignment
    set32(f, opt + 56, 0x2000); // image size
    set32(f, opt + 60, 0x200);  // header size
    set16(f, opt + 68, 2);      // subsystem
    const size_t dirs = pe64 ? 112 : 96;
    set32(f, opt + dirs - 4, 16);
    set32(f, opt + dirs + 16, rva);
    set32(f, opt + dirs + 20, rsrcSize);
    // section table
    for (char c : std::string(".rsrc\0\0\0", 8))
        f.push_back(uint8_t(c));
    put32(f, rsrcSize);             // virtual size
    put32(f, rva);                  // virtual address
    put32(f, uint32_t(rsrc.size())); // raw size
    put32(f, 0x200);                // raw pointer
    put32(f, 0);
    put32(f, 0);
    put16(f, 0);
    put16(f, 0);
    put32(f, 0x40000040);
    f.resize(0x200, 0);
    append(f, rsrc);
    return f;
}

// A small ELF file holding our note: ELF64 or ELF32, little- or big-endian,
// with section headers or with program headers only.
Bytes makeElf(const Bytes &block, bool is64, bool little, bool withSections, bool withSegments)
{
    auto p16 = [&](Bytes &b, uint32_t v) {
        if (little) {
            put16(b, v);
        } else {
            b.push_back(uint8_t(v >> 8));
            b.push_back(uint8_t(v));
        }
    };
    auto p32 = [&](Bytes &b, uint32_t v) {
        if (little) {
            put32(b, v);
        } else {
            p16(b, v >> 16);
            p16(b, v & 0xFFFF);
        }
    };
    auto pAddr = [&](Bytes &b, uint64_t v) {
        if (!is64) {
            p32(b, uint32_t(v));
        } else if (little) {
            p32(b, uint32_t(v));
            p32(b, uint32_t(v >> 32));
        } else {
            p32(b, uint32_t(v >> 32));
            p32(b, uint32_t(v));
        }
    };
    // The notes: a foreign one first, then ours.
    Bytes notes;
    p32(notes, 4);
    p32(notes, 4);
    p32(notes, 16); // same type, other owner: must be passed over
    for (char c : std::string("GNU\0", 4))
        notes.push_back(uint8_t(c));
    p32(notes, 0x11223344);
    p32(notes, 8);
    p32(notes, uint32_t(block.size()));
    p32(notes, 16);
    for (char c : std::string("MIXDECK\0", 8))
        notes.push_back(uint8_t(c));
    append(notes, block);
    pad(notes, 4);

    const uint32_t ehsize = is64 ? 64 : 52;
    const uint32_t phentsize = is64 ? 56 : 32;
    const uint32_t shentsize = is64 ? 64 : 40;
    const uint64_t phoff = withSegments ? ehsize : 0;
    const uint64_t notesOff = ehsize + (withSegments ? phentsize : 0);
    const std::string shstr("\0.shstrtab\0.note.mixdeck.version\0", 33);
    const uint64_t shstrOff = notesOff + notes.size();
    uint64_t shoff = shstrOff + shstr.size();
    shoff = (shoff + 7) & ~uint64_t(7);

    Bytes f;
    for (int c : {0x7F, int('E'), int('L'), int('F')})
        f.push_back(uint8_t(c));
    f.push_back(is64 ? 2 : 1);
    f.push_back(little ? 1 : 2);
    f.push_back(1);
    f.resize(16, 0);
    p16(f, 2);                   // executable
    p16(f, is64 ? 62 : 3);       // machine
    p32(f, 1);
    pAddr(f, 0);                 // entry
    pAddr(f, phoff);
    pAddr(f, withSections ? shoff : 0);
    p32(f, 0);
    p16(f, ehsize);
    p16(f, phentsize);
    p16(f, withSegments ? 1 : 0);
    p16(f, shentsize);
    p16(f, withSections ? 3 : 0);
    p16(f, withSections ? 1 : 0);
    EXPECT_EQ(f.size(), ehsize);
    if (withSegments) {
        p32(f, 4); // PT_NOTE
        if (is64) {
            p32(f, 4); // flags
            pAddr(f, notesOff);
            pAddr(f, notesOff);
            pAddr(f, notesOff);
            pAddr(f, notes.size());
            pAddr(f, notes.size());
            pAddr(f, 4);
        } else {
            p32(f, uint32_t(notesOff));
            p32(f, uint32_t(notesOff));
            p32(f, uint32_t(notesOff));
            p32(f, uint32_t(notes.size()));
            p32(f, uint32_t(notes.size()));
            p32(f, 4);
            p32(f, 4);
        }
    }
    append(f, notes);
    for (char c : shstr)
        f.push_back(uint8_t(c));
    pad(f, 8);
    if (withSections) {
        auto section = [&](uint32_t name, uint32_t type, uint64_t off, uint64_t size, uint64_t align) {
            p32(f, name);
            p32(f, type);
            pAddr(f, type == 7 ? 2 : 0); // flags
            pAddr(f, 0);                 // address
            pAddr(f, off);
            pAddr(f, size);
            p32(f, 0);
            p32(f, 0);
            pAddr(f, align);
            pAddr(f, 0);
        };
        section(0, 0, 0, 0, 0);
        section(1, 3, shstrOff, shstr.size(), 1);
        section(11, 7, notesOff, notes.size(), 4);
    }
    return f;
}

std::string toString(const Bytes &b) { return std::string(b.begin(), b.end()); }

std::string runCommand(const std::string &cmd)
{
    std::string out;
    FILE *p = ::popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

std::array<uint16_t, 4> projectVersion()
{
    std::array<uint16_t, 4> v{0, 0, 0, 0};
    const std::string text = MIXDECK_VERSION_TEXT;
    size_t i = 0;
    for (int k = 0; k < 4 && i <= text.size(); ++k) {
        size_t j = text.find('.', i);
        if (j == std::string::npos)
            j = text.size();
        v[k] = uint16_t(std::atoi(text.substr(i, j - i).c_str()));
        i = j + 1;
    }
    return v;
}

void expectVersion(const TFileVersionNumber &v, std::array<uint16_t, 4> want)
{
    EXPECT_EQ(v.V1, want[0]);
    EXPECT_EQ(v.V2, want[1]);
    EXPECT_EQ(v.V3, want[2]);
    EXPECT_EQ(v.V4, want[3]);
}

void expectNoInfo(const TVellVersionInfo &vi)
{
    EXPECT_FALSE(vi.HaveInfo());
    expectVersion(vi.GetFileVersionNumber(), {0, 0, 0, 0});
    expectVersion(vi.GetProductVersionNumber(), {0, 0, 0, 0});
    EXPECT_EQ(vi.GetCurrentTranslation(), -1);
    EXPECT_EQ(vi.GetTransStr(), "");
    EXPECT_EQ(vi.GetLanguageCode(), 0);
    EXPECT_EQ(vi.GetCharSetCode(), 0);
    EXPECT_EQ(vi.GetLanguage(), "");
    EXPECT_EQ(vi.GetCharSet(), "");
    EXPECT_EQ(vi.Signature(), 0u);
    EXPECT_EQ(vi.FileType(), 0u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(vi.GetStringFileInfoByIdx(i), "") << i;
    EXPECT_EQ(vi.GetStringFileInfo("ProductName"), "");
}

// ---- our own executables ------------------------------------------------------------

TEST(VersionNote, ReadelfListsTheNoteOfTheProgram)
{
    const std::string exe = testutil::binaryPath("src/app/mixdeck");
    ASSERT_TRUE(testutil::fileExists(exe)) << exe << " is not built";
    for (const std::string &file : {exe, RunningProgramFileName()}) {
        SCOPED_TRACE(file);
        const std::string notes = runCommand("readelf -n -W '" + file + "' 2>&1");
        EXPECT_NE(notes.find("Displaying notes found in: .note.mixdeck.version"), std::string::npos) << notes;
        EXPECT_NE(notes.find("MIXDECK"), std::string::npos);
        // A real note section, in a note segment.
        const std::string sections = runCommand("readelf -S -W '" + file + "' 2>&1");
        size_t at = sections.find(".note.mixdeck.version");
        ASSERT_NE(at, std::string::npos);
        const std::string line = sections.substr(at, sections.find('\n', at) - at);
        EXPECT_NE(line.find(" NOTE "), std::string::npos) << line;
        const std::string segments = runCommand("readelf -l -W '" + file + "' 2>&1");
        EXPECT_NE(segments.find("NOTE"), std::string::npos);
        // The reader finds it in the same file.
        TVellVersionInfo vi;
        vi.SetFileName(file);
        ASSERT_TRUE(vi.HaveInfo());
        expectVersion(vi.GetFileVersionNumber(), projectVersion());
    }
}

TEST(VellVersionInfo, RunningProgramHasTheProjectVersion)
{
    const auto want = projectVersion();
    ASSERT_NE(want[0] * 1000 + want[1], 1000) << "the project version must not look like the 1.0.0.0 fallback";

    TVellVersionInfo vi; // reads the running program at once
    EXPECT_EQ(vi.FileName(), RunningProgramFileName());
    EXPECT_FALSE(vi.FileName().empty());
    ASSERT_TRUE(vi.HaveInfo());
    expectVersion(vi.GetFileVersionNumber(), want);
    expectVersion(vi.GetProductVersionNumber(), want);
    EXPECT_EQ(vi.Signature(), 0xFEEF04BDu);
    EXPECT_EQ(vi.StrucVersion(), 0x00010000u);
    EXPECT_EQ(vi.FileType(), 1u); // application
    EXPECT_EQ(vi.TranslationCount(), 1);
    EXPECT_EQ(vi.GetCurrentTranslation(), 0);
    EXPECT_EQ(vi.GetTransStr(), "040904E4");
    EXPECT_EQ(vi.GetLanguageCode(), 0x0409);
    EXPECT_EQ(vi.GetCharSetCode(), 0x04E4);
    EXPECT_EQ(vi.GetLanguage(), "English (United States)");
    EXPECT_EQ(vi.GetCharSet(), "Windows, Multilingual");
    EXPECT_EQ(vi.GetStringFileInfo("ProductName"), "MIXDECK");
    EXPECT_EQ(vi.GetStringFileInfo("productname"), "MIXDECK");
    EXPECT_EQ(vi.GetStringFileInfo("FileVersion"), MIXDECK_VERSION_TEXT);
    EXPECT_EQ(vi.GetStringFileInfo("ProductVersion"), MIXDECK_VERSION_TEXT);
    EXPECT_EQ(vi.GetStringFileInfoByIdx(9), "MIXDECK");
    for (int i : {1, 2, 3, 4, 5, 7, 9, 10})
        EXPECT_FALSE(vi.GetStringFileInfoByIdx(i).empty()) << TVellVersionInfo::StringNames[i];
    EXPECT_EQ(vi.GetStringFileInfoByIdx(0), ""); // no comments
    EXPECT_EQ(vi.GetStringFileInfo("NoSuchValue"), "");

    // An empty name reads the running program again, after another file.
    testutil::TempDir dir;
    testutil::writeFile(dir.file("a.txt"), "text\r\n");
    vi.SetFileName(dir.file("a.txt"));
    EXPECT_FALSE(vi.HaveInfo());
    vi.SetFileName("");
    EXPECT_EQ(vi.FileName(), RunningProgramFileName());
    ASSERT_TRUE(vi.HaveInfo());
    expectVersion(vi.GetFileVersionNumber(), want);
}

// ---- files without a version resource --------------------------------------------------

TEST(VellVersionInfo, FilesWithoutResourceReportNothing)
{
    testutil::TempDir dir;
    testutil::writeFile(dir.file("notes.txt"), "MIXDECK 2.3.1.57\r\nVS_VERSION_INFO\r\n");
    testutil::writeFile(dir.file("empty.bin"), "");
    testutil::writeFile(dir.file("mz.exe"), "MZ only a DOS stub");
    // A PE file whose resource is of another type.
    const Bytes other = makePe(makeBlock({1, 2, 3, 4}, {usTable()}), false, 3);
    testutil::writeFile(dir.file("icon.exe"), toString(other));

    TVellVersionInfo vi;
    ASSERT_TRUE(vi.HaveInfo());
    for (const std::string &name : {std::string("notes.txt"), std::string("empty.bin"), std::string("mz.exe"),
                                     std::string("icon.exe"), std::string("missing.exe"), std::string("")}) {
        SCOPED_TRACE(name);
        // a folder, a text file, an empty file, a file that is not there
        const std::string path = name.empty() ? dir.path() : dir.file(name);
        vi.SetFileName(path);
        EXPECT_EQ(vi.FileName(), path);
        expectNoInfo(vi);
        EXPECT_EQ(verinfo::GetFileVersionInfoSize(path), 0u);
        char buf[8];
        EXPECT_FALSE(verinfo::GetFileVersionInfo(path, sizeof buf, buf));
        const TVersionDwords d = GetFileVersionDwords(path);
        EXPECT_EQ(d.High, -1);
        EXPECT_EQ(d.Low, -1);
    }
}

// ---- PE files --------------------------------------------------------------------------------

TEST(VellVersionInfo, ReadsPeVersionResource)
{
    testutil::TempDir dir;
    for (bool pe64 : {false, true}) {
        SCOPED_TRACE(pe64 ? "PE32+" : "PE32");
        const std::string path = dir.file(pe64 ? "t64.dll" : "t32.exe");
        const Bytes block = makeBlock({1, 2, 3, 4}, {usTable(), germanTable()});
        testutil::writeFile(path, toString(makePe(block, pe64)));

        EXPECT_EQ(verinfo::GetFileVersionInfoSize(path), block.size());
        TVellVersionInfo vi;
        vi.SetFileName(path);
        ASSERT_TRUE(vi.HaveInfo());
        expectVersion(vi.GetFileVersionNumber(), {1, 2, 3, 4});
        expectVersion(vi.GetProductVersionNumber(), {1, 2, 3, 5});
        // The 13 fields in their order.
        EXPECT_EQ(vi.Signature(), 0xFEEF04BDu);
        EXPECT_EQ(vi.StrucVersion(), 0x00010000u);
        EXPECT_EQ(vi.FileVersionMS(), 0x00010002u);
        EXPECT_EQ(vi.FileVersionLS(), 0x00030004u);
        EXPECT_EQ(vi.ProductVersionMS(), 0x00010002u);
        EXPECT_EQ(vi.ProductVersionLS(), 0x00030005u);
        EXPECT_EQ(vi.FileFlagsMask(), 0x3Fu);
        EXPECT_EQ(vi.FileFlags(), 0x2u);
        EXPECT_EQ(vi.FileOS(), 0x40004u);
        EXPECT_EQ(vi.FileType(), 2u);
        EXPECT_EQ(vi.FileSubtype(), 7u);
        EXPECT_EQ(vi.FileDateMS(), 0x01D2A3B4u);
        EXPECT_EQ(vi.FileDateLS(), 0x5C6D7E8Fu);

        EXPECT_EQ(vi.TranslationCount(), 2);
        EXPECT_EQ(vi.GetCurrentTranslation(), 0);
        EXPECT_EQ(vi.GetTransStr(), "040904E4");
        EXPECT_EQ(vi.GetCharSet(), "Windows, Multilingual");
        EXPECT_EQ(vi.GetLanguage(), "English (United States)");
        EXPECT_EQ(vi.GetStringFileInfo("ProductName"), "MIXDECK");
        EXPECT_EQ(vi.GetStringFileInfoByIdx(1), "Tape Works Ltd");
        EXPECT_EQ(vi.GetStringFileInfoByIdx(7), "TAPETEST.EXE"); // "OriginalFilename" in the file
        EXPECT_EQ(vi.GetStringFileInfoByIdx(10), "1.2.3.5");
        EXPECT_EQ(vi.GetStringFileInfoByIdx(0), "");
        EXPECT_EQ(vi.GetStringFileInfoByIdx(12), "");
        EXPECT_EQ(vi.GetStringFileInfoByIdx(-1), "");
        // UTF-16 in the file, Windows-1252 bytes here; no code-page character -> '?'.
        EXPECT_EQ(vi.GetStringFileInfo("LegalCopyright"), "Copyright \xA9 M\xFCller \x80 ?");

        vi.SetCurrentTranslation(1);
        EXPECT_EQ(vi.GetCurrentTranslation(), 1);
        EXPECT_EQ(vi.GetTransStr(), "040704B0");
        EXPECT_EQ(vi.GetLanguageCode(), 0x0407);
        EXPECT_EQ(vi.GetCharSetCode(), 0x04B0);
        EXPECT_EQ(vi.GetLanguage(), "German (Germany)");
        EXPECT_EQ(vi.GetCharSet(), "Unicode");
        EXPECT_EQ(vi.GetStringFileInfo("ProductName"), "Kassettenmischer");
        EXPECT_EQ(vi.GetStringFileInfoByIdx(0), "Deutsch");
        EXPECT_EQ(vi.GetStringFileInfoByIdx(1), "");

        // An index equal to the number of translations (or any other outside
        // value) leaves no current translation.
        for (int bad : {2, 3, -1, -100}) {
            vi.SetCurrentTranslation(bad);
            EXPECT_EQ(vi.GetCurrentTranslation(), -1) << bad;
            EXPECT_EQ(vi.GetTransStr(), "");
            EXPECT_EQ(vi.GetLanguageCode(), 0);
            EXPECT_EQ(vi.GetCharSetCode(), 0);
            EXPECT_EQ(vi.GetLanguage(), "");
            EXPECT_EQ(vi.GetCharSet(), "");
            EXPECT_EQ(vi.GetStringFileInfo("ProductName"), "");
            EXPECT_TRUE(vi.HaveInfo());
            expectVersion(vi.GetFileVersionNumber(), {1, 2, 3, 4});
        }
        vi.SetCurrentTranslation(0);
        EXPECT_EQ(vi.GetTransStr(), "040904E4");

        const TVersionDwords d = GetFileVersionDwords(path);
        EXPECT_EQ(d.High, 0x00010002);
        EXPECT_EQ(d.Low, 0x00030004);

        // Reading another file replaces everything.
        vi.SetFileName(dir.file("missing.dll"));
        expectNoInfo(vi);
    }
}

TEST(VellVersionInfo, UnknownCodesAndMissingTranslations)
{
    testutil::TempDir dir;
    // Language 0x0442 and character set 0x1234 are in no table.
    Table odd{0x0442, 0x1234, {{u"ProductName", u"Odd"}}};
    testutil::writeFile(dir.file("odd.exe"), toString(makePe(makeBlock({9, 8, 7, 6}, {odd}))));
    TVellVersionInfo vi;
    vi.SetFileName(dir.file("odd.exe"));
    ASSERT_TRUE(vi.HaveInfo());
    EXPECT_EQ(vi.GetTransStr(), "04421234");
    EXPECT_EQ(vi.GetLanguage(), "");
    EXPECT_EQ(vi.GetCharSet(), "");
    EXPECT_EQ(vi.GetStringFileInfo("ProductName"), "Odd");

    // No translations at all: the numbers are there, the texts are not.
    testutil::writeFile(dir.file("none.exe"), toString(makePe(makeBlock({9, 8, 7, 6}, {}))));
    vi.SetFileName(dir.file("none.exe"));
    ASSERT_TRUE(vi.HaveInfo());
    expectVersion(vi.GetFileVersionNumber(), {9, 8, 7, 6});
    EXPECT_EQ(vi.TranslationCount(), 0);
    EXPECT_EQ(vi.GetCurrentTranslation(), -1);
    vi.SetCurrentTranslation(0);
    EXPECT_EQ(vi.GetCurrentTranslation(), -1);
    EXPECT_EQ(vi.GetTransStr(), "");
    EXPECT_EQ(vi.GetStringFileInfo("ProductName"), "");
}

TEST(VellVersionInfo, SignatureDecidesOnlyTheDwords)
{
    testutil::TempDir dir;
    const std::string path = dir.file("nosig.exe");
    testutil::writeFile(path, toString(makePe(makeBlock({5, 6, 7, 8}, {usTable()}, 0x12345678))));
    // The reader copies the fixed information as it stands ...
    TVellVersionInfo vi;
    vi.SetFileName(path);
    ASSERT_TRUE(vi.HaveInfo());
    expectVersion(vi.GetFileVersionNumber(), {5, 6, 7, 8});
    // ... the version halves need the signature.
    const TVersionDwords d = GetFileVersionDwords(path);
    EXPECT_EQ(d.High, -1);
    EXPECT_EQ(d.Low, -1);
}

// ---- ELF files -----------------------------------------------------------------------------

TEST(VersionResource, FindsTheNoteInEveryElfShape)
{
    const Bytes block = makeBlock({4, 3, 2, 1}, {usTable()});
    testutil::TempDir dir;
    for (bool is64 : {true, false})
        for (bool little : {true, false})
            for (int shape = 0; shape < 3; ++shape) {
                const bool sections = shape != 1, segments = shape != 0;
                SCOPED_TRACE(testing::Message() << "64=" << is64 << " le=" << little << " sections="
                                                << sections << " segments=" << segments);
                const Bytes elf = makeElf(block, is64, little, sections, segments);
                EXPECT_EQ(verinfo::FindVersionBlock(elf.data(), elf.size()), block);
                const std::string path = dir.file("a.elf");
                testutil::writeFile(path, toString(elf));
                TVellVersionInfo vi;
                vi.SetFileName(path);
                ASSERT_TRUE(vi.HaveInfo());
                expectVersion(vi.GetFileVersionNumber(), {4, 3, 2, 1});
                EXPECT_EQ(vi.GetStringFileInfo("ProductName"), "MIXDECK");
            }
    // readelf agrees about our small files.
    const std::string path = dir.file("b.elf");
    testutil::writeFile(path, toString(makeElf(block, true, true, true, false)));
    const std::string notes = runCommand("readelf -n -W '" + path + "' 2>&1");
    EXPECT_NE(notes.find("MIXDECK"), std::string::npos) << notes;
}

TEST(VersionResource, QueriesTheBlockByPath)
{
    const Bytes block = makeBlock({1, 2, 3, 4}, {usTable()});
    std::string v;
    bool text = true;
    ASSERT_TRUE(verinfo::VerQueryValue(block.data(), block.size(), "\\", v, &text));
    EXPECT_FALSE(text);
    ASSERT_EQ(v.size(), 52u);
    EXPECT_EQ(v.substr(0, 4), std::string("\xBD\x04\xEF\xFE", 4));
    ASSERT_TRUE(verinfo::VerQueryValue(block.data(), block.size(), "\\VarFileInfo\\Translation", v, &text));
    EXPECT_FALSE(text);
    EXPECT_EQ(v, std::string("\x09\x04\xE4\x04", 4));
    ASSERT_TRUE(verinfo::VerQueryValue(block.data(), block.size(), "\\StringFileInfo\\040904E4\\ProductName", v,
                                       &text));
    EXPECT_TRUE(text);
    EXPECT_EQ(v, "MIXDECK");
    for (const char *missing : {"\\StringFileInfo\\040704B0\\ProductName", "\\StringFileInfo\\040904E4\\Nope",
                                "\\Nope", "\\VarFileInfo\\Translation\\More"}) {
        EXPECT_FALSE(verinfo::VerQueryValue(block.data(), block.size(), missing, v)) << missing;
        EXPECT_EQ(v, "");
    }
    verinfo::TVSFixedFileInfo info;
    ASSERT_TRUE(verinfo::QueryFixedFileInfo(block.data(), block.size(), info));
    EXPECT_EQ(info.dwFileVersionLS, 0x00030004u);
    // A block cut short of its fixed information gives none.
    EXPECT_FALSE(verinfo::QueryFixedFileInfo(block.data(), 40, info));
    EXPECT_EQ(info.dwSignature, 0u);
}

// ---- hostile input -----------------------------------------------------------------------------

// Runs every query we have over a buffer of exactly n bytes (its own heap
// allocation, so the address sanitizer sees any read past its end).
void queryAll(const uint8_t *data, size_t n)
{
    Bytes copy(data, data + n);
    const uint8_t *p = copy.empty() ? nullptr : copy.data();
    std::string v;
    for (const char *path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\ProductName",
                             "\\StringFileInfo\\040904E4\\LegalCopyright", "\\StringFileInfo\\040704B0\\Comments"})
        verinfo::VerQueryValue(p, copy.size(), path, v);
    verinfo::TVSFixedFileInfo info;
    verinfo::QueryFixedFileInfo(p, copy.size(), info);
}

// The image is its own exact-size allocation already.
size_t findImage(const Bytes &image)
{
    return verinfo::FindVersionBlock(image.empty() ? nullptr : image.data(), image.size()).size();
}

TEST(VersionResourceHostile, EveryTruncationOfABlock)
{
    const Bytes block = makeBlock({1, 2, 3, 4}, {usTable(), germanTable()});
    for (size_t n = 0; n <= block.size(); ++n) {
        queryAll(block.data(), n);
        // Whatever is cut off, the block is either found whole or not at all.
        Bytes pe = makePe(Bytes(block.begin(), block.begin() + std::ptrdiff_t(n)));
        const size_t found = findImage(pe);
        EXPECT_TRUE(found == 0 || (n == block.size() && found == block.size())) << n;
    }
}

TEST(VersionResourceHostile, EveryTruncationOfPeAndElfFiles)
{
    const Bytes block = makeBlock({1, 2, 3, 4}, {usTable()});
    std::vector<std::pair<std::string, Bytes>> images = {
        {"pe32", makePe(block, false)},
        {"pe32+", makePe(block, true)},
        {"elf64 sections", makeElf(block, true, true, true, false)},
        {"elf64 segments", makeElf(block, true, true, false, true)},
        {"elf32 big-endian", makeElf(block, false, false, true, true)},
    };
    testutil::TempDir dir;
    for (const auto &[name, image] : images) {
        SCOPED_TRACE(name);
        ASSERT_EQ(findImage(image), block.size());
        for (size_t n = 0; n < image.size(); ++n) {
            Bytes cut(image.begin(), image.begin() + std::ptrdiff_t(n));
            const size_t found = findImage(cut);
            // Found whole (only when the cut lies past the block) or not at all.
            EXPECT_TRUE(found == 0 || found == block.size()) << n;
        }
        // The same through files, at a stride, for the file reader.
        for (size_t n = 0; n < image.size(); n += 7) {
            const std::string path = dir.file("cut.bin");
            testutil::writeFile(path, toString(Bytes(image.begin(), image.begin() + std::ptrdiff_t(n))));
            TVellVersionInfo vi;
            vi.SetFileName(path);
            if (!vi.HaveInfo())
                expectVersion(vi.GetFileVersionNumber(), {0, 0, 0, 0});
            else
                expectVersion(vi.GetFileVersionNumber(), {1, 2, 3, 4});
        }
    }
}

TEST(VersionResourceHostile, TruncationsOfTheRealProgram)
{
    const std::string image = testutil::readFile(RunningProgramFileName());
    ASSERT_GT(image.size(), 4096u);
    const Bytes whole(image.begin(), image.end());
    const size_t blockSize = findImage(whole);
    ASSERT_GT(blockSize, 0u);
    // Every length through the first 8 KiB (headers and the note segment),
    // then a hundred lengths spread over the rest.
    std::vector<size_t> lengths;
    for (size_t n = 0; n < 8192 && n < whole.size(); ++n)
        lengths.push_back(n);
    for (size_t n = 8192; n < whole.size(); n += std::max<size_t>(1, whole.size() / 100))
        lengths.push_back(n);
    for (size_t n : lengths) {
        const size_t found = findImage(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(n)));
        EXPECT_TRUE(found == 0 || found == blockSize) << n;
    }
}

TEST(VersionResourceHostile, RandomBytesAndCorruptions)
{
    std::mt19937 rng(20240611u);
    auto randomBytes = [&](size_t n) {
        Bytes b(n);
        for (auto &c : b)
            c = uint8_t(rng());
        return b;
    };

    // Random buffers, some dressed as an ELF, PE or version block.
    for (int i = 0; i < 3000; ++i) {
        Bytes b = randomBytes(rng() % 1024);
        const int kind = i % 4;
        if (kind == 1 && b.size() >= 6) {
            b[0] = 0x7F, b[1] = 'E', b[2] = 'L', b[3] = 'F', b[4] = uint8_t(1 + rng() % 2), b[5] = uint8_t(1 + rng() % 2);
        } else if (kind == 2 && b.size() >= 0x40) {
            b[0] = 'M', b[1] = 'Z';
            const uint32_t pe = rng() % (b.size() - 4);
            set32(b, 0x3C, pe);
            b[pe] = 'P', b[pe + 1] = 'E', b[pe + 2] = 0, b[pe + 3] = 0;
        } else if (kind == 3 && b.size() >= 6) {
            set16(b, 0, uint32_t(b.size() - rng() % 4));
        }
        findImage(b);
        queryAll(b.data(), b.size());
    }

    // Single-byte corruptions of valid files and of a valid block.
    const Bytes block = makeBlock({1, 2, 3, 4}, {usTable(), germanTable()});
    const std::vector<Bytes> valid = {makePe(block, false), makePe(block, true),
                                      makeElf(block, true, true, true, true),
                                      makeElf(block, false, false, false, true), block};
    for (int i = 0; i < 4000; ++i) {
        Bytes b = valid[size_t(i) % valid.size()];
        const int changes = 1 + int(rng() % 3);
        for (int k = 0; k < changes; ++k)
            b[rng() % b.size()] = uint8_t(rng());
        findImage(b);
        queryAll(b.data(), b.size());
    }

    // Corruptions of the real program, restored after each round.
    const std::string image = testutil::readFile(RunningProgramFileName());
    Bytes prog(image.begin(), image.end());
    ASSERT_FALSE(prog.empty());
    for (int i = 0; i < 400; ++i) {
        // Mostly in the headers and the notes, now and then anywhere.
        const size_t span = (i % 4 == 0) ? prog.size() : std::min<size_t>(prog.size(), 4096);
        const size_t at = rng() % span;
        const uint8_t old = prog[at];
        prog[at] = uint8_t(rng());
        findImage(prog);
        prog[at] = old;
    }
    // Still intact after all that.
    EXPECT_GT(findImage(prog), 0u);
}

// Hand-made blocks with lengths that lie.
TEST(VersionResourceHostile, LyingLengths)
{
    const Bytes good = makeBlock({1, 2, 3, 4}, {usTable()});
    std::string v;
    struct Case {
        const char *what;
        size_t at;
        uint32_t value;
    };
    // Offsets into the block: 0 root length, 2 root value length; the
    // StringFileInfo node starts right after the 52-byte fixed information.
    const size_t sfi = 40 + 52;
    const Case cases[] = {
        {"root length 0", 0, 0},
        {"root length 5", 0, 5},
        {"root length beyond the data", 0, 0xFFFF},
        {"root value length huge", 2, 0xFFFF},
        {"child length 0", sfi, 0},
        {"child length beyond its parent", sfi, 0xFFF0},
        {"child value length huge", sfi + 2, 0xFFFF},
        {"child text type", sfi + 4, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = good;
        set16(b, c.at, c.value);
        queryAll(b.data(), b.size());
        for (const char *path : {"\\", "\\StringFileInfo\\040904E4\\ProductName", "\\VarFileInfo\\Translation"})
            verinfo::VerQueryValue(b.data(), b.size(), path, v);
        findImage(makePe(b));
    }
    // A key without its terminating zero, filling the whole node.
    Bytes b;
    put16(b, 16);
    put16(b, 0);
    put16(b, 0);
    for (int i = 0; i < 5; ++i)
        put16(b, 'A');
    EXPECT_FALSE(verinfo::VerQueryValue(b.data(), b.size(), "\\", v));
}

// ---- version halves ------------------------------------------------------------------------------

TEST(VersionDwords, ParseVersionString)
{
    struct Case {
        const char *text;
        int32_t high;
        int32_t low;
    };
    const Case cases[] = {
        {"1,2,3,4", 0x00010002, 0x00030004},
        {"1.2.3.4", 0x00010002, 0x00030004},
        {"2.3.1.57", 0x00020003, 0x00010039},
        {"1, 2, 3, 4", 0x00010002, 0x00030004},   // blanks before a number
        {"1.2.3", 0x00010002, -1},                // three parts: high half only
        {"1.2.3.4.5", 0x00010002, -1},            // a fifth part spoils the fourth
        {"1.2", -1, -1},
        {"12", -1, -1},
        {"", -1, -1},
        {"1x.2.3.4", -1, -1},                     // the first part must be valid
        {"1.2x.3.4", 0x00010002, -1},             // leading digits of the second, no more parts
        {"1.x.3.4", 0x00010000, -1},
        {"1.2.3x.4", 0x00010002, 0x00030004},     // leading digits of the third
        {"1.2.3.4x", 0x00010002, -1},             // the fourth must be valid
        {"1.2.3.", 0x00010002, -1},
        {"1,2.5,3,4", 0x00010002, -1},            // comma wins; "2.5" is not a whole number
        {"65537.2.3.65540", 0x00010002, 0x00030004}, // low 16 bits of each
        {"1.2.3.99999999999", 0x00010002, -1},    // too big to be a number
        {"10.20.30.40", 0x000A0014, 0x001E0028},
    };
    for (const Case &c : cases) {
        const TVersionDwords d = ParseVersionString(c.text);
        EXPECT_EQ(d.High, c.high) << '"' << c.text << '"';
        EXPECT_EQ(d.Low, c.low) << '"' << c.text << '"';
    }
}

TEST(VersionDwords, FromFiles)
{
    const auto v = projectVersion();
    const TVersionDwords self = GetFileVersionDwords(RunningProgramFileName());
    EXPECT_EQ(self.High, int32_t((uint32_t(v[0]) << 16) | v[1]));
    EXPECT_EQ(self.Low, int32_t((uint32_t(v[2]) << 16) | v[3]));
    // The program's own version text parses to the same halves.
    const TVersionDwords parsed = ParseVersionString(MIXDECK_VERSION_TEXT);
    EXPECT_EQ(parsed.High, self.High);
    EXPECT_EQ(parsed.Low, self.Low);

    testutil::TempDir dir;
    testutil::writeFile(dir.file("readme.txt"), "1.2.3.4\r\n");
    for (const std::string &path : {dir.file("readme.txt"), dir.file("missing")}) {
        const TVersionDwords d = GetFileVersionDwords(path);
        EXPECT_EQ(d.High, -1) << path;
        EXPECT_EQ(d.Low, -1) << path;
    }
}

} // namespace
