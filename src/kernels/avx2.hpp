// The AVX2 kernel (with BMI1, BMI2, LZCNT and POPCNT): a window classified
// in two 32-byte registers, a record's four tokens in one, and answers four
// rows at a time.
#pragma once

#include <cstdint>
#include <cstring>

#include "../binary32.hpp"
#include "kernel.hpp"
#include "shapes.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SCREENING_AVX2
#include <immintrin.h>

// The kernel's functions have these target options; they are inlined only
// into functions that have them too (kernels.cpp).
#define SCREENING_AVX2_TARGET gnu::target("avx2,bmi,bmi2,lzcnt,popcnt")
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,bmi2,lzcnt,popcnt"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,lzcnt,popcnt")
#endif

struct avx2_kernel {
    using lanes = __m256i;
    static constexpr int tokens = 4;

    // An empty assembly statement hides the value: a compiler cannot make
    // it anew where it is used, and keeps it.
    static lanes held(lanes a) {
        __asm__("" : "+x"(a));
        return a;
    }
    static lanes splat(std::uint8_t byte) { return _mm256_set1_epi8(static_cast<char>(byte)); }
    static lanes every_lane(std::uint64_t word) {
        return _mm256_set1_epi64x(static_cast<long long>(word));
    }
    static lanes one_lane(int i) {
        return _mm256_cmpeq_epi64(_mm256_setr_epi64x(0, 1, 2, 3), _mm256_set1_epi64x(i));
    }
    // The eight bytes at `low`, then those at `high`: the intrinsics take
    // vector pointers, and load from any byte.
    static __m128i two_words(const unsigned char* low, const unsigned char* high) {
        const void* const at[2] = {low, high};
        return _mm_castpd_si128(
            _mm_loadh_pd(_mm_castsi128_pd(_mm_loadl_epi64(static_cast<const __m128i*>(at[0]))),
                         static_cast<const double*>(at[1])));
    }
    static lanes load_ends(const unsigned char* c, const record_stops& stops, int back,
                           int /*first*/) {
        const unsigned char* const ends = c - back - 8;
        return _mm256_set_m128i(two_words(ends + stops.stop[2], ends + stops.stop[3]),
                                two_words(ends + stops.stop[0], ends + stops.stop[1]));
    }

    static lanes equal(lanes a, lanes b) { return _mm256_cmpeq_epi8(a, b); }
    static lanes digits(lanes a) { return _mm256_cmpeq_epi8(_mm256_min_epu8(a, splat(9)), a); }
    // Nibble-table classification: a white space byte equals the white
    // space character with its low nibble (the space for 0, tab to carriage
    // return for themselves, 0xff for the others, which no byte below 0x80
    // is); the lookup gives 0 for bytes from 0x80 on, which none of them is.
    static lanes white_space(lanes bytes) {
        const __m256i by_low_nibble = _mm256_broadcastsi128_si256(_mm_setr_epi8(
            ' ', -1, -1, -1, -1, -1, -1, -1, -1, '\t', '\n', '\v', '\f', '\r', -1, -1));
        return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(by_low_nibble, bytes), bytes);
    }
    static lanes signs(lanes bytes) { return equal(bytes, splat('+')) | equal(bytes, splat('-')); }

    template <int bytes>
    static lanes down(lanes a) {
        return _mm256_srli_epi64(a, 8 * bytes);
    }
    template <int bytes>
    static lanes up(lanes a) {
        return _mm256_slli_epi64(a, 8 * bytes);
    }
    static lanes lane_zero(lanes a) { return _mm256_cmpeq_epi64(a, _mm256_setzero_si256()); }
    // Eight digits at a time in a lane: pairs (the first times 10), then
    // fours, then eights, by multiply-adds.
    static lanes eight_digit_values(lanes digits) {
        const __m256i fours =
            _mm256_madd_epi16(_mm256_maddubs_epi16(digits, _mm256_set1_epi16(1 << 8 | 10)),
                              _mm256_set1_epi32(1 << 16 | 100));
        return _mm256_add_epi64(_mm256_mul_epu32(fours, _mm256_set1_epi64x(10000)),
                                _mm256_srli_epi64(fours, 32));
    }
    static lanes add(lanes a, lanes b) { return _mm256_add_epi64(a, b); }
    static lanes multiply(lanes a, lanes b) { return _mm256_mul_epu32(a, b); }
    static bool all(lanes a) { return _mm256_movemask_epi8(a) == -1; }
    static std::uint64_t lane(lanes a, int i) {
        const __m128i half = i < 2 ? _mm256_castsi256_si128(a) : _mm256_extracti128_si256(a, 1);
        return static_cast<std::uint64_t>(i % 2 == 0 ? _mm_cvtsi128_si64(half)
                                                     : _mm_extract_epi64(half, 1));
    }

    // The four quotients in binary32 at once: the numbers converted, their
    // powers of ten picked by the bytes at or below the point (their sum is
    // 255 (p + 1) for a point at p, 7 - p modulo 8).
    static void plain_values(lanes numbers, lanes below, int /*first*/, record_values& values) {
        const __m256 powers = _mm256_setr_ps(1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f);
        const __m256 quotients = _mm256_div_ps(
            _mm256_cvtepi32_ps(numbers),
            _mm256_permutevar8x32_ps(powers, _mm256_sad_epu8(below, _mm256_setzero_si256())));
        const __m128 low = _mm256_castps256_ps128(quotients);
        const __m128 high = _mm256_extractf128_ps(quotients, 1);
        values = {_mm_cvtss_f32(low), _mm_cvtss_f32(_mm_movehl_ps(low, low)),
                  _mm256_extract_epi32(numbers, 4), _mm_cvtss_f32(_mm_movehl_ps(high, high))};
    }

    // The four in binary64 at once: the numbers (below 2^52) made binary64
    // by their bits, divided by their gathered powers of ten, narrowed
    // unless a binary32 midpoint that is no exact tie (signed_amount in
    // shapes.hpp has why), the signs put in.
    static bool signed_values(const signed_tokens<avx2_kernel>& record, int /*first*/,
                              record_values& values) {
        const __m256i two_to_52 = _mm256_set1_epi64x(0x4330000000000000);
        const __m256d exact = _mm256_sub_pd(_mm256_castsi256_pd(record.numbers | two_to_52),
                                            _mm256_castsi256_pd(two_to_52));
        const __m256i places =
            _mm256_sad_epu8(record.below, _mm256_setzero_si256()) & _mm256_set1_epi64x(7);
        const __m256d powers = _mm256_i64gather_pd(powers_of_ten, places, 8);
        const __m256d quotients = _mm256_div_pd(exact, powers);
        const __m256i midpoints =
            _mm256_cmpeq_epi64(_mm256_castpd_si256(quotients) &
                                   _mm256_set1_epi64x(static_cast<long long>(below_binary32)),
                               _mm256_set1_epi64x(static_cast<long long>(midpoint_bits)));
        const auto years = static_cast<std::uint64_t>(_mm256_extract_epi64(record.numbers, 2));
        if (years > 0x7fffffff ||
            (_mm256_testz_si256(midpoints, midpoints) == 0 &&
             _mm256_testc_si256(_mm256_castpd_si256(_mm256_cmp_pd(_mm256_mul_pd(quotients, powers),
                                                                  exact, _CMP_EQ_OQ)),
                                midpoints) == 0))
            return false;
        const __m128 amounts = _mm256_cvtpd_ps(_mm256_castsi256_pd(
            _mm256_castpd_si256(quotients) ^
            _mm256_andnot_si256(record.positive, _mm256_set1_epi64x(INT64_MIN))));
        values = {_mm_cvtss_f32(amounts), _mm_cvtss_f32(_mm_movehdup_ps(amounts)),
                  _mm256_extract_epi64(record.positive, 2) == 0 ? -static_cast<std::int32_t>(years)
                                                                : static_cast<std::int32_t>(years),
                  _mm_cvtss_f32(_mm_shuffle_ps(amounts, amounts, 3))};
        return true;
    }

    static window_masks classify(const unsigned char* c) {
        lanes low;
        lanes high;
        std::memcpy(&low, c, sizeof low);
        std::memcpy(&high, c + 32, sizeof high);
        const auto mask = [](lanes low_flags, lanes high_flags) {
            return static_cast<std::uint32_t>(_mm256_movemask_epi8(low_flags)) |
                   std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high_flags))}
                       << 32;
        };
        return {mask(white_space(low), white_space(high)),
                mask(equal(low, splat('\n')), equal(high, splat('\n'))),
                mask(signs(low), signs(high))};
    }

    // Four rows at once (verdict.hpp has why an answer decided here is the
    // rule's).
    static unsigned certain_verdicts(const record_table& table, std::int32_t first, unsigned& yes) {
        const __m256d base = _mm256_cvtps_pd(_mm_loadu_ps(&table.base_amount[first]));
        const __m256d monthly = _mm256_cvtps_pd(_mm_loadu_ps(&table.monthly_amount[first]));
        const __m256d percent = _mm256_cvtps_pd(_mm_loadu_ps(&table.percent[first]));
        __m128i years;
        std::memcpy(&years, &table.years[first], sizeof years);
        const __m256d months = _mm256_mul_pd(_mm256_cvtepi32_pd(years), _mm256_set1_pd(12.0));
        const __m256d total = _mm256_mul_pd(monthly, months);
        const __m256d increase = _mm256_mul_pd(base, _mm256_div_pd(percent, _mm256_set1_pd(100.0)));
        const __m256d threshold = _mm256_add_pd(base, increase);
        const __m256d difference = _mm256_sub_pd(total, threshold);
        const __m256d magnitude = _mm256_set1_pd(-0.0);
        const __m256d bound =
            _mm256_mul_pd(_mm256_add_pd(_mm256_add_pd(_mm256_andnot_pd(magnitude, total),
                                                      _mm256_andnot_pd(magnitude, base)),
                                        _mm256_andnot_pd(magnitude, increase)),
                          _mm256_set1_pd(0x1p-50));
        const auto bits = [](__m256d flags) {
            return static_cast<unsigned>(_mm256_movemask_pd(flags));
        };
        const unsigned special =
            bits(_mm256_cmp_pd(bound, _mm256_set1_pd(__builtin_inf()), _CMP_NLT_UQ));
        const unsigned above = bits(_mm256_cmp_pd(difference, bound, _CMP_GT_OQ));
        const unsigned below =
            bits(_mm256_cmp_pd(_mm256_xor_pd(difference, magnitude), bound, _CMP_GT_OQ));
        yes = above | (special & bits(_mm256_cmp_pd(total, threshold, _CMP_GT_OQ)));
        return above | below | special;
    }
};

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
