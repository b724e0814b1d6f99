#include "webupdate/Wucrc32.h"

#include <array>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MIXDECK_CRC_CLMUL 1
#endif

namespace {

// Slicing by eight: Tables[0] is the classic byte table, Tables[k][b] the CRC
// of byte b followed by k zero bytes.
struct TCrcTables {
    std::array<std::array<uint32_t, 256>, 8> T;
    constexpr TCrcTables() : T()
    {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t c = b;
            for (int i = 0; i < 8; ++i)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            T[0][b] = c;
        }
        for (uint32_t b = 0; b < 256; ++b)
            for (int k = 1; k < 8; ++k)
                T[k][b] = (T[k - 1][b] >> 8) ^ T[0][T[k - 1][b] & 0xFF];
    }
};

constexpr TCrcTables Tables;

inline uint32_t Load32LE(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t UpdateCRC32Table(const uint8_t *p, size_t Size, uint32_t Crc)
{
    const auto &T = Tables.T;
    while (Size >= 8) {
        const uint32_t a = Load32LE(p) ^ Crc;
        const uint32_t b = Load32LE(p + 4);
        Crc = T[7][a & 0xFF] ^ T[6][(a >> 8) & 0xFF] ^ T[5][(a >> 16) & 0xFF] ^ T[4][a >> 24]
            ^ T[3][b & 0xFF] ^ T[2][(b >> 8) & 0xFF] ^ T[1][(b >> 16) & 0xFF] ^ T[0][b >> 24];
        p += 8;
        Size -= 8;
    }
    while (Size-- > 0)
        Crc = T[0][(Crc ^ *p++) & 0xFF] ^ (Crc >> 8);
    return Crc;
}

#ifdef MIXDECK_CRC_CLMUL
// Folding with carry-less multiplication: four 128-bit lanes are folded
// forward by 512 bits per round, then into one lane, then reduced to 32 bits
// (Barrett). The constants are x^n mod P in the bit-reflected domain.
// Size is at least 64 and a multiple of 16.
alignas(16) const uint64_t K1K2[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) const uint64_t K3K4[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) const uint64_t K5K0[2] = {0x0163cd6124, 0x0000000000};
alignas(16) const uint64_t Poly[2] = {0x01db710641, 0x01f7011641};

// One 128-bit lane folded forward over the next lane's bytes.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next)
{
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

__attribute__((target("pclmul,sse4.1")))
uint32_t UpdateCRC32Clmul(const uint8_t *p, size_t Size, uint32_t Crc)
{
    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(int(Crc)));
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i *>(K1K2));
    p += 64;
    Size -= 64;
    while (Size >= 64) {
        x1 = Fold(x1, k, _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        x2 = Fold(x2, k, _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16)));
        x3 = Fold(x3, k, _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32)));
        x4 = Fold(x4, k, _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48)));
        p += 64;
        Size -= 64;
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i *>(K3K4));
    x1 = Fold(x1, k, x2);
    x1 = Fold(x1, k, x3);
    x1 = Fold(x1, k, x4);
    while (Size >= 16) {
        x1 = Fold(x1, k, _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        p += 16;
        Size -= 16;
    }
    // 128 bits to 64.
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x2 = _mm_clmulepi64_si128(x1, k, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(K5K0));
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, mask32);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k, 0x00), x2);
    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i *>(Poly));
    x2 = _mm_and_si128(x1, mask32);
    x2 = _mm_clmulepi64_si128(x2, k, 0x10);
    x2 = _mm_and_si128(x2, mask32);
    x2 = _mm_clmulepi64_si128(x2, k, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return uint32_t(_mm_extract_epi32(x1, 1));
}

bool HaveClmul()
{
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
}
#endif

} // namespace

uint32_t UpdateCRC32Byte(uint8_t Byte, uint32_t Crc)
{
    return Tables.T[0][(Crc ^ Byte) & 0xFF] ^ (Crc >> 8);
}

uint32_t UpdateCRC32(const void *Data, size_t Size, uint32_t Crc)
{
    const uint8_t *p = static_cast<const uint8_t *>(Data);
#ifdef MIXDECK_CRC_CLMUL
    if (Size >= 64 && HaveClmul()) {
        const size_t bulk = Size & ~size_t(15);
        Crc = UpdateCRC32Clmul(p, bulk, Crc);
        p += bulk;
        Size -= bulk;
    }
#endif
    return UpdateCRC32Table(p, Size, Crc);
}

uint32_t CRC32Of(const void *Data, size_t Size)
{
    return FinishCRC32(UpdateCRC32(Data, Size, 0xFFFFFFFFu));
}

uint32_t CRC32ChecksumOfFile(const std::string &FileName)
{
    const int fd = open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    uint32_t crc = 0xFFFFFFFFu;
    uint8_t buf[4096];
    while (true) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;   // end, or a failed read: the sum so far stands
        crc = UpdateCRC32(buf, size_t(n), crc);
    }
    close(fd);
    return FinishCRC32(crc);
}
