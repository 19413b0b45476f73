// The SSE2 window reader: two 16-byte registers for the window's masks, the
// tokens found and aligned in general registers, then converted two at a
// time. Every x86-64 processor has SSE2; elsewhere the window takes nothing.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "../window.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace record_window {

#if defined(__SSE2__)

// The divisor of a value by the byte mask of the positions at or below its
// point in its word: a point in byte j leaves 7 - j digits after it. A value
// without a point has mask 0 and divisor 1; the other entries are unused.
inline constexpr std::array<float, 256> divisor_by_point_mask = [] {
    std::array<float, 256> table{};
    table.fill(1.0f);
    float power = 1.0f;
    for (int point_byte = 7; point_byte >= 0; --point_byte) {
        table[(2U << point_byte) - 1] = power;
        power *= 10.0f;
    }
    return table;
}();

// Bytes at or below the highest point of each word (a point is '.' ^ '0'),
// and the same words with those bytes moved up by one over the point: the
// digits without the point, still right-aligned.
struct points_removed {
    __m128i below_point;
    __m128i digits;
};

inline points_removed remove_points(__m128i words) {
    __m128i below = _mm_cmpeq_epi8(words, _mm_set1_epi8('.' ^ '0'));
    below = _mm_or_si128(below, _mm_srli_epi64(below, 8));
    below = _mm_or_si128(below, _mm_srli_epi64(below, 16));
    below = _mm_or_si128(below, _mm_srli_epi64(below, 32));
    const __m128i moved = _mm_slli_epi64(words, 8);
    return {below, _mm_xor_si128(words, _mm_and_si128(_mm_xor_si128(words, moved), below))};
}

// The eight digits of each word as two numbers of four digits, as 32 bits.
inline __m128i four_digit_halves(__m128i digits) {
    // A 16-bit lane holds two digits, the first in its low byte.
    const __m128i first = _mm_and_si128(digits, _mm_set1_epi16(0xff));
    const __m128i pairs =
        _mm_add_epi16(_mm_mullo_epi16(first, _mm_set1_epi16(10)), _mm_srli_epi16(digits, 8));
    return _mm_madd_epi16(pairs, _mm_set1_epi32(100 + (1 << 16)));
}

// Takes the record after the white space character at `cursor` (the caller
// checks that it is white space; after a record taken here it is) when it is
// four unsigned decimal tokens of at most eight characters (digits with at
// most one point, none in the years), apart by single spaces, the last
// followed by white space, none of them zero, all before `end`. Then the row
// holds its values exactly as the full scanners would give them, the cursor
// is at the white space after the last value and `line` counts the white
// space taken before the record if it was a line feed. Otherwise it returns
// false and only the row may have been written.
[[gnu::always_inline]] inline bool take_record_window(const unsigned char*& cursor,
                                                      const unsigned char* end, record_table& table,
                                                      std::int32_t row, std::int64_t& line) {
    const unsigned char* const c = cursor;
    __m128i first_half;
    __m128i second_half;
    std::memcpy(&first_half, c, sizeof first_half);
    std::memcpy(&second_half, c + 16, sizeof second_half);
    // Bytes from 0x80 on are negative here.
    const __m128i space = _mm_set1_epi8(' ');
    const auto token_characters =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(first_half, space))) |
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(second_half, space))) << 16;
    record_tokens tokens{};
    if (!find_tokens(c, end, token_characters, tokens)) return false;

    const points_removed amounts =
        remove_points(_mm_set_epi64x(static_cast<std::int64_t>(tokens.monthly_amount),
                                     static_cast<std::int64_t>(tokens.base_amount)));
    const points_removed years_percent = remove_points(_mm_set_epi64x(
        static_cast<std::int64_t>(tokens.percent), static_cast<std::int64_t>(tokens.years)));
    const auto amount_points = static_cast<std::uint32_t>(_mm_movemask_epi8(amounts.below_point));
    const auto percent_points =
        static_cast<std::uint32_t>(_mm_movemask_epi8(years_percent.below_point));
    // Anything but digits left (a sign, a letter, a second point), or a
    // point in the years: not a usual record.
    const __m128i largest = _mm_max_epu8(amounts.digits, years_percent.digits);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(largest, _mm_set1_epi8(9)), largest)) !=
            0xffff ||
        (percent_points & 0xff) != 0)
        return false;
    const __m128i values = _mm_madd_epi16(
        _mm_packs_epi32(four_digit_halves(amounts.digits), four_digit_halves(years_percent.digits)),
        _mm_set1_epi32(10000 + (1 << 16)));
    // A zero (or a point alone) closes the list; the full scanners decide.
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(values, _mm_setzero_si128())) != 0) return false;

    const __m128 divisors = _mm_setr_ps(divisor_by_point_mask[amount_points & 0xff],
                                        divisor_by_point_mask[amount_points >> 8], 1.0f,
                                        divisor_by_point_mask[percent_points >> 8]);
    const __m128 quotients = _mm_div_ps(_mm_cvtepi32_ps(values), divisors);
    store_record(table, row,
                 {_mm_cvtss_f32(quotients), _mm_cvtss_f32(_mm_shuffle_ps(quotients, quotients, 1)),
                  _mm_cvtsi128_si32(_mm_shuffle_epi32(values, 2)),
                  _mm_cvtss_f32(_mm_shuffle_ps(quotients, quotients, 3))});
    line += *c == '\n' ? 1 : 0;
    cursor = tokens.after;
    return true;
}

#else

// Without SSE2 every record goes through the portable reader.
inline bool take_record_window(const unsigned char*& /*cursor*/, const unsigned char* /*end*/,
                               record_table& /*table*/, std::int32_t /*row*/,
                               std::int64_t& /*line*/) {
    return false;
}

#endif

}  // namespace record_window
