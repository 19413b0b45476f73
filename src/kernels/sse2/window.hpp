// The SSE2 kernel, which every x86-64 processor has: the window classified
// sixteen bytes at a time, and the four tokens of an unsigned record
// converted together, two to a register; other records a word at a time or
// token by token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../window.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace sse2_kernel {

// No constants are kept for a run of records.
struct constants {};

// White space: the space, and tab to carriage return, the bytes that
// clamping to 9 ... 13 leaves alone.
inline __m128i white_space_bytes(__m128i bytes) {
    const __m128i clamped =
        _mm_min_epu8(_mm_max_epu8(bytes, _mm_set1_epi8('\t')), _mm_set1_epi8('\r'));
    return _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(clamped, bytes));
}

inline record_window::window_masks classify_window(const unsigned char* c, constants /*k*/) {
    record_window::window_masks masks{0, 0, 0};
    for (std::ptrdiff_t k = 0; k < 4; ++k) {
        __m128i bytes;
        std::memcpy(&bytes, c + 16 * k, sizeof bytes);
        const auto bits = [](__m128i flags) {
            return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(flags))};
        };
        masks.white_space |= bits(white_space_bytes(bytes)) << (16 * k);
        masks.line_feeds |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))) << (16 * k);
    }
    return masks;
}

// Each byte's flag spread to every lower byte of its 64-bit lane.
inline __m128i spread_down(__m128i flags) {
    flags = _mm_or_si128(flags, _mm_srli_epi64(flags, 8));
    flags = _mm_or_si128(flags, _mm_srli_epi64(flags, 16));
    return _mm_or_si128(flags, _mm_srli_epi64(flags, 32));
}

// The eight digits of each lane as two numbers of four digits, as 32 bits.
inline __m128i four_digit_halves(__m128i digits) {
    // A 16-bit lane holds two digits, the first in its low byte.
    const __m128i first = _mm_and_si128(digits, _mm_set1_epi16(0xff));
    const __m128i pairs =
        _mm_add_epi16(_mm_mullo_epi16(first, _mm_set1_epi16(10)), _mm_srli_epi16(digits, 8));
    return _mm_madd_epi16(pairs, _mm_set1_epi32(100 + (1 << 16)));
}

// Four unsigned tokens of at most eight bytes each that stop at `stops`,
// each loaded as the eight bytes that end it (a 64-bit lane, two to a
// register), what lies at or below the white space before it cleared, the
// digits before the point moved up over it: stored in the row, exact as
// take_short_token is; false, having stored nothing, when one is not such a
// decimal (none with a point in the years), or is zero.
inline bool convert_short_tokens(const unsigned char* c, const record_window::record_stops& stops,
                                 record_table& table, std::int32_t row) {
    const auto eight_before = [c](std::uint64_t stop) {
        long long word = 0;
        std::memcpy(&word, c + stop - 8, sizeof word);
        return word;
    };
    const __m128i words[2] = {
        _mm_set_epi64x(eight_before(stops.stop[1]), eight_before(stops.stop[0])),
        _mm_set_epi64x(eight_before(stops.stop[3]), eight_before(stops.stop[2]))};
    __m128i digits[2];
    unsigned point_bytes[2];
    __m128i digit_bytes = _mm_set1_epi8(-1);
    for (int i = 0; i < 2; ++i) {
        const __m128i characters = _mm_andnot_si128(spread_down(white_space_bytes(words[i])),
                                                    _mm_xor_si128(words[i], _mm_set1_epi8('0')));
        const __m128i below = spread_down(_mm_cmpeq_epi8(characters, _mm_set1_epi8('.' ^ '0')));
        digits[i] = _mm_xor_si128(
            characters,
            _mm_and_si128(_mm_xor_si128(characters, _mm_slli_epi64(characters, 8)), below));
        digit_bytes = _mm_and_si128(
            digit_bytes, _mm_cmpeq_epi8(_mm_min_epu8(digits[i], _mm_set1_epi8(9)), digits[i]));
        point_bytes[i] = static_cast<unsigned>(_mm_movemask_epi8(below));
    }
    // The values in the order of the tokens.
    const __m128i values =
        _mm_madd_epi16(_mm_packs_epi32(four_digit_halves(digits[0]), four_digit_halves(digits[1])),
                       _mm_set1_epi32(10000 + (1 << 16)));
    if (_mm_movemask_epi8(digit_bytes) != 0xffff || (point_bytes[1] & 0xff) != 0 ||
        _mm_movemask_epi8(_mm_cmpeq_epi32(values, _mm_setzero_si128())) != 0)
        return false;
    // With n bytes at or below the point, 8 - n digits follow it (none when
    // n is 0 or 8); those bytes are the lowest n of the lane.
    const auto divisor = [](unsigned lane_bytes) {
        const auto at_or_below = static_cast<unsigned>(std::countr_one(lane_bytes & 0xff));
        return static_cast<float>(powers_of_ten[(8 - at_or_below) & 7]);
    };
    const __m128 quotients = _mm_div_ps(
        _mm_cvtepi32_ps(values), _mm_setr_ps(divisor(point_bytes[0]), divisor(point_bytes[0] >> 8),
                                             1.0f, divisor(point_bytes[1] >> 8)));
    record_window::store_record(
        table, row,
        {_mm_cvtss_f32(quotients), _mm_cvtss_f32(_mm_shuffle_ps(quotients, quotients, 1)),
         _mm_cvtsi128_si32(_mm_shuffle_epi32(values, 2)),
         _mm_cvtss_f32(_mm_shuffle_ps(quotients, quotients, 3))});
    return true;
}

// The others word by word, out of the loop.
[[gnu::noinline]] inline bool convert_by_words(const unsigned char* c,
                                               const record_window::window_masks& masks,
                                               const record_window::record_stops& stops,
                                               record_table& table, std::int32_t row, constants k) {
    return record_window::convert_record<constants>(c, masks, stops, table, row, k);
}

inline bool convert_record(const unsigned char* c, const record_window::window_masks& masks,
                           const record_window::record_stops& stops, record_table& table,
                           std::int32_t row, constants k) {
    using record_window::bits_below;
    // The bytes that start nine bytes of tokens.
    std::uint64_t long_runs = ~masks.white_space;
    long_runs &= long_runs >> 1;
    long_runs &= long_runs >> 2;
    long_runs &= long_runs >> 4;
    long_runs &= ~masks.white_space >> 8;
    return ((long_runs & bits_below(stops.stop[3]) & ~bits_below(stops.before)) == 0 &&
            convert_short_tokens(c, stops, table, row)) ||
           convert_by_words(c, masks, stops, table, row, k);
}

}  // namespace sse2_kernel

#endif
