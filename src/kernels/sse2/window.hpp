// The SSE2 kernel, which every x86-64 processor has: the window classified
// sixteen bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../window.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace sse2_kernel {

// The portable and SSE2 kernels need no constants, and convert the tokens
// one by one.
struct constants {};

inline bool convert_record(const unsigned char* c, const record_window::window_masks& masks,
                           const record_window::record_stops& record, record_table& table,
                           std::int32_t row, constants /*k*/) {
    return record_window::convert_each_token(c, masks, record, table, row);
}

inline record_window::window_masks classify_window(const unsigned char* c, constants /*k*/) {
    record_window::window_masks masks{0, 0};
    for (std::ptrdiff_t k = 0; k < 4; ++k) {
        __m128i bytes;
        std::memcpy(&bytes, c + 16 * k, sizeof bytes);
        // Tab to carriage return are the bytes that clamping to 9 ... 13 leaves alone.
        const __m128i clamped =
            _mm_min_epu8(_mm_max_epu8(bytes, _mm_set1_epi8('\t')), _mm_set1_epi8('\r'));
        const __m128i white =
            _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(clamped, bytes));
        const auto white_bits = static_cast<std::uint32_t>(_mm_movemask_epi8(white));
        const auto line_feed_bits = static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
        masks.white_space |= std::uint64_t{white_bits} << (16 * k);
        masks.line_feeds |= std::uint64_t{line_feed_bits} << (16 * k);
    }
    return masks;
}

}  // namespace sse2_kernel

#endif
