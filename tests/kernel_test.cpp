// The kernels' classification of a window against the bytes themselves, and
// the AVX2 kernel's conversion of a whole decimal token against the word-at-
// a-time one. Whole lists through every kernel are checked against the
// fscanf reader in fuzz/corpus_test.cpp.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

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

#if defined(SCREENING_AVX2)
[[gnu::target("avx2,bmi,bmi2")]] record_window::kernel_conversion take_with_avx2(
    const unsigned char* c, float& value) {
    return avx2_kernel::take_kernel_decimal(c, value, avx2_kernel::make_constants());
}

// Tokens near the decimals that both conversions take: signs, up to 22
// digits with leading zeros, points, exponents of up to six digits, one in
// eight near a binary32 midpoint and one in three of the others as C's %e
// writes them (with 0 to 20 digits after the point), one in twelve made 20
// to 39 digits longer, and one byte in eight put in or replaced anywhere,
// then what follows the token.
std::string decimal_like_token(std::mt19937_64& random) {
    const auto pick = [&random](const char* from) { return from[random() % std::strlen(from)]; };
    std::string token;
    if (random() % 3 == 0) token += pick("+-");
    if (random() % 8 == 0) {
        // Within six binary64 steps of a binary32 midpoint, from 2^-12 to
        // 2^68, as %.Ne writes it: where a binary64 product is no longer
        // sure to round as the number does.
        const auto below = std::bit_cast<float>(
            static_cast<std::uint32_t>(0x39800000 + random() % (0x61800000 - 0x39800000)));
        const double midpoint = (double{below} + double{std::nextafter(below, 2 * below)}) / 2;
        const auto near =
            std::bit_cast<double>(std::bit_cast<std::uint64_t>(midpoint) + random() % 13 - 6);
        char text[40];
        std::snprintf(text, sizeof text, "%.*e",
                      random() % 4 == 0 ? static_cast<int>(random() % 18) : 18, near);
        token += text;
    } else if (random() % 3 == 0) {
        token += pick("0123456789");
        token += '.';
        for (auto i = random() % 21; i > 0; --i) token += pick("0123456789");
        token += pick("eE");
        if (random() % 6 != 0) token += pick("+-");
        for (auto i = random() % 6 == 0 ? random() % 4 : 2; i > 0; --i) token += pick("0123456789");
    } else {
        const auto digit_count = random() % 4 == 0 ? random() % 23 : random() % 10;
        for (std::uint64_t i = 0; i < digit_count; ++i)
            token += i == 0 && random() % 4 == 0 ? '0' : pick("0123456789");
        if (random() % 4 != 0) token.insert(random() % (token.size() + 1), 1, '.');
        if (random() % 2 == 0) {
            token += pick("eE");
            if (random() % 2 == 0) token += pick("+-");
            for (std::uint64_t i = random() % 7; i > 0; --i) token += pick("0123456789");
        }
    }
    if (random() % 12 == 0)
        for (auto i = 20 + random() % 20; i > 0; --i) token += pick("0123456789");
    if (random() % 8 == 0) {
        // With the neighbours of digits, signs and the letter e.
        const char odd[] = {'.',    '+',    '-',    'e', 'E', 'd', 'x', ',', '\0',
                            '\x80', '\xb5', '\xe5', '0', ' ', ':', '/', ')'};
        const auto place = random() % (token.size() + 1);
        const char byte = odd[random() % sizeof odd];
        if (random() % 2 == 0 || place == token.size())
            token.insert(place, 1, byte);
        else
            token[place] = byte;
    }
    return token;
}

TEST(KernelDecimal, Avx2TakesWhatTheWordAtATimeConversionTakes) {
    if (!avx2_supported()) GTEST_SKIP() << "no AVX2 here";
    std::mt19937_64 random(0xdec1a1);
    // 32 bytes before the token may be read; spaces, as before a buffer.
    alignas(64) unsigned char bytes[32 + 48 + 64];
    unsigned char* const start = bytes + 32;
    long taken = 0;
    for (int n = 0; n < 400000 && !HasFailure(); ++n) {
        std::memset(bytes, ' ', sizeof bytes);
        for (unsigned char* c = start + 48; c < bytes + sizeof bytes; ++c)
            *c = static_cast<unsigned char>(random());
        const std::string token = decimal_like_token(random);
        // At the start, or after random bytes and one white space.
        const std::size_t offset = random() % 2 == 0 ? 0 : random() % 14;
        for (std::size_t i = 0; i + 1 < offset; ++i)
            start[i] = static_cast<unsigned char>(random());
        std::memcpy(start + offset, token.data(), token.size());
        start[offset + token.size()] = static_cast<unsigned char>(" \n\t\r\0x."[random() % 7]);
        const unsigned char* const c = start + offset;
        float expected = 0;
        float value = 0;
        const unsigned char* const after_word = fast_decimal::take_decimal(c, expected);
        const auto [after, refused] = take_with_avx2(c, value);
        // Every token is taken or refused by both.
        ASSERT_TRUE(after != nullptr || refused) << n << " \"" << token << "\"";
        if (refused) {
            ASSERT_EQ(after_word, nullptr) << n << " \"" << token << "\"";
        }
        if (after != nullptr) {
            ASSERT_EQ(after, after_word) << n << " \"" << token << "\"";
            ASSERT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(expected))
                << n << " \"" << token << "\"";
            ++taken;
        }
    }
    EXPECT_GT(taken, 100000);
}
#endif

}  // namespace
