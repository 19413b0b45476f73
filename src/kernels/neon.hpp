// The NEON kernel, which every AArch64 processor has: a window classified
// in four 16-byte registers, a record's tokens two to a register, answers
// two rows at a time.
#pragma once

#include <cstdint>

#include "../verdict.hpp"
#include "kernel.hpp"
#include "shapes.hpp"

#if defined(__aarch64__) && defined(__ARM_NEON)
#define SCREENING_NEON
#include <arm_neon.h>
#elif defined(SCREENING_NEON_EMULATED)
// A test build on another processor, the intrinsics emulated by SIMDe: the
// sweeps and the fuzzers take the NEON kernel at that processor's speed.
#define SCREENING_NEON
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/arm/neon.h>
// SIMDe 0.7 has no vdivq_f64.
inline float64x2_t vdivq_f64(float64x2_t a, float64x2_t b) {
    const float64x2_t low = vdupq_n_f64(vgetq_lane_f64(a, 0) / vgetq_lane_f64(b, 0));
    return vsetq_lane_f64(vgetq_lane_f64(a, 1) / vgetq_lane_f64(b, 1), low, 1);
}
#endif

#if defined(SCREENING_NEON)

struct neon_kernel {
    using lanes = uint8x16_t;
    static constexpr int tokens = 2;

    static uint64x2_t words(lanes a) { return vreinterpretq_u64_u8(a); }
    static lanes bytes(uint64x2_t a) { return vreinterpretq_u8_u64(a); }

    // An empty assembly statement hides the value: a compiler cannot make
    // it anew where it is used, and keeps it.
    static lanes held(lanes a) {
#if defined(__aarch64__)
        __asm__("" : "+w"(a));
#endif
        return a;
    }

    static lanes splat(std::uint8_t byte) { return vdupq_n_u8(byte); }
    static lanes every_lane(std::uint64_t word) { return bytes(vdupq_n_u64(word)); }
    static lanes one_lane(int i) {
        return bytes(
            vcombine_u64(vcreate_u64(i == 0 ? ~0ULL : 0), vcreate_u64(i == 1 ? ~0ULL : 0)));
    }

    static lanes load_ends(const unsigned char* c, const record_stops& stops, int back, int first) {
        const unsigned char* const ends = c - back - 8;
        return vcombine_u8(vld1_u8(ends + stops.stop[first]),
                           vld1_u8(ends + stops.stop[first + 1]));
    }

    static lanes equal(lanes a, lanes b) { return vceqq_u8(a, b); }
    static lanes digits(lanes a) { return vcleq_u8(a, vdupq_n_u8(9)); }

    // Nibble-table classification: a white space byte equals the white
    // space character with its low nibble (the space for 0, tab to carriage
    // return for themselves). The others' entry is 0, which no byte with
    // such a nibble is; 0xff there would let the byte 0xff through.
    static lanes white_space(lanes a) {
        static constexpr std::uint8_t by_low_nibble[16] = {' ', 0,    0,    0,    0,    0,    0, 0,
                                                           0,   '\t', '\n', '\v', '\f', '\r', 0, 0};
        return vceqq_u8(vqtbl1q_u8(vld1q_u8(by_low_nibble), vandq_u8(a, vdupq_n_u8(0x0f))), a);
    }

    template <int n>
    static lanes down(lanes a) {
        return bytes(vshrq_n_u64(words(a), 8 * n));
    }

    template <int n>
    static lanes up(lanes a) {
        return bytes(vshlq_n_u64(words(a), 8 * n));
    }

    static lanes lane_zero(lanes a) { return bytes(vceqzq_u64(words(a))); }

    // Eight digits at a time in a lane: pairs (the first times 10), fours,
    // eights, each by a multiply and a pairwise widening add.
    static lanes eight_digit_values(lanes digits) {
        static constexpr std::uint8_t tens[16] = {10, 1, 10, 1, 10, 1, 10, 1,
                                                  10, 1, 10, 1, 10, 1, 10, 1};
        static constexpr std::uint16_t hundreds[8] = {100, 1, 100, 1, 100, 1, 100, 1};
        static constexpr std::uint32_t ten_thousands[4] = {10000, 1, 10000, 1};
        const uint16x8_t pairs = vpaddlq_u8(vmulq_u8(digits, vld1q_u8(tens)));
        const uint32x4_t fours = vpaddlq_u16(vmulq_u16(pairs, vld1q_u16(hundreds)));
        return bytes(vpaddlq_u32(vmulq_u32(fours, vld1q_u32(ten_thousands))));
    }

    static lanes add(lanes a, lanes b) { return bytes(vaddq_u64(words(a), words(b))); }
    static lanes multiply(lanes a, lanes b) {
        return bytes(vmull_u32(vmovn_u64(words(a)), vmovn_u64(words(b))));
    }

    static bool all(lanes a) { return vminvq_u32(vreinterpretq_u32_u8(a)) == 0xffffffff; }
    static std::uint64_t lane(lanes a, int i) {
        return i == 0 ? vgetq_lane_u64(words(a), 0) : vgetq_lane_u64(words(a), 1);
    }

    // The flags of 64 bytes in four registers, byte i's into bit i: each
    // byte keeps the bit of its place in eight, and three rounds of pairwise
    // adds gather them.
    static std::uint64_t mask(lanes a, lanes b, lanes c, lanes d) {
        static constexpr std::uint8_t places[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                    1, 2, 4, 8, 16, 32, 64, 128};
        const lanes place = vld1q_u8(places);
        const lanes ab = vpaddq_u8(vandq_u8(a, place), vandq_u8(b, place));
        const lanes cd = vpaddq_u8(vandq_u8(c, place), vandq_u8(d, place));
        const lanes abcd = vpaddq_u8(ab, cd);
        return vgetq_lane_u64(words(vpaddq_u8(abcd, abcd)), 0);
    }

    static window_masks classify(const unsigned char* c) {
        const uint8x16x4_t window = vld1q_u8_x4(c);
        const auto each = [&window](auto flags) {
            return mask(flags(window.val[0]), flags(window.val[1]), flags(window.val[2]),
                        flags(window.val[3]));
        };
        const auto signs = [](lanes b) {
            return vceqq_u8(b, vdupq_n_u8('+')) | vceqq_u8(b, vdupq_n_u8('-'));
        };
        const lanes any_sign = signs(window.val[0]) | signs(window.val[1]) | signs(window.val[2]) |
                               signs(window.val[3]);
        // Most windows hold no sign: their mask is not gathered.
        return {each([](lanes b) { return white_space(b); }),
                each([](lanes b) { return vceqq_u8(b, vdupq_n_u8('\n')); }),
                vmaxvq_u8(any_sign) == 0 ? 0 : each(signs)};
    }

    // Two rows at a time (verdict.hpp has why an answer decided here is the
    // rule's).
    static unsigned certain_verdicts(const record_table& table, std::int32_t first, unsigned& yes) {
        unsigned decided = 0;
        yes = 0;
        for (std::int32_t row = first; row < first + 4; row += 2) {
            const float64x2_t base = vcvt_f64_f32(vld1_f32(&table.base_amount[row]));
            const float64x2_t total =
                vmulq_f64(vcvt_f64_f32(vld1_f32(&table.monthly_amount[row])),
                          vmulq_n_f64(vcvtq_f64_s64(vmovl_s32(vld1_s32(&table.years[row]))), 12.0));
            const float64x2_t increase = vmulq_f64(
                base, vdivq_f64(vcvt_f64_f32(vld1_f32(&table.percent[row])), vdupq_n_f64(100.0)));
            const float64x2_t threshold = vaddq_f64(base, increase);
            const float64x2_t difference = vsubq_f64(total, threshold);
            const float64x2_t bound = vmulq_n_f64(
                vaddq_f64(vaddq_f64(vabsq_f64(total), vabsq_f64(base)), vabsq_f64(increase)),
                0x1p-50);
            const uint64x2_t finite = vcltq_f64(bound, vdupq_n_f64(__builtin_inf()));
            const uint64x2_t above = vcgtq_f64(difference, bound);
            const uint64x2_t answered = vbslq_u64(finite, above, vcgtq_f64(total, threshold));
            const uint64x2_t certain =
                vorrq_u64(vornq_u64(above, finite), vcgtq_f64(vnegq_f64(difference), bound));
            const auto shift = static_cast<unsigned>(row - first);
            yes |= static_cast<unsigned>((vgetq_lane_u64(answered, 0) & 1) |
                                         (vgetq_lane_u64(answered, 1) & 2))
                   << shift;
            decided |= static_cast<unsigned>((vgetq_lane_u64(certain, 0) & 1) |
                                             (vgetq_lane_u64(certain, 1) & 2))
                       << shift;
        }
        return decided;
    }
};

#endif
