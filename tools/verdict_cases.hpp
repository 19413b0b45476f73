// Records for checking the integer model of the verdict's arithmetic
// (extended.hpp) against the x87 hardware, shared by tools/sweep_verdict.cpp
// (hundreds of millions of records), the suite's one-million-record sample and
// the generator of the stored answer file.
//
// A record is a pure function of (seed, index), so a sweep can be split over
// threads and any record it reports can be rebuilt alone. Most records are
// built so that the comparison total > threshold is close, because only
// there can a wrong last bit of an intermediate value change the answer.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "extended.hpp"
#include "records.hpp"

struct verdict_record {
    float base;
    float monthly;
    std::int32_t years;
    float percent;
};

enum class record_family : std::uint8_t {
    random_bits,     // the three floats from all classes, years random or at the edges
    special_values,  // zeros, subnormals, extremes, infinities and NaNs in every place
    decimal_tie,     // m * 12y = b + b p / 100 in decimal, scaled by powers of ten
    exact_tie,       // the same equation exact in binary: total equals the exact threshold
    product_tie,     // base 3 * 2^k: base * fraction often lies exactly between two values
    cancellation,    // percent next to -100: base + increase cancels
};

inline constexpr int record_family_count = 6;

inline const char* family_name(record_family family) {
    switch (family) {
    case record_family::random_bits:
        return "random bits";
    case record_family::special_values:
        return "special values";
    case record_family::decimal_tie:
        return "decimal ties";
    case record_family::exact_tie:
        return "exact ties";
    case record_family::product_tie:
        return "product ties";
    case record_family::cancellation:
        return "cancellation";
    }
    return "?";
}

// splitmix64: every index gets its own well-mixed stream.
struct case_random {
    std::uint64_t state;
};

inline std::uint64_t next_random(case_random& random) {
    std::uint64_t z = (random.state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// In [0, bound).
inline std::uint64_t random_below(case_random& random, std::uint64_t bound) {
    return next_random(random) % bound;
}

// In [low, high].
inline std::int64_t random_between(case_random& random, std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(
                     random_below(random, static_cast<std::uint64_t>(high - low) + 1));
}

inline bool random_chance(case_random& random, std::uint64_t one_in) {
    return random_below(random, one_in) == 0;
}

inline float float_from_bits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

inline constexpr std::int32_t edge_years[] = {
    0, 1, -1, 178956970, -178956970, 178956971, -178956971, INT32_MIN, INT32_MAX, 2, -2, 12, 100,
};

inline std::int32_t random_years(case_random& random) {
    switch (random_below(random, 4)) {
    case 0:
        return edge_years[random_below(random, std::size(edge_years))];
    case 1:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(next_random(random)));
    default: {
        const auto small = static_cast<std::int32_t>(random_between(random, 1, 100));
        return random_chance(random, 4) ? -small : small;
    }
    }
}

// Every class of binary32, the rare ones far more often than in raw bits.
inline float random_float_of_any_class(case_random& random) {
    const auto bits = static_cast<std::uint32_t>(next_random(random));
    const std::uint32_t sign = bits & 0x80000000u;
    switch (random_below(random, 20)) {
    case 0:
    case 1:
        return float_from_bits(sign);  // ±0
    case 2:
    case 3:
        return float_from_bits(sign | (bits & 0x7fffff));  // subnormal (or 0)
    case 4:
        return float_from_bits(sign | 0x7f800000u);  // ±inf
    case 5:
        return float_from_bits(sign | 0x7f800000u | ((bits & 0x7fffff) | 1));  // NaN
    case 6:
    case 7:
    case 8:
    case 9: {  // near 1
        const auto exponent =
            static_cast<std::uint32_t>(random_between(random, 127 - 30, 127 + 30));
        return float_from_bits(sign | (exponent << 23) | (bits & 0x7fffff));
    }
    default:
        return float_from_bits(bits);  // any pattern
    }
}

inline float random_special_float(case_random& random) {
    static constexpr std::uint32_t specials[] = {
        0x00000000, 0x00000001, 0x007fffff, 0x00800000, 0x3f800000, 0x3fc00000, 0x42c80000,
        0x7f7fffff, 0x7f800000, 0x7fc00000, 0x7f800001, 0x4f800000, 0x2f800000, 0x3f7fffff,
    };
    const std::uint32_t sign = random_chance(random, 2) ? 0x80000000u : 0;
    return float_from_bits(sign | specials[random_below(random, std::size(specials))]);
}

// Decimal text "<integer>e<exponent>" rounded to binary32 by the platform.
inline float float_from_decimal(std::int64_t integer, int exponent) {
    char text[64];
    std::snprintf(text, sizeof text, "%llde%d", static_cast<long long>(integer), exponent);
    return std::strtof(text, nullptr);
}

// b, p decimals; m * 12y = b (100 + p) / 100 exactly in decimal. The binary32
// roundings of b, m and p then decide, as with 120 3.7 3 11 and 100 10 1 20.
inline verdict_record decimal_tie_record(case_random& random) {
    for (;;) {
        const auto base_places = static_cast<int>(random_below(random, 3));
        const auto percent_places = static_cast<int>(random_below(random, 3));
        std::int64_t base_digits =
            random_between(random, 1, random_chance(random, 2) ? 1000 : 10'000'000);
        if (random_chance(random, 5)) base_digits = -base_digits;
        std::int64_t percent_digits =
            random_between(random, 1, random_chance(random, 2) ? 100 : 100'000);
        if (random_chance(random, 6)) percent_digits = -percent_digits;
        std::int64_t percent_scale = 100;
        for (int place = 0; place < percent_places; ++place) percent_scale *= 10;
        const std::int64_t raised =
            percent_scale + percent_digits;  // (100 + p) * 10^percent_places
        if (raised == 0) continue;
        // The exact threshold is value_digits * 10^-(base_places + percent_places + 2);
        // a factor 3 lets it be twelve times a decimal.
        if ((base_digits * raised) % 3 != 0) base_digits *= 3;
        const std::int64_t value_digits = base_digits * raised;
        const std::int64_t third = value_digits / 3;
        std::int64_t years = 1;
        for (int attempt = 0; attempt < 8; ++attempt) {
            const std::int64_t candidate = random_between(random, 2, 60);
            if (third % candidate == 0) {
                years = candidate;
                break;
            }
        }
        if (random_chance(random, 4)) years = -years;
        // m = value / (12 y) = (third / y) / 4 * 10^-scale = 25 (third / y) * 10^-(scale + 2).
        const int scale = base_places + percent_places + 2;
        const int shift = static_cast<int>(random_between(random, -3, 3));  // the scaled variants
        verdict_record record{};
        record.base = float_from_decimal(base_digits, shift - base_places);
        record.monthly = float_from_decimal(25 * (third / years), shift - scale - 2);
        record.years = static_cast<std::int32_t>(years);
        record.percent = float_from_decimal(percent_digits, -percent_places);
        return record;
    }
}

inline int twos_in(std::int64_t value) {
    return std::countr_zero(static_cast<std::uint64_t>(value));
}

// All values dyadic, so b (100 + p) / 100 is exactly 12 m y: the total equals
// the exact threshold, and the three roundings leave the computed threshold
// on it or an ulp or so either side.
//
// With p = P 2^-k and Q = 100 2^k + P, the exact threshold is b Q 2^-k / 100.
// b = g B1 2^e with g = 75 / gcd(75, Q) makes it 12 (B1 Q') 2^(e-k-4), where
// Q' = Q / gcd(75, Q); B1 and Q' then go to the years and the monthly amount.
inline verdict_record exact_tie_record(case_random& random) {
    for (;;) {
        const auto k = static_cast<int>(random_below(random, 17));
        std::int64_t percent_integer = random_between(
            random, 1, random_chance(random, 2) ? 1000 : (std::int64_t{1} << 24) - 1);
        if (random_chance(random, 4)) percent_integer = -percent_integer;
        const std::int64_t raised = (std::int64_t{100} << k) + percent_integer;
        if (raised == 0) continue;
        const std::int64_t common = std::gcd(std::int64_t{75}, raised < 0 ? -raised : raised);
        const std::int64_t base_factor = 75 / common;
        const std::int64_t raised_rest = raised / common;  // Q', signed
        const std::int64_t base_limit = ((std::int64_t{1} << 24) - 1) / base_factor;
        const std::int64_t base_rest =
            random_between(random, 1, random_chance(random, 2) ? 100 : base_limit);
        const int base_exponent = static_cast<int>(random_between(random, -40, 40));
        const bool negative = random_chance(random, 3);

        // Q' to the years and B1 to the monthly amount, or the other way round.
        const bool rest_fits_years = raised_rest >= INT32_MIN && raised_rest <= INT32_MAX;
        const std::int64_t odd_rest = raised_rest >> twos_in(raised_rest);
        const bool rest_fits_monthly =
            odd_rest > -(std::int64_t{1} << 24) && odd_rest < (std::int64_t{1} << 24);
        if (!rest_fits_years && !rest_fits_monthly) continue;
        const bool rest_to_years =
            rest_fits_years && (!rest_fits_monthly || random_chance(random, 2));

        const int monthly_exponent = base_exponent - k - 4;
        verdict_record record{};
        record.base = std::ldexp(
            static_cast<float>(negative ? -base_factor * base_rest : base_factor * base_rest),
            base_exponent);
        record.percent = std::ldexp(static_cast<float>(percent_integer), -k);
        if (rest_to_years) {
            record.years = static_cast<std::int32_t>(raised_rest);
            record.monthly =
                std::ldexp(static_cast<float>(negative ? -base_rest : base_rest), monthly_exponent);
        } else {
            record.years = static_cast<std::int32_t>(base_rest);
            const int twos = twos_in(raised_rest);
            record.monthly = std::ldexp(static_cast<float>(negative ? -odd_rest : odd_rest),
                                        monthly_exponent + twos);
        }
        // Now and then one step off the tie on one side.
        if (random_chance(random, 4)) {
            const bool up = random_chance(random, 2);
            record.monthly = std::nextafter(record.monthly, up ? INFINITY : -INFINITY);
        }
        return record;
    }
}

// The monthly amount and years that bring the total near base (1 + p/100).
inline void near_threshold(case_random& random, verdict_record& record) {
    const double threshold =
        static_cast<double>(record.base) * (1.0 + static_cast<double>(record.percent) / 100.0);
    auto years = static_cast<std::int32_t>(
        random_between(random, 1, random_chance(random, 2) ? 10 : 1'000'000));
    if (threshold < 0 && random_chance(random, 2)) years = -years;
    record.years = years;
    record.monthly = static_cast<float>(threshold / (12.0 * years));
    const auto steps = static_cast<int>(random_between(random, -2, 2));
    for (int step = 0; step < steps; ++step)
        record.monthly = std::nextafter(record.monthly, INFINITY);
    for (int step = 0; step > steps; --step)
        record.monthly = std::nextafter(record.monthly, -INFINITY);
}

// A 24-bit base times a 64-bit fraction rounds exactly halfway only when the
// base's significand is 3 (the product then has exactly 65 bits, the last
// one set), which a percentage with an odd, small-enough fraction gives
// about one time in six.
inline verdict_record product_tie_record(case_random& random) {
    verdict_record record{};
    record.base = std::ldexp(random_chance(random, 3) ? -3.0f : 3.0f,
                             static_cast<int>(random_between(random, -30, 30)));
    const auto significand = static_cast<std::uint32_t>(next_random(random)) & 0x7fffff;
    const auto exponent = static_cast<std::uint32_t>(random_between(random, 127 - 10, 127 + 20));
    const std::uint32_t sign = random_chance(random, 5) ? 0x80000000u : 0;
    record.percent = float_from_bits(sign | (exponent << 23) | significand);
    near_threshold(random, record);
    return record;
}

// percent a few steps from -100: the increase nearly (or exactly) cancels the base.
inline verdict_record cancellation_record(case_random& random) {
    verdict_record record{};
    record.percent = -100.0f;
    const auto steps = static_cast<int>(random_between(random, -3, 3));
    for (int step = 0; step < steps; ++step)
        record.percent = std::nextafter(record.percent, INFINITY);
    for (int step = 0; step > steps; --step)
        record.percent = std::nextafter(record.percent, -INFINITY);
    record.base = random_chance(random, 4)
                      ? random_float_of_any_class(random)
                      : float_from_bits(static_cast<std::uint32_t>(next_random(random)));
    if (random_chance(random, 2)) {
        near_threshold(random, record);
    } else {
        record.monthly = random_float_of_any_class(random);
        record.years = random_years(random);
    }
    return record;
}

inline record_family family_of(case_random& random) {
    const std::uint64_t draw = random_below(random, 64);
    if (draw < 24) return record_family::random_bits;
    if (draw < 30) return record_family::special_values;
    if (draw < 40) return record_family::decimal_tie;
    if (draw < 52) return record_family::exact_tie;
    if (draw < 58) return record_family::product_tie;
    return record_family::cancellation;
}

inline verdict_record make_record(std::uint64_t seed, std::uint64_t index, record_family& family) {
    case_random random{seed ^ (index * 0xd1342543de82ef95u)};
    next_random(random);
    family = family_of(random);
    verdict_record record{};
    switch (family) {
    case record_family::random_bits:
        record = {random_float_of_any_class(random), random_float_of_any_class(random),
                  random_years(random), random_float_of_any_class(random)};
        break;
    case record_family::special_values:
        record.base = random_special_float(random);
        record.monthly = random_chance(random, 2) ? random_special_float(random)
                                                  : random_float_of_any_class(random);
        record.years = random_years(random);
        record.percent = random_chance(random, 4) ? -100.0f : random_special_float(random);
        break;
    case record_family::decimal_tie:
        record = decimal_tie_record(random);
        break;
    case record_family::exact_tie:
        record = exact_tie_record(random);
        break;
    case record_family::product_tie:
        record = product_tie_record(random);
        break;
    case record_family::cancellation:
        record = cancellation_record(random);
        break;
    }
    return record;
}

// The record as row `row` of a table, for record_verdict and the binary64
// answers four rows at a time.
inline void store_verdict_record(record_table& table, std::int32_t row,
                                 const verdict_record& record) {
    table.base_amount[row] = record.base;
    table.monthly_amount[row] = record.monthly;
    table.years[row] = record.years;
    table.percent[row] = record.percent;
}

// Whether the three amounts are finite: the integer model's records. A row
// with an infinity or a NaN is answered in binary64 (verdict.hpp).
inline bool finite_record(const verdict_record& record) {
    return std::isfinite(record.base) && std::isfinite(record.monthly) &&
           std::isfinite(record.percent);
}

// Same sign and bits, a zero's sign included.
inline bool same_extended(const extended& left, const extended& right) {
    return left.negative == right.negative && left.significand == right.significand &&
           (left.significand == 0 || left.exponent == right.exponent);
}

inline bool same_steps(const verdict_steps& left, const verdict_steps& right) {
    return same_extended(left.total, right.total) && same_extended(left.fraction, right.fraction) &&
           same_extended(left.increase, right.increase) &&
           same_extended(left.threshold, right.threshold) && left.verdict == right.verdict;
}

inline void print_extended(std::FILE* out, const extended& value) {
    const char sign = value.negative ? '-' : '+';
    if (value.significand == 0)
        std::fprintf(out, "%c0", sign);
    else
        std::fprintf(out, "%c0x%016llxp%d", sign,
                     static_cast<unsigned long long>(value.significand),
                     static_cast<int>(value.exponent));
}

inline void print_record(std::FILE* out, const verdict_record& record) {
    std::fprintf(out, "%a %a %d %a (%.9g %.9g %d %.9g)", static_cast<double>(record.base),
                 static_cast<double>(record.monthly), static_cast<int>(record.years),
                 static_cast<double>(record.percent), static_cast<double>(record.base),
                 static_cast<double>(record.monthly), static_cast<int>(record.years),
                 static_cast<double>(record.percent));
}

inline void print_steps(std::FILE* out, const char* label, const verdict_steps& steps) {
    std::fprintf(out, "  %-8s total ", label);
    print_extended(out, steps.total);
    std::fprintf(out, " fraction ");
    print_extended(out, steps.fraction);
    std::fprintf(out, " increase ");
    print_extended(out, steps.increase);
    std::fprintf(out, " threshold ");
    print_extended(out, steps.threshold);
    std::fprintf(out, " -> %s\n", steps.verdict ? "YES" : "NO");
}

#if defined(__x86_64__) || defined(__i386__)
// The x87 hardware as the reference: long double is the 80-bit format there.

// A finite value; an infinity or a NaN gives a significand without its top
// bit, which equals no value of the model.
inline extended extended_from_x87(long double value) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &value, sizeof bytes);
    std::uint64_t significand = 0;
    std::memcpy(&significand, bytes, 8);
    const unsigned sign_and_exponent =
        static_cast<unsigned>(bytes[8]) | (static_cast<unsigned>(bytes[9]) << 8);
    const bool negative = (sign_and_exponent & 0x8000u) != 0;
    const auto biased_exponent = static_cast<std::int32_t>(sign_and_exponent & 0x7fffu);
    if (biased_exponent == 0x7fff) return {negative, 1, 0};
    if (significand == 0) return {negative, 0, 0};
    // Denormals (exponent field 0) have the scale of the smallest normal.
    std::int32_t exponent = (biased_exponent == 0 ? 1 : biased_exponent) - 16383 - 63;
    const int shift = std::countl_zero(significand);
    return {negative, significand << shift, exponent - shift};
}

inline long double x87_from_extended(const extended& value) {
    const long double sign = value.negative ? -1.0L : 1.0L;
    return sign * std::ldexp(static_cast<long double>(value.significand), value.exponent);
}

// The same steps as long_double_verdict (verdict.cpp), each value kept.
inline verdict_steps x87_verdict_steps(const verdict_record& record) {
    const std::int64_t months = std::int64_t{record.years} * 12;
    const long double total =
        static_cast<long double>(record.monthly) * static_cast<long double>(months);
    const long double base = record.base;
    const long double fraction = static_cast<long double>(record.percent) / 100.0L;
    const long double increase = base * fraction;
    const long double threshold = base + increase;
    return {extended_from_x87(total), extended_from_x87(fraction), extended_from_x87(increase),
            extended_from_x87(threshold), total > threshold};
}
#endif
