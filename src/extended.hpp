// The verdict's arithmetic in integers: a binary floating-point format with a
// 64-bit significand, rounding to nearest with ties to even, as the x86
// extended format has it. Platforms whose long double is that format may use
// the hardware; everywhere else these functions give the same bits.
//
// The exponent is kept in a 32-bit integer and never limited. For binary32
// inputs every value of the verdict lies between 2^-305 and 2^251 in
// magnitude (see extended_verdict_steps), far inside the extended format's
// normal range of 2^-16382 ... 2^16384, so that format never overflows or
// underflows there either and both agree without modelling its limits.
#pragma once

#include <cstdint>

enum class extended_class : std::uint8_t { zero, finite, infinity, nan };

// value = (-1)^negative * significand * 2^exponent. A finite value has bit 63
// of the significand set; zeros and infinities keep their sign; a NaN has no
// payload, since nothing the verdict does can tell one NaN from another.
struct extended {
    extended_class kind;
    bool negative;
    std::uint64_t significand;
    std::int32_t exponent;
};

// Exact widenings.
extended extended_from_float(float value);
extended extended_from_integer(std::int64_t value);

// Each rounded once, to nearest, ties to even; the special values follow IEEE
// 754 (0 * inf and inf - inf are NaN, an exact zero sum is +0, ...).
extended extended_divide_by_hundred(extended dividend);
extended extended_multiply(extended left, extended right);
extended extended_add(extended left, extended right);

// The ordered comparison left > right: false when either is a NaN, and -0
// equals +0.
bool extended_greater(extended left, extended right);

// Every value the verdict computes, for comparing with other arithmetic.
struct verdict_steps {
    extended total;      // monthly * (12 * years), exact
    extended fraction;   // percent / 100
    extended increase;   // base * fraction
    extended threshold;  // base + increase
    bool verdict;        // total > threshold
};

verdict_steps extended_verdict_steps(float base, float monthly, std::int32_t years, float percent);
bool extended_verdict(float base, float monthly, std::int32_t years, float percent);
