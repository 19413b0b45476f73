#include "verdict.hpp"

#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64,
              "the verdict is defined in the x86 extended format (64-bit significand)");

bool record_verdict(const record_table& table, std::int32_t row) {
    // In 64 bits the twelvefold of any stored year count is exact, and so is
    // the total: 24 significand bits times at most 35.
    const std::int64_t months = std::int64_t{table.years[row]} * 12;
    const long double total = static_cast<long double>(table.monthly_amount[row]) *
                              static_cast<long double>(months);
    // Three roundings, in this order and grouping; regrouping would change
    // the answers near ties.
    const long double base = table.base_amount[row];
    const long double fraction = static_cast<long double>(table.percent[row]) / 100.0L;
    const long double increase = base * fraction;
    const long double threshold = base + increase;
    return total > threshold;
}
