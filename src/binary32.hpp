// Conversion of scanned digit sequences to IEEE 754 binary32, correctly
// rounded to nearest with ties to even, for numbers of any length.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <iterator>

#include "uint128.hpp"

// Significant decimal digits kept of one number. Every midpoint between two
// adjacent binary32 values has at most 113 significant decimal digits, so the
// first 128 digits and a flag for "a nonzero digit followed" decide the
// rounding of any decimal text exactly.
inline constexpr int kept_decimal_digits = 128;

// value = (digits as an integer) * 10^(scale + exponent), plus a little more
// when nonzero_dropped is set.
struct decimal_digits {
    std::uint8_t digit[kept_decimal_digits];  // first significant digits, no leading zeros
    int count;                                // digits kept
    bool nonzero_dropped;                     // a nonzero digit followed the kept ones
    std::int64_t scale;                       // from the digits' place relative to the point
    std::int64_t exponent;                    // the written exponent, saturated
};

// value = mantissa * 2^(scale + exponent), plus a little more when
// nonzero_dropped is set.
struct hex_digits {
    std::uint64_t mantissa;  // first significant hexadecimal digits, below 2^64
    bool nonzero_dropped;
    std::int64_t scale;
    std::int64_t exponent;
};

// Bits of the binary32 value nearest to the number, with the given sign.
std::uint32_t decimal_to_binary32(const decimal_digits& number, bool negative);
std::uint32_t hex_to_binary32(const hex_digits& number, bool negative);

// Bits of the binary32 value nearest to digits * 10^q, where digits holds
// every significant digit of the number (at most 19), by the paths after the
// first (decimal_bits below takes that one first).
std::uint32_t exact_decimal_to_binary32(std::uint64_t digits, std::int64_t q, bool negative);

// Bits of a value in [q, q + 1) * 2^b, rounded to binary32; sticky says the
// value lies strictly above q * 2^b.
std::uint32_t round_to_binary32(std::uint64_t q, std::int64_t b, bool sticky);

// 5^q lies in [mantissa, mantissa + 1) * 2^binary_exponent, with the
// mantissa's top bit set; it equals mantissa * 2^binary_exponent for
// 0 <= q <= largest_exact_power_of_five.
struct power_of_five {
    std::uint64_t mantissa;
    std::int32_t binary_exponent;
};

// Decimal exponents of the 19-digit path: beyond them every such number is
// zero or infinite in binary32.
inline constexpr int smallest_power = -65;
inline constexpr int largest_power = 38;
inline constexpr int largest_exact_power_of_five = 27;  // 5^27 < 2^64 < 5^28
using power_table = std::array<power_of_five, largest_power - smallest_power + 1>;
extern const power_table powers_of_five;

// With n = x shifted to its top bit and the power's 64-bit mantissa m, the
// product n m is P 2^64 + R. As 5^q lies in [m, m + 1) 2^e, x 10^q = (P +
// R / 2^64 + n d / 2^64) 2^b for some 0 <= d < 1: it lies in [P, P + 2) 2^b,
// and strictly above P 2^b unless the power is exact and R is zero. With P
// at least 2^62, every place where the rounding changes (the midpoints
// between binary32 values, 2^-150 and 2^128 - 2^103) is a multiple of 2^38
// 2^b there: only when P + 1 is one may values on its two sides round apart.
struct power_product {
    uint128 product;
    std::int64_t b;
};

// x nonzero, below 2^64; smallest_power <= q <= largest_power.
[[gnu::always_inline]] inline power_product multiply_by_power_of_ten(std::uint64_t x, int q) {
    const power_of_five& power = powers_of_five[static_cast<std::size_t>(q - smallest_power)];
    const int leading_zeros = std::countl_zero(x);
    return {wide_product(x << leading_zeros, power.mantissa),
            std::int64_t{power.binary_exponent} + q - leading_zeros + 64};
}

inline constexpr std::uint32_t binary32_sign_bit = 0x80000000u;
inline constexpr std::uint32_t binary32_infinity = 0x7f800000u;
inline constexpr std::uint32_t binary32_quiet_nan = 0x7fc00000u;

// The program's one table of powers of ten: every one that binary64 holds
// exactly. The readers take their integer and binary32 powers from it too
// (up to 10^10 they are exact in binary32 as well).
inline constexpr double powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr auto largest_exact_power = static_cast<std::int64_t>(std::size(powers_of_ten)) - 1;

// The 29 bits of a binary64 number below binary32's last bit, and what
// they are at a midpoint between binary32 neighbours: 1 and 28 zeros.
inline constexpr std::uint64_t below_binary32 = (std::uint64_t{1} << 29) - 1;
inline constexpr std::uint64_t midpoint_bits = std::uint64_t{1} << 28;

// digits * 10^q, |q| <= largest_exact_power, by one binary64 multiply or
// divide of the digits converted to binary64 (exactly below 2^53).
[[gnu::always_inline]] inline double binary64_product(std::uint64_t digits, std::int64_t q) {
    const auto converted = static_cast<double>(static_cast<std::int64_t>(digits));
    return q >= 0 ? converted * powers_of_ten[q] : converted / powers_of_ten[-q];
}

// The fast exact conversion of digits * 10^q (every significant digit of the
// number in digits, at most 19), for 0 <= digits <= 2^53 and |q| <= 22: one
// binary64 multiply or divide, narrowed; otherwise, and in the rare case
// noted below, the exact paths of exact_decimal_to_binary32.
//
// Why it is exact. Both operands are exact in binary64, so the one multiply
// or divide gives r, the binary64 number nearest to x = digits * 10^q.
// Every binary32 number, and every midpoint between two neighbours, is a
// binary64 number too. Rounding to binary64 is monotonic and leaves binary64
// numbers alone, so r lies in the same closed interval between two
// neighbouring midpoints as x does; unless r is one of those midpoints, r and
// x round to the same binary32 number, and narrowing r is exact. On x87
// hardware r may be rounded to 64 bits first and to 53 bits when stored:
// both steps are monotonic and leave midpoints alone too, so the same holds,
// and a stored r that is no midpoint comes from a 64-bit one that is none.
// The range: 10^-22 <= x < 2^53 * 10^22 < 2^127 keeps r among the normal
// binary32 numbers (or zero), whose midpoints are the binary64 numbers with
// the 29 bits below binary32's last one equal to 1 followed by 28 zeros.
// A midpoint r that x is exactly (a tie, as 4194304.25 is) narrows to the
// even neighbour, as x rounds. It is one when r 10^-q gives the digits back:
// r has 25 significant bits and 10^-q = 2^-q 5^-q with 5^12 < 2^28, so for
// -12 <= q <= 0 that product is exact, in binary64 and in the x87 format,
// and equals the digits only if r equals x.
//
// Before that, up to 2^24 with |q| <= 10, the same in binary32: digits and
// 10^|q| (2^|q| 5^|q| with 5^10 < 2^24) are exact binary32 numbers, so one
// binary32 multiply or divide rounds correctly, also in the x87 format (see
// binary32.cpp).
[[gnu::always_inline]] inline std::uint32_t decimal_bits(std::uint64_t digits, std::int64_t q,
                                                         bool negative) {
    const std::uint32_t sign = negative ? binary32_sign_bit : 0;
    if (digits <= std::uint64_t{1} << 24 && q >= -10 && q <= 10) {
        const auto exact = static_cast<float>(static_cast<std::int32_t>(digits));
        const auto power = static_cast<float>(powers_of_ten[q < 0 ? -q : q]);
        return std::bit_cast<std::uint32_t>(q < 0 ? exact / power : exact * power) | sign;
    }
    if (digits <= std::uint64_t{1} << 53 && q >= -largest_exact_power && q <= largest_exact_power) {
        const double r = binary64_product(digits, q);
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(r);
        if ((bits & below_binary32) != midpoint_bits ||
            (q <= 0 && q >= -12 &&
             std::bit_cast<double>(bits) * powers_of_ten[-q] ==
                 static_cast<double>(static_cast<std::int64_t>(digits))))
            return std::bit_cast<std::uint32_t>(static_cast<float>(r)) | sign;
    }
    // Then, inline, the usual case of the 19-digit path: an inexact power,
    // so that the value lies in (P, P + 2) 2^b (power_product), and a normal
    // result. P's 24 bits above `shift` are kept. Among normal numbers the
    // rounding changes only at the midpoints, whose bits below the kept ones
    // are a one and then zeros, and every midpoint is an integer (in units of
    // 2^b): the one integer in (P, P + 2) is P + 1, so unless P + 1 is a
    // midpoint, every value there rounds as one just above P does, up where
    // the highest bit below the kept ones is set. A carry out of the 24 bits
    // moves into the exponent, up to infinity from the midpoint below 2^128.
    if (digits != 0 && q >= smallest_power && q <= largest_power &&
        (q < 0 || q > largest_exact_power_of_five)) {
        const power_product p = multiply_by_power_of_ten(digits, static_cast<int>(q));
        const std::uint64_t high = p.product.high;
        const int shift = 39 + static_cast<int>(high >> 63);  // P is at least 2^62
        const std::uint64_t midpoint = std::uint64_t{1} << (shift - 1);
        const std::int64_t biased_exponent = p.b + shift + 150;
        if (((high + 1) & (2 * midpoint - 1)) != midpoint && biased_exponent >= 1 &&
            biased_exponent <= 254) {
            const std::uint64_t kept = (high >> shift) + ((high & midpoint) != 0 ? 1 : 0);
            return ((static_cast<std::uint32_t>(biased_exponent - 1) << 23) +
                    static_cast<std::uint32_t>(kept)) |
                   sign;
        }
    }
    return exact_decimal_to_binary32(digits, q, negative);
}
