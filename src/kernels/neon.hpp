// The NEON kernel, which every AArch64 processor has: 128-bit registers
// (vector128.hpp).
#pragma once

#include <cstdint>

#include "vector128.hpp"

#if defined(__aarch64__) && defined(__ARM_NEON)
#define SCREENING_NEON
#include <arm_neon.h>

struct neon_registers {
    using vector = uint8x16_t;

    static uint64x2_t as_words(vector a) { return vreinterpretq_u64_u8(a); }
    static vector as_bytes(uint64x2_t a) { return vreinterpretq_u8_u64(a); }

    static vector splat(std::uint8_t byte) { return vdupq_n_u8(byte); }

    // An empty assembly statement hides the value: a compiler cannot make
    // it anew where it is used, and keeps it.
    static vector held(vector a) {
        __asm__("" : "+w"(a));
        return a;
    }

    static vector words(std::uint64_t low, std::uint64_t high) {
        return as_bytes(vcombine_u64(vcreate_u64(low), vcreate_u64(high)));
    }

    static vector two_words(const unsigned char* low, const unsigned char* high) {
        return vcombine_u8(vld1_u8(low), vld1_u8(high));
    }

    static vector equal(vector a, vector b) { return vceqq_u8(a, b); }

    static vector digits(vector a) { return vcleq_u8(a, vdupq_n_u8(9)); }

    // Nibble-table classification: a white space byte equals the white
    // space character with its low nibble (the space for 0, tab to carriage
    // return for themselves, 0xff for the others, which no byte below 0x80
    // is); a byte from 0x80 on equals none of them.
    static vector white_space(vector a) {
        static constexpr std::uint8_t by_low_nibble[16] = {' ',  0xff, 0xff, 0xff, 0xff, 0xff,
                                                           0xff, 0xff, 0xff, '\t', '\n', '\v',
                                                           '\f', '\r', 0xff, 0xff};
        return vceqq_u8(vqtbl1q_u8(vld1q_u8(by_low_nibble), vandq_u8(a, vdupq_n_u8(0x0f))), a);
    }

    template <int n>
    static vector down(vector a) {
        return as_bytes(vshrq_n_u64(as_words(a), 8 * n));
    }

    template <int n>
    static vector up(vector a) {
        return as_bytes(vshlq_n_u64(as_words(a), 8 * n));
    }

    static vector lane_zero(vector a) { return as_bytes(vceqzq_u64(as_words(a))); }

    // Eight digits at a time in a lane: pairs (the first times 10), fours,
    // eights, each by a multiply and a pairwise widening add.
    static vector eight_digit_values(vector digits) {
        static constexpr std::uint8_t tens[16] = {10, 1, 10, 1, 10, 1, 10, 1,
                                                  10, 1, 10, 1, 10, 1, 10, 1};
        static constexpr std::uint16_t hundreds[8] = {100, 1, 100, 1, 100, 1, 100, 1};
        static constexpr std::uint32_t ten_thousands[4] = {10000, 1, 10000, 1};
        const uint16x8_t pairs = vpaddlq_u8(vmulq_u8(digits, vld1q_u8(tens)));
        const uint32x4_t fours = vpaddlq_u16(vmulq_u16(pairs, vld1q_u16(hundreds)));
        return as_bytes(vpaddlq_u32(vmulq_u32(fours, vld1q_u32(ten_thousands))));
    }

    static vector add(vector a, vector b) { return as_bytes(vaddq_u64(as_words(a), as_words(b))); }

    static vector multiply(vector a, vector b) {
        return as_bytes(vmull_u32(vmovn_u64(as_words(a)), vmovn_u64(as_words(b))));
    }

    static bool all(vector a) { return vminvq_u32(vreinterpretq_u32_u8(a)) == 0xffffffff; }

    static std::uint64_t lane(vector a, int i) {
        return i == 0 ? vgetq_lane_u64(as_words(a), 0) : vgetq_lane_u64(as_words(a), 1);
    }

    // The flags of 64 bytes in four registers, byte i's into bit i: each
    // byte keeps the bit of its place in eight, and three rounds of pairwise
    // adds gather them.
    static std::uint64_t mask(vector a, vector b, vector c, vector d) {
        static constexpr std::uint8_t places[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                    1, 2, 4, 8, 16, 32, 64, 128};
        const vector place = vld1q_u8(places);
        const vector ab = vpaddq_u8(vandq_u8(a, place), vandq_u8(b, place));
        const vector cd = vpaddq_u8(vandq_u8(c, place), vandq_u8(d, place));
        const vector abcd = vpaddq_u8(ab, cd);
        return vgetq_lane_u64(as_words(vpaddq_u8(abcd, abcd)), 0);
    }

    static window_masks classify(const unsigned char* c) {
        const uint8x16x4_t bytes = vld1q_u8_x4(c);
        const auto each = [&bytes](auto flags) {
            return mask(flags(bytes.val[0]), flags(bytes.val[1]), flags(bytes.val[2]),
                        flags(bytes.val[3]));
        };
        return {each([](vector b) { return white_space(b); }),
                each([](vector b) { return vceqq_u8(b, vdupq_n_u8('\n')); }), each([](vector b) {
                    return vceqq_u8(b, vdupq_n_u8('+')) | vceqq_u8(b, vdupq_n_u8('-'));
                })};
    }
};

using neon_kernel = paired_kernel<neon_registers>;

#endif
