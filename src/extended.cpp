#include "extended.hpp"

#include <bit>

#include "uint128.hpp"

namespace {

constexpr extended zero_of_sign(bool negative) { return {negative, 0, 0}; }

// The value (magnitude + a little more when sticky) * 2^exponent, rounded to
// a 64-bit significand. The sticky part is less than one unit of magnitude's
// last bit, so it can only matter among dropped bits: it may be set only when
// magnitude has more than 64 bits.
extended round_to_extended(bool negative, uint128 magnitude, std::int32_t exponent, bool sticky) {
    if (wide_is_zero(magnitude)) return zero_of_sign(negative);
    const int top = wide_bit_width(magnitude) - 1;
    if (top <= 63) {
        const int shift = 63 - top;
        return {negative, magnitude.low << shift, exponent - shift};
    }
    const int dropped = top - 63;
    std::uint64_t kept = wide_shift_right(magnitude, dropped).low;
    const uint128 rest = wide_low_bits(magnitude, dropped);
    const uint128 half = wide_shift_left(widen(1), dropped - 1);
    // Above the midpoint, or on it with an odd significand: up. A set sticky
    // part puts a value on the midpoint above it.
    const bool up =
        wide_less(half, rest) || (wide_equal(rest, half) && (sticky || (kept & 1) != 0));
    std::int32_t result_exponent = exponent + dropped;
    if (up) {
        ++kept;
        if (kept == 0) {  // 2^64: one more bit, and still exactly a power of two
            kept = std::uint64_t{1} << 63;
            ++result_exponent;
        }
    }
    return {negative, kept, result_exponent};
}

}  // namespace

extended extended_from_float(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const bool negative = (bits >> 31) != 0;
    const auto biased_exponent = static_cast<std::int32_t>((bits >> 23) & 0xff);
    const std::uint32_t fraction_bits = bits & 0x7fffff;
    if (biased_exponent == 0) {
        // Subnormal: the same scale as the smallest normal, no implicit bit.
        return round_to_extended(negative, widen(fraction_bits), -149, false);
    }
    return round_to_extended(negative, widen(fraction_bits | 0x800000u), biased_exponent - 150,
                             false);
}

extended extended_from_integer(std::int64_t value) {
    const bool negative = value < 0;
    // Two's complement magnitude, right for INT64_MIN too.
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    return round_to_extended(negative, widen(magnitude), 0, false);
}

extended extended_divide_by_hundred(extended dividend) {
    if (dividend.significand == 0) return dividend;
    // Long division of significand * 2^64 by 100 in 32-bit digits: the
    // quotient has at least 121 bits, so the remainder only decides the
    // sticky part, never the guard bit.
    const std::uint32_t digits[4] = {static_cast<std::uint32_t>(dividend.significand >> 32),
                                     static_cast<std::uint32_t>(dividend.significand), 0, 0};
    uint128 quotient{0, 0};
    std::uint64_t remainder = 0;
    for (const std::uint32_t digit : digits) {
        // Below 100 * 2^32: the quotient digit fits in 32 bits.
        const std::uint64_t partial = (remainder << 32) | digit;
        quotient = wide_shift_left(quotient, 32);
        quotient.low |= partial / 100;
        remainder = partial % 100;
    }
    return round_to_extended(dividend.negative, quotient, dividend.exponent - 64, remainder != 0);
}

extended extended_multiply(extended left, extended right) {
    const bool negative = left.negative != right.negative;
    if (left.significand == 0 || right.significand == 0) return zero_of_sign(negative);
    // The full 128-bit product is exact; one rounding.
    return round_to_extended(negative, wide_product(left.significand, right.significand),
                             left.exponent + right.exponent, false);
}

extended extended_add(extended left, extended right) {
    if (left.significand == 0) {
        // -0 + -0 is -0; +0 + -0 is +0 when rounding to nearest.
        if (right.significand == 0) return zero_of_sign(left.negative && right.negative);
        return right;
    }
    if (right.significand == 0) return left;

    // Both finite: `larger` has the larger exponent, or the larger
    // significand at equal exponents, so its magnitude is the larger one.
    extended larger = left;
    extended smaller = right;
    if (smaller.exponent > larger.exponent ||
        (smaller.exponent == larger.exponent && smaller.significand > larger.significand)) {
        larger = right;
        smaller = left;
    }
    // Line both up below a 63-bit guard field: larger at bits 63 ... 126,
    // leaving bit 127 for a carry.
    const uint128 larger_field = wide_shift_left(widen(larger.significand), 63);
    const std::int64_t distance = std::int64_t{larger.exponent} - smaller.exponent;
    uint128 smaller_field{0, 0};
    if (distance <= 63) {
        smaller_field =
            wide_shift_left(widen(smaller.significand), static_cast<int>(63 - distance));
    } else {
        // Everything of the smaller one lies below the larger one's last
        // bit. Keep what lands in the field and fold the rest into its lowest
        // bit: the sum then lies strictly between the same two even field
        // values as the exact sum, and rounding sees at least 62 bits below
        // the kept ones, so it decides the same way.
        const std::int64_t below = distance - 63;
        const bool lost =
            below >= 64 || (smaller.significand & ((std::uint64_t{1} << below) - 1)) != 0;
        if (below < 64) smaller_field = widen(smaller.significand >> below);
        if (lost) smaller_field.low |= 1;
    }
    const std::int32_t field_exponent = larger.exponent - 63;
    if (left.negative == right.negative)
        return round_to_extended(larger.negative, wide_sum(larger_field, smaller_field),
                                 field_exponent, false);
    const uint128 difference = wide_difference(larger_field, smaller_field);
    if (wide_is_zero(difference))
        return zero_of_sign(false);  // x + (-x) is +0 when rounding to nearest
    return round_to_extended(larger.negative, difference, field_exponent, false);
}

bool extended_greater(extended left, extended right) {
    // Signs first: a negative value (or -0 against a positive) is the smaller.
    const bool left_below_zero = left.negative && left.significand != 0;
    const bool right_below_zero = right.negative && right.significand != 0;
    if (left_below_zero != right_below_zero) return right_below_zero;
    // Same side of zero: compare magnitudes, a zero's the smallest, reversed
    // below zero.
    int order = 0;  // sign of |left| - |right|
    if ((left.significand == 0) != (right.significand == 0))
        order = left.significand == 0 ? -1 : 1;
    else if (left.exponent != right.exponent)
        order = left.exponent > right.exponent ? 1 : -1;
    else if (left.significand != right.significand)
        order = left.significand > right.significand ? 1 : -1;
    return left_below_zero ? order < 0 : order > 0;
}

verdict_steps extended_verdict_steps(float base, float monthly, std::int32_t years, float percent) {
    // 12 * years in 64 bits has at most 35 bits, the monthly amount 24: the
    // product fits the 64-bit significand, so the total is exact.
    const extended months = extended_from_integer(std::int64_t{years} * 12);
    verdict_steps steps{};
    steps.total = extended_multiply(extended_from_float(monthly), months);
    // Bounds for nonzero finite inputs: |percent| lies in [2^-149, 2^128),
    // so |fraction| in (2^-156, 2^122), |increase| in (2^-305, 2^250) and
    // |threshold|, unless zero, in (2^-305, 2^251); |total| < 2^163.
    const extended base_value = extended_from_float(base);
    steps.fraction = extended_divide_by_hundred(extended_from_float(percent));
    steps.increase = extended_multiply(base_value, steps.fraction);
    steps.threshold = extended_add(base_value, steps.increase);
    steps.verdict = extended_greater(steps.total, steps.threshold);
    return steps;
}

bool extended_verdict(float base, float monthly, std::int32_t years, float percent) {
    return extended_verdict_steps(base, monthly, years, percent).verdict;
}
