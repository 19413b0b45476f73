// The kernel interface: what a processor supplies to the reader, and no
// more. The reader's algorithm (window.hpp) and the conversion of whole
// records (shapes.hpp) are written once over it. A kernel is a struct of
// static functions (avx2.hpp, sse2.hpp, neon.hpp; the portable one in
// kernels.cpp); kernels.cpp lists them in priority order with the
// instruction sets each needs and makes the one choice per run, for the
// reader and the answers alike.
#pragma once

#include <concepts>
#include <cstdint>
#include <span>
#include <utility>

#include "../records.hpp"

// A window of 64 bytes classified, bit i for byte i.
struct window_masks {
    std::uint64_t white_space;  // space, tab to carriage return
    std::uint64_t line_feeds;
    std::uint64_t signs;  // '+' and '-'
};

// Where a record's four tokens stop (the white space after each, in bytes
// from the window's start) and where the record before it stopped.
struct record_stops {
    std::uint64_t before;
    std::uint64_t stop[4];
};

struct record_values {
    float base_amount;
    float monthly_amount;
    std::int32_t years;
    float percent;
};

// A signed record's tokens, a lane each: the number (the digits without
// the point), the bytes at or below the point (0xff each), all ones where
// not negative.
template <typename kernel>
struct signed_tokens {
    typename kernel::lanes numbers;
    typename kernel::lanes below;
    typename kernel::lanes positive;
};

// Every kernel answers four rows from `first` where binary64 makes them
// certain: the rows decided, bit k for row first + k, and those answered YES
// (verdict.hpp has the one-at-a-time way, which the portable kernel uses).
template <typename kernel>
concept answer_kernel = requires(unsigned& yes) {
    {
        kernel::certain_verdicts(std::declval<const record_table&>(), 0, yes)
        } -> std::same_as<unsigned>;
};

// A kernel of vector registers classifies windows and converts whole
// records with these; the portable kernel goes token by token. `lanes` is a
// register of `tokens` 64-bit lanes (4 or 2), a token of the record each
// from its token `first` on: the token's bytes, the first lowest; or
// per-byte flags, 0 or 0xff; or a number. It has the operators & | ^ ~.
template <typename kernel>
concept record_kernel = answer_kernel<kernel> &&
    requires(const unsigned char* c, const record_stops& stops, typename kernel::lanes a,
             record_values& values) {
    { kernel::classify(c) } -> std::same_as<window_masks>;
    { kernel::tokens } -> std::convertible_to<int>;
    // Lane i: the eight bytes that end `back` bytes before token first + i stops.
    { kernel::load_ends(c, stops, 8, 0) } -> std::same_as<typename kernel::lanes>;
    // The value kept where the kernel keeps constants; every byte, every
    // lane the same; all ones in one lane.
    { kernel::held(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::splat(std::uint8_t{0}) } -> std::same_as<typename kernel::lanes>;
    { kernel::every_lane(std::uint64_t{0}) } -> std::same_as<typename kernel::lanes>;
    { kernel::one_lane(0) } -> std::same_as<typename kernel::lanes>;
    // Per byte: equal; at most 9; white space.
    { kernel::equal(a, a) } -> std::same_as<typename kernel::lanes>;
    { kernel::digits(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::white_space(a) } -> std::same_as<typename kernel::lanes>;
    // Every lane's bytes n places towards its low or its high end.
    { kernel::template down<1>(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::template up<1>(a) } -> std::same_as<typename kernel::lanes>;
    // Per lane: all ones where zero; the value of eight digits, first
    // lowest; the sum; the product of the low halves; as a number.
    { kernel::lane_zero(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::eight_digit_values(a) } -> std::same_as<typename kernel::lanes>;
    { kernel::add(a, a) } -> std::same_as<typename kernel::lanes>;
    { kernel::multiply(a, a) } -> std::same_as<typename kernel::lanes>;
    { kernel::lane(a, 0) } -> std::same_as<std::uint64_t>;
    // Whether every bit is set.
    { kernel::all(a) } -> std::same_as<bool>;
    // Where it pays, a kernel also has plain_values and signed_values, to
    // take all of a register's values at once; else record_shapes' take
    // them a lane at a time.
};

// A kernel as the run uses it.
struct kernel_entry {
    processor_kernel kernel;
    const char* name;
    const char* needs;  // the instruction sets, beyond the build's own
    bool (*supported)();
    window_masks (*classify)(const unsigned char* window);  // null for the portable kernel
    std::int32_t (*take_records)(record_table& table, std::int32_t row, input_stream& input);
    unsigned long (*answer_records)(const record_table& table, unsigned char* answers);
};

// The kernels of this build, best first; the last is the portable one.
std::span<const kernel_entry> build_kernels();

// The kernel where this build has it and this processor runs it, else null.
const kernel_entry* supported_kernel(processor_kernel kernel);

// The first kernel that this processor runs, chosen at start-up.
const kernel_entry& chosen_kernel();
