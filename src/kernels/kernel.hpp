// The kernel interface: what a processor supplies to the reader, and
// nothing more. The reader's algorithm (window.hpp: finding records in a
// window of 64 bytes, choosing their shape, the token-by-token way, the
// lines, the hand-over to the full scanner) and the two record conversions
// (shapes.hpp) are written once, over these primitives.
//
// A kernel is a struct of static functions (portable.hpp, sse2.hpp,
// neon.hpp, avx2.hpp); kernels.cpp lists them in priority order, with the
// instruction sets each needs, and makes the one choice per run.
#pragma once

#include <concepts>
#include <cstdint>
#include <utility>

#include "../records.hpp"

// A window's bytes classified, bit i for byte i.
struct window_masks {
    std::uint64_t white_space;  // space, tab to carriage return
    std::uint64_t line_feeds;
    std::uint64_t signs;  // '+' and '-'
};

// Where the four tokens of a record stop (the white space byte after each;
// 64 for none), and the previous record's last stop (0 for none), in bytes
// from the window's start.
struct record_stops {
    std::uint64_t before;
    std::uint64_t stop[4];
};

// The values of a record, as the table stores them.
struct record_values {
    float base_amount;
    float monthly_amount;
    std::int32_t years;
    float percent;
};

// What the values of a signed record are made of, a lane per token: its
// number (its digits without the point), the bytes at or below its point
// (0xff each), and all ones where it is not negative.
template <typename kernel>
struct signed_tokens {
    typename kernel::lanes numbers;
    typename kernel::lanes below;
    typename kernel::lanes positive;
};

// Every kernel classifies a window and answers rows.
template <typename kernel>
concept window_kernel = requires(const unsigned char* c) {
    // The 64 bytes from c (any of them may lie in the buffer's slack). A
    // kernel without record conversions marks every byte a sign.
    { kernel::classify(c) } -> std::same_as<window_masks>;
    // The answers of four rows from `first` on, where binary64 makes them
    // certain: the rows decided (bit k for row first + k), the YES ones in
    // `yes` (verdict.hpp has the one-at-a-time way).
    {
        kernel::certain_verdicts(std::declval<const record_table&>(), std::int32_t{0},
                                 std::declval<unsigned&>())
        } -> std::same_as<unsigned>;
};

// A kernel of vector registers also converts whole records (shapes.hpp)
// with these. `lanes` is a register of `tokens` 64-bit lanes (4 or 2), one
// per token of a record in its order (base, monthly, years, percent) from a
// token `first` on: a token's bytes, the first lowest; or per-byte flags, 0
// or 0xff; or a number per lane. It has the operators & | ^ ~.
template <typename kernel>
concept record_kernel = window_kernel<kernel> &&
    requires(const unsigned char* c, const record_stops& stops, typename kernel::lanes a,
             record_values& values) {
    { kernel::tokens } -> std::convertible_to<int>;
    // Lane i: the eight bytes that end `back` bytes before the stop of the
    // token first + i.
    { kernel::load_ends(c, stops, 8, 0) } -> std::same_as<typename kernel::lanes>;
    // The value, kept where the kernel keeps its constants; every byte the
    // same; every lane the same; all ones in lane i.
    { kernel::held(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::splat(std::uint8_t{0}) } -> std::same_as<typename kernel::lanes>;
    { kernel::every_lane(std::uint64_t{0}) } -> std::same_as<typename kernel::lanes>;
    { kernel::one_lane(0) } -> std::same_as<typename kernel::lanes>;
    // Per byte: equal; a digit value (at most 9, unsigned); white space.
    { kernel::equal(a, a) } -> std::same_as<typename kernel::lanes>;
    { kernel::digits(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::white_space(a) } -> std::same_as<typename kernel::lanes>;
    // Every lane's bytes moved n places towards its low end, or its high
    // end, zeros coming in.
    { kernel::template down<1>(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::template up<1>(a) } -> std::same_as<typename kernel::lanes>;
    // Per lane: all ones where it is zero; the value of its eight digit
    // values (first lowest); the sum; the product of the low halves.
    { kernel::lane_zero(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::eight_digit_values(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::add(a, a) } -> std::same_as<typename kernel::lanes>;
    { kernel::multiply(a, a) } -> std::same_as<typename kernel::lanes>;
    // Whether every bit is set; one lane as a number.
    { kernel::all(a) } -> std::same_as<bool>;
    { kernel::lane(a, 0) } -> std::same_as<std::uint64_t>;
    // The values of the register's tokens of a plain record from their
    // numbers and the bytes at or below each point, and of a signed one
    // (false where one cannot be taken so): record_shapes::plain_values_by_lane
    // and signed_values_by_lane, or the kernel's own for all lanes at once.
    kernel::plain_values(a, a, 0, values);
    {
        kernel::signed_values(std::declval<const signed_tokens<kernel>&>(), 0, values)
        } -> std::same_as<bool>;
};
