// The reader's first stage, written once over a kernel's primitives
// (kernel.hpp): a window of 64 bytes from the cursor classified into bit
// masks (bit i for byte i), the next record's tokens found by bit scans, so
// that any run of white space between them costs the same, and the record
// converted whole in a shape the masks allow (shapes.hpp); else token by
// token, each by the fast conversion (fast_decimal.hpp) or the full scanner
// in place. What it leaves (the closing record, the last row, a token cut by
// the buffer's end, text that is no number) the value-by-value reader takes
// (records.cpp).
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

// The bytes after white space. The byte before the window is white space:
// take_window_records starts only there.
inline std::uint64_t after_white_space(const window_masks& masks) {
    return (masks.white_space << 1) | 1;
}

// A record's stops are taken from the window's below its last byte, which
// stands for those missing: a record that ends on it is left for the next
// window, where it ends earlier.
inline constexpr std::uint64_t missing_stop = window_size - 1;

// The next record's stops, taken from `stops`, the white space bytes after
// a token not yet taken.
[[gnu::always_inline]] inline record_stops take_record_stops(std::uint64_t& stops,
                                                             std::uint64_t before) {
    record_stops record{before, {}};
    for (std::uint64_t& stop : record.stop) {
        stop = static_cast<std::uint64_t>(std::countr_zero(stops | 1ULL << missing_stop));
        stops &= stops - 1;
    }
    return record;
}

// Whether the record lies in the window below its last byte and before
// `room`, the bytes held from the window's start (the zero byte at the
// buffer's end is no white space: a token that reaches it has no stop there).
inline bool record_is_held(const record_stops& record, std::uint64_t room) {
    return record.stop[3] < room && record.stop[3] < missing_stop;
}

// The first characters of the tokens in the window before byte `end`, and
// in `lines` the line feeds before the last of them.
inline std::uint64_t token_starts(const window_masks& masks, std::uint64_t end,
                                  std::int64_t& lines) {
    const std::uint64_t starts = ~masks.white_space & after_white_space(masks) &
                                 (end < window_size ? bits_below(end) : ~std::uint64_t{0});
    if (starts != 0)
        lines =
            std::popcount(masks.line_feeds &
                          bits_below(static_cast<std::uint64_t>(63 - std::countl_zero(starts))));
    return starts;
}

// The bytes that rule a shape out for a record that holds one: a sign that
// does not follow white space, for either; the start of nine bytes of a
// token other than a sign, for short records; of sixteen, for wide ones
// (found only for a record that is not short). A run of bytes that reaches
// the window's end counts as ending there, as a record held in it does.
inline std::uint64_t misplaced_signs(const window_masks& masks) {
    return masks.signs & ~after_white_space(masks);
}

struct shape_bars {
    std::uint64_t short_record;
    std::uint64_t eight;  // the bytes that start eight of a token
};

inline shape_bars shape_bars_of(const window_masks& masks) {
    const std::uint64_t token = ~masks.white_space;
    const std::uint64_t two = token & (token >> 1);
    const std::uint64_t four = two & (two >> 2);
    const std::uint64_t eight = four & (four >> 4);
    return {misplaced_signs(masks) | (eight & (token >> 8) & ~masks.signs), eight};
}

inline void store_record(record_table& table, std::int32_t row, const record_values& values) {
    table.base_amount[row] = values.base_amount;
    table.monthly_amount[row] = values.monthly_amount;
    table.years[row] = values.years;
    table.percent[row] = values.percent;
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
        ((bytes & (misplaced_signs(masks) | (bars.eight & (bars.eight >> 8)))) == 0 &&
         convert_wide<kernel>(c, record, k, signs, values))) {
        store_record(table, row, values);
        return true;
    }
    return false;
}

// The full scanner on the token at `start`, in place, kept from asking the
// source: at_end set, it takes the buffer's end for the input's end.
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

// The token at `start` as one whole value, by the fast conversion, else by
// the full scanner: the white space
// after it, or null when it is not one whole value before the buffer's end.
template <typename number>
[[gnu::always_inline]] inline const unsigned char* take_token(input_stream& input,
                                                              const unsigned char* start,
                                                              number& value) {
    const unsigned char* after = nullptr;
    if constexpr (std::is_same_v<number, float>) {
        after = fast_decimal::take_decimal(start, value);
    } else {
        after = fast_decimal::take_count(start, value);
    }
    return after != nullptr ? after : take_exactly(input, start, value);
}

// The four tokens of a record from c on, each by take_token: their first
// characters are `starts` (bits of the window at c) where they lie in it,
// else found a word at a time, counting the line feeds passed into `lines`.
// Returns the white space after the fourth, or null, having stored nothing,
// when a token is not one whole value or a value is zero (a closing record
// is the value-by-value reader's).
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
    // A zero of either sign, from the bits: a NaN would make a
    // floating-point comparison branch on it.
    const auto zero = [](float amount) {
        return (std::bit_cast<std::uint32_t>(amount) << 1) == 0 ? 1U : 0U;
    };
    if ((zero(values.base_amount) | zero(values.monthly_amount) | (values.years == 0 ? 1U : 0U) |
         zero(values.percent)) != 0)
        return nullptr;
    store_record(table, row, values);
    return c;
}

// Records taken whole, from `row` on at input.next, while they come.
// Returns the first row not taken, with input.next at its start; the last
// row is never taken here, nor a record that closes the list.
template <typename kernel>
[[gnu::always_inline]] inline std::int32_t take_window_records(record_table& table,
                                                               std::int32_t row,
                                                               input_stream& input) {
    const unsigned char* c = input.next;
    // The window starts on white space, or on a token that follows it; so
    // does every window after, at the white space after a record.
    if (!is_white_space(c[0]) && !is_white_space(c[-1])) return row;
    std::int64_t line = input.line;
    const auto k = [] {
        if constexpr (record_kernel<kernel>)
            return record_shapes::make_record_constants<kernel>();
        else
            return 0;
    }();
    while (row < max_records - 1) {
        // Where the window converts no record: the first characters of the
        // tokens there (of the record, where it holds it).
        std::uint64_t starts = 0;
        std::int64_t lines = 0;
        if constexpr (record_kernel<kernel>) {
            const auto room = static_cast<std::uint64_t>(input.end - c);
            const window_masks masks = kernel::classify(c);
            const shape_bars bars = shape_bars_of(masks);
            std::uint64_t stops = masks.white_space & ~after_white_space(masks);
            const record_stops first = take_record_stops(stops, 0);
            const bool held = record_is_held(first, room);
            // A window usually holds two records, taken from it together.
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
            starts = token_starts(masks, held ? first.stop[3] : room, lines);
        }
        const unsigned char* const after =
            take_record_by_tokens(input, c, starts, lines, table, row);
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
