// The AVX2 kernel (with BMI1 and BMI2): the window classified in two 32-byte
// registers, and a record's four tokens converted together: in one register
// where each has at most eight characters, in two, in binary64, where each
// has up to fifteen digits. Its second loop reads a sign before a token as
// white space, and negates the token after a minus.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../window.hpp"

#if defined(SCREENING_AVX2)
#include <immintrin.h>

namespace avx2_kernel {

// How far before its window the kernel reads: each token is loaded as the
// eight or sixteen bytes that end with it.
inline constexpr long room_before = 16;

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
    __m256i plus_sign;
    __m256i minus_sign;
    __m256i token_bits;  // 1 << i in lane i
    __m256 powers_of_ten;
};

template <typename vector>
[[gnu::target("avx2"), gnu::always_inline]] inline vector held_in_register(vector value) {
    __asm__("" : "+x"(value));
    return value;
}

// The white space character with each low nibble: 0x20 for 0, 9 to 13
// for themselves, and for the others 0xff, which no byte below 0x80 is.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i white_space_by_low_nibble() {
    return _mm256_broadcastsi128_si256(
        _mm_setr_epi8(' ', -1, -1, -1, -1, -1, -1, -1, -1, '\t', '\n', '\v', '\f', '\r', -1, -1));
}

[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline constants make_constants() {
    // Up to 10^7 the table's powers are exact in binary32.
    float powers[8];
    for (int i = 0; i < 8; ++i) powers[i] = static_cast<float>(powers_of_ten[i]);
    return {held_in_register(white_space_by_low_nibble()),
            held_in_register(_mm256_set1_epi8('\n')),
            held_in_register(_mm256_set1_epi8('0')),
            held_in_register(_mm256_set1_epi8('.' ^ '0')),
            held_in_register(_mm256_set1_epi8(9)),
            held_in_register(_mm256_set_epi64x(0, -1, 0, 0)),
            held_in_register(_mm256_set1_epi16(1 << 8 | 10)),
            held_in_register(_mm256_set1_epi32(1 << 16 | 100)),
            held_in_register(_mm256_set1_epi64x(10000)),
            held_in_register(_mm256_setzero_si256()),
            held_in_register(_mm256_set1_epi8('+')),
            held_in_register(_mm256_set1_epi8('-')),
            held_in_register(_mm256_set_epi64x(8, 4, 2, 1)),
            held_in_register(_mm256_loadu_ps(powers))};
}

// White space: the bytes equal to the white space character with their low
// nibble. The lookup gives 0 for bytes from 0x80 on, which none of them is.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i white_space_bytes(__m256i bytes,
                                                                             const constants& k) {
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(k.white_space_by_low_nibble, bytes), bytes);
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i sign_bytes(__m256i bytes,
                                                                      const constants& k) {
    return _mm256_or_si256(_mm256_cmpeq_epi8(bytes, k.plus_sign),
                           _mm256_cmpeq_epi8(bytes, k.minus_sign));
}

// The 64-bit lanes whose bit in `token_bits` is set in `tokens`.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i lanes_of(std::uint64_t tokens,
                                                                    __m256i token_bits) {
    return _mm256_cmpeq_epi64(
        _mm256_and_si256(_mm256_set1_epi64x(static_cast<long long>(tokens)), token_bits),
        token_bits);
}

[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t bit_mask(__m256i low,
                                                                          __m256i high) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
           std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32;
}

// Each byte's flag spread to every lower byte of its lane of 8 or 16 bytes.
template <int lane_bytes>
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i spread_down(__m256i flags) {
    if constexpr (lane_bytes == 8) {
        flags = _mm256_or_si256(flags, _mm256_srli_epi64(flags, 8));
        flags = _mm256_or_si256(flags, _mm256_srli_epi64(flags, 16));
        flags = _mm256_or_si256(flags, _mm256_srli_epi64(flags, 32));
    } else {
        flags = _mm256_or_si256(flags, _mm256_bsrli_epi128(flags, 1));
        flags = _mm256_or_si256(flags, _mm256_bsrli_epi128(flags, 2));
        flags = _mm256_or_si256(flags, _mm256_bsrli_epi128(flags, 4));
        flags = _mm256_or_si256(flags, _mm256_bsrli_epi128(flags, 8));
    }
    return flags;
}

// The point removal: the bytes at or below the highest `point` ('.' ^ '0') of
// each lane move up by one over it, leaving the digits right-aligned; `below`
// is set to those bytes.
template <int lane_bytes>
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i without_point(__m256i characters,
                                                                         __m256i point,
                                                                         __m256i& below) {
    below = spread_down<lane_bytes>(_mm256_cmpeq_epi8(characters, point));
    const __m256i moved =
        lane_bytes == 8 ? _mm256_slli_epi64(characters, 8) : _mm256_bslli_epi128(characters, 1);
    return _mm256_xor_si256(characters,
                            _mm256_and_si256(_mm256_xor_si256(characters, moved), below));
}

// The value of the eight digits (0-9) of each 64-bit lane, first digit
// lowest: pairs (the first times 10), then fours, then eights.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i eight_digit_values(
    __m256i digits, __m256i pair_weights, __m256i four_weights, __m256i ten_thousand) {
    const __m256i fours =
        _mm256_madd_epi16(_mm256_maddubs_epi16(digits, pair_weights), four_weights);
    return _mm256_add_epi64(_mm256_mul_epu32(fours, ten_thousand), _mm256_srli_epi64(fours, 32));
}

// These two are only inline, not always_inline: they are inlined into the
// reader's loop, a template without target options, inside its AVX2 build.
[[gnu::target("avx2,bmi,bmi2")]] inline record_window::window_masks classify_window(
    const unsigned char* c, const constants& k) {
    __m256i low;
    __m256i high;
    std::memcpy(&low, c, sizeof low);
    std::memcpy(&high, c + 32, sizeof high);
    return {bit_mask(white_space_bytes(low, k), white_space_bytes(high, k)),
            bit_mask(_mm256_cmpeq_epi8(low, k.line_feed), _mm256_cmpeq_epi8(high, k.line_feed)),
            0,
            0,
            0,
            0};
}

// Converts the four tokens that stop at `stops` in the window at `c`, each
// of at most eight characters and loaded as the eight bytes that end with
// it, and stores them in the row; false, having stored nothing, when one of
// them is not such a decimal (none with a point in the years), or is zero.
// The caller has checked that no token is longer than eight characters.
// With `signs`, a sign before a token is read as white space, and the
// tokens marked in `negative_tokens` (bit i for token i) are negated.
template <bool signs>
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool convert_short_tokens(
    const unsigned char* c, const record_window::record_stops& stops, std::uint64_t negative_tokens,
    record_table& table, std::int32_t row, const constants& k) {
    using text_words::load_word;
    const __m256i words = _mm256_set_m128i(
        _mm_insert_epi64(_mm_loadu_si64(c + stops.stop[2] - 8),
                         static_cast<std::int64_t>(load_word(c + stops.stop[3] - 8)), 1),
        _mm_insert_epi64(_mm_loadu_si64(c + stops.stop[0] - 8),
                         static_cast<std::int64_t>(load_word(c + stops.stop[1] - 8)), 1));
    // Below each token is white space, and below that what comes earlier:
    // every byte at or below the highest white space byte is cleared.
    __m256i white_space = white_space_bytes(words, k);
    if constexpr (signs) white_space = _mm256_or_si256(white_space, sign_bytes(words, k));
    const __m256i earlier = spread_down<8>(white_space);
    const __m256i characters =
        _mm256_andnot_si256(earlier, _mm256_xor_si256(words, k.zero_character));
    __m256i below;
    const __m256i digits = without_point<8>(characters, k.point, below);
    // Anything but digits left (a letter, a second point), a point in the
    // years, or a zero value (or a point alone): the wider conversion, the
    // fast conversion of each token, or the full scanners, decide.
    const __m256i refused =
        _mm256_or_si256(_mm256_and_si256(below, k.years_lane), _mm256_cmpeq_epi64(digits, k.zero));
    if (_mm256_movemask_epi8(_mm256_andnot_si256(
            refused, _mm256_cmpeq_epi8(_mm256_min_epu8(digits, k.nine), digits))) != -1)
        return false;
    // Each 64-bit lane's value, below 10^8.
    __m256i eights = eight_digit_values(digits, k.pair_weights, k.four_weights, k.ten_thousand);
    // With n bytes at or below the point, 8 - n digits follow it (none when
    // n is 0 or 8). The byte sum of those bytes is 255 n, which is -n modulo
    // 8, and the permutation takes the index modulo 8. At most seven digits
    // beside a point are below 2^24, exact in binary32, so one division by
    // an exact power of ten rounds correctly (eight digits have no point and
    // are only converted, which rounds correctly).
    const __m256i fraction_digits = _mm256_sad_epu8(below, k.zero);
    const __m256 divisors = _mm256_permutevar8x32_ps(k.powers_of_ten, fraction_digits);
    __m256 quotients = _mm256_div_ps(_mm256_cvtepi32_ps(eights), divisors);
    if constexpr (signs) {
        // Rounding to nearest is symmetric: a negated quotient is the
        // negated value's.
        const __m256i negative = lanes_of(negative_tokens, k.token_bits);
        quotients = _mm256_xor_ps(quotients, _mm256_castsi256_ps(_mm256_slli_epi64(negative, 31)));
        eights = _mm256_sub_epi64(_mm256_xor_si256(eights, negative), negative);
    }
    const __m128 amounts = _mm256_castps256_ps128(quotients);
    const __m128 percent = _mm256_extractf128_ps(quotients, 1);
    record_window::store_record(
        table, row,
        {_mm_cvtss_f32(amounts), _mm_cvtss_f32(_mm_movehl_ps(amounts, amounts)),
         _mm_cvtsi128_si32(_mm256_extracti128_si256(eights, 1)),
         _mm_cvtss_f32(_mm_movehl_ps(percent, percent))});
    return true;
}

// The same conversion for tokens of up to sixteen characters, up to
// fifteen digits with a point, two in a register and in binary64: each value
// is below 2^52 and exact in binary64, and decimal_bits (binary32.hpp) gives
// the proof that one binary64 division by an exact power of ten, narrowed,
// is the binary32 value, unless the quotient is a binary32 midpoint, which
// is refused. The year count has at most nine digits and no point. Signs
// are read as white space, as in convert_short_tokens<true>.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool convert_wide_tokens(
    const unsigned char* c, const record_window::window_masks& masks,
    const record_window::record_stops& stops, std::uint64_t negative_tokens, record_table& table,
    std::int32_t row, const constants& k) {
    if (!record_window::tokens_at_most<16>(masks, stops)) return false;
    const auto sixteen_before = [c](std::uint64_t stop) {
        __m128i bytes;
        std::memcpy(&bytes, c + stop - 16, sizeof bytes);
        return bytes;
    };
    const __m256i words[2] = {
        _mm256_set_m128i(sixteen_before(stops.stop[1]), sixteen_before(stops.stop[0])),
        _mm256_set_m128i(sixteen_before(stops.stop[3]), sixteen_before(stops.stop[2]))};
    const __m256i first_byte = _mm256_set_epi64x(0, 0xff, 0, 0xff);
    __m256i fraction_digits[2];
    __m256i values[2];
    __m256i refused = k.zero;
    for (int i = 0; i < 2; ++i) {
        // Every byte at or below the highest white space byte is cleared.
        const __m256i earlier = spread_down<16>(
            _mm256_or_si256(white_space_bytes(words[i], k), sign_bytes(words[i], k)));
        const __m256i characters =
            _mm256_andnot_si256(earlier, _mm256_xor_si256(words[i], k.zero_character));
        __m256i below;
        const __m256i digits = without_point<16>(characters, k.point, below);
        // Anything but digits, or sixteen digits, is refused.
        refused = _mm256_or_si256(
            refused, _mm256_or_si256(_mm256_and_si256(digits, first_byte),
                                     _mm256_xor_si256(_mm256_min_epu8(digits, k.nine), digits)));
        if (i == 1) {
            const __m128i years_below = _mm256_castsi256_si128(below);
            if (_mm_testz_si128(years_below, years_below) == 0) return false;
        }
        // n bytes at or below the point leave 16 - n digits after it, none
        // when n is 0: the byte sum, 255 n, is 16 - n modulo 16.
        const __m256i sums = _mm256_sad_epu8(below, k.zero);
        fraction_digits[i] = _mm256_add_epi64(sums, _mm256_bsrli_epi128(sums, 8));
        const __m256i eights =
            eight_digit_values(digits, k.pair_weights, k.four_weights, k.ten_thousand);
        values[i] = _mm256_add_epi64(_mm256_mul_epu32(eights, _mm256_set1_epi64x(100000000)),
                                     _mm256_bsrli_epi128(eights, 8));
    }
    // The four values in the order base, years, monthly, percent.
    const __m256i integers = _mm256_unpacklo_epi64(values[0], values[1]);
    if (_mm256_testz_si256(refused, refused) == 0 ||
        _mm256_movemask_epi8(_mm256_cmpeq_epi64(integers, k.zero)) != 0)
        return false;
    const __m256i fractions = _mm256_and_si256(
        _mm256_unpacklo_epi64(fraction_digits[0], fraction_digits[1]), _mm256_set1_epi64x(15));
    const __m256i two_to_52 = _mm256_set1_epi64x(0x4330000000000000);  // its binary64 bits
    const __m256d exact = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(integers, two_to_52)),
                                        _mm256_castsi256_pd(two_to_52));
    const __m256d quotients =
        _mm256_div_pd(exact, _mm256_i64gather_pd(powers_of_ten, fractions, 8));
    // Binary32 midpoints: the 29 bits below binary32's last are 1 and 28 zeros.
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi64(
            _mm256_and_si256(_mm256_castpd_si256(quotients), _mm256_set1_epi64x((1 << 29) - 1)),
            _mm256_set1_epi64x(1 << 28))) != 0)
        return false;
    const __m256i sign_bits =
        _mm256_slli_epi64(lanes_of(negative_tokens, _mm256_set_epi64x(8, 2, 4, 1)), 63);
    float narrowed[4];
    _mm_storeu_ps(narrowed, _mm256_cvtpd_ps(_mm256_castsi256_pd(
                                _mm256_xor_si256(_mm256_castpd_si256(quotients), sign_bits))));
    const auto years = _mm256_extract_epi64(integers, 1);
    if (years >= 1000000000) return false;
    const auto years_value = static_cast<std::int32_t>(years);
    record_window::store_record(
        table, row,
        {narrowed[0], narrowed[2], (negative_tokens & 4) != 0 ? -years_value : years_value,
         narrowed[3]});
    return true;
}

// Bit i set when the record's token i, after the stop at `before`, follows a
// minus.
[[gnu::target("bmi2"), gnu::always_inline]] inline std::uint64_t negative_tokens(
    const record_window::window_masks& masks, std::uint64_t before) {
    return _pext_u64(masks.after_minus, ~masks.white_space & (masks.white_space << 1) &
                                            ~record_window::bits_below(before));
}

// The wider conversion, or the scalar fast conversion of each token: not
// inlined, so that the loop's registers are kept for the short tokens. A
// record with sign trouble (see window_masks) is left to the fast conversion
// of each token, whose starts include the signs.
[[gnu::target("avx2,bmi,bmi2"), gnu::noinline]] inline bool convert_other_record(
    const unsigned char* c, const record_window::window_masks& masks, std::uint64_t before,
    record_table& table, std::int32_t row, const constants& k) {
    const record_window::record_stops stops = record_window::record_after(masks, before);
    const std::uint64_t white_space = masks.white_space & ~masks.signs;
    if ((masks.sign_trouble & record_window::bits_below(stops.stop[3]) &
         ~record_window::bits_below(before)) != 0)
        return record_window::convert_each_token(c, white_space, before, table, row);
    if (convert_wide_tokens(c, masks, stops, negative_tokens(masks, before), table, row, k))
        return true;
    // A record with a byte that no decimal has (a letter of "inf", "nan" or
    // "0x", say) is left to the full scanner at once.
    std::uint64_t decimal_bytes = masks.white_space;
    for (std::ptrdiff_t half = 0; half < 2; ++half) {
        __m256i bytes;
        std::memcpy(&bytes, c + 32 * half, sizeof bytes);
        const __m256i digit_offset = _mm256_sub_epi8(bytes, k.zero_character);
        __m256i decimal = _mm256_cmpeq_epi8(_mm256_min_epu8(digit_offset, k.nine), digit_offset);
        for (const char other : {'.', 'e', 'E'})
            decimal = _mm256_or_si256(decimal, _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(other)));
        decimal_bytes |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(decimal))}
                         << (32 * half);
    }
    return (~decimal_bytes & record_window::bits_below(stops.stop[3])) == 0 &&
           record_window::convert_each_token(c, white_space, before, table, row);
}

// The records that the usual loop refuses, in a loop of their own, where
// signs are read as white space: `any_tokens` stands for its constants.
struct any_tokens {
    constants k;
};

[[gnu::target("avx2,bmi,bmi2")]] inline record_window::window_masks classify_window(
    const unsigned char* c, const any_tokens& any) {
    const constants& k = any.k;
    __m256i low;
    __m256i high;
    std::memcpy(&low, c, sizeof low);
    std::memcpy(&high, c + 32, sizeof high);
    const std::uint64_t white_space =
        bit_mask(white_space_bytes(low, k), white_space_bytes(high, k));
    const std::uint64_t every_sign = bit_mask(sign_bytes(low, k), sign_bytes(high, k));
    const std::uint64_t minus_signs =
        bit_mask(_mm256_cmpeq_epi8(low, k.minus_sign), _mm256_cmpeq_epi8(high, k.minus_sign));
    // A sign after white space starts a token; it must be followed by one.
    const std::uint64_t signs = every_sign & (white_space << 1);
    const std::uint64_t tokens_white_space = white_space | signs;
    const std::uint64_t sign_trouble = (every_sign ^ signs) | (signs & (tokens_white_space >> 1));
    return {tokens_white_space,
            bit_mask(_mm256_cmpeq_epi8(low, k.line_feed), _mm256_cmpeq_epi8(high, k.line_feed)),
            signs,
            sign_trouble,
            minus_signs << 1,
            sign_trouble};
}

// Only inline, as classify_window above.
[[gnu::target("avx2,bmi,bmi2")]] inline bool convert_record(
    const unsigned char* c, const record_window::window_masks& masks,
    const record_window::record_stops& stops, record_table& table, std::int32_t row,
    const constants& k) {
    return record_window::tokens_at_most<8>(masks, stops) &&
           convert_short_tokens<false>(c, stops, 0, table, row, k);
}

[[gnu::target("avx2,bmi,bmi2")]] inline bool convert_record(
    const unsigned char* c, const record_window::window_masks& masks,
    const record_window::record_stops& stops, record_table& table, std::int32_t row,
    const any_tokens& any) {
    // Sign trouble counts as a long token here (classify_window above).
    return (record_window::tokens_at_most<8>(masks, stops) &&
            convert_short_tokens<true>(c, stops, negative_tokens(masks, stops.before), table, row,
                                       any.k)) ||
           convert_other_record(c, masks, stops.before, table, row, any.k);
}

}  // namespace avx2_kernel

#endif
