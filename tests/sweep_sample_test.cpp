// A 1-in-4096 sample of the exhaustive sweep (make sweep checks all 2^32
// patterns): each sampled binary32 pattern, written shortest, with 71 digits
// and in hexadecimal, must scan to strtof's bits and take the whole text.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "../tools/sweep_check.hpp"

namespace {

constexpr std::uint64_t all_patterns = std::uint64_t{1} << 32;

TEST(SweepSample, EverySpellingOfOneIn4096PatternsAgreesWithStrtof) {
    auto stream = std::make_unique<input_stream>();
    sweep_scanner scanner;
    open_sweep_scanner(scanner, *stream);
    const bool spellings[sweep_spelling_count] = {true, true, true};
    constexpr std::uint64_t step = 4096;
    const std::uint64_t blocks = block_count(0, all_patterns, step);
    sweep_counts counts{};
    sweep_mismatch mismatches[10];
    std::size_t kept = 0;
    check_blocks(scanner, 0, all_patterns, step, 0, blocks, spellings, counts, mismatches, 10,
                 kept);

    for (std::size_t m = 0; m < kept; ++m) {
        char line[512];
        describe_mismatch(mismatches[m], line, sizeof line);
        ADD_FAILURE() << line;
    }
    EXPECT_EQ(counts.mismatches, 0u);
    for (int s = 0; s < sweep_spelling_count; ++s) EXPECT_EQ(counts.checked[s], blocks);
    // The hexadecimal spelling of a binary32 value has at most 24 significant
    // bits, below where strtof's known fault begins.
    EXPECT_EQ(counts.platform_hex_faults, 0u);
}

// The bit patterns where spellings and conversions change character.
constexpr std::uint32_t landmark_patterns[] = {
    0x00000000, 0x80000000, 0x00000001, 0x80000001, 0x00000002, 0x007fffff, 0x00800000,
    0x00800001, 0x00400000, 0x00400001, 0x3f800000, 0x3f800001, 0x3f7fffff, 0x4b7fffff,
    0x4b800000, 0x4b800001, 0x7f7fffff, 0xff7fffff, 0x7f800000, 0xff800000, 0x7f800001,
    0x7fc00000, 0xffc00000, 0x7fffffff, 0xffffffff, 0x3dcccccd, 0x42b6570a,
};

TEST(SweepSample, LandmarkPatternsAgreeInEverySpelling) {
    auto stream = std::make_unique<input_stream>();
    sweep_scanner scanner;
    open_sweep_scanner(scanner, *stream);
    sweep_counts counts{};
    for (const std::uint32_t pattern : landmark_patterns) {
        for (const sweep_spelling spelling : sweep_spellings) {
            sweep_mismatch mismatch{};
            if (!check_spelling(scanner, pattern, spelling, counts, &mismatch)) {
                char line[512];
                describe_mismatch(mismatch, line, sizeof line);
                ADD_FAILURE() << line;
            }
        }
    }
}

// The sweep writes its texts with std::to_chars for speed; they must be the
// very texts printf's "%.70e" and "%a" give.
TEST(SweepSpellings, ToCharsWritesWhatPrintfWrites) {
    std::uint64_t compared = 0;
    const auto compare = [&](std::uint32_t pattern) {
        for (const sweep_spelling spelling :
             {sweep_spelling::exact_digits, sweep_spelling::hexadecimal}) {
            char fast[spelling_capacity];
            char reference[spelling_capacity];
            const std::size_t fast_length = spell(pattern, spelling, fast);
            const std::size_t reference_length = spell_with_printf(pattern, spelling, reference);
            ASSERT_EQ(std::string(fast, fast_length), std::string(reference, reference_length))
                << "pattern 0x" << std::hex << pattern << ", " << spelling_name(spelling);
            ++compared;
        }
    };
    for (const std::uint32_t pattern : landmark_patterns) compare(pattern);
    for (std::uint64_t pattern = 12345; pattern < all_patterns; pattern += 65537)
        compare(static_cast<std::uint32_t>(pattern));
    EXPECT_GT(compared, 130'000u);
}

// The shortest spelling must read back to the pattern itself (strtof and
// our scanner agreeing on a wrong value would pass the sweep).
TEST(SweepSpellings, ShortestSpellingReadsBackToItsPattern) {
    for (std::uint64_t pattern = 777; pattern < all_patterns; pattern += 40009) {
        char text[spelling_capacity];
        spell(static_cast<std::uint32_t>(pattern), sweep_spelling::shortest, text);
        const auto back = std::bit_cast<std::uint32_t>(std::strtof(text, nullptr));
        if (is_nan_bits(static_cast<std::uint32_t>(pattern))) {
            EXPECT_TRUE(is_nan_bits(back)) << text;
        } else {
            ASSERT_EQ(back, pattern) << text;
        }
    }
}

struct mantissa_case {
    const char* token;
    int bits;
};

TEST(PlatformCheck, CountsTheSignificantBitsOfAHexadecimalMantissa) {
    const mantissa_case cases[] = {
        {"0x1p0", 1},
        {"0x1.8p1", 2},
        {"-0X.0010p3", 1},
        {"+0x0.000001", 1},
        {"0x10.0", 1},
        {"0x3", 2},
        {"0xf", 4},
        {"0x1.000003p-127", 25},
        {"0x1.000001p-150", 25},
        {"0x0p0", 0},
        {"0x", 0},
        {"0x.p1", 0},
        {"0xffffffffffffffff", 64},
        {"0x1ffffffffffffffff", 65},
        {"0x8000000000000001p-200", 64},
        {"0x1.fffffep+127", 24},
        {"1.5", -1},
        {"-1e-40", -1},
        {"nan", -1},
        {"0", -1},
    };
    for (const mantissa_case& c : cases) {
        const std::string token = c.token;
        EXPECT_EQ(
            hex_mantissa_bits(reinterpret_cast<const unsigned char*>(token.data()), token.size()),
            c.bits)
            << token;
    }
}

struct agreement_case {
    const char* token;
    std::uint32_t ours;
    std::uint32_t platform;  // 0xffffffff: whatever this platform's strtof gives
    float_agreement expected;
};

constexpr std::uint32_t from_strtof = 0xffffffffu;

TEST(PlatformCheck, OverrulesStrtofOnlyWhereItsKnownFaultApplies) {
    const agreement_case cases[] = {
        // The two faults themselves: ours is the nearest value.
        {"0x1.000003p-127", 0x00400001, 0x00400000, float_agreement::platform_hex_fault},
        {"0x1.000001p-150", 0x00000001, 0x00000000, float_agreement::platform_hex_fault},
        {"-0x1.000001p-150", 0x80000001, 0x80000000, float_agreement::platform_hex_fault},
        // Ours differs from the platform but is not the nearest value either.
        {"0x1.000003p-127", 0x00400002, 0x00400000, float_agreement::different},
        {"0x1.000001p-150", 0x00000000, 0x00000001, float_agreement::different},
        // The platform's value is normal: no exception.
        {"0x1.000003p-120", 0x03800002, 0x03800001, float_agreement::different},
        // Decimal text: no exception.
        {"1e-40", 0x000116c3, 0x000116c2, float_agreement::different},
        // Beyond 64 significant bits the exact value is not at hand.
        {"0x1.0000000000000000001p-140", 0x00000800, 0x00000000, float_agreement::different},
        // NaNs with different bits agree only where asked (see below).
        {"nan", 0x7fc00000, 0x7fc00000, float_agreement::same},
    };
    for (const agreement_case& c : cases) {
        const std::string token = c.token;
        const std::uint32_t platform =
            c.platform == from_strtof ? std::bit_cast<std::uint32_t>(std::strtof(c.token, nullptr))
                                      : c.platform;
        EXPECT_EQ(compare_with_platform(reinterpret_cast<const unsigned char*>(token.data()),
                                        token.size(), c.ours, platform, false),
                  c.expected)
            << token;
    }
    const auto nan_token = reinterpret_cast<const unsigned char*>("nan");
    EXPECT_EQ(compare_with_platform(nan_token, 3, 0x7fc00000, 0x7fc00001, true),
              float_agreement::same);
    EXPECT_EQ(compare_with_platform(nan_token, 3, 0x7fc00000, 0x7fc00001, false),
              float_agreement::different);
}

// The exact value used to overrule strtof is really the nearest one: on the
// known faulty inputs it must differ from strtof's own result, or the
// exception would never have been needed.
TEST(PlatformCheck, StrtofStillHasTheKnownFault) {
    const auto faulty = std::bit_cast<std::uint32_t>(std::strtof("0x1.000003p-127", nullptr));
    const auto exact =
        std::bit_cast<std::uint32_t>(static_cast<float>(std::strtold("0x1.000003p-127", nullptr)));
    EXPECT_EQ(exact, 0x00400001u);
    if (faulty == exact) GTEST_SKIP() << "this platform's strtof rounds 0x1.000003p-127 correctly";
    EXPECT_EQ(faulty, 0x00400000u);
}

}  // namespace
