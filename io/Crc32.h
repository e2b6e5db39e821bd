#pragma once
// CRC-32 as zlib computes it (ISO-HDLC: reflected polynomial 0xEDB88320, initial and final
// value inverted), for checksums stored in files. Folds 64 bytes a step with carry-less
// multiplication where the processor has it, else calls zlib.

#include <cstddef>
#include <cstdint>

namespace hvk32 {

// The CRC of `size` bytes at `data`, continued from `crc` (0 to start), as zlib's crc32().
std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size);

} // namespace hvk32
