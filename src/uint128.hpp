// Unsigned 128-bit integers as two 64-bit halves, for the exact products and
// sums of the conversion to binary32 and of the extended format. The same
// code runs on every target: only the 64 x 64-bit product uses the
// compiler's 128-bit type where it has one (64-bit targets), and 32-bit
// pieces elsewhere, so what the suite proves on x86-64 holds on armhf and
// i386 too, apart from that one product, which wide_product_by_halves keeps
// testable everywhere.
#pragma once

#include <bit>
#include <cstdint>

struct uint128 {
    std::uint64_t high;
    std::uint64_t low;
};

constexpr uint128 widen(std::uint64_t value) { return {0, value}; }

// The full product from four 32 x 32-bit products. The middle column holds
// at most three numbers below 2^32 and cannot overflow.
constexpr uint128 wide_product_by_halves(std::uint64_t left, std::uint64_t right) {
    constexpr std::uint64_t low_32 = 0xffff'ffff;
    const std::uint64_t low_low = (left & low_32) * (right & low_32);
    const std::uint64_t low_high = (left & low_32) * (right >> 32);
    const std::uint64_t high_low = (left >> 32) * (right & low_32);
    const std::uint64_t high_high = (left >> 32) * (right >> 32);
    const std::uint64_t middle = (low_low >> 32) + (low_high & low_32) + (high_low & low_32);
    return {high_high + (low_high >> 32) + (high_low >> 32) + (middle >> 32),
            (middle << 32) | (low_low & low_32)};
}

constexpr uint128 wide_product(std::uint64_t left, std::uint64_t right) {
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 native;
    const native product = static_cast<native>(left) * right;
    return {static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
#else
    return wide_product_by_halves(left, right);
#endif
}

// Sum and difference modulo 2^128.
constexpr uint128 wide_sum(uint128 left, uint128 right) {
    const std::uint64_t low = left.low + right.low;
    return {left.high + right.high + (low < left.low ? 1U : 0U), low};
}

constexpr uint128 wide_difference(uint128 left, uint128 right) {
    return {left.high - right.high - (left.low < right.low ? 1U : 0U), left.low - right.low};
}

// Shifts by 0 to 127 bits.
constexpr uint128 wide_shift_left(uint128 value, int bits) {
    if (bits == 0) return value;
    if (bits >= 64) return {value.low << (bits - 64), 0};
    return {(value.high << bits) | (value.low >> (64 - bits)), value.low << bits};
}

constexpr uint128 wide_shift_right(uint128 value, int bits) {
    if (bits == 0) return value;
    if (bits >= 64) return {0, value.high >> (bits - 64)};
    return {value.high >> bits, (value.low >> bits) | (value.high << (64 - bits))};
}

// The value modulo 2^bits, for 0 to 128 bits.
constexpr uint128 wide_low_bits(uint128 value, int bits) {
    if (bits >= 128) return value;
    if (bits >= 64)
        return {bits == 64 ? 0 : value.high & ((std::uint64_t{1} << (bits - 64)) - 1), value.low};
    return {0, bits == 0 ? 0 : value.low & ((std::uint64_t{1} << bits) - 1)};
}

constexpr bool wide_equal(uint128 left, uint128 right) {
    return left.high == right.high && left.low == right.low;
}

constexpr bool wide_less(uint128 left, uint128 right) {
    return left.high != right.high ? left.high < right.high : left.low < right.low;
}

constexpr bool wide_is_zero(uint128 value) { return (value.high | value.low) == 0; }

// Bits up to and including the highest set one: 0 for zero.
constexpr int wide_bit_width(uint128 value) {
    if (value.high != 0) return 64 + static_cast<int>(std::bit_width(value.high));
    return static_cast<int>(std::bit_width(value.low));
}
