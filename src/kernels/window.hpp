// The first stage of the reader: a window of 64 bytes from the cursor,
// classified by a processor kernel (portable/, sse2/, avx2/) into bit masks,
// bit i for byte i; the four tokens of the next record are then found by bit
// scans, so that any run of white space between them costs the same. A
// record is converted by the kernel's own conversion of its four tokens at
// once, or else token by token: by the fast conversion (fast_decimal.hpp),
// and where that refuses a token, by the full scanner in place.
#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>

#include "../fast_decimal.hpp"
#include "../records.hpp"
#include "../scanner.hpp"

namespace record_window {

inline constexpr long window_size = 64;
static_assert(input_buffer_slack >= window_size, "a window may start at any byte held");
static_assert(input_buffer_room_before >= 16, "a kernel loads the sixteen bytes ending a token");

struct window_masks {
    std::uint64_t white_space;
    std::uint64_t line_feeds;
    std::uint64_t letters;  // bytes from '@' on, no decimal's (where a kernel marks them)
};

// The stops of one record: where its four tokens stop (the white space after
// each; 64 for none), and the previous record's last stop (0 for none).
struct record_stops {
    std::uint64_t before;
    std::uint64_t stop[4];
};

inline std::uint64_t bits_below(std::uint64_t position) {
    return (std::uint64_t{1} << position) - 1;
}

// The bytes that stop a token in the window. The byte before the window is
// white space (take_window_records starts only there), so byte 0 stops none.
inline std::uint64_t token_stops(const window_masks& masks) {
    return masks.white_space & ~((masks.white_space << 1) | 1);
}

// The next record's stops, taken from the stops not yet taken (64 for those
// missing); a window usually holds two records.
[[gnu::always_inline]] inline record_stops take_record_stops(std::uint64_t& stops,
                                                             std::uint64_t before) {
    record_stops record{before, {}};
    for (std::uint64_t& stop : record.stop) {
        stop = static_cast<std::uint64_t>(std::countr_zero(stops));
        stops &= stops - 1;
    }
    return record;
}

// Whether the record lies in the window and ends before `room`, the bytes
// held from the window's start: the zero byte at the buffer's end is no white
// space, so a token that reaches it has no stop before `room`.
inline bool record_is_held(const record_stops& record, std::uint64_t room) {
    return record.stop[3] < room && record.stop[3] < window_size;
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

// The token at `start` as one whole value: by the fast conversion where it
// starts as a decimal does (after a sign), else or where that refuses it by
// the full scanner in place, kept from asking the source (with at_end set it
// takes the buffer's end for the input's end). Returns the white space after
// the token, or null when it is not one whole value before the buffer's end:
// the value-by-value reader then decides, from the record's start. Neither
// conversion is inlined: the token-by-token way is the rarer one.
template <typename number>
[[gnu::noinline]] const unsigned char* take_exactly(input_stream& input, const unsigned char* start,
                                                    number& value) {
    input.next = const_cast<unsigned char*>(start);
    const bool at_end = input.at_end;
    input.at_end = true;
    scan_result result = scan_result::not_a_number;
    if constexpr (std::is_same_v<number, float>)
        result = scan_float_slowly(input, value);
    else
        result = scan_int_slowly(input, value);
    input.at_end = at_end;
    return result == scan_result::value && is_white_space(*input.next) ? input.next : nullptr;
}

[[gnu::noinline]] inline const unsigned char* take_fast(const unsigned char* c, float& value) {
    return fast_decimal::take_decimal(c, value);
}

template <typename number>
[[gnu::always_inline]] inline const unsigned char* take_token(input_stream& input,
                                                              const unsigned char* start,
                                                              number& value) {
    const unsigned char first = start[*start == '+' || *start == '-' ? 1 : 0];
    const unsigned char* after = nullptr;
    if (fast_decimal::is_digit(first) || first == '.') {
        if constexpr (std::is_same_v<number, float>)
            after = take_fast(start, value);
        else
            after = fast_decimal::take_count(start, value);
    }
    return after != nullptr ? after : take_exactly(input, start, value);
}

// The first byte from c on that is no white space, found window by window,
// counting the line feeds passed into `lines`. The zero byte at the buffer's
// end stops it.
template <typename kernel_constants>
[[gnu::always_inline]] inline const unsigned char* after_white_space(const unsigned char* c,
                                                                     std::int64_t& lines,
                                                                     const kernel_constants& k) {
    // Most often one byte.
    if (is_white_space(c[0]) && !is_white_space(c[1])) {
        lines += c[0] == '\n' ? 1 : 0;
        return c + 1;
    }
    for (;; c += window_size) {
        const window_masks masks = classify_window(c, k);
        if (masks.white_space != ~std::uint64_t{0}) {
            const int first = std::countr_zero(~masks.white_space);
            lines +=
                std::popcount(masks.line_feeds & bits_below(static_cast<std::uint64_t>(first)));
            return c + first;
        }
        lines += std::popcount(masks.line_feeds);
    }
}

// The four tokens of a record from c on, one by one, each taken by
// take_token: their first characters are `starts` (bits of the window at c)
// where the record lies in that window, else found by after_white_space,
// which counts the line feeds into `lines`. Returns the white space after the
// fourth, or null, having stored nothing, when a token is not one whole value
// or a value is zero (a closing record is the value-by-value reader's too).
template <typename kernel_constants>
[[gnu::always_inline]] inline const unsigned char* take_record_by_tokens(
    input_stream& input, const unsigned char* c, std::uint64_t starts, std::int64_t& lines,
    record_table& table, std::int32_t row, const kernel_constants& k) {
    const unsigned char* const window = c;
    const auto next_start = [&](const unsigned char* after) {
        if (starts == 0) return after_white_space(after, lines, k);
        const unsigned char* const start = window + std::countr_zero(starts);
        starts &= starts - 1;
        return start;
    };
    record_values values{};
    if ((c = take_token(input, next_start(c), values.base_amount)) == nullptr ||
        (c = take_token(input, next_start(c), values.monthly_amount)) == nullptr ||
        (c = take_token(input, next_start(c), values.years)) == nullptr ||
        (c = take_token(input, next_start(c), values.percent)) == nullptr ||
        values.base_amount == 0 || values.monthly_amount == 0 || values.years == 0 ||
        values.percent == 0)
        return nullptr;
    store_record(table, row, values);
    return c;
}

// Whether a record found in the window holds a letter (where the kernel marks them).
inline bool has_letters(const window_masks& masks, const record_stops& record) {
    return (masks.letters & bits_below(record.stop[3]) & ~bits_below(record.before)) != 0;
}

// For a kernel without a conversion of its own (portable, SSE2): every
// record token by token.
template <typename kernel>
inline bool convert_record(const unsigned char* /*c*/, const record_stops& /*stops*/,
                           record_table& /*table*/, std::int32_t /*row*/, const kernel& /*k*/) {
    return false;
}
template <typename kernel>
inline bool takes_by_tokens(const kernel& /*k*/, bool /*letters*/, bool /*first*/) {
    return true;
}

// The first characters of the tokens of a record found in the window.
inline std::uint64_t record_starts(const window_masks& masks, const record_stops& record) {
    return ~masks.white_space & ((masks.white_space << 1) | 1) & ~bits_below(record.before) &
           bits_below(record.stop[3]);
}

}  // namespace record_window
