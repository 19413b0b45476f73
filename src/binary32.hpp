// Conversion of scanned digit sequences to IEEE 754 binary32, correctly
// rounded to nearest with ties to even, for numbers of any length.
#pragma once

#include <cstdint>

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
// every significant digit of the number (at most 19).
std::uint32_t exact_decimal_to_binary32(std::uint64_t digits, std::int64_t q, bool negative);

// Bits of a value in [q, q + 1) * 2^b, rounded to binary32; sticky says the
// value lies strictly above q * 2^b.
std::uint32_t round_to_binary32(std::uint64_t q, std::int64_t b, bool sticky);

inline constexpr std::uint32_t binary32_sign_bit = 0x80000000u;
inline constexpr std::uint32_t binary32_infinity = 0x7f800000u;
inline constexpr std::uint32_t binary32_quiet_nan = 0x7fc00000u;
