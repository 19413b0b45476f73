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

// value = (-1)^negative * significand * 2^exponent, finite: bit 63 of the
// significand is set, or the significand is 0 for a zero, which keeps its
// sign. A row with an infinity or a NaN never comes here (verdict.hpp).
struct extended {
    bool negative;
    std::uint64_t significand;
    std::int32_t exponent;
};

// Exact widenings, of a finite float.
extended extended_from_float(float value);
extended extended_from_integer(std::int64_t value);

// Each rounded once, to nearest, ties to even; an exact zero sum is +0.
extended extended_divide_by_hundred(extended dividend);
extended extended_multiply(extended left, extended right);
extended extended_add(extended left, extended right);

// The comparison left > right, where -0 equals +0.
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
