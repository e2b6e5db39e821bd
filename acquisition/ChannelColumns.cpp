// decodeChannelColumns: the frame's blocks (one row of 32 channels each) turned into one
// column per channel. Tiles of 16 blocks are transposed in registers where the processor
// has AVX2; the plain loop does the rest and serves other processors. Both give the same
// values: a distance count converted to float exactly, an intensity widened.

#include "acquisition/DataPacket.h"
#include "acquisition/PointDecoding.h"

#include <algorithm>

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define HVK32_AVX2_COLUMNS 1
#include <immintrin.h>
#endif

namespace hvk32 {

namespace {

constexpr std::size_t kTile = 16;

// Blocks [first, n), a few at a time, every channel: the blocks' bytes stay in the
// first-level cache while each channel's lists are written on.
void decodeTilesPlain(const std::uint8_t* __restrict blocks, std::size_t first, std::size_t n,
                      float* const* distances, int* const* intensities)
{
    for (; first < n; first += kTile) {
        const std::size_t m = std::min(kTile, n - first);
        for (int c = 0; c < datapacket::kChannelsPerBlock; ++c) {
            const std::uint8_t* __restrict p = blocks + first * datapacket::kBlockSize
                + datapacket::channelOffset(0, c);
            float* __restrict d = distances[c] + first;
            int* __restrict i = intensities[c] + first;
            for (std::size_t k = 0; k < m; ++k) {
                d[k] = static_cast<float>(le16(p + k * datapacket::kBlockSize));
                i[k] = p[k * datapacket::kBlockSize + datapacket::kIntensityOffset];
            }
        }
    }
}

#ifdef HVK32_AVX2_COLUMNS

#define HVK32_AVX2 __attribute__((target("avx2")))

// 16 bytes at `a` in lane 0 and 16 at `b` in lane 1.
HVK32_AVX2 inline __m256i lanes(const std::uint8_t* a, const std::uint8_t* b)
{
    return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(b), reinterpret_cast<const __m128i*>(a));
}

// One block's 32 channels: distance counts as two rows of 16 (channels 0-15, 16-31) and
// intensities as one row of 32 bytes. Four channels (12 bytes) are shuffled per 16-byte
// lane into their four distances (8 bytes) and four intensities (4 bytes); lane pairs are
// then merged so that the channels come out in order.
HVK32_AVX2 inline void splitBlock(const std::uint8_t* channels, __m256i& low, __m256i& high, __m256i& levels)
{
    // Channels 28-31 are read from 4 bytes earlier, so no read passes the block's end.
    const __m256i plain = _mm256_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, 2, 5, 8, 11, -1, -1, -1, -1, //
                                           0, 1, 3, 4, 6, 7, 9, 10, 2, 5, 8, 11, -1, -1, -1, -1);
    const __m256i last = _mm256_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, 2, 5, 8, 11, -1, -1, -1, -1, //
                                          4, 5, 7, 8, 10, 11, 13, 14, 6, 9, 12, 15, -1, -1, -1, -1);
    // Lane 0 / lane 1: channels 0-3 / 8-11, 4-7 / 12-15, 16-19 / 24-27, 20-23 / 28-31.
    const __m256i a = _mm256_shuffle_epi8(lanes(channels, channels + 24), plain);
    const __m256i b = _mm256_shuffle_epi8(lanes(channels + 12, channels + 36), plain);
    const __m256i c = _mm256_shuffle_epi8(lanes(channels + 48, channels + 72), plain);
    const __m256i d = _mm256_shuffle_epi8(lanes(channels + 60, channels + 80), last);
    low = _mm256_unpacklo_epi64(a, b);
    high = _mm256_unpacklo_epi64(c, d);
    // Intensities of channels 0-7, 16-23 / 8-15, 24-31, put in order.
    const __m256i mixed = _mm256_unpacklo_epi64(_mm256_unpackhi_epi32(a, b), _mm256_unpackhi_epi32(c, d));
    levels = _mm256_permute4x64_epi64(mixed, _MM_SHUFFLE(3, 1, 2, 0));
}

// Eight rows of 16-bit values transposed within each lane: out[j] holds column j of the
// rows in lane 0 and column 8 + j in lane 1.
HVK32_AVX2 inline void transpose8x16(const __m256i* rows, __m256i* out)
{
    __m256i t[8], u[8];
    for (int i = 0; i < 4; ++i) {
        t[2 * i] = _mm256_unpacklo_epi16(rows[2 * i], rows[2 * i + 1]);
        t[2 * i + 1] = _mm256_unpackhi_epi16(rows[2 * i], rows[2 * i + 1]);
    }
    for (int h = 0; h < 2; ++h) {
        u[4 * h + 0] = _mm256_unpacklo_epi32(t[4 * h], t[4 * h + 2]);
        u[4 * h + 1] = _mm256_unpackhi_epi32(t[4 * h], t[4 * h + 2]);
        u[4 * h + 2] = _mm256_unpacklo_epi32(t[4 * h + 1], t[4 * h + 3]);
        u[4 * h + 3] = _mm256_unpackhi_epi32(t[4 * h + 1], t[4 * h + 3]);
    }
    for (int j = 0; j < 4; ++j) {
        out[2 * j] = _mm256_unpacklo_epi64(u[j], u[4 + j]);
        out[2 * j + 1] = _mm256_unpackhi_epi64(u[j], u[4 + j]);
    }
}

// Sixteen rows of bytes transposed within each lane: out[j] holds column j of the rows in
// lane 0 and column 16 + j in lane 1.
HVK32_AVX2 inline void transpose16x8(const __m256i* rows, __m256i* out)
{
    __m256i b[16], c[16], d[16];
    for (int i = 0; i < 8; ++i) {
        b[i] = _mm256_unpacklo_epi8(rows[2 * i], rows[2 * i + 1]);
        b[i + 8] = _mm256_unpackhi_epi8(rows[2 * i], rows[2 * i + 1]);
    }
    for (int i = 0; i < 4; ++i) {
        c[i] = _mm256_unpacklo_epi16(b[2 * i], b[2 * i + 1]);
        c[i + 4] = _mm256_unpackhi_epi16(b[2 * i], b[2 * i + 1]);
        c[i + 8] = _mm256_unpacklo_epi16(b[8 + 2 * i], b[8 + 2 * i + 1]);
        c[i + 12] = _mm256_unpackhi_epi16(b[8 + 2 * i], b[8 + 2 * i + 1]);
    }
    for (int g = 0; g < 4; ++g) {
        d[4 * g + 0] = _mm256_unpacklo_epi32(c[4 * g], c[4 * g + 1]);
        d[4 * g + 1] = _mm256_unpackhi_epi32(c[4 * g], c[4 * g + 1]);
        d[4 * g + 2] = _mm256_unpacklo_epi32(c[4 * g + 2], c[4 * g + 3]);
        d[4 * g + 3] = _mm256_unpackhi_epi32(c[4 * g + 2], c[4 * g + 3]);
    }
    for (int g = 0; g < 4; ++g) {
        out[4 * g + 0] = _mm256_unpacklo_epi64(d[4 * g], d[4 * g + 2]);
        out[4 * g + 1] = _mm256_unpackhi_epi64(d[4 * g], d[4 * g + 2]);
        out[4 * g + 2] = _mm256_unpacklo_epi64(d[4 * g + 1], d[4 * g + 3]);
        out[4 * g + 3] = _mm256_unpackhi_epi64(d[4 * g + 1], d[4 * g + 3]);
    }
}

HVK32_AVX2 inline void storeDistances(__m128i counts, float* to)
{
    _mm256_storeu_ps(to, _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(counts)));
}

HVK32_AVX2 inline void storeIntensities(__m128i levels, int* to)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm256_cvtepu8_epi32(levels));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 8), _mm256_cvtepu8_epi32(_mm_srli_si128(levels, 8)));
}

HVK32_AVX2 void decodeTile(const std::uint8_t* blocks, std::size_t first, float* const* distances,
                           int* const* intensities)
{
    __m256i low[kTile], high[kTile], levels[kTile];
    for (std::size_t k = 0; k < kTile; ++k)
        splitBlock(blocks + (first + k) * datapacket::kBlockSize + datapacket::kFirstChannelOffset, low[k], high[k],
                   levels[k]);
    // Distances: per half of the channels, blocks 0-7 and 8-15.
    for (int half = 0; half < 2; ++half) {
        const __m256i* rows = half == 0 ? low : high;
        __m256i early[8], late[8];
        transpose8x16(rows, early);
        transpose8x16(rows + 8, late);
        for (int j = 0; j < 8; ++j) {
            const int c = 16 * half + j;
            storeDistances(_mm256_castsi256_si128(early[j]), distances[c] + first);
            storeDistances(_mm256_castsi256_si128(late[j]), distances[c] + first + 8);
            storeDistances(_mm256_extracti128_si256(early[j], 1), distances[c + 8] + first);
            storeDistances(_mm256_extracti128_si256(late[j], 1), distances[c + 8] + first + 8);
        }
    }
    __m256i columns[16];
    transpose16x8(levels, columns);
    for (int j = 0; j < 16; ++j) {
        storeIntensities(_mm256_castsi256_si128(columns[j]), intensities[j] + first);
        storeIntensities(_mm256_extracti128_si256(columns[j], 1), intensities[j + 16] + first);
    }
}

HVK32_AVX2 void decodeTilesAvx2(const std::uint8_t* blocks, std::size_t n, float* const* distances,
                                int* const* intensities)
{
    std::size_t first = 0;
    for (; first + kTile <= n; first += kTile)
        decodeTile(blocks, first, distances, intensities);
    decodeTilesPlain(blocks, first, n, distances, intensities);
}

#endif // HVK32_AVX2_COLUMNS

} // namespace

void decodeChannelColumns(const std::uint8_t* blocks, std::size_t n, float* const* distances, int* const* intensities)
{
#ifdef HVK32_AVX2_COLUMNS
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        decodeTilesAvx2(blocks, n, distances, intensities);
        return;
    }
#endif
    decodeTilesPlain(blocks, 0, n, distances, intensities);
}

} // namespace hvk32
