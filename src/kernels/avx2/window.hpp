// The AVX2 kernel (with BMI1 and BMI2): the window classified in two 32-byte
// registers, and a record's four tokens converted together, a 64-bit lane
// each (convert_tokens).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../window.hpp"

#if defined(SCREENING_AVX2)
#include <immintrin.h>

namespace avx2_kernel {

// The vector constants, made once for a run of records. Each goes through an
// empty assembly statement, which hides its value: otherwise the compiler
// rebuilds every one of them for every record.
struct constants {
    __m256i white_space_by_low_nibble;
    __m256i line_feed;
    __m256i zero_character;
    __m256i point;  // '.' ^ '0'
    __m256i nine;
    __m256i pair_weights;
    __m256i four_weights;
    __m256i ten_thousand;
    __m256i zero;
    __m256i years_lane;  // 64-bit lane 1
    __m256i last_byte;   // byte 7 of each 64-bit lane
    __m256 powers_of_ten;
    __m256i plus;
    __m256i minus;
    __m256i float_sign_bit;  // of the low half of each 64-bit lane
    __m256i case_bit;        // 0x20, which makes a letter lower case
    __m256i infinity_text;   // "infinity" filling a lane
    __m256i inf_text;        // "inf" ending a lane
    __m256i nan_text;        // "nan" ending a lane
    __m256i infinity_bits;   // binary32's, in the low half of each 64-bit lane
    __m256i quiet_bit;       // what makes it a quiet NaN
    __m256i eight_digits;    // 10^8
    __m256i seven_digits;    // 10^7
    __m256i low_three_bits;
    __m256i two_to_52;       // its binary64 bits
    __m256i below_binary32;  // the 29 bits below binary32's last
    __m256i midpoint;        // those bits of a binary32 midpoint
    __m256d every_lane;
    __m256i byte_index;  // 0 to 31
    __m256i letter_e;
};

template <typename vector>
[[gnu::target("avx2"), gnu::always_inline]] inline vector held(vector value) {
    __asm__("" : "+x"(value));
    return value;
}

[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline constants make_constants() {
    // Up to 10^7 the table's powers are exact in binary32.
    float powers[8];
    for (int i = 0; i < 8; ++i) powers[i] = static_cast<float>(powers_of_ten[i]);
    const auto ending_a_lane = [](const char* text, int length) {
        const std::uint64_t word = text_words::packed_word(text) << (64 - 8 * length);
        return static_cast<long long>(word);
    };
    // The white space character with each low nibble: 0x20 for 0, 9 to 13
    // for themselves, and for the others 0xff, which no byte below 0x80 is.
    return {held(_mm256_broadcastsi128_si256(_mm_setr_epi8(' ', -1, -1, -1, -1, -1, -1, -1, -1,
                                                           '\t', '\n', '\v', '\f', '\r', -1, -1))),
            held(_mm256_set1_epi8('\n')),
            held(_mm256_set1_epi8('0')),
            held(_mm256_set1_epi8('.' ^ '0')),
            held(_mm256_set1_epi8(9)),
            held(_mm256_set1_epi16(1 << 8 | 10)),
            held(_mm256_set1_epi32(1 << 16 | 100)),
            held(_mm256_set1_epi64x(10000)),
            held(_mm256_setzero_si256()),
            held(_mm256_set_epi64x(0, 0, -1, 0)),
            held(_mm256_set1_epi64x(static_cast<long long>(0xffULL << 56))),
            held(_mm256_loadu_ps(powers)),
            held(_mm256_set1_epi8('+')),
            held(_mm256_set1_epi8('-')),
            held(_mm256_set1_epi64x(0x80000000)),
            held(_mm256_set1_epi8(0x20)),
            held(_mm256_set1_epi64x(ending_a_lane("infinity", 8))),
            held(_mm256_set1_epi64x(ending_a_lane("inf", 3))),
            held(_mm256_set1_epi64x(ending_a_lane("nan", 3))),
            held(_mm256_set1_epi64x(binary32_infinity)),
            held(_mm256_set1_epi64x(binary32_quiet_nan ^ binary32_infinity)),
            held(_mm256_set1_epi64x(100000000)),
            held(_mm256_set1_epi64x(10000000)),
            held(_mm256_set1_epi64x(7)),
            held(_mm256_set1_epi64x(0x4330000000000000)),
            held(_mm256_set1_epi64x(static_cast<long long>(below_binary32))),
            held(_mm256_set1_epi64x(static_cast<long long>(midpoint_bits))),
            held(_mm256_castsi256_pd(_mm256_set1_epi64x(-1))),
            held(_mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18,
                                  19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31)),
            held(_mm256_set1_epi8('e'))};
}

// White space: the bytes equal to the white space character with their low
// nibble. The lookup gives 0 for bytes from 0x80 on, which none of them is.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i white_space_bytes(__m256i bytes,
                                                                             const constants& k) {
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(k.white_space_by_low_nibble, bytes), bytes);
}

// Each byte's flag spread to every lower byte of its 64-bit lane.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i spread_down(__m256i flags) {
    flags = _mm256_or_si256(flags, _mm256_srli_epi64(flags, 8));
    flags = _mm256_or_si256(flags, _mm256_srli_epi64(flags, 16));
    return _mm256_or_si256(flags, _mm256_srli_epi64(flags, 32));
}

// The value of the eight digits (0-9) of each 64-bit lane, first digit
// lowest: pairs (the first times 10), then fours, then eights.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i eight_digit_values(__m256i digits,
                                                                              const constants& k) {
    const __m256i fours =
        _mm256_madd_epi16(_mm256_maddubs_epi16(digits, k.pair_weights), k.four_weights);
    return _mm256_add_epi64(_mm256_mul_epu32(fours, k.ten_thousand), _mm256_srli_epi64(fours, 32));
}

// Whether each byte is a digit (0-9, after the '0' is taken off).
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i digit_bytes(__m256i digits,
                                                                       const constants& k) {
    return _mm256_cmpeq_epi8(_mm256_min_epu8(digits, k.nine), digits);
}

// The bytes' flags of one register, byte i's into bit i.
[[gnu::target("avx2"), gnu::always_inline]] inline std::uint32_t mask(__m256i flags) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(flags));
}

// The bytes' flags of two registers, byte i's into bit i.
[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t bit_mask(__m256i low,
                                                                          __m256i high) {
    return mask(low) | std::uint64_t{mask(high)} << 32;
}

// Only inline, not always_inline: it is inlined into the reader's loop, a
// template without target options, inside its AVX2 build.
[[gnu::target("avx2,bmi,bmi2")]] inline record_window::window_masks classify_window(
    const unsigned char* c, const constants& k) {
    __m256i low;
    __m256i high;
    std::memcpy(&low, c, sizeof low);
    std::memcpy(&high, c + 32, sizeof high);
    return {bit_mask(white_space_bytes(low, k), white_space_bytes(high, k)),
            bit_mask(_mm256_cmpeq_epi8(low, k.line_feed), _mm256_cmpeq_epi8(high, k.line_feed)), 0};
}

// The number whose digits eight_digit_values valued, at most 19 of them
// ending with byte 31: none in the lowest eight bytes, three in the next.
[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t nineteen_digit_value(
    __m256i eights) {
    const __m128i low_eights = _mm256_castsi256_si128(eights);
    const __m128i high_eights = _mm256_extracti128_si256(eights, 1);
    return static_cast<std::uint64_t>(_mm_extract_epi64(low_eights, 1)) * 10000000000000000U +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(high_eights)) * 100000000U +
           static_cast<std::uint64_t>(_mm_extract_epi64(high_eights, 1));
}

// Bits of the binary32 value nearest to digits * 10^q, as decimal_bits
// gives them, for the 19 digits that %.18e writes: from 2^53 (where
// decimal_bits' first ways end) to below 2^63 and with |q| <= 22, by
// binary64 arithmetic, the rounding checked; else, and where the check
// refuses, by decimal_bits.
//
// Why it is exact. With u = 2^-53, converted to binary64 the digits become
// digits (1 + a), and the one multiply or divide by the exact power gives
// r = x (1 + a) (1 + b), where x = digits * 10^q and |a|, |b| <= u: so
// |r - x| <= (2u + u^2) |x|. The rounding of x to binary32 changes only at
// the midpoints between neighbours and at 2^128 - 2^103; within binary64's
// binade [2^e, 2^(e+1)) each is a binary64 number whose 29 bits below
// binary32's last are 1 and 28 zeros, and lies at least 2^28 steps of
// 2^(e-52) from either end. If one, m, lay between x and r (or were one of
// them), |r - m| <= |r - x| <= (2u + u^2) |x| with |x| <= |m| / (1 - 2u -
// u^2) < 2^(e+1) (1 + 3u): under 2.0000001 steps, so r is in m's binade with
// those bits within 2 of 1 and 28 zeros. Otherwise x and r lie between the
// same two places where the rounding changes, and narrowing r rounds x. The
// range 10^-22 <= x < 2^63 * 10^22 holds only normal binary32 numbers and
// those past the largest, which narrow to infinity as x rounds.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline std::uint32_t nineteen_digit_bits(
    std::uint64_t digits, std::int64_t q, bool negative) {
    constexpr std::uint64_t exact_in_binary64 = std::uint64_t{1} << 53;
    if (digits - exact_in_binary64 < (std::uint64_t{1} << 63) - exact_in_binary64 &&
        q >= -largest_exact_power && q <= largest_exact_power) {
        const double r = binary64_product(digits, q);
        constexpr std::uint64_t near_midpoint = midpoint_bits - 2;
        if ((std::bit_cast<std::uint64_t>(r) & below_binary32) - near_midpoint > 4)
            return std::bit_cast<std::uint32_t>(static_cast<float>(r)) |
                   (negative ? binary32_sign_bit : 0);
    }
    return decimal_bits(digits, q, negative);
}

// A token of `length` bytes at c as C's %e writes it: a sign (`first` is 1
// where there is one), one digit, a point, 1 to 18 digits, the letter e, a
// sign and two digits. The white space after it, or null, having taken
// nothing, for any other token (take_kernel_decimal then reads it). Every
// byte of the token is checked: the point and the exponent's sign one by
// one, the last four bytes as one word, the digits before the letter on a
// mask of the 32 bytes that end with them, which are then valued. The
// number is the digit before the point times 10^n, plus the n digits after
// it, and the power q is the exponent less n, as fast_decimal::take_decimal
// reads them; nineteen_digit_bits of the same pair is exact.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline const unsigned char* take_scientific(
    const unsigned char* c, unsigned length, unsigned first, float& value, const constants& k) {
    const unsigned fraction_length = length - first - 6;
    if (c[first + 1] != '.' || fraction_length - 1 >= fast_decimal::longest_mantissa - 1)
        return nullptr;
    const unsigned char exponent_sign = c[length - 3];
    // The last four bytes, the first lowest, less "e+00": the letter (in
    // either case) gives 0 and the digits their values; the sign is
    // checked apart ('+' and '-' are two apart).
    const auto ending =
        static_cast<std::uint32_t>(text_words::load_word(c + length - 8) >> 32 | 0x20) ^
        static_cast<std::uint32_t>(text_words::packed_word("e+00"));
    const std::uint32_t exponent_digits = ending & 0xffff0000;
    // A digit's byte keeps its high bit clear when 0x76 is added.
    const std::uint32_t not_digits =
        (((exponent_digits & 0x7f7f0000) + 0x76760000) | exponent_digits) & 0x80800000;
    if ((not_digits | (ending & 0xff) | ((exponent_sign - unsigned{'+'}) & ~2U)) != 0)
        return nullptr;
    __m256i fraction;
    std::memcpy(&fraction, c + length - 36, sizeof fraction);
    const __m256i digits = _mm256_xor_si256(fraction, k.zero_character);
    // The fraction's digits and the one before the point.
    const std::uint32_t places = ~0U << (32 - fraction_length) | 1U << (30 - fraction_length);
    if ((mask(digit_bytes(digits, k)) & places) != places) return nullptr;
    const __m256i fraction_places =
        _mm256_cmpgt_epi8(k.byte_index, _mm256_set1_epi8(static_cast<char>(31 - fraction_length)));
    const auto lead = static_cast<unsigned>(c[first] - '0');
    const std::uint64_t magnitude =
        lead *
            static_cast<std::uint64_t>(static_cast<std::int64_t>(powers_of_ten[fraction_length])) +
        nineteen_digit_value(eight_digit_values(_mm256_and_si256(digits, fraction_places), k));
    const std::int64_t exponent = (exponent_digits >> 16 & 0xff) * 10 + (exponent_digits >> 24);
    const std::int64_t q = (exponent_sign == '-' ? -exponent : exponent) - fraction_length;
    value = std::bit_cast<float>(nineteen_digit_bits(magnitude, q, c[0] == '-'));
    return c + length;
}

// The decimal token at c as fast_decimal::take_decimal reads it (a sign, up
// to 19 digits with a point, an exponent of up to four digits, then white
// space), a register at a time: the white space after it, or null, having
// taken nothing, for any other token, which the fast conversion refuses
// too, as it does every token of more than 31 bytes. A token as %e writes
// it goes the shorter way above. For any other, the shape is checked on the
// bit masks of the 32 bytes from c; its digits are valued in the 32 bytes
// that end with them, the bytes at or below the point moved up over it and
// those before the digits cleared. The value is decimal_bits' of the same
// digits and exponent, exact.
[[gnu::target("avx2,bmi,bmi2")]] inline record_window::kernel_conversion take_kernel_decimal(
    const unsigned char* c, float& value, const constants& k) {
    __m256i bytes;
    std::memcpy(&bytes, c, sizeof bytes);
    const std::uint32_t space = mask(white_space_bytes(bytes, k));
    // 32 for a token of 32 bytes or more, which take_scientific refuses (it
    // takes at most 25), and so does the fast conversion (at most 27: a
    // sign, 19 digits, a point, the exponent's letter, its sign and four
    // digits).
    const auto length = static_cast<unsigned>(std::countr_zero(space));
    static_assert(1 + fast_decimal::longest_mantissa + 1 + 2 + fast_decimal::longest_exponent < 32);
    const unsigned first = c[0] == '+' || c[0] == '-' ? 1 : 0;
    if (const unsigned char* after = take_scientific(c, length, first, value, k); after != nullptr)
        return {after, false};
    if (space == 0) return {nullptr, true};
    const __m256i characters = _mm256_xor_si256(bytes, k.zero_character);
    const std::uint32_t digits = mask(digit_bytes(characters, k));
    const std::uint32_t points = mask(_mm256_cmpeq_epi8(characters, k.point));
    const std::uint32_t token = _bzhi_u32(~0U, length);
    const std::uint32_t exponent_mark =
        mask(_mm256_cmpeq_epi8(_mm256_or_si256(bytes, k.case_bit), k.letter_e)) & token;
    const auto digits_end =
        exponent_mark != 0 ? static_cast<unsigned>(std::countr_zero(exponent_mark)) : length;
    const std::uint32_t mantissa = _bzhi_u32(~0U, digits_end) & (~0U << first);
    const std::uint32_t point = mantissa & points;
    const unsigned digit_count = digits_end - first - (point != 0 ? 1 : 0);
    if ((mantissa & ~(digits | points)) != 0 || (point & (point - 1)) != 0 || digit_count == 0 ||
        digit_count > fast_decimal::longest_mantissa)
        return {nullptr, true};
    std::int64_t q = 0;
    if (point != 0) q = std::countr_zero(point) + 1 - std::int64_t{digits_end};
    if (exponent_mark != 0) {
        const unsigned char* e = c + digits_end + 1;
        const bool negative_exponent = *e == '-';
        e += *e == '+' || *e == '-' ? 1 : 0;
        // At most the token's length: the byte at c + length is white space.
        const auto exponent_start = static_cast<unsigned>(e - c);
        const unsigned exponent_length = length - exponent_start;
        if (exponent_length - 1 >= fast_decimal::longest_exponent ||
            (token & ~_bzhi_u32(~0U, exponent_start) & ~digits) != 0)
            return {nullptr, true};
        // Four digit values, first lowest, from the token's last four
        // bytes, those before the exponent's digits cleared: pairs, then
        // their sum.
        using namespace text_words;
        const auto last_four =
            static_cast<std::uint32_t>((load_word(c + length - 8) ^ every_byte('0')) >> 32);
        const std::uint32_t four = last_four & (~0U << (32 - 8 * exponent_length));
        const std::uint32_t pairs = four * 10 + (four >> 8);
        const std::int64_t exponent = (pairs & 0xff) * 100 + ((pairs >> 16) & 0xff);
        q += negative_exponent ? -exponent : exponent;
    }
    __m256i tail;
    std::memcpy(&tail, c + digits_end - 32, sizeof tail);
    const int shift = 32 - static_cast<int>(digits_end);
    const int point_index = point != 0 ? shift + std::countr_zero(point) : -1;
    const int first_digit = shift + static_cast<int>(first) + (point != 0 ? 1 : 0);
    const __m256i moved = _mm256_alignr_epi8(tail, _mm256_permute2x128_si256(tail, tail, 0x08), 15);
    const __m256i at_or_below_point =
        _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(point_index + 1)), k.byte_index);
    const __m256i digit_places =
        _mm256_cmpgt_epi8(k.byte_index, _mm256_set1_epi8(static_cast<char>(first_digit - 1)));
    const __m256i eights = eight_digit_values(
        _mm256_and_si256(
            digit_places,
            _mm256_xor_si256(_mm256_blendv_epi8(tail, moved, at_or_below_point), k.zero_character)),
        k);
    value = std::bit_cast<float>(decimal_bits(nineteen_digit_value(eights), q, c[0] == '-'));
    return {c + length, false};
}

// The shapes of record that the AVX2 loops take, one loop each
// (take_records_avx2 in records.cpp): the first four by convert_tokens, the
// others token by token.
enum class record_shape { usual, signed_amounts, spelled_amounts, wide, tokens };

// Four tokens that stop at `stops`, converted together and stored in the
// row; false, having stored nothing, when one is not of the shape taken or
// a value is zero. Each token is read from the sixteen bytes that end with
// it: the last eight (`low`) with the bytes at and below the highest white
// space byte cleared and the digits below the point moved up over it, the
// eight before them (`high`) where the token fills the low ones. The year
// count has no point.
// - The usual records: unsigned tokens of at most eight characters. Up to
//   seven digits beside a point are below 2^24, exact in binary32, so one
//   division by an exact power of ten rounds correctly (eight digits have no
//   point and are only converted, which rounds correctly).
// - Signed amounts: a sign may come first, read as white space; it must
//   follow white space, and a minus negates the quotient, as rounding to
//   nearest is symmetric.
// - Spelled amounts: signed, or an infinity or a NaN spelled out ("inf",
//   "infinity" or "nan" in any case), which takes the full scanner's value.
// - Wide: unsigned tokens of up to fifteen characters, the high bytes
//   holding the digits above the low ones. The value, below 10^15 < 2^53, is
//   exact in binary64, and decimal_bits (binary32.hpp) gives the proof that
//   one binary64 division by an exact power of ten, narrowed, is the binary32
//   value, unless the quotient is a binary32 midpoint, which is refused but
//   for an exact tie.
template <record_shape shape>
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool convert_tokens(
    const unsigned char* c, const record_window::record_stops& stops, record_table& table,
    std::int32_t row, const constants& k) {
    constexpr bool spellings = shape == record_shape::spelled_amounts;
    constexpr bool signs = spellings || shape == record_shape::signed_amounts;
    constexpr bool wide = shape == record_shape::wide;
    const auto sixteen_before = [c](std::uint64_t stop) {
        __m128i bytes;
        std::memcpy(&bytes, c + static_cast<std::ptrdiff_t>(stop) - 16, sizeof bytes);
        return bytes;
    };
    const __m256i first =
        _mm256_set_m128i(sixteen_before(stops.stop[1]), sixteen_before(stops.stop[0]));
    const __m256i second =
        _mm256_set_m128i(sixteen_before(stops.stop[3]), sixteen_before(stops.stop[2]));
    // 64-bit lanes in the order base, years, monthly, percent.
    const __m256i low = _mm256_unpackhi_epi64(first, second);
    const __m256i high = _mm256_unpacklo_epi64(first, second);
    const __m256i low_space = white_space_bytes(low, k);
    const __m256i high_space = white_space_bytes(high, k);
    // Known to be zero at compile time where unused (k.zero is hidden).
    __m256i low_signs = _mm256_setzero_si256();
    __m256i high_signs = _mm256_setzero_si256();
    if constexpr (signs) {
        low_signs =
            _mm256_or_si256(_mm256_cmpeq_epi8(low, k.minus), _mm256_cmpeq_epi8(low, k.plus));
        high_signs =
            _mm256_or_si256(_mm256_cmpeq_epi8(high, k.minus), _mm256_cmpeq_epi8(high, k.plus));
    }
    const __m256i earlier = spread_down(_mm256_or_si256(low_space, low_signs));
    const __m256i characters =
        _mm256_andnot_si256(earlier, _mm256_xor_si256(low, k.zero_character));
    // The bytes at or below the point move up by one over it.
    const __m256i below = spread_down(_mm256_cmpeq_epi8(characters, k.point));
    const __m256i low_digits =
        _mm256_blendv_epi8(characters, _mm256_slli_epi64(characters, 8), below);
    const __m256i fills_low = _mm256_cmpeq_epi64(earlier, k.zero);
    __m256i digits = digit_bytes(low_digits, k);
    // The amounts spelled out: the token's bytes, lower case, are a spelling
    // (only a letter becomes one by setting bit 5).
    __m256i spelled = _mm256_setzero_si256();
    __m256i nan = _mm256_setzero_si256();
    if constexpr (spellings) {
        const __m256i text = _mm256_andnot_si256(earlier, _mm256_or_si256(low, k.case_bit));
        nan = _mm256_cmpeq_epi64(text, k.nan_text);
        spelled = _mm256_andnot_si256(
            k.years_lane, _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi64(text, k.infinity_text),
                                                          _mm256_cmpeq_epi64(text, k.inf_text)),
                                          nan));
        digits = _mm256_or_si256(digits, spelled);
    }
    __m256i refused = _mm256_and_si256(below, k.years_lane);
    __m256i high_digits = _mm256_setzero_si256();
    if constexpr (wide) {
        const __m256i high_earlier = spread_down(high_space);
        high_digits = _mm256_and_si256(
            fills_low, _mm256_andnot_si256(high_earlier, _mm256_xor_si256(high, k.zero_character)));
        digits = _mm256_and_si256(digits, digit_bytes(high_digits, k));
        // Sixteen characters, or a year count of more than eight.
        refused = _mm256_or_si256(
            refused,
            _mm256_and_si256(fills_low, _mm256_or_si256(_mm256_cmpeq_epi64(high_earlier, k.zero),
                                                        k.years_lane)));
    } else {
        // A token that fills its eight bytes has eight characters only where
        // the byte before them is white space, or a sign after white space.
        __m256i before = high_space;
        if constexpr (signs)
            before = _mm256_or_si256(
                before, _mm256_and_si256(high_signs, _mm256_slli_epi64(high_space, 8)));
        refused = _mm256_or_si256(
            refused,
            _mm256_and_si256(fills_low,
                             _mm256_cmpeq_epi64(_mm256_and_si256(before, k.last_byte), k.zero)));
    }
    __m256i negative = _mm256_setzero_si256();
    if constexpr (signs) {
        // The token's sign is its highest white space or sign byte where that
        // is a sign, or the byte before a token that fills its eight.
        const __m256i own = _mm256_andnot_si256(_mm256_srli_epi64(earlier, 8), low_signs);
        refused = _mm256_or_si256(
            refused, _mm256_andnot_si256(_mm256_or_si256(_mm256_slli_epi64(low_space, 8),
                                                         _mm256_srli_epi64(high_space, 56)),
                                         own));
        negative = _mm256_or_si256(
            _mm256_and_si256(own, _mm256_cmpeq_epi8(low, k.minus)),
            _mm256_and_si256(fills_low,
                             _mm256_and_si256(_mm256_cmpeq_epi8(high, k.minus), k.last_byte)));
        negative = _mm256_andnot_si256(_mm256_cmpeq_epi64(negative, k.zero), k.float_sign_bit);
    }
    __m256i integers = eight_digit_values(low_digits, k);
    if constexpr (wide) {
        // With a point among the low bytes, seven digits are below the high
        // ones (the lowest low byte is the zero left by the point's removal).
        const __m256i scales = _mm256_castpd_si256(_mm256_blendv_pd(
            _mm256_castsi256_pd(k.eight_digits), _mm256_castsi256_pd(k.seven_digits),
            _mm256_castsi256_pd(_mm256_slli_epi64(below, 56))));
        integers = _mm256_add_epi64(integers,
                                    _mm256_mul_epu32(eight_digit_values(high_digits, k), scales));
    }
    __m256i zeros = _mm256_cmpeq_epi64(integers, k.zero);
    if constexpr (spellings) zeros = _mm256_andnot_si256(spelled, zeros);
    refused = _mm256_or_si256(refused, zeros);
    if (_mm256_movemask_epi8(_mm256_andnot_si256(refused, digits)) != -1) return false;
    // With n bytes at or below the point, 8 - n digits follow it (none when
    // n is 0): the byte sum is 255 n, -n modulo 8.
    const __m256i fraction_digits = _mm256_sad_epu8(below, k.zero);
    __m128 amounts;  // base, monthly and percent in 0, 2 and 3
    if constexpr (wide) {
        const __m256d exact =
            _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(integers, k.two_to_52)),
                          _mm256_castsi256_pd(k.two_to_52));
        const __m256d powers = _mm256_mask_i64gather_pd(
            exact, powers_of_ten, _mm256_and_si256(fraction_digits, k.low_three_bits), k.every_lane,
            8);
        const __m256d quotients = _mm256_div_pd(exact, powers);
        // Binary32 midpoints (the 29 bits below binary32's last are 1 and 28
        // zeros) are refused, but for exact ties: a midpoint has 25
        // significant bits and 10^f = 2^f 5^f with 5^7 < 2^17, so the
        // product below is exact, and gives the integer back only for a tie.
        const __m256i midpoints = _mm256_cmpeq_epi64(
            _mm256_and_si256(_mm256_castpd_si256(quotients), k.below_binary32), k.midpoint);
        if (_mm256_testz_si256(midpoints, midpoints) == 0 &&
            _mm256_testc_si256(_mm256_castpd_si256(_mm256_cmp_pd(_mm256_mul_pd(quotients, powers),
                                                                 exact, _CMP_EQ_OQ)),
                               midpoints) == 0)
            return false;
        amounts = _mm256_cvtpd_ps(quotients);
    } else {
        // The permutation takes the index modulo 8.
        __m256 quotients =
            _mm256_div_ps(_mm256_cvtepi32_ps(integers),
                          _mm256_permutevar8x32_ps(k.powers_of_ten, fraction_digits));
        if constexpr (spellings)
            quotients = _mm256_blendv_ps(quotients,
                                         _mm256_castsi256_ps(_mm256_or_si256(
                                             k.infinity_bits, _mm256_and_si256(nan, k.quiet_bit))),
                                         _mm256_castsi256_ps(spelled));
        quotients = _mm256_xor_ps(quotients, _mm256_castsi256_ps(negative));
        amounts = _mm_shuffle_ps(_mm256_castps256_ps128(quotients),
                                 _mm256_extractf128_ps(quotients, 1), 0x80);
    }
    auto years = static_cast<std::int32_t>(_mm256_extract_epi64(integers, 1));
    if (signs && _mm256_extract_epi64(negative, 1) != 0) years = -years;
    record_window::store_record(
        table, row,
        {_mm_cvtss_f32(amounts), _mm_cvtss_f32(_mm_movehl_ps(amounts, amounts)), years,
         _mm_cvtss_f32(_mm_shuffle_ps(amounts, amounts, 3))});
    return true;
}

// The constants for a run of records of one shape.
template <record_shape shape>
struct record_kind {
    constants k;
};

template <record_shape shape>
[[gnu::target("avx2,bmi,bmi2")]] inline bool convert_record(
    const unsigned char* c, const record_window::window_masks& /*masks*/,
    const record_window::record_stops& stops, record_table& table, std::int32_t row,
    const record_kind<shape>& kind) {
    if constexpr (shape == record_shape::tokens)
        return false;
    else
        return convert_tokens<shape>(c, stops, table, row, kind.k);
}

// The window's masks; the token loop's mark the letters too.
template <record_shape shape>
[[gnu::target("avx2,bmi,bmi2")]] inline record_window::window_masks classify_window(
    const unsigned char* c, const record_kind<shape>& kind) {
    record_window::window_masks masks = classify_window(c, kind.k);
    if constexpr (shape == record_shape::tokens) {
        __m256i low;
        __m256i high;
        std::memcpy(&low, c, sizeof low);
        std::memcpy(&high, c + 32, sizeof high);
        const __m256i question_mark = _mm256_set1_epi8('?');
        masks.letters = ~bit_mask(_mm256_cmpeq_epi8(_mm256_min_epu8(low, question_mark), low),
                                  _mm256_cmpeq_epi8(_mm256_min_epu8(high, question_mark), high));
    }
    return masks;
}

// The token loop takes the first record it is given, and then those that
// hold a letter or are longer than a window.
template <record_shape shape>
inline bool takes_by_tokens(const record_kind<shape>& /*kind*/, bool letters, bool first) {
    return shape == record_shape::tokens && (letters || first);
}

// A record longer than the window: its tokens that start there are taken
// from the masks, which hold the line feeds that they pass.
template <record_shape shape>
inline std::uint64_t long_record_starts(const record_kind<shape>& /*kind*/,
                                        const record_window::window_masks& masks,
                                        std::uint64_t room) {
    return record_window::starts_before(masks, room);
}

// Not inlined, so that the token loop's registers are kept for its window;
// flattened, so that take_kernel_decimal is inlined into it through the
// generic take_token. Only the token loop has one.
template <record_shape shape>
[[gnu::target("avx2,bmi,bmi2"), gnu::noinline, gnu::flatten]] inline const unsigned char*
take_record_by_tokens(input_stream& input, const unsigned char* c, std::uint64_t starts,
                      std::int64_t& lines, record_table& table, std::int32_t row,
                      const record_kind<shape>& kind) {
    if constexpr (shape == record_shape::tokens)
        return record_window::take_record_by_tokens(input, c, starts, lines, table, row, kind.k);
    else
        return nullptr;
}

}  // namespace avx2_kernel

#endif
