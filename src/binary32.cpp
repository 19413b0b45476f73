// Three ways from digits to a binary32 value, tried from the cheapest:
//  1. up to 2^53 with a power of ten up to 10^22 (the Clinger path): one
//     binary64 multiply or divide of two exact operands, then narrowed to
//     binary32 (decimal_bits in binary32.hpp, with why that is exact);
//  2. the first 19 digits times the first 64 bits of a power of five,
//     accepted when both ends of the interval that leaves round alike;
//  3. exact big-integer arithmetic on all kept digits.
#include "binary32.hpp"

#include <array>
#include <bit>
#include <cfloat>

// Where the platform evaluates binary32 and binary64 arithmetic in the x87
// format (i386), an operation is rounded to its 64-bit significand first.
// For a product or quotient of two binary32 numbers (the short decimals of
// the scanner) that is harmless: the product of two 24-bit significands is
// exact in 64 bits, and a quotient rounded first to q >= 2p + 1 bits and then
// to p bits equals the quotient rounded to p bits at once (Figueroa's theorem
// on innocuous double rounding). For path 1 see its own note.
static_assert(FLT_EVAL_METHOD == 0 ||
                  (FLT_EVAL_METHOD == 2 && LDBL_MANT_DIG >= 2 * FLT_MANT_DIG + 1),
              "binary32 arithmetic must round once, or twice harmlessly");

namespace {

// Wide enough for the kept digits (below 2^426) shifted by a power of five
// of the widest exponent range that reaches the exact path.
constexpr int big_limb_count = 40;

struct big_integer {
    std::uint32_t limb[big_limb_count];  // least significant first
    int size;                            // limbs in use; the top one is nonzero
};

constexpr void multiply_add(big_integer& n, std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (int i = 0; i < n.size; ++i) {
        const std::uint64_t product = std::uint64_t{n.limb[i]} * factor + carry;
        n.limb[i] = static_cast<std::uint32_t>(product);
        carry = product >> 32;
    }
    if (carry != 0) n.limb[n.size++] = static_cast<std::uint32_t>(carry);
}

// n / divisor, rounded down; true when that leaves a remainder.
constexpr bool divide_small(big_integer& n, std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (int i = n.size - 1; i >= 0; --i) {
        const std::uint64_t partial = remainder << 32 | n.limb[i];
        n.limb[i] = static_cast<std::uint32_t>(partial / divisor);
        remainder = partial % divisor;
    }
    while (n.size > 0 && n.limb[n.size - 1] == 0) --n.size;
    return remainder != 0;
}

// Products and quotients of 5^power in factors of at most 5^13; a quotient
// is rounded down, which piece by piece gives the same (floor(floor(n / a) /
// b) is floor(n / (a b))), and is inexact when any piece is.
constexpr std::uint32_t five_to(std::int64_t power) {
    std::uint32_t product = 1;
    for (; power > 0; --power) product *= 5;
    return product;
}

constexpr void multiply_by_power_of_five(big_integer& n, std::int64_t power) {
    for (; power > 13; power -= 13) multiply_add(n, five_to(13), 0);
    multiply_add(n, five_to(power), 0);
}

constexpr bool divide_by_power_of_five(big_integer& n, std::int64_t power) {
    bool inexact = false;
    for (; power > 13; power -= 13) inexact = divide_small(n, five_to(13)) || inexact;
    return divide_small(n, five_to(power)) || inexact;
}

constexpr bool shift_right(big_integer& n, int bits) {
    bool inexact = false;
    for (; bits > 31; bits -= 31) inexact = divide_small(n, 1U << 31) || inexact;
    return divide_small(n, 1U << bits) || inexact;
}

constexpr void shift_left(big_integer& n, int bits) {
    if (n.size == 0 || bits == 0) return;
    const int limbs = bits / 32;
    const int within = bits % 32;
    n.limb[n.size] = 0;
    for (int i = n.size; i >= 0; --i) {
        std::uint32_t moved = n.limb[i] << within;
        if (within != 0 && i > 0) moved |= n.limb[i - 1] >> (32 - within);
        n.limb[i + limbs] = moved;
    }
    for (int i = 0; i < limbs; ++i) n.limb[i] = 0;
    n.size += limbs + 1;
    while (n.size > 0 && n.limb[n.size - 1] == 0) --n.size;
}

constexpr int bit_length(const big_integer& n) {
    if (n.size == 0) return 0;
    return 32 * (n.size - 1) + static_cast<int>(std::bit_width(n.limb[n.size - 1]));
}

// Limbs `first` and `first + 1` as one number (zero beyond the size).
constexpr std::uint64_t two_limbs(const big_integer& n, int first) {
    const auto limb = [&n](int i) { return i < n.size ? std::uint64_t{n.limb[i]} : 0; };
    return limb(first + 1) << 32 | limb(first);
}

constexpr big_integer power_of_five_integer(std::int64_t power) {
    big_integer n{{1}, 1};
    multiply_by_power_of_five(n, power);
    return n;
}

constexpr power_table make_powers_of_five() {
    power_table table{};
    for (int q = smallest_power; q <= largest_power; ++q) {
        big_integer power = power_of_five_integer(q < 0 ? -q : q);
        const int length = bit_length(power);
        // For q >= 0 the first 64 of 5^q's bits (5^38 has 89); for q < 0,
        // 5^q = (2^k / 5^-q) 2^-k, with k making the quotient 64 bits long.
        const int k = 63 + length;
        if (q >= 0) {
            if (length > 64)
                shift_right(power, length - 64);
            else
                shift_left(power, 64 - length);
        } else {
            power = big_integer{{1}, 1};
            shift_left(power, k);
            divide_by_power_of_five(power, -q);
        }
        table[static_cast<std::size_t>(q - smallest_power)] = {two_limbs(power, 0),
                                                               q >= 0 ? length - 64 : -k};
    }
    return table;
}

}  // namespace

constexpr power_table powers_of_five = make_powers_of_five();

namespace {

std::uint32_t with_sign(std::uint32_t bits, bool negative) {
    return negative ? bits | binary32_sign_bit : bits;
}

// The roundings of the two ends of an interval that holds x * 10^q (x
// nonzero, below 2^64): equal ends decide the rounding of every number in it.
struct rounding_bounds {
    std::uint32_t lower;
    std::uint32_t upper;
};

// Every value in (P, P + 1) 2^b rounds as round_to_binary32 rounds P with
// its sticky flag set, and so does every value in (P + 1, P + 2) 2^b
// (power_product in binary32.hpp); the two may differ only when P + 1 is a
// multiple of 2^38. Where the power is exact, the product is too.
[[gnu::always_inline]] inline rounding_bounds round_product(std::uint64_t x, int q) {
    const power_product p = multiply_by_power_of_ten(x, q);
    if (q >= 0 && q <= largest_exact_power_of_five) {
        const std::uint32_t bits = round_to_binary32(p.product.high, p.b, p.product.low != 0);
        return {bits, bits};
    }
    const std::uint32_t lower = round_to_binary32(p.product.high, p.b, true);
    constexpr std::uint64_t below_any_midpoint = (std::uint64_t{1} << 38) - 1;
    if (((p.product.high + 1) & below_any_midpoint) != 0) return {lower, lower};
    return {lower, round_to_binary32(p.product.high + 1, p.b, true)};
}

std::uint32_t round_exactly(const decimal_digits& number, int digit_count, std::int64_t e) {
    big_integer digits{};
    for (int i = 0; i < digit_count; ++i) {
        if (digits.size == 0) {
            digits.limb[0] = number.digit[i];
            digits.size = number.digit[i] != 0 ? 1 : 0;
        } else {
            multiply_add(digits, 10, number.digit[i]);
        }
    }
    // The value is digits * 2^b, plus a little more where inexact.
    bool inexact = number.nonzero_dropped;
    std::int64_t b = e;
    if (e >= 0) {
        // digits * 5^e is an integer below 10^39: its top 64 bits.
        multiply_by_power_of_five(digits, e);
        const int excess = bit_length(digits) > 64 ? bit_length(digits) - 64 : 0;
        inexact = shift_right(digits, excess) || inexact;
        b += excess;
    } else {
        // digits / 10^-e = (digits * 2^k / 5^-e) * 2^(e - k), k giving the
        // quotient 26 or 27 bits.
        const int k = 26 - bit_length(digits) + bit_length(power_of_five_integer(-e));
        if (k >= 0)
            shift_left(digits, k);
        else
            inexact = shift_right(digits, -k) || inexact;
        inexact = divide_by_power_of_five(digits, -e) || inexact;
        b -= k;
    }
    return round_to_binary32(two_limbs(digits, 0), b, inexact);
}

}  // namespace

std::uint32_t round_to_binary32(std::uint64_t q, std::int64_t b, bool sticky) {
    if (q == 0) return 0;
    const int leading_zeros = std::countl_zero(q);
    q <<= leading_zeros;
    b -= leading_zeros;
    // Now the value lies in [2^(b+63), 2^(b+64)).
    if (b + 63 > 127) return binary32_infinity;
    if (b + 64 <= -150) return 0;  // below 2^-150, half the smallest subnormal
    const bool normal = b + 63 >= -126;
    const int shift = normal ? 40 : static_cast<int>(-149 - b);  // 41 ... 64 when subnormal
    std::uint64_t kept = shift == 64 ? 0 : q >> shift;
    const std::uint64_t rest = shift == 64 ? q : q & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    if (rest > half || (rest == half && (sticky || (kept & 1u) != 0))) ++kept;
    if (!normal) return static_cast<std::uint32_t>(kept);  // 2^23 is the smallest normal
    std::int64_t biased_exponent = b + 63 + 127;
    if (kept == std::uint64_t{1} << 24) {
        kept >>= 1;
        ++biased_exponent;
    }
    if (biased_exponent >= 255) return binary32_infinity;
    return static_cast<std::uint32_t>(biased_exponent << 23) |
           (static_cast<std::uint32_t>(kept) & 0x7fffffu);
}

std::uint32_t exact_decimal_to_binary32(std::uint64_t digits, std::int64_t q, bool negative) {
    if (digits == 0) return with_sign(0, negative);
    // Below 10^19 * 10^-66 < 2^-150, or at least 10^39 > 2^128.
    if (q > largest_power) return with_sign(binary32_infinity, negative);
    if (q < smallest_power) return with_sign(0, negative);
    const rounding_bounds bounds = round_product(digits, static_cast<int>(q));
    if (bounds.lower == bounds.upper) return with_sign(bounds.lower, negative);
    decimal_digits number{};
    for (std::uint64_t rest = digits; rest != 0; rest /= 10) ++number.count;
    for (int i = number.count - 1; i >= 0; --i, digits /= 10)
        number.digit[i] = static_cast<std::uint8_t>(digits % 10);
    return with_sign(round_exactly(number, number.count, q), negative);
}

std::uint32_t decimal_to_binary32(const decimal_digits& number, bool negative) {
    int digit_count = number.count;
    std::int64_t e = number.scale + number.exponent;
    while (digit_count > 0 && number.digit[digit_count - 1] == 0) {
        --digit_count;
        ++e;
    }
    if (digit_count == 0) return with_sign(0, negative);
    // The value lies in [10^(count + e - 1), 10^(count + e)).
    if (digit_count + e - 1 >= 39) return with_sign(binary32_infinity, negative);
    if (digit_count + e <= -46) return with_sign(0, negative);

    const int leading_count = digit_count < 19 ? digit_count : 19;
    std::uint64_t leading = 0;
    for (int i = 0; i < leading_count; ++i) leading = leading * 10 + number.digit[i];
    const std::int64_t q = e + (digit_count - leading_count);
    if (digit_count <= 19 && !number.nonzero_dropped) return decimal_bits(leading, q, negative);

    // Only the first 19 digits take part: the value lies in
    // (leading, leading + 1) * 10^q.
    const std::uint32_t lower = round_product(leading, static_cast<int>(q)).lower;
    const std::uint32_t upper = round_product(leading + 1, static_cast<int>(q)).upper;
    if (lower == upper) return with_sign(lower, negative);
    return with_sign(round_exactly(number, digit_count, e), negative);
}

std::uint32_t hex_to_binary32(const hex_digits& number, bool negative) {
    if (number.mantissa == 0) return with_sign(0, negative);
    std::int64_t b = number.scale + number.exponent;
    // The mantissa is below 2^64: these bounds already decide the result.
    if (b > 200) return with_sign(binary32_infinity, negative);
    if (b < -400) return with_sign(0, negative);
    return with_sign(round_to_binary32(number.mantissa, b, number.nonzero_dropped), negative);
}
