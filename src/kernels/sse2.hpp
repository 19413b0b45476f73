// The SSE2 kernel, which every x86-64 processor has: a window classified
// in four 16-byte registers, a record's tokens two to a register.
#pragma once

#include <cstdint>
#include <cstring>

#include "../verdict.hpp"
#include "kernel.hpp"
#include "shapes.hpp"

#if defined(__SSE2__)
#define SCREENING_SSE2
#include <emmintrin.h>

struct sse2_kernel {
    using vector = __m128i;
    using lanes = __m128i;
    static constexpr int tokens = 2;

    static vector splat(std::uint8_t byte) { return _mm_set1_epi8(static_cast<char>(byte)); }

    // An empty assembly statement hides the value: a compiler cannot make
    // it anew where it is used, and keeps it.
    static vector held(vector a) {
        __asm__("" : "+x"(a));
        return a;
    }

    static vector every_lane(std::uint64_t word) {
        return _mm_set1_epi64x(static_cast<long long>(word));
    }

    static vector one_lane(int i) { return _mm_set_epi64x(-i, i - 1); }

    static vector load_ends(const unsigned char* c, const record_stops& stops, int back,
                            int first) {
        // The intrinsic takes vector pointers, and loads from any byte.
        const void* const ends[2] = {c - back - 8 + stops.stop[first],
                                     c - back - 8 + stops.stop[first + 1]};
        return _mm_unpacklo_epi64(_mm_loadl_epi64(static_cast<const __m128i*>(ends[0])),
                                  _mm_loadl_epi64(static_cast<const __m128i*>(ends[1])));
    }

    static vector equal(vector a, vector b) { return _mm_cmpeq_epi8(a, b); }

    static vector digits(vector a) { return _mm_cmpeq_epi8(_mm_min_epu8(a, splat(9)), a); }

    // Tab to carriage return are the bytes that clamping to 9 ... 13 leaves
    // alone.
    static vector white_space(vector a) {
        const vector clamped = _mm_min_epu8(_mm_max_epu8(a, splat('\t')), splat('\r'));
        return _mm_cmpeq_epi8(a, splat(' ')) | _mm_cmpeq_epi8(clamped, a);
    }

    template <int bytes>
    static vector down(vector a) {
        return _mm_srli_epi64(a, 8 * bytes);
    }

    template <int bytes>
    static vector up(vector a) {
        return _mm_slli_epi64(a, 8 * bytes);
    }

    // SSE2 compares 32 bits at most: a lane is zero where both halves are.
    static vector lane_zero(vector a) {
        const vector halves = _mm_cmpeq_epi32(a, _mm_setzero_si128());
        return halves & _mm_shuffle_epi32(halves, 0xb1);
    }

    // Eight digits at a time in a lane: pairs (the first times 10), then
    // fours by a multiply-add, then eights.
    static vector eight_digit_values(vector digits) {
        const vector pairs =
            _mm_add_epi16(_mm_mullo_epi16(digits & _mm_set1_epi16(0xff), _mm_set1_epi16(10)),
                          _mm_srli_epi16(digits, 8));
        const vector fours = _mm_madd_epi16(pairs, _mm_set1_epi32(1 << 16 | 100));
        return _mm_add_epi64(_mm_mul_epu32(fours, _mm_set1_epi32(10000)),
                             _mm_srli_epi64(fours, 32));
    }

    static vector add(vector a, vector b) { return _mm_add_epi64(a, b); }

    static vector multiply(vector a, vector b) { return _mm_mul_epu32(a, b); }

    static bool all(vector a) { return _mm_movemask_epi8(a) == 0xffff; }

    static std::uint64_t lane(vector a, int i) {
        return static_cast<std::uint64_t>(_mm_cvtsi128_si64(i == 0 ? a : _mm_unpackhi_epi64(a, a)));
    }

    static unsigned certain_verdicts(const record_table& table, std::int32_t first, unsigned& yes) {
        return certain_verdicts_one_at_a_time(table, first, yes);
    }

    static window_masks classify(const unsigned char* c) {
        window_masks masks{0, 0, 0};
        for (int k = 0; k < 4; ++k) {
            vector bytes;
            std::memcpy(&bytes, c + 16L * k, sizeof bytes);
            const auto bits = [k](vector flags) {
                return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(flags))}
                       << (16 * k);
            };
            masks.white_space |= bits(white_space(bytes));
            masks.line_feeds |= bits(_mm_cmpeq_epi8(bytes, splat('\n')));
            masks.signs |=
                bits(_mm_cmpeq_epi8(bytes, splat('+')) | _mm_cmpeq_epi8(bytes, splat('-')));
        }
        return masks;
    }
};

#endif
