#include "drivers/text/line_scan.h"

#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace sitedex::text {

namespace {

inline bool isStop(unsigned char c, const StopBytes& s) {
    return c == s.terminatorFirst || c == 9 || c == 26;
}

size_t copyBytes(char* rec, size_t cap, const char* line, const StopBytes& stop) {
    size_t k = 0;
    for (; k < cap && !isStop(static_cast<unsigned char>(line[k]), stop); ++k)
        rec[k] = line[k];
    std::memset(rec + k, ' ', cap - k);
    return k;
}

#if defined(__x86_64__)

// Line lengths vary from line to line, so a loop that stops at the block holding the end of the line
// takes a mispredicted branch on nearly every line; so would blanking only what follows the line. The
// block variants therefore blank the whole record first (the same number of stores for every line) and
// copy the line over it in whole blocks, blanking the bytes of the last block past the stop byte again.
// The AVX2 variant goes further for lines shorter than six blocks, most lines: it tests all six blocks,
// finds the first stop byte from their masks together and stores each block as line bytes and blanks,
// with no branch on the line's length at all.

// Blanks rec[0..cap) in blocks of 16 bytes, aligned after the first. REQUIRES: cap >= 16.
void blankAll16(char* rec, size_t cap) {
    const __m128i blanks = _mm_set1_epi8(' ');
    char* end = rec + cap;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rec), blanks);
    char* p = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(rec) & ~uintptr_t(15)) + 16);
    for (; end - p >= 16; p += 16)
        _mm_store_si128(reinterpret_cast<__m128i*>(p), blanks);
    if (p < end)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(end - 16), blanks);
}

inline unsigned stopMaskSse2(__m128i x, __m128i t) {
    const __m128i tab = _mm_set1_epi8(9), eof = _mm_set1_epi8(26);
    return unsigned(_mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, t), _mm_cmpeq_epi8(x, tab)), _mm_cmpeq_epi8(x, eof))));
}

size_t copySse2(char* rec, size_t cap, const char* line, const StopBytes& stop) {
    if (cap < 16)
        return copyBytes(rec, cap, line, stop);
    const __m128i t = _mm_set1_epi8(char(stop.terminatorFirst));
    blankAll16(rec, cap);
    size_t i = 0;
    for (; i + 16 <= cap; i += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rec + i), x);
        if (unsigned m = stopMaskSse2(x, t)) {
            size_t k = i + size_t(__builtin_ctz(m));
            if (k + 16 <= cap)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(rec + k), _mm_set1_epi8(' '));
            else
                std::memset(rec + k, ' ', i + 16 - k);
            return k;
        }
    }
    if (i < cap) {
        // The last part block: the block that ends at cap, without the bytes already looked at.
        size_t j = cap - 16;
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + j));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rec + j), x);
        if (unsigned m = stopMaskSse2(x, t) >> (i - j) << (i - j)) {
            size_t k = j + size_t(__builtin_ctz(m));
            std::memset(rec + k, ' ', cap - k);
            return k;
        }
    }
    return cap;
}

// The AVX2 variant's width for lines done without a loop: six blocks.
constexpr size_t kShortLine = 192;

// i + 128 (mod 256) for i in 0..191: byte offsets within the first six blocks, for signed compares.
struct BiasedIndex {
    alignas(32) unsigned char bytes[kShortLine];
    constexpr BiasedIndex() : bytes() {
        for (size_t i = 0; i < kShortLine; ++i)
            bytes[i] = static_cast<unsigned char>(i ^ 0x80);
    }
};
constexpr BiasedIndex kBiasedIndexTable;
constexpr const unsigned char* kBiasedIndex = kBiasedIndexTable.bytes;

// AVX2: 32 bytes at a time, and the stop bytes found by one table look-up per block (by low nibble)
// instead of three compares; a terminator that the table cannot hold is compared apart.
template <bool kTableHoldsAll>
[[gnu::target("avx2,bmi"), gnu::always_inline]] inline unsigned stopMaskAvx2(__m256i x, __m256i table, __m256i t) {
    __m256i h = _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, x), x);
    if constexpr (!kTableHoldsAll)
        h = _mm256_or_si256(h, _mm256_cmpeq_epi8(x, t));
    return unsigned(_mm256_movemask_epi8(h));
}

// The stop bytes of two consecutive blocks as one 64-bit mask.
template <bool kTableHoldsAll>
[[gnu::target("avx2,bmi"), gnu::always_inline]] inline uint64_t stopMask2Avx2(__m256i lo, __m256i hi, __m256i table,
                                                                              __m256i t) {
    return stopMaskAvx2<kTableHoldsAll>(lo, table, t) | uint64_t(stopMaskAvx2<kTableHoldsAll>(hi, table, t)) << 32;
}

// Blanks [p, end): a first store, then aligned ones, the last one ending at end.
[[gnu::target("avx2"), gnu::always_inline]] inline void blankAvx2(char* p, char* end) {
    if (end - p < 32) {
        std::memset(p, ' ', size_t(end - p));
        return;
    }
    const __m256i blanks = _mm256_set1_epi8(' ');
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), blanks);
    p = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) & ~uintptr_t(31)) + 32);
    for (; end - p >= 32; p += 32)
        _mm256_store_si256(reinterpret_cast<__m256i*>(p), blanks);
    if (p < end)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(end - 32), blanks);
}

template <bool kTableHoldsAll>
[[gnu::target("avx2,bmi")]] size_t copyAvx2(char* rec, size_t cap, const char* line, const StopBytes& stop) {
    if (cap < 32)
        return copySse2(rec, cap, line, stop);
    const __m256i table = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(stop.byNibble)));
    const __m256i t = _mm256_set1_epi8(char(stop.terminatorFirst));
    const __m256i blanks = _mm256_set1_epi8(' ');
    char* end = rec + cap;
    size_t i = 0;

    if (cap >= kShortLine) {
        // The six blocks at once (see above).
        const auto* src = reinterpret_cast<const __m256i*>(line);
        const __m256i x0 = _mm256_loadu_si256(src), x1 = _mm256_loadu_si256(src + 1), x2 = _mm256_loadu_si256(src + 2),
                      x3 = _mm256_loadu_si256(src + 3), x4 = _mm256_loadu_si256(src + 4),
                      x5 = _mm256_loadu_si256(src + 5);
        // tzcnt answers 64 for an empty word: k = the first set bit over the three words, 192 for none.
        const uint64_t t0 = _tzcnt_u64(stopMask2Avx2<kTableHoldsAll>(x0, x1, table, t)),
                       t1 = _tzcnt_u64(stopMask2Avx2<kTableHoldsAll>(x2, x3, table, t)),
                       t2 = _tzcnt_u64(stopMask2Avx2<kTableHoldsAll>(x4, x5, table, t));
        const size_t k = size_t(t0 + (-(t0 >> 6) & (t1 + (-(t1 >> 6) & t2))));
        if (k < kShortLine) [[likely]] {
            // Byte i of the line is kept where i < k; compared as signed bytes, both offset by 128.
            const __m256i kBiased = _mm256_set1_epi8(char(k ^ 0x80));
            const auto* at = reinterpret_cast<const __m256i*>(kBiasedIndex);
            auto* out = reinterpret_cast<__m256i*>(rec);
            _mm256_storeu_si256(out, _mm256_blendv_epi8(blanks, x0, _mm256_cmpgt_epi8(kBiased, _mm256_load_si256(at))));
            _mm256_storeu_si256(out + 1,
                                _mm256_blendv_epi8(blanks, x1, _mm256_cmpgt_epi8(kBiased, _mm256_load_si256(at + 1))));
            _mm256_storeu_si256(out + 2,
                                _mm256_blendv_epi8(blanks, x2, _mm256_cmpgt_epi8(kBiased, _mm256_load_si256(at + 2))));
            _mm256_storeu_si256(out + 3,
                                _mm256_blendv_epi8(blanks, x3, _mm256_cmpgt_epi8(kBiased, _mm256_load_si256(at + 3))));
            _mm256_storeu_si256(out + 4,
                                _mm256_blendv_epi8(blanks, x4, _mm256_cmpgt_epi8(kBiased, _mm256_load_si256(at + 4))));
            _mm256_storeu_si256(out + 5,
                                _mm256_blendv_epi8(blanks, x5, _mm256_cmpgt_epi8(kBiased, _mm256_load_si256(at + 5))));
            blankAvx2(rec + kShortLine, end);
            return k;
        }
        // No stop byte in the first six blocks: they go in whole, and the search goes on after them.
        blankAvx2(rec + kShortLine, end);
        auto* out = reinterpret_cast<__m256i*>(rec);
        _mm256_storeu_si256(out, x0);
        _mm256_storeu_si256(out + 1, x1);
        _mm256_storeu_si256(out + 2, x2);
        _mm256_storeu_si256(out + 3, x3);
        _mm256_storeu_si256(out + 4, x4);
        _mm256_storeu_si256(out + 5, x5);
        i = kShortLine;
    } else {
        // A narrow record: blank it, then copy block by block.
        blankAvx2(rec, end);
    }

    for (; i + 32 <= cap; i += 32) {
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rec + i), x);
        if (unsigned m = stopMaskAvx2<kTableHoldsAll>(x, table, t)) {
            size_t k = i + size_t(__builtin_ctz(m));
            if (k + 32 <= cap)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(rec + k), blanks);
            else
                std::memset(rec + k, ' ', i + 32 - k);
            return k;
        }
    }
    if (i < cap) {
        size_t j = cap - 32;
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line + j));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rec + j), x);
        if (unsigned m = stopMaskAvx2<kTableHoldsAll>(x, table, t) >> (i - j) << (i - j)) {
            size_t k = j + size_t(__builtin_ctz(m));
            std::memset(rec + k, ' ', cap - k);
            return k;
        }
    }
    return cap;
}

#endif

}  // namespace

bool isaAvailable(Isa isa) {
    switch (isa) {
        case Isa::kBytes:
            return true;
#if defined(__x86_64__)
        case Isa::kSse2:
            return true;
        case Isa::kAvx2:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
#endif
        default:
            return false;
    }
}

Isa bestIsa() {
    static const Isa best = isaAvailable(Isa::kAvx2) ? Isa::kAvx2 : isaAvailable(Isa::kSse2) ? Isa::kSse2 : Isa::kBytes;
    return best;
}

StopBytes stopBytesFor(unsigned char terminatorFirst, Isa isa) {
    StopBytes s;
    s.terminatorFirst = terminatorFirst;
    for (unsigned i = 0; i < 16; ++i)
        s.byNibble[i] = static_cast<unsigned char>(i ^ 1);
    s.byNibble[9] = 9;
    s.byNibble[10] = 26;
    unsigned nibble = terminatorFirst & 15u;
    if (terminatorFirst >= 0x80) {
        // The table look-up answers 0 for bytes of 128 and above: such a terminator is compared apart.
        s.tableHoldsAll = false;
    } else if (nibble == 9 || nibble == 10) {
        s.tableHoldsAll = terminatorFirst == s.byNibble[nibble];
    } else {
        s.byNibble[nibble] = terminatorFirst;
        s.tableHoldsAll = true;
    }
    s.copy = copyBytes;
#if defined(__x86_64__)
    if (isa == Isa::kSse2)
        s.copy = copySse2;
    if (isa == Isa::kAvx2)
        s.copy = s.tableHoldsAll ? copyAvx2<true> : copyAvx2<false>;
#else
    (void)isa;
#endif
    return s;
}

}  // namespace sitedex::text
