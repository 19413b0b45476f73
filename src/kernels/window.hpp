// The first stage of the reader: a window of 64 bytes from the cursor,
// classified by a processor kernel (portable/, sse2/, avx2/) into bit masks,
// bit i for byte i; the four tokens of the next record are then found by bit
// scans, so that any run of white space between them costs the same. The
// tokens are converted by the fast conversion (fast_decimal.hpp), or by a
// kernel's own conversion of several at once.
#pragma once

#include <bit>
#include <cstdint>

#include "../fast_decimal.hpp"
#include "../records.hpp"

namespace record_window {

inline constexpr long window_size = 64;

// A window may start at any byte held: the slack after them holds the rest.
static_assert(input_buffer_slack >= window_size);

struct window_masks {
    std::uint64_t white_space;
    std::uint64_t line_feeds;
    // A kernel that reads a sign after white space as white space (the AVX2
    // kernel's second loop) marks those signs here, and in white_space too;
    // `sign_trouble` marks the signs that are not followed by a token and
    // the other '+' and '-' bytes (in an exponent, or misplaced), and
    // `after_minus` the bytes after a minus: a token whose first character
    // is one is negative. The other kernels leave these zero.
    std::uint64_t signs;
    std::uint64_t sign_trouble;
    std::uint64_t after_minus;
    // token_runs<9>, the starts of tokens too long for the short
    // conversions, added by the reader once for the window to what the
    // kernel marks (the AVX2 kernel's second loop: sign trouble).
    std::uint64_t long_tokens;
};

// The stops of one record: where its four tokens stop (the white space after
// each; 64 for none), and the previous record's last stop (0 for none).
struct record_stops {
    std::uint64_t before;
    std::uint64_t stop[4];
};

// The bytes that stop a token in the window. Byte 0 of the window is white
// space, so it stops none.
inline std::uint64_t token_stops(const window_masks& masks) {
    return masks.white_space & ~((masks.white_space << 1) | 1);
}

// The positions of the four lowest bits set (64 for those missing), taken
// from `bits`.
[[gnu::always_inline]] inline void take_four_positions(std::uint64_t& bits,
                                                       std::uint64_t (&positions)[4]) {
    for (std::uint64_t& position : positions) {
        position = static_cast<std::uint64_t>(std::countr_zero(bits));
        bits &= bits - 1;
    }
}

// The next record's stops, taken from the stops not yet taken; a window
// usually holds two records.
[[gnu::always_inline]] inline record_stops take_record_stops(std::uint64_t& stops,
                                                             std::uint64_t before) {
    record_stops record{before, {}};
    take_four_positions(stops, record.stop);
    return record;
}

// Whether the record lies in the window and ends before `room`, the bytes
// held from the window's start: the zero byte at the buffer's end is no white
// space, so a token that reaches it has no stop before `room`.
inline bool record_is_held(const record_stops& record, std::uint64_t room) {
    return record.stop[3] < room && record.stop[3] < window_size;
}

inline std::uint64_t bits_below(std::uint64_t position) {
    return (std::uint64_t{1} << position) - 1;
}

// The token bytes that begin a run of `length` token bytes (up to 32).
template <int length>
[[gnu::always_inline]] inline std::uint64_t token_runs(std::uint64_t white_space) {
    std::uint64_t runs = ~white_space;
    int covered = 1;
    for (; 2 * covered <= length; covered *= 2) runs &= runs >> covered;
    if (covered < length) runs &= runs >> (length - covered);
    return runs;
}

// Whether no token of the record has more than `longest` characters (up to
// 31): no longest + 1 token bytes in a row start in it.
template <int longest>
[[gnu::always_inline]] inline bool tokens_at_most(const window_masks& masks,
                                                  const record_stops& record) {
    const std::uint64_t runs =
        longest == 8 ? masks.long_tokens : token_runs<longest + 1>(masks.white_space);
    return (runs & bits_below(record.stop[3]) & ~bits_below(record.before)) == 0;
}

// The stops of the record after the stop at `before`.
[[gnu::always_inline]] inline record_stops record_after(const window_masks& masks,
                                                        std::uint64_t before) {
    std::uint64_t stops = token_stops(masks) & ~bits_below(before + 1);
    return take_record_stops(stops, before);
}

// The first characters of the tokens after the stop at `before`, from the
// white space around them (signs not read as white space).
[[gnu::always_inline]] inline void find_record_starts(std::uint64_t white_space,
                                                      std::uint64_t before,
                                                      std::uint64_t (&start)[4]) {
    std::uint64_t first_characters = ~white_space & (white_space << 1) & ~bits_below(before);
    take_four_positions(first_characters, start);
}

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

// A record with a zero value closes the list: the value-by-value reader
// takes it, and decides.
[[gnu::always_inline]] inline bool has_no_zero(const record_values& values) {
    return values.base_amount != 0 && values.monthly_amount != 0 && values.years != 0 &&
           values.percent != 0;
}

// The four tokens after the stop at `before` converted one by one and
// stored in the row; false when one is not an ordinary decimal (or year
// count), or a value is zero. `white_space` reads no sign as white space.
// Not inlined: in a kernel's loop it is the rarer way, and would crowd the
// registers of the usual one.
[[gnu::noinline]] inline bool convert_each_token(const unsigned char* c, std::uint64_t white_space,
                                                 std::uint64_t before, record_table& table,
                                                 std::int32_t row) {
    std::uint64_t start[4];
    find_record_starts(white_space, before, start);
    record_values values{};
    if (fast_decimal::take_decimal(c + start[0], values.base_amount) == nullptr ||
        fast_decimal::take_decimal(c + start[1], values.monthly_amount) == nullptr ||
        fast_decimal::take_count(c + start[2], values.years) == nullptr ||
        fast_decimal::take_decimal(c + start[3], values.percent) == nullptr || !has_no_zero(values))
        return false;
    store_record(table, row, values);
    return true;
}

}  // namespace record_window
