// CRC-32, byte sum, size and the newness test of the web update.
#include "common/TestUtil.h"
#include "support/VellVersionInfo.h"
#include "webupdate/WUpdate.h"
#include "webupdate/WebUpdatePeers.h"
#include "webupdate/Wucrc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>

using testutil::TempDir;

namespace {

uint32_t ByteSum(const std::string &bytes)
{
    uint32_t s = 0xFFFFFFFFu;
    for (unsigned char c : bytes)
        s += c;
    return s;
}

} // namespace

TEST(Crc32, KnownValueAndByteStep)
{
    EXPECT_EQ(CRC32Of("abc", 3), 0x352441C2u);
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : std::string("abc"))
        crc = UpdateCRC32Byte(uint8_t(c), crc);
    EXPECT_EQ(FinishCRC32(crc), 0x352441C2u);
    EXPECT_EQ(CRC32Of("", 0), 0u);
}

// Every length up to a few blocks and every start offset, against zlib, so
// both the folding and the table path and their seams are covered.
TEST(Crc32, EqualsZlibOverLengthsAndOffsets)
{
    const std::string data = wutest::PatternBytes(5000, 7);
    for (size_t off = 0; off < 16; ++off)
        for (size_t len = 0; len + off <= 700; len += (len < 200 ? 1 : 37)) {
            const auto *p = reinterpret_cast<const Bytef *>(data.data() + off);
            ASSERT_EQ(CRC32Of(p, len), uint32_t(crc32(0L, p, uInt(len)))) << off << " " << len;
        }
    // Split anywhere, the running value carries on.
    const uint32_t whole = CRC32Of(data.data(), data.size());
    for (size_t cut : {1u, 63u, 64u, 65u, 4095u, 4999u}) {
        uint32_t c = UpdateCRC32(data.data(), cut, 0xFFFFFFFFu);
        c = UpdateCRC32(data.data() + cut, data.size() - cut, c);
        EXPECT_EQ(FinishCRC32(c), whole) << cut;
    }
}

// The file checksums against Python's zlib.crc32 around the block size.
TEST(Crc32, FileChecksumEqualsPythonZlib)
{
    TempDir dir;
    const std::string script = dir.file("crc.py");
    testutil::writeFile(script, "import sys, zlib\nprint(zlib.crc32(open(sys.argv[1], 'rb').read()))\n");
    for (size_t n : {0u, 4095u, 4096u, 4097u}) {
        const std::string f = dir.file("f" + std::to_string(n));
        const std::string bytes = wutest::PatternBytes(n, unsigned(n + 3));
        testutil::writeFile(f, bytes);
        std::string out;
        ASSERT_EQ(testutil::runPython(script, "'" + f + "'", &out), 0);
        EXPECT_EQ(CRC32ChecksumOfFile(f), uint32_t(std::stoul(out))) << n;
        EXPECT_EQ(SumChecksumOfFile(f), ByteSum(bytes)) << n;
        EXPECT_EQ(GetFileSizeByName(f), int64_t(n));
    }
    EXPECT_EQ(CRC32ChecksumOfFile(dir.file("missing")), 0u);
    EXPECT_EQ(SumChecksumOfFile(dir.file("missing")), 0xFFFFFFFFu);
    EXPECT_EQ(GetFileSizeByName(dir.file("missing")), 0);
}

// The precedence of the tests: checksum, replaced by size, then version.
TEST(CheckVersions, SizeAndChecksum)
{
    TempDir dir;
    const std::string f = dir.file("app.bin");
    const std::string bytes = wutest::PatternBytes(1000);
    testutil::writeFile(f, bytes);
    const std::string missing = dir.file("missing.bin");
    TWebUpdate wu;
    const uint32_t sum = ByteSum(bytes);
    const uint32_t crc = CRC32Of(bytes.data(), bytes.size());
    struct Case {
        std::string version;
        std::string local;
        int64_t size;
        std::optional<uint32_t> checksum;
        bool crc;
        bool isNew;
    } cases[] = {
        {"", f, 0, std::nullopt, false, true},              // no criterion
        {"1.0.0.0", "", 0, std::nullopt, false, true},     // no local file
        {"", f, 0, sum, false, false},                      // same byte sum
        {"", f, 0, sum + 1, false, true},
        {"", f, 0, crc, true, false},                       // same CRC-32
        {"", f, 0, crc, false, true},                       // a CRC is not a byte sum
        {"", missing, 0, 0x12345678u, false, true},         // missing file: FFFFFFFF
        {"", missing, 0, 0xFFFFFFFFu, false, false},        // FFFFFFFF is a real checksum
        {"", f, 1001, std::nullopt, false, true},
        {"", f, 1000, sum + 1, false, false},               // the size decides alone
        {"", missing, 5, std::nullopt, false, false},       // size 0 is never new
        {"", f, -3, std::nullopt, false, false},            // criterion, but no size test
    };
    for (const Case &c : cases) {
        wu.UseCRC32 = c.crc;
        EXPECT_EQ(wu.CheckVersions(c.version, c.local, c.size, c.checksum), c.isNew)
            << c.version << " " << c.local << " " << c.size;
    }
}

TEST(CheckVersions, VersionComparisons)
{
    // The test program carries the project's version resource.
    const std::string self = RunningProgramFileName();
    const TVersionDwords own = GetFileVersionDwords(self);
    ASSERT_NE(own.High, -1);
    const unsigned a = unsigned(own.High) >> 16, b = unsigned(own.High) & 0xFFFF;
    const unsigned c = unsigned(own.Low) >> 16, d = unsigned(own.Low) & 0xFFFF;
    auto v = [](unsigned w, unsigned x, unsigned y, unsigned z, char sep = '.') {
        const std::string s(1, sep);
        return std::to_string(w) + s + std::to_string(x) + s + std::to_string(y) + s + std::to_string(z);
    };
    TempDir dir;
    const std::string plain = dir.file("plain.txt");
    testutil::writeFile(plain, "no version here");
    struct Case {
        std::string published;
        std::string local;
        bool isNew;
    } cases[] = {
        {v(a, b, c, d + 1), self, true},
        {v(a, b, c, d + 1, ','), self, true},       // commas mean the same
        {v(a, b, c, d), self, false},
        {v(a, b + 1, 0, 0), self, true},
        {v(a, b, c > 0 ? c - 1 : 0, 9), self, c == 0 ? d < 9 : false},
        {v(a > 0 ? a - 1 : 0, 99, 99, 99), self, a == 0},
        {std::to_string(a + 1) + "." + std::to_string(b) + "." + std::to_string(c), self, false},  // three parts
        {v(a, b, c, d + 1) + ".7", self, false},    // five parts
        {"1.0.0.0", plain, true},                   // no version resource: older than anything
        {"0.0.0.0", plain, true},
        {"garbage", plain, false},
    };
    TWebUpdate wu;
    for (const Case &k : cases)
        EXPECT_EQ(wu.CheckVersions(k.published, k.local, 0, std::nullopt), k.isNew) << k.published << " " << k.local;
    // A version never turns a differing checksum into "not new".
    EXPECT_TRUE(wu.CheckVersions(v(a, b, c, d), self, 0, 1u));
}
