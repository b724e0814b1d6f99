#pragma once
// CRC-32 of the web update's checksum test: the reflected polynomial
// EDB88320, start value FFFFFFFF, final complement (the CRC of zip and zlib).
#include <cstddef>
#include <cstdint>
#include <string>

// One byte through the table: table[(crc xor byte) and 255] xor (crc >> 8).
uint32_t UpdateCRC32Byte(uint8_t Byte, uint32_t Crc);
// A block of bytes; the same result as UpdateCRC32Byte over each byte, only
// faster: folded with carry-less multiplication where the processor has it,
// otherwise eight bytes per table round.
uint32_t UpdateCRC32(const void *Data, size_t Size, uint32_t Crc);
// The final complement.
inline uint32_t FinishCRC32(uint32_t Crc) { return ~Crc; }
// CRC-32 of a whole buffer (start value, blocks, final complement).
uint32_t CRC32Of(const void *Data, size_t Size);

// CRC-32 of a file read in blocks; 0 (the CRC of no bytes) when it cannot be
// opened.
uint32_t CRC32ChecksumOfFile(const std::string &FileName);
