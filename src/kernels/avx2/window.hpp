// The AVX2 kernel (with BMI1 and BMI2): the window classified in two 32-byte
// registers, and the four tokens of a usual record converted together in
// one, where each has at most eight characters.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "../window.hpp"

#if defined(SCREENING_AVX2)
#include <immintrin.h>

namespace avx2_kernel {

// How far before its window the kernel reads: each token is loaded as the
// eight bytes that end with it.
inline constexpr long room_before = 8;

// The vector constants, made once for a run of records. Each goes through an
// empty assembly statement, which hides its value: otherwise the compiler
// rebuilds every one of them for every record.
struct constants {
    __m256i white_space_by_low_nibble;
    __m256i line_feed;
    __m256i zero_character;
    __m256i point;  // '.' ^ '0'
    __m256i nine;
    __m256i years_lane;  // bytes 16-23
    __m256i pair_weights;
    __m256i four_weights;
    __m256i ten_thousand;
    __m256i zero;
    __m256 powers_of_ten;
};

template <typename vector>
[[gnu::target("avx2"), gnu::always_inline]] inline vector held_in_register(vector value) {
    __asm__("" : "+x"(value));
    return value;
}

[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline constants make_constants() {
    // Up to 10^7 the table's powers are exact in binary32.
    float powers[8];
    for (int i = 0; i < 8; ++i) powers[i] = static_cast<float>(powers_of_ten[i]);
    // The white space character with each low nibble: 0x20 for 0, 9 to 13
    // for themselves, and for the others 0xff, which no byte below 0x80 is.
    const __m128i white_space = _mm_setr_epi8(' ', -1, -1, -1, -1, -1, -1, -1, -1, '\t', '\n',
                                              '\v', '\f', '\r', -1, -1);
    return {held_in_register(_mm256_broadcastsi128_si256(white_space)),
            held_in_register(_mm256_set1_epi8('\n')),
            held_in_register(_mm256_set1_epi8('0')),
            held_in_register(_mm256_set1_epi8('.' ^ '0')),
            held_in_register(_mm256_set1_epi8(9)),
            held_in_register(_mm256_set_epi64x(0, -1, 0, 0)),
            held_in_register(_mm256_set1_epi16(1 << 8 | 10)),
            held_in_register(_mm256_set1_epi32(1 << 16 | 100)),
            held_in_register(_mm256_set1_epi64x(10000)),
            held_in_register(_mm256_setzero_si256()),
            held_in_register(_mm256_loadu_ps(powers))};
}

// White space: the bytes equal to the white space character with their low
// nibble. The lookup gives 0 for bytes from 0x80 on, which none of them is.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i white_space_bytes(__m256i bytes,
                                                                            const constants& k) {
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(k.white_space_by_low_nibble, bytes), bytes);
}

[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t bit_mask(__m256i low,
                                                                          __m256i high) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
           std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32;
}

// These two are only inline, not always_inline: they are inlined into the
// reader's loop, a template without target options, inside its AVX2 build.
[[gnu::target("avx2,bmi,bmi2")]] inline record_window::window_masks classify_window(const unsigned char* c, const constants& k) {
    __m256i low;
    __m256i high;
    std::memcpy(&low, c, sizeof low);
    std::memcpy(&high, c + 32, sizeof high);
    return {bit_mask(white_space_bytes(low, k), white_space_bytes(high, k)),
            bit_mask(_mm256_cmpeq_epi8(low, k.line_feed), _mm256_cmpeq_epi8(high, k.line_feed))};
}

// Whether each of the four tokens before the last stop has at most eight
// characters: no nine token bytes in a row start before it.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool tokens_are_short(
    const record_window::window_masks& masks, const record_window::record_stops& stops) {
    const std::uint64_t tokens = ~masks.white_space;
    std::uint64_t runs = tokens & (tokens >> 1);
    runs &= runs >> 2;
    runs &= runs >> 4;
    runs &= tokens >> 8;
    return (runs & record_window::bits_below(stops.stop[3])) == 0;
}

// Converts the four tokens of at most eight characters that stop at `stops`
// in the window at `c`, each loaded as the eight bytes that end with it, and
// stores them in the row; false, having stored nothing, when one of them is
// not an unsigned decimal (none with a point in the years), or is zero.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool convert_short_tokens(
    const unsigned char* c, const record_window::record_stops& stops, record_table& table,
    std::int32_t row, const constants& k) {
    using text_words::load_word;
    const __m256i words = _mm256_set_m128i(
        _mm_insert_epi64(_mm_loadu_si64(c + stops.stop[2] - 8),
                         static_cast<std::int64_t>(load_word(c + stops.stop[3] - 8)), 1),
        _mm_insert_epi64(_mm_loadu_si64(c + stops.stop[0] - 8),
                         static_cast<std::int64_t>(load_word(c + stops.stop[1] - 8)), 1));
    // Below each token is white space, and below that what comes earlier:
    // every byte at or below the highest white space byte is cleared.
    __m256i earlier = white_space_bytes(words, k);
    earlier = _mm256_or_si256(earlier, _mm256_srli_epi64(earlier, 8));
    earlier = _mm256_or_si256(earlier, _mm256_srli_epi64(earlier, 16));
    earlier = _mm256_or_si256(earlier, _mm256_srli_epi64(earlier, 32));
    const __m256i characters =
        _mm256_andnot_si256(earlier, _mm256_xor_si256(words, k.zero_character));
    // Bytes at or below the highest point of each word move up by one over
    // it: the digits without the point, still right-aligned.
    __m256i below = _mm256_cmpeq_epi8(characters, k.point);
    below = _mm256_or_si256(below, _mm256_srli_epi64(below, 8));
    below = _mm256_or_si256(below, _mm256_srli_epi64(below, 16));
    below = _mm256_or_si256(below, _mm256_srli_epi64(below, 32));
    const __m256i digits = _mm256_xor_si256(
        characters,
        _mm256_and_si256(_mm256_xor_si256(characters, _mm256_slli_epi64(characters, 8)), below));
    // Anything but digits left (a sign, a letter, a second point), a point
    // in the years, or a zero value (or a point alone): the fast conversion
    // of each token, or the full scanners, decide.
    const __m256i refused =
        _mm256_or_si256(_mm256_and_si256(below, k.years_lane), _mm256_cmpeq_epi64(digits, k.zero));
    if (_mm256_movemask_epi8(_mm256_andnot_si256(
            refused, _mm256_cmpeq_epi8(_mm256_min_epu8(digits, k.nine), digits))) != -1)
        return false;
    // Pairs of digits (the first times 10), then fours, then eights: each
    // 64-bit lane ends with its value, below 10^8.
    const __m256i pairs = _mm256_maddubs_epi16(digits, k.pair_weights);
    const __m256i fours = _mm256_madd_epi16(pairs, k.four_weights);
    const __m256i eights =
        _mm256_add_epi64(_mm256_mul_epu32(fours, k.ten_thousand), _mm256_srli_epi64(fours, 32));
    // With n bytes at or below the point, 8 - n digits follow it (none when
    // n is 0 or 8). The byte sum of those bytes is 255 n, which is -n modulo
    // 8, and the permutation takes the index modulo 8. At most seven digits
    // beside a point are below 2^24, exact in binary32, so one division by
    // an exact power of ten rounds correctly (eight digits have no point and
    // are only converted, which rounds correctly).
    const __m256i fraction_digits = _mm256_sad_epu8(below, k.zero);
    const __m256 divisors = _mm256_permutevar8x32_ps(k.powers_of_ten, fraction_digits);
    const __m256 quotients = _mm256_div_ps(_mm256_cvtepi32_ps(eights), divisors);
    const __m128 amounts = _mm256_castps256_ps128(quotients);
    const __m128 percent = _mm256_extractf128_ps(quotients, 1);
    record_window::store_record(
        table, row,
        {_mm_cvtss_f32(amounts), _mm_cvtss_f32(_mm_movehl_ps(amounts, amounts)),
         _mm_cvtsi128_si32(_mm256_extracti128_si256(eights, 1)),
         _mm_cvtss_f32(_mm_movehl_ps(percent, percent))});
    return true;
}

[[gnu::target("avx2,bmi,bmi2")]] inline bool convert_record(
    const unsigned char* c, const record_window::window_masks& masks,
    const record_window::record_stops& stops, record_table& table, std::int32_t row,
    const constants& k) {
    return (tokens_are_short(masks, stops) && convert_short_tokens(c, stops, table, row, k)) ||
           record_window::convert_each_token(c, masks, stops, table, row);
}

}  // namespace avx2_kernel

#endif
