// The AVX2 window reader: the four tokens of a usual record in one 256-bit
// register, built with AVX2, BMI1 and BMI2 for processors that have them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "../window.hpp"

#if defined(SCREENING_AVX2)
#include <immintrin.h>

namespace record_window {

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

// What the window readers take between and before the tokens.
enum class window_layout {
    single_spaces,    // one space between tokens
    any_white_space,  // any run of white space between them
    signed_tokens,    // that, and a sign before any token
};

// The same for tokens apart by any run of white space (tabs, CR LF, one
// value per line, blank lines, several spaces), tried when the tokens are not
// apart by single spaces. Starts and ends of the tokens come from the token
// characters' mask; every other byte up to the white space after the last
// token must be white space. A token may start with a sign, and then has up
// to 9 characters; bit k of `negative` is set when token k starts with a
// minus. `lines` is set to the line feeds before the white space after the
// last token.
template <bool signs>
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool find_spread_token_ends(
    __m256i window, std::uint32_t token_characters, std::uint32_t spaces, token_ends& ends,
    unsigned& negative, std::int64_t& lines) {
    const std::uint64_t tokens = token_characters;
    const std::uint64_t first_characters = tokens & ~(tokens << 1);
    std::uint64_t starts = first_characters;
    std::uint64_t after = ~tokens & (tokens << 1) & 0xffff'ffffU;
    std::uint64_t start[4];
    std::uint64_t stop[4];
    for (int k = 0; k < 4; ++k) {
        start[k] = _tzcnt_u64(starts);
        stop[k] = _tzcnt_u64(after);
        starts = _blsr_u64(starts);
        after = _blsr_u64(after);
    }
    // Signs only as first characters.
    std::uint32_t minus = 0;
    std::uint64_t sign[4] = {0, 0, 0, 0};
    if constexpr (signs) {
        minus = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(window, _mm256_set1_epi8('-'))));
        const std::uint64_t sign_characters =
            minus | static_cast<std::uint32_t>(
                        _mm256_movemask_epi8(_mm256_cmpeq_epi8(window, _mm256_set1_epi8('+'))));
        if ((sign_characters & ~first_characters) != 0) return false;
        for (int k = 0; k < 4; ++k) sign[k] = (sign_characters >> (start[k] & 63)) & 1;
    }
    // 1 to 8 characters each after the sign; a missing end (64) makes the
    // last one too long.
    if (((stop[0] - start[0] - sign[0] - 1) | (stop[1] - start[1] - sign[1] - 1) |
         (stop[2] - start[2] - sign[2] - 1) | (stop[3] - start[3] - sign[3] - 1)) >= 8)
        return false;
    // Bytes 9 to 13 (tab to carriage return) and the space are white space.
    const __m256i nine = _mm256_set1_epi8(9);
    const __m256i thirteen = _mm256_set1_epi8(13);
    const __m256i clamped = _mm256_min_epu8(_mm256_max_epu8(window, nine), thirteen);
    const auto white = spaces | static_cast<std::uint32_t>(
                                    _mm256_movemask_epi8(_mm256_cmpeq_epi8(clamped, window)));
    const std::uint64_t through_last = (std::uint64_t{2} << stop[3]) - 1;
    if ((~tokens & ~std::uint64_t{white} & through_last) != 0) return false;
    const auto line_feeds = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(window, _mm256_set1_epi8('\n'))));
    lines = std::popcount(line_feeds & (through_last >> 1));
    ends = {stop[0], stop[1], stop[2], stop[3]};
    negative = 0;
    if constexpr (signs)
        for (int k = 0; k < 4; ++k) negative |= static_cast<unsigned>((minus >> start[k]) & 1) << k;
    return true;
}

// Converts and stores the four tokens that end at `ends` in the window at
// `c`, each loaded as the eight bytes that end with it; false, having
// stored nothing, when one of them is not an unsigned decimal of 1 to 8
// characters (none with a point in the years), or is zero. With `signs`, a
// token's first character may be a sign, which the finder has checked
// (bit k of `negative` for a minus before token k).
template <bool signs>
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool convert_tokens_avx2(
    const unsigned char* c, const token_ends& ends, unsigned negative, record_table& table,
    std::int32_t row, const avx2_constants& k) {
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
    // A sign is a first character: it and what lies below it are cleared.
    if constexpr (signs)
        earlier = _mm256_or_si256(earlier,
                                  _mm256_or_si256(_mm256_cmpeq_epi8(words, _mm256_set1_epi8('-')),
                                                  _mm256_cmpeq_epi8(words, _mm256_set1_epi8('+'))));
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
    record_values record{_mm_cvtss_f32(amounts), _mm_cvtss_f32(_mm_movehl_ps(amounts, amounts)),
                         _mm_cvtsi128_si32(_mm256_extracti128_si256(values, 1)),
                         _mm_cvtss_f32(_mm_movehl_ps(percent, percent))};
    if constexpr (signs) {
        if ((negative & 1) != 0) record.base_amount = -record.base_amount;
        if ((negative & 2) != 0) record.monthly_amount = -record.monthly_amount;
        if ((negative & 4) != 0) record.years = -record.years;
        if ((negative & 8) != 0) record.percent = -record.percent;
    }
    store_record(table, row, record);
    return true;
}

// The same as take_record_window, with the four tokens in one AVX2 register:
// the window must also be readable avx2_room_before bytes before its start.
// The layout may allow any run of white space between the tokens (tabs, CR
// LF, one value per line, blank lines, several spaces), and signs too; the
// reader runs each layout in a loop of its own, so that the simpler layouts'
// loops stay as short as they are alone.
template <window_layout layout>
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
    unsigned negative = 0;
    std::int64_t lines = 0;
    bool found = false;
    if constexpr (layout != window_layout::single_spaces) {
        found = find_spread_token_ends<layout == window_layout::signed_tokens>(
            window, token_characters, spaces, ends, negative, lines);
    } else {
        found = find_token_ends(c, token_characters, spaces, ends);
        lines = *c == '\n' ? 1 : 0;
    }
    if (!found || ends.percent >= static_cast<std::uint64_t>(end - c) ||
        !convert_tokens_avx2<layout == window_layout::signed_tokens>(c, ends, negative, table, row,
                                                                     k))
        return false;
    line += lines;
    cursor = c + ends.percent;
    return true;
}

}  // namespace record_window

#endif
