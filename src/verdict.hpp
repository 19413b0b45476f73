// The answer for one stored record.
#pragma once

#include <cstdint>

#include "records.hpp"

// True when the monthly amount, counted twelve times for each of the years,
// is more than the base amount raised by the percentage.
bool record_verdict(const record_table& table, std::int32_t row);
