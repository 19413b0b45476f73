// The kernels of 128-bit registers (sse2.hpp, neon.hpp) share this layer: a
// record's four lanes are two registers, and each primitive is a register's
// own, done on both. A register kind (`isa`) supplies `vector`, whose
// operators & | ^ ~ are the compiler's, and:
//   held, splat(byte), words(low lane, high lane), two_words(p, q): the
//   eight bytes at p and at q, as the low and the high lane;
//   equal, digits, white_space: per byte, as in kernel.hpp;
//   down<n>, up<n>, lane_zero, eight_digit_values, add, multiply: per
//   64-bit lane, as in kernel.hpp;
//   all(v): whether every bit is set; lane(v, i): lane i (0 or 1) as a number;
//   classify(c): the window of 64 bytes from c, four registers.
#pragma once

#include <cstdint>

#include "../verdict.hpp"
#include "kernel.hpp"
#include "shapes.hpp"

template <typename isa>
struct paired_kernel {
    using vector = typename isa::vector;

    struct lanes {
        vector half[2];

        friend lanes operator&(const lanes& a, const lanes& b) {
            return {{a.half[0] & b.half[0], a.half[1] & b.half[1]}};
        }
        friend lanes operator|(const lanes& a, const lanes& b) {
            return {{a.half[0] | b.half[0], a.half[1] | b.half[1]}};
        }
        friend lanes operator^(const lanes& a, const lanes& b) {
            return {{a.half[0] ^ b.half[0], a.half[1] ^ b.half[1]}};
        }
        friend lanes operator~(const lanes& a) { return {{~a.half[0], ~a.half[1]}}; }
    };

    static lanes both(vector a) { return {{a, a}}; }

    static lanes held(const lanes& a) { return {{isa::held(a.half[0]), isa::held(a.half[1])}}; }

    static lanes splat(std::uint8_t byte) { return both(isa::splat(byte)); }

    static lanes set_lanes(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) {
        return {{isa::words(a, b), isa::words(c, d)}};
    }

    static lanes load_ends(const unsigned char* c, const record_stops& stops, int back) {
        const unsigned char* const ends = c - back - 8;
        return {{isa::two_words(ends + stops.stop[0], ends + stops.stop[1]),
                 isa::two_words(ends + stops.stop[2], ends + stops.stop[3])}};
    }

    static lanes equal(const lanes& a, const lanes& b) {
        return {{isa::equal(a.half[0], b.half[0]), isa::equal(a.half[1], b.half[1])}};
    }

    static lanes digits(const lanes& a) {
        return {{isa::digits(a.half[0]), isa::digits(a.half[1])}};
    }

    static lanes white_space(const lanes& a) {
        return {{isa::white_space(a.half[0]), isa::white_space(a.half[1])}};
    }

    template <int bytes>
    static lanes down(const lanes& a) {
        return {{isa::template down<bytes>(a.half[0]), isa::template down<bytes>(a.half[1])}};
    }

    template <int bytes>
    static lanes up(const lanes& a) {
        return {{isa::template up<bytes>(a.half[0]), isa::template up<bytes>(a.half[1])}};
    }

    static lanes lane_zero(const lanes& a) {
        return {{isa::lane_zero(a.half[0]), isa::lane_zero(a.half[1])}};
    }

    static lanes eight_digit_values(const lanes& a) {
        return {{isa::eight_digit_values(a.half[0]), isa::eight_digit_values(a.half[1])}};
    }

    static lanes add(const lanes& a, const lanes& b) {
        return {{isa::add(a.half[0], b.half[0]), isa::add(a.half[1], b.half[1])}};
    }

    static lanes multiply(const lanes& a, const lanes& b) {
        return {{isa::multiply(a.half[0], b.half[0]), isa::multiply(a.half[1], b.half[1])}};
    }

    static bool all(const lanes& a) { return isa::all(a.half[0] & a.half[1]); }

    static record_values plain_values(const lanes& numbers, const lanes& below) {
        return record_shapes::plain_values_by_lane<paired_kernel>(numbers, below);
    }

    static bool signed_values(const signed_tokens<paired_kernel>& tokens, record_values& values) {
        return record_shapes::signed_values_by_lane<paired_kernel>(tokens, values);
    }

    static std::uint64_t lane(const lanes& a, int i) { return isa::lane(a.half[i / 2], i % 2); }

    static window_masks classify(const unsigned char* c) { return isa::classify(c); }

    static unsigned certain_verdicts(const record_table& table, std::int32_t first, unsigned& yes) {
        return certain_verdicts_one_at_a_time(table, first, yes);
    }
};
