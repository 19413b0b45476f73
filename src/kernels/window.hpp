// The first stage of the reader: a window of 64 bytes from the cursor,
// classified by a processor kernel (portable/, sse2/, avx2/) into bit masks,
// bit i for byte i; the four tokens of the next record are then found by bit
// scans, so that any run of white space between them costs the same. A
// record is converted by the kernel's own conversion of its four tokens at
// once (or a word at a time, convert_record below), or else token by token:
// by the fast conversion (fast_decimal.hpp), and where that refuses a token,
// by the full scanner in place.
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
static_assert(input_buffer_room_before >= 32,
              "a kernel loads the 32 bytes ending a token's digits");

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

// The bytes that start a token in the window: byte 0 where it is no white
// space, as the byte before the window is.
inline std::uint64_t token_starts(const window_masks& masks) {
    return ~masks.white_space & ((masks.white_space << 1) | 1);
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

[[gnu::noinline]] inline const unsigned char* take_fast(const unsigned char* c, float& value) {
    return fast_decimal::take_decimal(c, value);
}

// What a kernel's own conversion of a whole decimal token gives (avx2/ has
// one): the white space after the token, or null, having taken nothing; and
// where null, whether the fast conversion refuses the token too, which is
// then not asked.
struct kernel_conversion {
    const unsigned char* after;
    bool refused;
};

template <typename kernel_constants>
inline kernel_conversion take_kernel_decimal(const unsigned char* /*start*/, float& /*value*/,
                                             const kernel_constants& /*k*/) {
    return {nullptr, false};
}

// The token at `start` as one whole value: by the kernel's conversion or the
// fast one where it starts as a decimal does (after a sign), or as an
// infinity or a NaN spelled out; else or where those refuse it by the full
// scanner (take_exactly). Returns the white space after the token, or null
// when it is not one whole value before the buffer's end: the value-by-value
// reader then decides, from the record's start. The longer conversions,
// take_fast and take_exactly, are not inlined: the token-by-token way is the
// rarer one.
template <typename number, typename kernel_constants>
[[gnu::always_inline]] inline const unsigned char* take_token(input_stream& input,
                                                              const unsigned char* start,
                                                              number& value,
                                                              const kernel_constants& k) {
    bool refused = false;
    if constexpr (std::is_same_v<number, float>) {
        const kernel_conversion converted = take_kernel_decimal(start, value, k);
        if (converted.after != nullptr) return converted.after;
        refused = converted.refused;
    }
    const unsigned char first = start[*start == '+' || *start == '-' ? 1 : 0];
    const unsigned char* after = nullptr;
    if (fast_decimal::is_digit(first) || first == '.') {
        if constexpr (std::is_same_v<number, float>)
            after = refused ? nullptr : take_fast(start, value);
        else
            after = fast_decimal::take_count(start, value);
    } else if constexpr (std::is_same_v<number, float>) {
        after = take_spelled_value(start, value);
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
    if ((c = take_token(input, next_start(c), values.base_amount, k)) == nullptr ||
        (c = take_token(input, next_start(c), values.monthly_amount, k)) == nullptr ||
        (c = take_token(input, next_start(c), values.years, k)) == nullptr ||
        (c = take_token(input, next_start(c), values.percent, k)) == nullptr)
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

// Whether a record found in the window holds a letter (where the kernel marks them).
inline bool has_letters(const window_masks& masks, const record_stops& record) {
    return (masks.letters & bits_below(record.stop[3]) & ~bits_below(record.before)) != 0;
}

// The length of the token that stops at `stop`: from the white space byte
// before it, or from the window's start, which a token there follows.
inline unsigned token_length(const window_masks& masks, std::uint64_t stop) {
    const std::uint64_t before = masks.white_space & bits_below(stop);
    return static_cast<unsigned>(stop + static_cast<std::uint64_t>(std::countl_zero(before))) - 64;
}

// Digits of 2^24 and more, rarer in a short token: out of the loop.
[[gnu::noinline]] inline std::uint32_t wide_decimal_bits(std::uint64_t digits,
                                                         unsigned fraction_length) {
    return decimal_bits(digits, -std::int64_t{fraction_length}, false);
}

// The token of `length` bytes that ends at `end`, its last eight bytes as
// one word: an optional sign, then up to nine digits, with one point among
// them in an amount. False, having stored nothing, for any other token, and
// for a zero. The value is decimal_bits', exact.
template <typename number>
[[gnu::always_inline]] inline bool take_short_token(const unsigned char* end, unsigned length,
                                                    number& value) {
    using namespace text_words;
    const unsigned char sign = end[-static_cast<std::ptrdiff_t>(length)];
    if (sign == '+' || sign == '-') --length;
    if (length == 0 || length > 9) return false;
    // A ninth byte, before the word, must be a digit.
    const std::uint64_t lead = length == 9 ? end[-9] ^ std::uint64_t{'0'} : 0;
    const unsigned word_length = length == 9 ? 8 : length;
    // The word's bytes of the token low, zeros above them.
    std::uint64_t token = load_word(end - 8) >> (64 - 8 * word_length);
    const std::uint64_t points = zero_bytes(token ^ every_byte('.'));
    unsigned digit_count = word_length;
    unsigned fraction_length = 0;
    if (points != 0) {
        if (!std::is_same_v<number, float>) return false;
        // The digits after the first point moved down over it (a second
        // one is no digit).
        const unsigned point = static_cast<unsigned>(std::countr_zero(points)) / 8;
        const std::uint64_t before = bits_below(std::uint64_t{8} * point);
        token = (token & before) | ((token >> 8) & ~before);
        fraction_length = --digit_count - point;
    }
    if (digit_count == 0 || lead > 9) return false;
    // Digit values in the low bytes, the first lowest; the bytes shifted in
    // below them are leading zeros.
    const std::uint64_t digits = (token ^ every_byte('0')) << (64 - 8 * digit_count);
    if (((((digits & every_byte(0x7f)) + every_byte(0x80 - 10)) | digits) & every_byte(0x80)) != 0)
        return false;
    const std::uint64_t magnitude =
        lead * static_cast<std::uint64_t>(powers_of_ten[digit_count]) + eight_digit_value(digits);
    if (magnitude == 0) return false;
    if constexpr (std::is_same_v<number, float>) {
        // Below 2^24 the first of decimal_bits' ways, inline: at most seven
        // digits follow the point.
        const float absolute =
            magnitude > std::uint64_t{1} << 24
                ? std::bit_cast<float>(wide_decimal_bits(magnitude, fraction_length))
                : static_cast<float>(static_cast<std::int32_t>(magnitude)) /
                      static_cast<float>(powers_of_ten[fraction_length]);
        value = sign == '-' ? -absolute : absolute;
    } else {
        const auto count = static_cast<std::int32_t>(magnitude);
        value = sign == '-' ? -count : count;
    }
    return true;
}

// For a kernel without a conversion of its own (portable; SSE2 where its
// own refuses): the four tokens of a record, each of at most nine bytes
// after a sign, a word at a time; the loop takes the others token by token.
template <typename kernel>
[[gnu::always_inline]] inline bool convert_record(const unsigned char* c, const window_masks& masks,
                                                  const record_stops& stops, record_table& table,
                                                  std::int32_t row, const kernel& /*k*/) {
    const auto length = [&masks, &stops](int token) {
        return token_length(masks, stops.stop[token]);
    };
    record_values values{};
    if (!take_short_token(c + stops.stop[0], length(0), values.base_amount) ||
        !take_short_token(c + stops.stop[1], length(1), values.monthly_amount) ||
        !take_short_token(c + stops.stop[2], length(2), values.years) ||
        !take_short_token(c + stops.stop[3], length(3), values.percent))
        return false;
    store_record(table, row, values);
    return true;
}
template <typename kernel>
inline bool takes_by_tokens(const kernel& /*k*/, bool /*letters*/, bool /*first*/) {
    return true;
}

// The first characters of the tokens in the window before `room`, the bytes
// held, where the next record does not end there: every one is that
// record's, as at most three tokens stop there.
inline std::uint64_t starts_before(const window_masks& masks, std::uint64_t room) {
    const std::uint64_t held = room < window_size ? bits_below(room) : ~std::uint64_t{0};
    return token_starts(masks) & held;
}

// Those starts, for the token loop, where the kernel takes them from the
// window (avx2/); the others leave the token loop to find them, which costs
// them less than counting the line feeds that the starts pass.
template <typename kernel>
inline std::uint64_t long_record_starts(const kernel& /*k*/, const window_masks& /*masks*/,
                                        std::uint64_t /*room*/) {
    return 0;
}

// The line feeds in the window before the last of `starts`: those that the
// token loop passes by taking the starts.
inline std::int64_t line_feeds_before_last(const window_masks& masks, std::uint64_t starts) {
    if (starts == 0) return 0;
    const auto last = static_cast<std::uint64_t>(63 - std::countl_zero(starts));
    return std::popcount(masks.line_feeds & bits_below(last));
}

// The first characters of the tokens of a record found in the window.
inline std::uint64_t record_starts(const window_masks& masks, const record_stops& record) {
    return token_starts(masks) & ~bits_below(record.before) & bits_below(record.stop[3]);
}

}  // namespace record_window
