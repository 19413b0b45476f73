// The SSE2 kernel, which every x86-64 processor has: the window classified
// sixteen bytes at a time; the records are converted token by token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../window.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace sse2_kernel {

// No constants are kept for a run of records.
struct constants {};

inline record_window::window_masks classify_window(const unsigned char* c, constants /*k*/) {
    record_window::window_masks masks{0, 0, 0};
    for (std::ptrdiff_t k = 0; k < 4; ++k) {
        __m128i bytes;
        std::memcpy(&bytes, c + 16 * k, sizeof bytes);
        // White space: the space, and tab to carriage return, the bytes that
        // clamping to 9 ... 13 leaves alone.
        const __m128i clamped =
            _mm_min_epu8(_mm_max_epu8(bytes, _mm_set1_epi8('\t')), _mm_set1_epi8('\r'));
        const __m128i white_space =
            _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(clamped, bytes));
        const auto bits = [](__m128i flags) {
            return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(flags))};
        };
        masks.white_space |= bits(white_space) << (16 * k);
        masks.line_feeds |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))) << (16 * k);
    }
    return masks;
}

}  // namespace sse2_kernel

#endif
