// The two shapes of record that a vector kernel converts whole, its four
// tokens at once, a lane each; written once over the kernel's primitives
// (kernel.hpp). The window's masks tell which shapes a record may have
// (window.hpp); a conversion refuses a record that turns out otherwise,
// having stored nothing, and the record goes on to the next way.
#pragma once

#include <bit>
#include <cstdint>

#include "../binary32.hpp"
#include "kernel.hpp"

namespace record_shapes {

// The conversions' constants, made once for a run of records and held
// (kernel::held) where the kernel keeps them: a compiler would otherwise
// make some of them anew for every record.
template <typename kernel>
struct record_constants {
    typename kernel::lanes zero_character;
    typename kernel::lanes point;  // '.' less '0'
    typename kernel::lanes minus;
    typename kernel::lanes plus;
    typename kernel::lanes last_byte;    // the last byte of each lane
    typename kernel::lanes seven;        // 10^7 in each lane
    typename kernel::lanes seven_eight;  // 10^7 ^ 10^8 in each lane
};

template <typename kernel>
[[gnu::always_inline]] inline record_constants<kernel> make_record_constants() {
    return {kernel::held(kernel::splat('0')),
            kernel::held(kernel::splat('.' ^ '0')),
            kernel::held(kernel::splat('-')),
            kernel::held(kernel::splat('+')),
            kernel::held(kernel::every_lane(0xff00000000000000)),
            kernel::held(kernel::every_lane(10000000)),
            kernel::held(kernel::every_lane(100000000 ^ 10000000))};
}

// All ones in the lane of the year count, the record's third token, where
// a register holds it from its token `first` on.
template <typename kernel>
[[gnu::always_inline]] inline typename kernel::lanes years_lane(int first) {
    return first <= 2 && 2 < first + kernel::tokens ? kernel::one_lane(2 - first)
                                                    : kernel::every_lane(0);
}

// Every byte's flag spread to the lower bytes of its lane: the bytes at or
// below the highest flagged one.
template <typename kernel>
[[gnu::always_inline]] inline typename kernel::lanes spread_down(typename kernel::lanes flags) {
    flags = flags | kernel::template down<1>(flags);
    flags = flags | kernel::template down<2>(flags);
    return flags | kernel::template down<4>(flags);
}

// A token's characters less '0', the bytes before it cleared, with its
// digits closed up over the point: the bytes at or below the point take the
// byte below them, and the lowest becomes a zero.
template <typename kernel>
struct token_digits {
    typename kernel::lanes digits;
    typename kernel::lanes points;
    typename kernel::lanes below;  // the bytes at or below the point
};

template <typename kernel>
[[gnu::always_inline]] inline token_digits<kernel> close_up(typename kernel::lanes characters,
                                                            const record_constants<kernel>& k) {
    const auto points = kernel::equal(characters, k.point);
    const auto below = spread_down<kernel>(points);
    return {characters ^ ((characters ^ kernel::template up<1>(characters)) & below), points,
            below};
}

// The digits after a token's point, from its lane of the bytes at or below
// the point (0xff each): 7 - p for a point at byte p, and 0 for none.
inline unsigned fraction_length(std::uint64_t below) {
    return static_cast<unsigned>(std::countl_zero(below) >> 3) & 7;
}

inline float& amount(record_values& values, int token) {
    return token == 0 ? values.base_amount : token == 1 ? values.monthly_amount : values.percent;
}

// The values of a plain record's tokens from `first` on, one lane at a
// time: each number divided in binary32 by the power of ten of its point's
// place. A kernel may take them all at once (kernel::plain_values).
template <typename kernel>
[[gnu::always_inline]] inline void plain_values(typename kernel::lanes numbers,
                                                typename kernel::lanes below, int first,
                                                record_values& values) {
    if constexpr (requires { kernel::plain_values(numbers, below, first, values); })
        return kernel::plain_values(numbers, below, first, values);
    for (int i = 0; i < kernel::tokens; ++i) {
        const auto number = static_cast<std::int32_t>(kernel::lane(numbers, i));
        if (first + i == 2)
            values.years = number;
        else
            amount(values, first + i) =
                static_cast<float>(number) /
                static_cast<float>(powers_of_ten[fraction_length(kernel::lane(below, i))]);
    }
}

// The tokens whose lanes are not all ones in `positive` made negative: a
// sign's value is symmetric, as rounding to nearest is.
template <typename kernel>
[[gnu::always_inline]] inline void negate(typename kernel::lanes positive, int first,
                                          record_values& values) {
    if (kernel::all(positive)) return;
    for (int i = 0; i < kernel::tokens; ++i) {
        if (kernel::lane(positive, i) != 0) continue;
        if (first + i == 2)
            values.years = -values.years;
        else
            amount(values, first + i) = -amount(values, first + i);
    }
}

// The values of a signed record's tokens from `first` on, one lane at a
// time: each number divided in binary64 by the power of ten, narrowed, with
// its sign; false at a binary32 midpoint that the number is not, or for a
// year count beyond 32 bits. A kernel may take them all at once
// (kernel::signed_values).
template <typename kernel>
[[gnu::always_inline]] inline bool signed_values(const signed_tokens<kernel>& tokens, int first,
                                                 record_values& values) {
    if constexpr (requires { kernel::signed_values(tokens, first, values); })
        return kernel::signed_values(tokens, first, values);
    for (int i = 0; i < kernel::tokens; ++i) {
        const std::uint64_t number = kernel::lane(tokens.numbers, i);
        const bool positive = kernel::lane(tokens.positive, i) != 0;
        if (first + i == 2) {
            if (number > 0x7fffffff) return false;
            values.years =
                positive ? static_cast<std::int32_t>(number) : -static_cast<std::int32_t>(number);
            continue;
        }
        const double power = powers_of_ten[fraction_length(kernel::lane(tokens.below, i))];
        const auto exact = static_cast<double>(static_cast<std::int64_t>(number));
        // Narrowing the quotient is exact unless it is a binary32 midpoint
        // (decimal_bits in binary32.hpp has why); there only an exact tie is
        // taken, where the quotient times the power gives the number back:
        // the midpoint has 25 significant bits and 10^7 = 2^7 5^7 with
        // 5^7 < 2^17, so that product is exact.
        const auto bits = std::bit_cast<std::uint64_t>(exact / power);
        if ((bits & below_binary32) == midpoint_bits &&
            std::bit_cast<double>(bits) * power != exact)
            return false;
        amount(values, first + i) = std::bit_cast<float>(
            std::bit_cast<std::uint32_t>(static_cast<float>(std::bit_cast<double>(bits))) |
            (positive ? 0 : binary32_sign_bit));
    }
    return true;
}

// Short records: four tokens of a sign or none and at most eight bytes of
// digits and a point, a sign only right after white space (the window's
// masks have told, and whether there is one). Up to seven digits beside a
// point are below 2^24, exact in binary32, so one division by the exact
// power of ten rounds correctly; eight digits without one are only
// converted, which rounds correctly too. A sign is the byte before the
// digits: within their lane where they are shorter, else the last of the
// eight bytes before them. False, having stored nothing, for any other byte,
// a second point, a point in the year count, or a zero.
template <typename kernel>
[[gnu::always_inline]] inline bool convert_short(const unsigned char* c, const record_stops& stops,
                                                 const record_constants<kernel>& k, bool signs,
                                                 record_values& values) {
    using lanes = typename kernel::lanes;
    for (int first = 0; first < 4; first += kernel::tokens) {
        const lanes bytes = kernel::load_ends(c, stops, 0, first);
        lanes start = kernel::white_space(bytes);
        lanes minus = kernel::every_lane(0);
        if (signs) {
            minus = kernel::equal(bytes, k.minus);
            start = start | minus | kernel::equal(bytes, k.plus);
        }
        const lanes earlier = spread_down<kernel>(start);
        const token_digits<kernel> token =
            close_up<kernel>(~earlier & (bytes ^ k.zero_character), k);
        const lanes numbers = kernel::eight_digit_values(token.digits);
        const lanes taken =
            kernel::digits(token.digits) &
            ~((token.points & (kernel::template down<1>(token.below) | years_lane<kernel>(first))) |
              kernel::lane_zero(numbers));
        if (!kernel::all(taken)) return false;
        plain_values<kernel>(numbers, token.below, first, values);
        if (signs) {
            // The highest byte of `earlier` is the one before the digits.
            lanes negative = earlier & ~kernel::template down<1>(earlier) & minus;
            const lanes fills = kernel::lane_zero(earlier);
            if (!kernel::all(~fills))
                negative = negative |
                           (fills & kernel::equal(kernel::load_ends(c, stops, 8, first), k.minus) &
                            k.last_byte);
            negate<kernel>(kernel::lane_zero(negative), first, values);
        }
    }
    return true;
}

// Wide records: four tokens of at most 15 bytes, each a sign or none and
// then digits with a point among the last eight bytes; a sign only right
// after white space (the window's masks have told, and whether there is
// one). A token is read from the 16 bytes that end it: the last eight
// (`low`) and, where those are all the token's, the eight before them
// (`high`), whose digits are worth 10^8 times theirs, or 10^7 where the low
// ones held a point (its place is then their lowest, a zero). Below 10^15 a
// number is exact in binary64. False, having stored nothing, for any other
// record, a zero, or a year count beyond 32 bits.
template <typename kernel>
[[gnu::always_inline]] inline bool convert_wide(const unsigned char* c, const record_stops& stops,
                                                const record_constants<kernel>& k, bool signs,
                                                record_values& values) {
    using lanes = typename kernel::lanes;
    for (int first = 0; first < 4; first += kernel::tokens) {
        const lanes low = kernel::load_ends(c, stops, 0, first);
        const lanes low_earlier = spread_down<kernel>(kernel::white_space(low));
        lanes minus = kernel::every_lane(0);
        lanes start = low_earlier;
        if (signs) {
            minus = ~low_earlier & kernel::equal(low, k.minus);
            start = start | minus | kernel::equal(low, k.plus);
        }
        const token_digits<kernel> token = close_up<kernel>(~start & (low ^ k.zero_character), k);
        lanes numbers = kernel::eight_digit_values(token.digits);
        lanes taken =
            kernel::digits(token.digits) &
            ~(token.points & (kernel::template down<1>(token.below) | years_lane<kernel>(first)));
        // The high bytes only where a token fills the low ones (its lane
        // holds no white space); elsewhere none is the token's.
        const lanes fills = kernel::lane_zero(low_earlier);
        if (!kernel::all(~fills)) {
            const lanes high = kernel::load_ends(c, stops, 8, first);
            const lanes high_earlier = spread_down<kernel>(kernel::white_space(high)) | ~fills;
            lanes high_start = high_earlier;
            if (signs) {
                const lanes high_minus = ~high_earlier & kernel::equal(high, k.minus);
                minus = minus | high_minus;
                high_start = high_start | high_minus | kernel::equal(high, k.plus);
            }
            const lanes high_digits = ~high_start & (high ^ k.zero_character);
            const lanes scales = k.seven ^ (kernel::lane_zero(token.points) & k.seven_eight);
            numbers = kernel::add(kernel::multiply(kernel::eight_digit_values(high_digits), scales),
                                  numbers);
            taken = taken & kernel::digits(high_digits) & ~kernel::lane_zero(high_earlier);
        }
        if (!kernel::all(taken & ~kernel::lane_zero(numbers)) ||
            !signed_values<kernel>({numbers, token.below, kernel::lane_zero(minus)}, first, values))
            return false;
    }
    return true;
}

}  // namespace record_shapes
