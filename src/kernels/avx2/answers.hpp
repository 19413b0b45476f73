// The AVX2 answer kernel: four rows at a time in binary64 where their answers
// are certain, the rule itself for the others.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "../../records.hpp"
#include "../../verdict.hpp"

#if defined(SCREENING_AVX2)
#include <immintrin.h>

// Four rows at once in binary64, for the rows whose answer is certain: the
// total and the threshold in binary64 differ by more than the rounding of
// both computations (in binary64 here, in the extended format for the
// verdict) can explain. That is at most 3.1 (2^-53 + 2^-64) times
// |total| + |base| + |increase|; the bound used, 2^-50 times that sum, is
// more than twice as large, and covers the rounding of the test itself. The
// float inputs, their products and quotients never overflow or underflow in
// binary64, so the bound is infinite or a NaN exactly for a row with an
// infinity or a NaN, which binary64 answers as the verdict does (verdict.hpp).
// Returns the rows decided (bits 0-3, row `first` in bit 0) and sets `yes`
// to those among them answered YES; record_verdict answers the others.
[[gnu::target("avx2")]] inline unsigned certain_verdicts(const record_table& table,
                                                         std::int32_t first, unsigned& yes) {
    const __m256d base = _mm256_cvtps_pd(_mm_loadu_ps(&table.base_amount[first]));
    const __m256d monthly = _mm256_cvtps_pd(_mm_loadu_ps(&table.monthly_amount[first]));
    const __m256d percent = _mm256_cvtps_pd(_mm_loadu_ps(&table.percent[first]));
    __m128i years;
    std::memcpy(&years, &table.years[first], sizeof years);
    const __m256d months = _mm256_mul_pd(_mm256_cvtepi32_pd(years), _mm256_set1_pd(12.0));
    const __m256d total = _mm256_mul_pd(monthly, months);
    const __m256d increase = _mm256_mul_pd(base, _mm256_div_pd(percent, _mm256_set1_pd(100.0)));
    const __m256d threshold = _mm256_add_pd(base, increase);
    const __m256d difference = _mm256_sub_pd(total, threshold);
    const __m256d magnitude = _mm256_set1_pd(-0.0);
    const __m256d bound = _mm256_mul_pd(
        _mm256_add_pd(
            _mm256_add_pd(_mm256_andnot_pd(magnitude, total), _mm256_andnot_pd(magnitude, base)),
            _mm256_andnot_pd(magnitude, increase)),
        _mm256_set1_pd(0x1p-50));
    const auto special = static_cast<unsigned>(
        _mm256_movemask_pd(_mm256_cmp_pd(bound, _mm256_set1_pd(__builtin_inf()), _CMP_NLT_UQ)));
    const auto above =
        static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(difference, bound, _CMP_GT_OQ)));
    const auto below = static_cast<unsigned>(
        _mm256_movemask_pd(_mm256_cmp_pd(_mm256_xor_pd(difference, magnitude), bound, _CMP_GT_OQ)));
    yes = above;
    if (special != 0)
        yes |= special & static_cast<unsigned>(
                             _mm256_movemask_pd(_mm256_cmp_pd(total, threshold, _CMP_GT_OQ)));
    return above | below | special;
}

// The answers of four rows by their YES bits (row k in bit k): at most 16
// bytes, stored as 16 either way.
struct four_answers {
    unsigned char text[16];
    unsigned long length;
};

inline constexpr std::array<four_answers, 16> four_answer_texts = [] {
    std::array<four_answers, 16> texts{};
    for (unsigned yes = 0; yes < 16; ++yes) {
        four_answers& answers = texts[yes];
        for (unsigned k = 0; k < 4; ++k) {
            const unsigned answer = yes >> k & 1U;
            for (unsigned long c = 0; c < answer_lengths[answer]; ++c)
                answers.text[answers.length++] =
                    static_cast<unsigned char>(answer_texts[answer][c]);
        }
    }
    return texts;
}();

// Four rows at a time where their answers are certain in binary64 (nearly
// always), and each row by the rule itself otherwise.
[[gnu::target("avx2"), gnu::always_inline]] inline unsigned long answer_four_at_a_time(
    const record_table& table, unsigned char* answers) {
    unsigned long length = 0;
    std::int32_t row = 0;
    for (; row + 4 <= table.record_count - 1; row += 4) {
        unsigned yes = 0;
        if (certain_verdicts(table, row, yes) == 0xf) {
            const four_answers& texts = four_answer_texts[yes];
            std::memcpy(answers + length, texts.text, sizeof texts.text);
            length += texts.length;
        } else {
            length = answer_one_at_a_time(table, answers, row, length, row + 4);
        }
    }
    return answer_one_at_a_time(table, answers, row, length, table.record_count - 1);
}

#endif
