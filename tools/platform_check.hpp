// Agreement between our scanner's values and the platform's (glibc's strtof
// and scanf), shared by the sweep, the fuzz targets and their tests.
//
// glibc 2.36's strtof rounds some hexadecimal inputs wrongly when the result
// is subnormal and the mantissa has 25 or more significant bits:
// 0x1.000003p-127 gives 0x00400000 where the nearest binary32 is 0x00400001,
// and 0x1.000001p-150 gives 0 instead of 0x00000001. Our scanner rounds to
// nearest, ties to even, so exactly there the two may differ. Such a
// difference is accepted only when our value equals an independent exact one:
// strtod or strtold read a hexadecimal mantissa that their format holds
// exactly, and narrowing that to binary32 rounds once, correctly. Every
// acceptance is counted, so that a run can say how often the platform was
// overruled.
#pragma once

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

enum class float_agreement {
    same,                // identical bits (or both NaN, where allowed)
    platform_hex_fault,  // the known strtof fault; ours is the exact value
    different,
};

inline bool is_hex_digit(unsigned char c) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

inline int hex_digit_value(unsigned char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// Significant bits of the mantissa of a hexadecimal token such as "-0x1.8p3",
// from its first to its last nonzero bit; -1 when the token is not
// hexadecimal. White space before it is passed over, as scanf and strtold
// pass it over.
inline int hex_mantissa_bits(const unsigned char* token, std::size_t length) {
    std::size_t at = 0;
    while (at < length && (token[at] == ' ' || (token[at] >= '\t' && token[at] <= '\r'))) ++at;
    if (at < length && (token[at] == '+' || token[at] == '-')) ++at;
    if (at + 1 >= length || token[at] != '0' || (token[at + 1] | 0x20) != 'x') return -1;
    at += 2;
    long first_nonzero = -1;  // digit index of the first nonzero digit
    long last_nonzero = -1;
    int first_value = 0;
    int last_value = 0;
    long digit_index = 0;
    bool seen_point = false;
    for (; at < length; ++at) {
        const unsigned char c = token[at];
        if (c == '.' && !seen_point) {
            seen_point = true;
            continue;
        }
        if (!is_hex_digit(c)) break;
        const int value = hex_digit_value(c);
        if (value != 0) {
            if (first_nonzero < 0) {
                first_nonzero = digit_index;
                first_value = value;
            }
            last_nonzero = digit_index;
            last_value = value;
        }
        ++digit_index;
    }
    if (first_nonzero < 0) return 0;
    const long digits = last_nonzero - first_nonzero + 1;
    const int leading_zero_bits = std::countl_zero(static_cast<std::uint8_t>(first_value)) - 4;
    const int trailing_zero_bits = std::countr_zero(static_cast<unsigned>(last_value));
    const long bits = 4 * digits - leading_zero_bits - trailing_zero_bits;
    return bits > 1'000'000 ? 1'000'000 : static_cast<int>(bits);
}

inline bool is_zero_or_subnormal(std::uint32_t bits) { return (bits & 0x7f800000u) == 0; }

// Mantissa bits that strtold reads exactly and that a narrowing to binary32
// then rounds once: the x87 format's 64 or binary128's 113. Elsewhere (a
// long double that is binary64, or IBM's pair of doubles, whose narrowing
// may round twice) only strtod, for binary64's 53.
inline constexpr int exact_long_double_bits =
    std::numeric_limits<long double>::is_iec559 && LDBL_MANT_DIG >= 64 ? 64 : 0;

// The binary32 value nearest to a hexadecimal token of `bits` significant
// bits, read by a conversion that holds them exactly; false when none does.
inline bool exact_hex_value(const unsigned char* token, std::size_t length, int bits,
                            std::uint32_t& value) {
    const std::string text(reinterpret_cast<const char*>(token), length);
    if (bits <= std::numeric_limits<double>::digits)
        value =
            std::bit_cast<std::uint32_t>(static_cast<float>(std::strtod(text.c_str(), nullptr)));
    else if (bits <= exact_long_double_bits)
        value =
            std::bit_cast<std::uint32_t>(static_cast<float>(std::strtold(text.c_str(), nullptr)));
    else
        return false;
    return true;
}

inline bool is_nan_bits(std::uint32_t bits) {
    return (bits & 0x7f800000u) == 0x7f800000u && (bits & 0x007fffffu) != 0;
}

// Compares our value of `token` (the exact characters both sides consumed)
// with the platform's.
inline float_agreement compare_with_platform(const unsigned char* token, std::size_t length,
                                             std::uint32_t ours, std::uint32_t platform,
                                             bool any_nan_agrees) {
    if (ours == platform) return float_agreement::same;
    if (any_nan_agrees && is_nan_bits(ours) && is_nan_bits(platform)) return float_agreement::same;
    if (!is_zero_or_subnormal(platform)) return float_agreement::different;
    const int bits = hex_mantissa_bits(token, length);
    std::uint32_t exact = 0;
    if (bits < 0 || !exact_hex_value(token, length, bits, exact)) return float_agreement::different;
    return exact == ours ? float_agreement::platform_hex_fault : float_agreement::different;
}

// The platform's value of `token` with the known fault corrected: where it
// may strike (hexadecimal text, a zero or subnormal result, a mantissa that
// exact_hex_value can read) the exact value replaces strtof's, and
// `overruled` says whether that changed anything. A reference reader built on
// the platform's scanf uses this, so that its list ends where a correct one
// would.
inline std::uint32_t corrected_platform_value(const unsigned char* token, std::size_t length,
                                              std::uint32_t platform, bool& overruled) {
    overruled = false;
    if (!is_zero_or_subnormal(platform)) return platform;
    const int bits = hex_mantissa_bits(token, length);
    std::uint32_t exact = 0;
    if (bits < 0 || !exact_hex_value(token, length, bits, exact)) return platform;
    overruled = exact != platform;
    return exact;
}
