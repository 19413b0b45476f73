// The usual record read whole from a window of 32 bytes: the four values'
// digits are found and converted together, with SSE2 or, where the processor
// has it, AVX2 (src/kernels/sse2, src/kernels/avx2). What both share is
// here. Without either, and for any record not taken by them, the reader
// goes value by value.
#pragma once

#include <cstdint>

#include "../records.hpp"
#include "../scanner.hpp"

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

}  // namespace record_window
