#include "verdict.hpp"

#include "extended.hpp"

bool long_double_verdict(float base, float monthly, std::int32_t years, float percent) {
    // In 64 bits the twelvefold of any stored year count is exact, and so is
    // the total: 24 significand bits times at most 35.
    const std::int64_t months = std::int64_t{years} * 12;
    const long double total = static_cast<long double>(monthly) * static_cast<long double>(months);
    // Three roundings, in this order and grouping; regrouping would change
    // the answers near ties.
    const long double base_value = base;
    const long double fraction = static_cast<long double>(percent) / 100.0L;
    const long double increase = base_value * fraction;
    const long double threshold = base_value + increase;
    return total > threshold;
}

bool record_verdict(const record_table& table, std::int32_t row) {
    const float base = table.base_amount[row];
    const float monthly = table.monthly_amount[row];
    const std::int32_t years = table.years[row];
    const float percent = table.percent[row];
    // Elsewhere (binary128 or binary64 long double) the hardware rounds
    // differently near ties, so the answers come from integer arithmetic.
    if constexpr (long_double_is_x86_extended)
        return long_double_verdict(base, monthly, years, percent);
    else
        return extended_verdict(base, monthly, years, percent);
}
