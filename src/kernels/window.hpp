// The reader's first stage, written once over a kernel's primitives
// (kernel.hpp): a window of 64 bytes from the cursor, classified by the
// kernel into bit masks, bit i for byte i; the four tokens of the next
// record found by bit scans, so that any run of white space between them
// costs the same; the record's shape read from the masks and the record
// converted whole (shapes.hpp), or else token by token: each by the fast
// conversion (fast_decimal.hpp), and where that refuses, by the full scanner
// in place. What this stage leaves (the closing record, the last row, a
// token cut by the buffer's end, text that is no number) the value-by-value
// reader takes (records.cpp).
#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>

#include "../fast_decimal.hpp"
#include "../records.hpp"
#include "../scanner.hpp"
#include "kernel.hpp"
#include "shapes.hpp"

namespace record_window {

inline constexpr long window_size = 64;
static_assert(input_buffer_slack >= window_size, "a window may start at any byte held");
static_assert(input_buffer_room_before >= 16, "a token's 16 bytes may start before the buffer");

inline std::uint64_t bits_below(std::uint64_t position) {
    return (std::uint64_t{1} << position) - 1;
}

// A record's stops are taken from the window's below its last byte, which
// stands for those missing: a record that ends on that byte is left for the
// next window, where it ends earlier.
inline constexpr std::uint64_t missing_stop = window_size - 1;
inline constexpr std::uint64_t missing_stop_bit = std::uint64_t{1} << missing_stop;

// The bytes that stop a token in the window. The byte before the window is
// white space (take_window_records starts only there), so byte 0 stops none.
inline std::uint64_t token_stops(const window_masks& masks) {
    return masks.white_space & ~((masks.white_space << 1) | 1);
}

// The bytes that start a token in the window: byte 0 where it is no white
// space, as the byte before the window is.
inline std::uint64_t token_starts(const window_masks& masks) {
    return ~masks.white_space & ((masks.white_space << 1) | 1);
}

// The next record's stops, taken from the stops not yet taken (those of the
// window below its last byte), missing_stop for those missing; a window
// usually holds two records.
[[gnu::always_inline]] inline record_stops take_record_stops(std::uint64_t& stops,
                                                             std::uint64_t before) {
    record_stops record{before, {}};
    for (std::uint64_t& stop : record.stop) {
        stop = static_cast<std::uint64_t>(std::countr_zero(stops | missing_stop_bit));
        stops &= stops - 1;
    }
    return record;
}

// Whether the record lies in the window below its last byte and ends before
// `room`, the bytes held from the window's start: the zero byte at the
// buffer's end is no white space, so a token that reaches it has no stop
// before `room`.
inline bool record_is_held(const record_stops& record, std::uint64_t room) {
    return record.stop[3] < room && record.stop[3] < missing_stop;
}

// The bytes of the window that rule a shape out for a record that holds
// one: a sign that does not follow white space, for either; the start of
// nine bytes of a token other than a sign, for short records; the start of
// a token of sixteen bytes or more, for wide ones. A run of bytes that no white
// space ends inside the window is counted as ending there: a record held in
// the window ends there too.
struct shape_bars {
    std::uint64_t eight;  // the bytes that start eight of a token
    std::uint64_t short_record;
};

inline shape_bars shape_bars_of(const window_masks& masks) {
    const std::uint64_t token = ~masks.white_space;
    const std::uint64_t two = token & (token >> 1);
    const std::uint64_t four = two & (two >> 2);
    const std::uint64_t eight = four & (four >> 4);
    const std::uint64_t misplaced_signs = masks.signs & ~((masks.white_space << 1) | 1);
    return {eight, misplaced_signs | (eight & (token >> 8) & ~masks.signs)};
}

inline std::uint64_t wide_bars(const window_masks& masks, const shape_bars& bars) {
    return (masks.signs & ~((masks.white_space << 1) | 1)) | (bars.eight & (bars.eight >> 8));
}

inline void store_record(record_table& table, std::int32_t row, const record_values& values) {
    table.base_amount[row] = values.base_amount;
    table.monthly_amount[row] = values.monthly_amount;
    table.years[row] = values.years;
    table.percent[row] = values.percent;
}

// The conversions' constants, where the kernel converts records.
template <typename kernel>
[[gnu::always_inline]] inline auto make_window_constants() {
    if constexpr (record_kernel<kernel>)
        return record_shapes::make_record_constants<kernel>();
    else
        return 0;
}

// The record converted whole, in the first shape the masks allow that takes
// it, and stored; false, having stored nothing, where none does.
template <typename kernel>
[[gnu::always_inline]] inline bool convert_record(const unsigned char* c, const window_masks& masks,
                                                  const shape_bars& bars,
                                                  const record_stops& record,
                                                  const record_shapes::record_constants<kernel>& k,
                                                  record_table& table, std::int32_t row) {
    using namespace record_shapes;
    const std::uint64_t bytes = bits_below(record.stop[3]) & ~bits_below(record.before);
    const bool signs = (bytes & masks.signs) != 0;
    record_values values{};
    if (((bytes & bars.short_record) == 0 && convert_short<kernel>(c, record, k, signs, values)) ||
        ((bytes & wide_bars(masks, bars)) == 0 && convert_wide<kernel>(c, record, k, signs, values))) {
        store_record(table, row, values);
        return true;
    }
    return false;
}

// The full scanner on the token at `start`, in place, kept from asking the
// source: with at_end set it takes the buffer's end for the input's end.
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

// The token at `start` as one whole value: by the fast conversion (or as an
// infinity or a NaN spelled out), or where that refuses it by the full
// scanner. Returns the white space after the
// token, or null when it is not one whole value before the buffer's end.
template <typename number>
[[gnu::always_inline]] inline const unsigned char* take_token(input_stream& input,
                                                              const unsigned char* start,
                                                              number& value) {
    const unsigned char* after = nullptr;
    if constexpr (std::is_same_v<number, float>) {
        after = fast_decimal::take_decimal(start, value);
        if (after == nullptr) after = fast_decimal::take_spelled_value(start, value);
    } else {
        after = fast_decimal::take_count(start, value);
    }
    return after != nullptr ? after : take_exactly(input, start, value);
}

// The four tokens of a record from c on, one by one, each taken by
// take_token: their first characters are `starts` (bits of the window at c)
// where they lie in that window, else found a word at a time, counting the
// line feeds passed into `lines`. Returns the white space after the
// fourth, or null, having stored nothing, when a token is not one whole value
// or a value is zero (a closing record is the value-by-value reader's).
[[gnu::noinline]] inline const unsigned char* take_record_by_tokens(
    input_stream& input, const unsigned char* c, std::uint64_t starts, std::int64_t& lines,
    record_table& table, std::int32_t row) {
    const unsigned char* const window = c;
    const auto next_start = [&](const unsigned char* after) {
        if (starts == 0) return text_words::after_white_space(after, lines);
        const unsigned char* const start = window + std::countr_zero(starts);
        starts &= starts - 1;
        return start;
    };
    record_values values{};
    if ((c = take_token(input, next_start(c), values.base_amount)) == nullptr ||
        (c = take_token(input, next_start(c), values.monthly_amount)) == nullptr ||
        (c = take_token(input, next_start(c), values.years)) == nullptr ||
        (c = take_token(input, next_start(c), values.percent)) == nullptr)
        return nullptr;
    // A zero of either sign, from the bits: a NaN among the values would
    // make a floating-point comparison branch on it.
    const auto zero = [](float amount) {
        return (std::bit_cast<std::uint32_t>(amount) << 1) == 0 ? 1U : 0U;
    };
    if ((zero(values.base_amount) | zero(values.monthly_amount) | (values.years == 0 ? 1U : 0U) |
         zero(values.percent)) != 0)
        return nullptr;
    store_record(table, row, values);
    return c;
}

// The first characters of the tokens of a record found in the window.
inline std::uint64_t record_starts(const window_masks& masks, const record_stops& record) {
    return token_starts(masks) & ~bits_below(record.before) & bits_below(record.stop[3]);
}

// For a record that the window does not hold: the first characters of the
// tokens there before `room`, the bytes held (all the record's, as at most
// three tokens stop there), and the line feeds before the last of them,
// which the token loop passes by taking them.
inline std::uint64_t starts_before(const window_masks& masks, std::uint64_t room) {
    const std::uint64_t held = room < window_size ? bits_below(room) : ~std::uint64_t{0};
    return token_starts(masks) & held;
}

inline std::int64_t line_feeds_before_last(const window_masks& masks, std::uint64_t starts) {
    if (starts == 0) return 0;
    const auto last = static_cast<std::uint64_t>(63 - std::countl_zero(starts));
    return std::popcount(masks.line_feeds & bits_below(last));
}

// Records taken whole, from `row` on at input.next, while they come: found
// in the window and converted, or token by token. Returns the first row not
// taken, with input.next at its start; the last row is never taken here, nor
// a record that closes the list. A window usually holds two records, which
// are taken from it together.
template <typename kernel>
[[gnu::always_inline]] inline std::int32_t take_window_records(record_table& table,
                                                               std::int32_t row,
                                                               input_stream& input) {
    const unsigned char* c = input.next;
    // The window starts on white space, or on a token that follows it; so
    // does every window after, at the white space after a record.
    if (!is_white_space(c[0]) && !is_white_space(c[-1])) return row;
    std::int64_t line = input.line;
    const auto k = make_window_constants<kernel>();
    while (row < max_records - 1) {
        // Where the window has not converted the record: its tokens' first
        // characters there, and the line feeds before the last of them.
        std::uint64_t starts = 0;
        std::int64_t lines = 0;
        if constexpr (record_kernel<kernel>) {
            const auto room = static_cast<std::uint64_t>(input.end - c);
            const window_masks masks = kernel::classify(c);
            const shape_bars bars = shape_bars_of(masks);
            std::uint64_t stops = token_stops(masks);
            const record_stops first = take_record_stops(stops, 0);
            const bool held = record_is_held(first, room);
            if (held && convert_record<kernel>(c, masks, bars, first, k, table, row)) {
                std::uint64_t taken = first.stop[3];
                const record_stops second = take_record_stops(stops, taken);
                if (++row < max_records - 1 && record_is_held(second, room) &&
                    convert_record<kernel>(c, masks, bars, second, k, table, row)) {
                    ++row;
                    taken = second.stop[3];
                }
                line += std::popcount(masks.line_feeds & bits_below(taken));
                c += taken;
                continue;
            }
            starts = held ? record_starts(masks, first) : starts_before(masks, room);
            lines = line_feeds_before_last(masks, starts);
        }
        const unsigned char* const after = take_record_by_tokens(input, c, starts, lines, table, row);
        if (after == nullptr) break;
        ++row;
        line += lines;
        c = after;
    }
    input.next = const_cast<unsigned char*>(c);
    input.line = line;
    return row;
}

}  // namespace record_window
