// The kernels' classification of a window against the bytes themselves, and
// every kernel's reading of records whose tokens lie on the edges of the
// shapes that kernels convert whole, against the fscanf reader. Whole lists
// of other kinds go through every kernel in fuzz/corpus_test.cpp.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "../fuzz/run_check.hpp"
#include "kernels/kernel.hpp"

namespace {

window_masks byte_by_byte(const unsigned char* c) {
    window_masks masks{0, 0, 0};
    for (int i = 0; i < 64; ++i) {
        const bool white = c[i] == ' ' || (c[i] >= '\t' && c[i] <= '\r');
        masks.white_space |= std::uint64_t{white} << i;
        masks.line_feeds |= std::uint64_t{c[i] == '\n'} << i;
        masks.signs |= std::uint64_t{c[i] == '+' || c[i] == '-'} << i;
    }
    return masks;
}

TEST(KernelWindow, EveryKernelClassifiesAsTheBytesSay) {
    std::mt19937_64 random(0x64b17e5);
    alignas(64) unsigned char window[64 + 16] = {};
    for (int n = 0; n < 200000 && !HasFailure(); ++n) {
        for (unsigned char& byte : window) {
            const auto pick = random() % 16;
            byte = pick < 6    ? static_cast<unsigned char>("0123456789.+-e"[random() % 14])
                   : pick < 11 ? static_cast<unsigned char>(" \t\n\v\f\r"[random() % 6])
                               : static_cast<unsigned char>(random());
        }
        const window_masks expected = byte_by_byte(window);
        for (const kernel_entry& kernel : build_kernels()) {
            if (!kernel.supported() || kernel.classify == nullptr) continue;
            const window_masks masks = kernel.classify(window);
            EXPECT_EQ(masks.white_space, expected.white_space) << kernel.name << " " << n;
            EXPECT_EQ(masks.line_feeds, expected.line_feeds) << kernel.name << " " << n;
            EXPECT_EQ(masks.signs, expected.signs) << kernel.name << " " << n;
        }
    }
}

// A token near the edges of the shapes a kernel converts whole: up to 16
// characters of digits with a point anywhere (or two), a sign or none,
// binary32 midpoints and their neighbours written in full (ties among them),
// infinities and NaNs spelled in any case and a near miss, year counts
// around the 32-bit range, and now and then a byte replaced or put in by one
// of the neighbours of digits, signs and letters.
std::string edge_token(std::mt19937_64& random, bool years) {
    const auto pick = [&random](const char* from) { return from[random() % std::strlen(from)]; };
    std::string token;
    if (random() % 3 == 0) token += pick("+-");
    const std::size_t sign = token.size();
    const auto kind = random() % 8;
    if (kind == 0 && !years) {
        // A midpoint between binary32 neighbours from 2^10 to 2^26, exactly
        // or one unit of its last printed digit away.
        const auto below = std::bit_cast<float>(
            static_cast<std::uint32_t>(0x44800000 + random() % (0x4c800000 - 0x44800000)));
        const double midpoint = (double{below} + double{std::nextafter(below, 2 * below)}) / 2;
        char text[40];
        const int decimals = static_cast<int>(random() % 7);
        std::snprintf(
            text, sizeof text, "%.*f", decimals,
            midpoint + (static_cast<double>(random() % 3) - 1) * std::pow(10.0, -decimals));
        token += text;
    } else if (kind == 1 && !years) {
        static constexpr const char* spellings[] = {"inf", "infinity", "nan", "infinit"};
        for (const char* c = spellings[random() % 40 == 0 ? 3 : random() % 3]; *c != '\0'; ++c)
            token += static_cast<char>(random() % 2 == 0 ? *c : *c - 'a' + 'A');
    } else if (kind == 2 && years) {
        token += std::to_string(2147483600 + random() % 100);
    } else {
        // Never all zeros, which would close the list.
        const auto digits = 1 + random() % (random() % 2 == 0 ? 8 : 16);
        for (std::uint64_t i = 1; i < digits; ++i) token += pick("0123456789");
        token += pick("123456789");
        for (auto points = years ? 0 : random() % 100 == 0 ? 2 : random() % 2; points > 0; --points)
            token.insert(sign + random() % (token.size() - sign + 1), 1, '.');
    }
    if (random() % 400 == 0) {
        const char odd[] = {'.', '+', '-', 'e', 'E', 'x', ',', '/', ':', '\x80', '\xb0'};
        const auto place = random() % (token.size() + 1);
        const char byte = odd[random() % sizeof odd];
        if (random() % 2 == 0 || place == token.size())
            token.insert(place, 1, byte);
        else
            token[place] = byte;
    }
    return token;
}

TEST(KernelShapes, EveryKernelReadsEdgeTokensAsFscanfDoes) {
    std::mt19937_64 random(0x5ade5);
    struct workspace {
        input_stream stream;
        record_table table;
        record_table reference;
    };
    const auto work = std::make_unique<workspace>();
    run_check_counts counts{};
    for (int list = 0; list < 3000 && !HasFailure(); ++list) {
        std::string text;
        for (int record = 0; record < 40; ++record)
            for (int value = 0; value < 4; ++value) {
                text += edge_token(random, value == 2);
                text += " \t\n  "[random() % 5];
            }
        text += "0 0 0 0\n";
        const std::string problem = check_run_input(
            work->stream, work->table, work->reference,
            reinterpret_cast<const unsigned char*>(text.data()), text.size(), counts);
        ASSERT_EQ(problem, "") << list;
    }
    EXPECT_GT(counts.records, 40000u);
}

}  // namespace
