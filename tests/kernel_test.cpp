// The kernels' classification of a window against the bytes themselves.
// Whole lists through every kernel are checked against the fscanf reader in
// fuzz/corpus_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "kernels/avx2/window.hpp"
#include "kernels/portable/window.hpp"
#include "kernels/sse2/window.hpp"

namespace {

using record_window::window_masks;

#if defined(SCREENING_AVX2)
[[gnu::target("avx2,bmi,bmi2")]] window_masks classify_with_avx2(const unsigned char* c) {
    return avx2_kernel::classify_window(
        c,
        avx2_kernel::record_kind<avx2_kernel::record_shape::tokens>{avx2_kernel::make_constants()});
}
#endif

window_masks byte_by_byte(const unsigned char* c) {
    window_masks masks{0, 0, 0};
    for (int i = 0; i < 64; ++i) {
        const bool white = c[i] == ' ' || (c[i] >= '\t' && c[i] <= '\r');
        masks.white_space |= std::uint64_t{white} << i;
        masks.line_feeds |= std::uint64_t{c[i] == '\n'} << i;
        masks.letters |= std::uint64_t{c[i] >= '@'} << i;
    }
    return masks;
}

TEST(KernelWindow, EveryKernelClassifiesAsTheBytesSay) {
    std::mt19937_64 random(0x64b17e5);
    // The window's first byte is white space, as the readers have it.
    alignas(64) unsigned char window[64 + 16] = {};
    for (int n = 0; n < 200000 && !HasFailure(); ++n) {
        window[0] = " \n\t\r"[random() % 4];
        for (int i = 1; i < 64; ++i) {
            const auto pick = random() % 16;
            window[i] = pick < 6    ? static_cast<unsigned char>("0123456789.+-e"[random() % 14])
                        : pick < 11 ? static_cast<unsigned char>(" \t\n\v\f\r"[random() % 6])
                                    : static_cast<unsigned char>(random());
        }
        const window_masks expected = byte_by_byte(window);
        const window_masks portable = portable_kernel::classify_window(window, {});
        EXPECT_EQ(portable.white_space, expected.white_space) << n;
        EXPECT_EQ(portable.line_feeds, expected.line_feeds) << n;
#if defined(__SSE2__)
        const window_masks sse2 = sse2_kernel::classify_window(window, {});
        EXPECT_EQ(sse2.white_space, expected.white_space) << n;
        EXPECT_EQ(sse2.line_feeds, expected.line_feeds) << n;
#endif
#if defined(SCREENING_AVX2)
        if (avx2_supported()) {
            const window_masks avx2 = classify_with_avx2(window);
            EXPECT_EQ(avx2.white_space, expected.white_space) << n;
            EXPECT_EQ(avx2.line_feeds, expected.line_feeds) << n;
            EXPECT_EQ(avx2.letters, expected.letters) << n;
        }
#endif
    }
}

}  // namespace
