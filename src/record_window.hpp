// The usual record read whole from a window of 32 bytes: the four values'
// digits are found and converted together, with SSE2 or, where the processor
// has it, AVX2. Without either, and for any record not taken here, the reader
// goes value by value.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "records.hpp"
#include "scanner.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(SCREENING_AVX2)
#include <immintrin.h>
#endif

// The window must be readable 32 bytes from its start, wherever in the
// buffer that is.
static_assert(input_buffer_slack >= 32);

namespace record_window {

// How far before its window the AVX2 reader reads.
inline constexpr long avx2_room_before = 8;

// The separators after the four tokens of the window's record, as masks
// whose lowest bit is that separator: byte 0 is the white space before the
// record, and `token_characters` has a bit for each byte above the space and
// below 0x80. Bits 48-51 are separators too, so that every search finds one;
// a token that ends there fails the readers' length checks.
struct separators_after {
    std::uint64_t base_amount;
    std::uint64_t monthly_amount;
    std::uint64_t years;
    std::uint64_t percent;
};

inline separators_after separators_after_tokens(std::uint32_t token_characters) {
    const std::uint64_t separators = token_characters ^ 0x000f'0000'ffff'ffffULL;
    const std::uint64_t after_base = separators & (separators - 1);
    const std::uint64_t after_monthly = after_base & (after_base - 1);
    const std::uint64_t after_years = after_monthly & (after_monthly - 1);
    return {after_base, after_monthly, after_years, after_years & (after_years - 1)};
}

// The four tokens of a usual record, each as a word whose top byte is its
// last character with zero bytes below its first, every character taken
// exclusive-or '0': digits become 0-9 and nothing else does.
struct record_tokens {
    std::uint64_t base_amount;
    std::uint64_t monthly_amount;
    std::uint64_t years;
    std::uint64_t percent;
    const unsigned char* after;  // the white space after the last token
};

inline std::uint64_t right_aligned_token(const unsigned char* start, unsigned room) {
    return (short_numbers::load_word(start) ^ short_numbers::every_byte('0')) << (8 * room);
}

// Finds the four tokens in the window at `c`, given the bit mask of its
// token characters: those above the space and below 0x80. Byte 0 is the
// white space before the record. The tokens must have 1 to 8 characters, be
// apart by single spaces, and the last must be followed by white space
// before `end`. What the tokens hold is checked later.
[[gnu::always_inline]] inline bool find_tokens(const unsigned char* c, const unsigned char* end,
                                               std::uint32_t token_characters,
                                               record_tokens& tokens) {
    const separators_after after = separators_after_tokens(token_characters);
    const auto base_end = static_cast<unsigned>(__builtin_ctzll(after.base_amount));
    const auto monthly_end = static_cast<unsigned>(__builtin_ctzll(after.monthly_amount));
    const auto years_end = static_cast<unsigned>(__builtin_ctzll(after.years));
    const auto percent_end = static_cast<unsigned>(__builtin_ctzll(after.percent));
    // Bytes left free below each token in its word: a token of 1 to 8
    // characters leaves 0 to 7; an empty one, a longer one, or one that ends
    // at bit 48 or later, does not.
    const unsigned base_room = 9 - base_end;
    const unsigned monthly_room = 9 + base_end - monthly_end;
    const unsigned years_room = 9 + monthly_end - years_end;
    const unsigned percent_room = 9 + years_end - percent_end;
    if ((base_room | monthly_room | years_room | percent_room) >= 8 ||
        percent_end >= static_cast<std::uint64_t>(end - c) || c[base_end] != ' ' ||
        c[monthly_end] != ' ' || c[years_end] != ' ' || !short_numbers::white_space[c[percent_end]])
        return false;
    tokens.base_amount = right_aligned_token(c + 1, base_room);
    tokens.monthly_amount = right_aligned_token(c + base_end + 1, monthly_room);
    tokens.years = right_aligned_token(c + monthly_end + 1, years_room);
    tokens.percent = right_aligned_token(c + years_end + 1, percent_room);
    tokens.after = c + percent_end;
    return true;
}

// The values are exact: at most seven digits beside a point are below
// 2^24, so the conversion to binary32 is exact and one division by an exact
// power of ten rounds correctly; eight digits have no point and are only
// converted, which rounds correctly.
struct record_values {
    float base_amount;
    float monthly_amount;
    std::int32_t years;
    float percent;
};

[[gnu::always_inline]] inline void store_record(record_table& table, std::int32_t row,
                                                const record_values& values) {
    table.base_amount[row] = values.base_amount;
    table.monthly_amount[row] = values.monthly_amount;
    table.years[row] = values.years;
    table.percent[row] = values.percent;
}

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

#if defined(SCREENING_AVX2)

// The vector constants of the AVX2 reader, made once for a run of records.
// Each goes through an empty assembly statement, which hides its value:
// otherwise the compiler rebuilds every one of them for every record.
struct avx2_constants {
    __m256i space;
    __m256i above_space;
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

[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline avx2_constants make_avx2_constants() {
    return {held_in_register(_mm256_set1_epi8(' ')),
            held_in_register(_mm256_set1_epi8(' ' + 1)),
            held_in_register(_mm256_set1_epi8('0')),
            held_in_register(_mm256_set1_epi8('.' ^ '0')),
            held_in_register(_mm256_set1_epi8(9)),
            held_in_register(_mm256_set_epi64x(0, -1, 0, 0)),
            held_in_register(_mm256_set1_epi16(1 << 8 | 10)),
            held_in_register(_mm256_set1_epi32(1 << 16 | 100)),
            held_in_register(_mm256_set1_epi64x(10000)),
            held_in_register(_mm256_setzero_si256()),
            held_in_register(_mm256_setr_ps(1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f))};
}

// Where the four tokens end in the window at `c`: the positions of the
// spaces after them and of the white space after the last. Byte 0 is the
// white space before the record. `token_characters` has a bit for each
// byte above the space and below 0x80, `spaces` one for each space. The
// tokens must be apart by single spaces, the last followed by white space,
// and none may be longer than 8 characters. What they hold is checked
// later; an empty one reads as a zero, which is left to the full scanners.
struct token_ends {
    std::uint64_t base_amount;
    std::uint64_t monthly_amount;
    std::uint64_t years;
    std::uint64_t percent;
};

[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool find_token_ends(
    const unsigned char* c, std::uint32_t token_characters, std::uint32_t spaces,
    token_ends& ends) {
    const separators_after after = separators_after_tokens(token_characters);
    ends = {_tzcnt_u64(after.base_amount), _tzcnt_u64(after.monthly_amount),
            _tzcnt_u64(after.years), _tzcnt_u64(after.percent)};
    // Bit p of `runs` is set when token characters fill bytes p to p + 8.
    std::uint64_t runs = token_characters & (token_characters >> 1);
    runs &= runs >> 2;
    runs &= runs >> 4;
    runs &= token_characters >> 8;
    // The separators after the first three tokens, which must be spaces.
    const std::uint64_t inner_separators = after.base_amount ^ after.percent;
    return ends.percent < 32 && (runs & ((std::uint64_t{1} << ends.percent) - 1)) == 0 &&
           (inner_separators & ~std::uint64_t{spaces}) == 0 &&
           short_numbers::white_space[c[ends.percent]];
}

// The same as take_record_window, with the four tokens in one AVX2 register,
// each loaded as the eight bytes that end with it: the window must also be
// readable avx2_room_before bytes before its start.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool take_record_window_avx2(
    const unsigned char*& cursor, const unsigned char* end, record_table& table, std::int32_t row,
    std::int64_t& line, const avx2_constants& k) {
    const unsigned char* const c = cursor;
    __m256i window;
    std::memcpy(&window, c, sizeof window);
    // Bytes from 0x80 on are negative here.
    const auto token_characters =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(window, k.space)));
    const auto spaces =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(window, k.space)));
    token_ends ends{};
    if (!find_token_ends(c, token_characters, spaces, ends) ||
        ends.percent >= static_cast<std::uint64_t>(end - c))
        return false;

    const __m256i words = _mm256_set_m128i(
        _mm_insert_epi64(_mm_loadu_si64(c + ends.years - 8),
                         static_cast<std::int64_t>(short_numbers::load_word(c + ends.percent - 8)),
                         1),
        _mm_insert_epi64(
            _mm_loadu_si64(c + ends.base_amount - 8),
            static_cast<std::int64_t>(short_numbers::load_word(c + ends.monthly_amount - 8)), 1));
    // Below each token is the space before it, and below that what comes
    // earlier: every byte at or below the highest non-token byte is cleared.
    __m256i earlier = _mm256_cmpgt_epi8(k.above_space, words);
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
    // in the years, or a zero value (or a point alone), which closes the
    // list: not a usual record, and the full scanners decide.
    const __m256i refused =
        _mm256_or_si256(_mm256_and_si256(below, k.years_lane), _mm256_cmpeq_epi64(digits, k.zero));
    if (_mm256_movemask_epi8(_mm256_andnot_si256(
            refused, _mm256_cmpeq_epi8(_mm256_min_epu8(digits, k.nine), digits))) != -1)
        return false;
    // Pairs of digits (the first times 10), then fours, then eights: each
    // 64-bit lane ends with its value.
    const __m256i pairs = _mm256_maddubs_epi16(digits, k.pair_weights);
    const __m256i fours = _mm256_madd_epi16(pairs, k.four_weights);
    const __m256i values =
        _mm256_add_epi64(_mm256_mul_epu32(fours, k.ten_thousand), _mm256_srli_epi64(fours, 32));
    // With n bytes at or below the point, 8 - n digits follow it (none when
    // n is 0 or 8). The byte sum of those bytes is 255 n, which is -n modulo
    // 8, and the permutation takes the index modulo 8.
    const __m256i fraction_digits = _mm256_sad_epu8(below, k.zero);
    const __m256 divisors = _mm256_permutevar8x32_ps(k.powers_of_ten, fraction_digits);
    const __m256 quotients = _mm256_div_ps(_mm256_cvtepi32_ps(values), divisors);
    const __m128 amounts = _mm256_castps256_ps128(quotients);
    const __m128 percent = _mm256_extractf128_ps(quotients, 1);
    store_record(table, row,
                 {_mm_cvtss_f32(amounts), _mm_cvtss_f32(_mm_movehl_ps(amounts, amounts)),
                  _mm_cvtsi128_si32(_mm256_extracti128_si256(values, 1)),
                  _mm_cvtss_f32(_mm_movehl_ps(percent, percent))});
    line += *c == '\n' ? 1 : 0;
    cursor = c + ends.percent;
    return true;
}

#endif

}  // namespace record_window
