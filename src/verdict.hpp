// The answer for one stored record.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

#include "extended.hpp"
#include "records.hpp"

#if defined(SCREENING_AVX2)
#include <immintrin.h>
#endif

// Whether this platform's long double is the format the verdict is defined in.
inline constexpr bool long_double_is_x86_extended =
    std::numeric_limits<long double>::digits == 64 &&
    std::numeric_limits<long double>::max_exponent == 16384;

// The rule computed in the platform's long double. It is the verdict only
// where long double is the x86 extended format; elsewhere record_verdict
// uses extended_verdict (extended.hpp). Inline, as the answer loop's body.
inline bool long_double_verdict(float base, float monthly, std::int32_t years, float percent) {
    // The twelvefold of any stored year count (below 2^35) is exact in the
    // 64-bit significand, and the total is rounded once.
    const long double months = static_cast<long double>(years) * 12.0L;
    const long double total = static_cast<long double>(monthly) * months;
    // Three roundings, in this order and grouping; regrouping would change
    // the answers near ties.
    const long double base_value = base;
    const long double fraction = static_cast<long double>(percent) / 100.0L;
    const long double increase = base_value * fraction;
    const long double threshold = base_value + increase;
    return total > threshold;
}

// True when the monthly amount, counted twelve times for each of the years,
// is more than the base amount raised by the percentage.
inline bool record_verdict(const record_table& table, std::int32_t row) {
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

#if defined(SCREENING_AVX2)
// Four rows at once in binary64, for the rows whose answer is certain: the
// total and the threshold in binary64 differ by more than the rounding of
// both computations (in binary64 here, in the extended format for the
// verdict) can explain. That is at most 3.1 (2^-53 + 2^-64) times
// |total| + |base| + |increase|; the bound used, 2^-50 times that sum, is
// more than twice as large, and covers the rounding of the test itself. The
// float inputs, their products and quotients never overflow or underflow in
// binary64; infinities and NaNs leave a row undecided, as do near ties.
// Returns the rows decided (bits 0-3, row `first` in bit 0) and sets `yes`
// to those among them answered YES; record_verdict answers the others.
[[gnu::target("avx2")]] inline unsigned certain_verdicts(const record_table& table,
                                                         std::int32_t first, unsigned& yes) {
    const __m256d base = _mm256_cvtps_pd(_mm_loadu_ps(&table.base_amount[first]));
    const __m256d monthly = _mm256_cvtps_pd(_mm_loadu_ps(&table.monthly_amount[first]));
    const __m256d percent = _mm256_cvtps_pd(_mm_loadu_ps(&table.percent[first]));
    __m128i years;
    std::memcpy(&years, &table.years[first], sizeof years);
    const __m256d months = _mm256_mul_pd(_mm256_cvtepi32_pd(years), _mm256_set1_pd(12.0));
    const __m256d total = _mm256_mul_pd(monthly, months);
    const __m256d increase = _mm256_mul_pd(base, _mm256_div_pd(percent, _mm256_set1_pd(100.0)));
    const __m256d difference = _mm256_sub_pd(total, _mm256_add_pd(base, increase));
    const __m256d magnitude = _mm256_set1_pd(-0.0);
    const __m256d bound = _mm256_mul_pd(
        _mm256_add_pd(
            _mm256_add_pd(_mm256_andnot_pd(magnitude, total), _mm256_andnot_pd(magnitude, base)),
            _mm256_andnot_pd(magnitude, increase)),
        _mm256_set1_pd(0x1p-50));
    const auto above =
        static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(difference, bound, _CMP_GT_OQ)));
    const auto below = static_cast<unsigned>(
        _mm256_movemask_pd(_mm256_cmp_pd(_mm256_xor_pd(difference, magnitude), bound, _CMP_GT_OQ)));
    yes = above;
    return above | below;
}
#endif
