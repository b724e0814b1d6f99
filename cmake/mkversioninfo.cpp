// Build-time tool: writes the version resource of an executable as an
// assembly source that puts a Windows VS_VERSIONINFO block into an ELF note.
//
//   mkversioninfo <input.txt> <output.S>
//
// The input holds one "Name=Value" per line. "Version=a.b.c.d" gives the four
// numbers of the fixed file and product version; "FileFlags=n" (optional)
// the fixed file flags. Every other line becomes a string value of the one
// string table (U.S. English, Windows-1252), in the order given. Values are
// UTF-8 text.
//
// The note: owner "MIXDECK", type 16 (the resource type number of version
// resources), description = the VS_VERSIONINFO block, 4-byte aligned, in the
// allocated note section ".note.mixdeck.version".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

const uint32_t kNoteType = 16;
const char kNoteOwner[] = "MIXDECK";
const char kSection[] = ".note.mixdeck.version";

using Bytes = std::vector<uint8_t>;

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

void pad4(Bytes &b)
{
    while (b.size() % 4 != 0)
        b.push_back(0);
}

// UTF-8 to UTF-16 code units (invalid sequences become U+FFFD).
std::u16string utf16(const std::string &s)
{
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = 0xFFFD;
        size_t n = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            n = 4;
        }
        if (n > 1) {
            if (i + n > s.size()) {
                n = 1;
            } else {
                cp = c & (0xFF >> (n + 1));
                for (size_t k = 1; k < n; ++k) {
                    unsigned char cc = static_cast<unsigned char>(s[i + k]);
                    if ((cc & 0xC0) != 0x80) {
                        cp = 0xFFFD;
                        n = 1;
                        break;
                    }
                    cp = (cp << 6) | (cc & 0x3F);
                }
            }
        }
        i += n;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else if (cp > 0x10FFFF) {
            out.push_back(u'\xFFFD');
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

// One node of the version tree: header (length, value length, type), key,
// padding, value, then the children, each starting on a 32-bit boundary.
// wLength counts the node with its children, without padding after the last.
struct Node {
    enum Kind { Binary, Text, Container } kind = Container;
    std::string key;
    Bytes value;              // Binary: the value bytes
    std::u16string textValue; // Text: the value without its terminating zero
    std::vector<Node> children;
};

Bytes serialize(const Node &n)
{
    Bytes b;
    put16(b, 0); // wLength, set below
    switch (n.kind) {
    case Node::Binary: put16(b, uint32_t(n.value.size())); break;
    case Node::Text: put16(b, uint32_t(n.textValue.size() + 1)); break; // characters, zero included
    case Node::Container: put16(b, 0); break;
    }
    put16(b, n.kind == Node::Binary ? 0 : 1);
    for (char16_t c : utf16(n.key))
        put16(b, c);
    put16(b, 0);
    pad4(b);
    if (n.kind == Node::Text) {
        for (char16_t c : n.textValue)
            put16(b, c);
        put16(b, 0);
    } else if (n.kind == Node::Binary) {
        b.insert(b.end(), n.value.begin(), n.value.end());
    }
    for (const Node &child : n.children) {
        pad4(b);
        Bytes cb = serialize(child);
        b.insert(b.end(), cb.begin(), cb.end());
    }
    if (b.size() > 0xFFFF) {
        std::cerr << "mkversioninfo: version block too large\n";
        std::exit(1);
    }
    set16(b, 0, uint32_t(b.size()));
    return b;
}

bool parseVersion(const std::string &text, uint32_t v[4])
{
    std::istringstream in(text);
    std::string part;
    int i = 0;
    while (std::getline(in, part, '.')) {
        if (i == 4 || part.empty() || part.size() > 5)
            return false;
        for (char c : part)
            if (c < '0' || c > '9')
                return false;
        unsigned long n = std::strtoul(part.c_str(), nullptr, 10);
        if (n > 0xFFFF)
            return false;
        v[i++] = uint32_t(n);
    }
    while (i < 4)
        v[i++] = 0;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: mkversioninfo <input.txt> <output.S>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "mkversioninfo: cannot read " << argv[1] << "\n";
        return 1;
    }
    uint32_t v[4] = {0, 0, 0, 0};
    bool haveVersion = false;
    uint32_t fileFlags = 0;
    std::vector<std::pair<std::string, std::string>> strings;
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::cerr << "mkversioninfo: bad line: " << line << "\n";
            return 1;
        }
        std::string name = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (name == "Version") {
            if (!parseVersion(value, v)) {
                std::cerr << "mkversioninfo: bad version: " << value << "\n";
                return 1;
            }
            haveVersion = true;
        } else if (name == "FileFlags") {
            fileFlags = uint32_t(std::strtoul(value.c_str(), nullptr, 0));
        } else {
            strings.emplace_back(name, value);
        }
    }
    if (!haveVersion) {
        std::cerr << "mkversioninfo: no Version line\n";
        return 1;
    }

    // VS_FIXEDFILEINFO
    Node root;
    root.kind = Node::Binary;
    root.key = "VS_VERSION_INFO";
    const uint32_t ms = (v[0] << 16) | v[1];
    const uint32_t ls = (v[2] << 16) | v[3];
    put32(root.value, 0xFEEF04BD);  // signature
    put32(root.value, 0x00010000);  // structure version
    put32(root.value, ms);          // file version
    put32(root.value, ls);
    put32(root.value, ms);          // product version
    put32(root.value, ls);
    put32(root.value, 0x3F);        // file flags mask
    put32(root.value, fileFlags);   // file flags
    put32(root.value, 0x00040004);  // operating system: 32-bit Windows NT
    put32(root.value, 1);           // file type: application
    put32(root.value, 0);           // subtype
    put32(root.value, 0);           // date
    put32(root.value, 0);

    Node table;
    table.key = "040904E4"; // U.S. English, Windows-1252
    for (const auto &str : strings) {
        Node n;
        n.kind = Node::Text;
        n.key = str.first;
        n.textValue = utf16(str.second);
        table.children.push_back(n);
    }
    Node sfi;
    sfi.key = "StringFileInfo";
    sfi.children.push_back(table);

    Node trans;
    trans.kind = Node::Binary;
    trans.key = "Translation";
    put16(trans.value, 0x0409);
    put16(trans.value, 0x04E4);
    Node vfi;
    vfi.key = "VarFileInfo";
    vfi.children.push_back(trans);

    root.children.push_back(sfi);
    root.children.push_back(vfi);
    const Bytes top = serialize(root);

    std::ostringstream s;
    s << "/* Generated by mkversioninfo: the version resource of this program. */\n"
      << "\t.section " << kSection << ",\"a\",@note\n"
      << "\t.balign 4\n"
      << "\t.long " << sizeof(kNoteOwner) << "\t/* name size */\n"
      << "\t.long " << top.size() << "\t/* description size */\n"
      << "\t.long " << kNoteType << "\t/* type */\n"
      << "\t.asciz \"" << kNoteOwner << "\"\n"
      << "\t.balign 4\n";
    for (size_t i = 0; i < top.size(); i += 16) {
        s << "\t.byte ";
        for (size_t k = i; k < top.size() && k < i + 16; ++k) {
            if (k != i)
                s << ",";
            s << "0x" << std::hex << int(top[k]) << std::dec;
        }
        s << "\n";
    }
    s << "\t.balign 4\n"
      << "\t.section .note.GNU-stack,\"\",@progbits\n";

    const std::string text = s.str();
    std::string tmp = std::string(argv[2]) + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::cerr << "mkversioninfo: cannot write " << tmp << "\n";
            return 1;
        }
    }
    if (std::rename(tmp.c_str(), argv[2]) != 0) {
        std::cerr << "mkversioninfo: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
