// The answer for one stored record.
#pragma once

#include <cstdint>
#include <limits>

#include "records.hpp"

// True when the monthly amount, counted twelve times for each of the years,
// is more than the base amount raised by the percentage.
bool record_verdict(const record_table& table, std::int32_t row);

// The same rule computed in the platform's long double. It is the verdict
// only where long double is the x86 extended format; elsewhere
// record_verdict uses extended_verdict (extended.hpp).
bool long_double_verdict(float base, float monthly, std::int32_t years, float percent);

// Whether this platform's long double is the format the verdict is defined in.
inline constexpr bool long_double_is_x86_extended =
    std::numeric_limits<long double>::digits == 64 &&
    std::numeric_limits<long double>::max_exponent == 16384;
