#include "io/Crc32.h"

#include <zlib.h>

#include <algorithm>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define HVK32_CRC32_FOLDING 1
#endif

namespace hvk32 {

namespace {

std::uint32_t zlibCrc32(std::uint32_t crc, const unsigned char* p, std::size_t size)
{
    // In pieces zlib's length type takes.
    uLong value = crc;
    while (size > 0) {
        const auto n = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        value = ::crc32(value, p, n);
        p += n;
        size -= n;
    }
    return static_cast<std::uint32_t>(value);
}

#ifdef HVK32_CRC32_FOLDING

#define HVK32_CLMUL __attribute__((target("pclmul,sse4.1")))

HVK32_CLMUL inline __m128i load(const unsigned char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// `x` multiplied by the two powers of x in `k` (its halves), plus `next`.
HVK32_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// The reflected CRC register (not inverted) over `size` bytes, size a multiple of 16 and at
// least 64: four 128-bit lanes folded forward by 512 bits a step, folded into one, then
// reduced to 32 bits (Barrett). The constants are powers of x modulo the polynomial.
HVK32_CLMUL std::uint32_t foldCrc32(std::uint32_t crc, const unsigned char* p, std::size_t size)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4); // x^(512+32), x^(512-32)
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0); // x^(128+32), x^(128-32)
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);              // x^64
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641); // mu, P
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);

    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
    p += 64;
    size -= 64;
    for (; size >= 64; p += 64, size -= 64) {
        x1 = fold(x1, k1k2, load(p));
        x2 = fold(x2, k1k2, load(p + 16));
        x3 = fold(x3, k1k2, load(p + 32));
        x4 = fold(x4, k1k2, load(p + 48));
    }
    x1 = fold(x1, k3k4, x2);
    x1 = fold(x1, k3k4, x3);
    x1 = fold(x1, k3k4, x4);
    for (; size >= 16; p += 16, size -= 16)
        x1 = fold(x1, k3k4, load(p));

    // 128 to 64 bits, then 64 to 32 by Barrett reduction.
    __m128i x2b = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2b);
    x2b = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), x2b);
    x2b = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    x2b = _mm_clmulepi64_si128(_mm_and_si128(x2b, low32), poly, 0x00);
    x1 = _mm_xor_si128(x1, x2b);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool canFold()
{
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}

#endif

} // namespace

std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
#ifdef HVK32_CRC32_FOLDING
    if (size >= 64 && canFold()) {
        const std::size_t folded = size & ~std::size_t(15);
        crc = ~foldCrc32(~crc, p, folded);
        p += folded;
        size -= folded;
    }
#endif
    return zlibCrc32(crc, p, size);
}

} // namespace hvk32
