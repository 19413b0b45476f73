// The answer lines, "YES" or "NO", written into a buffer one row at a time.
#pragma once

#include <cstdint>
#include <cstring>

#include "records.hpp"
#include "verdict.hpp"

// The two answers, NO and YES, each as four bytes (the fourth byte of "NO\n"
// is overwritten by the next answer), and their lengths.
inline constexpr char answer_texts[2][5] = {"NO\n\n", "YES\n"};
inline constexpr unsigned long answer_lengths[2] = {3, 4};

inline unsigned long append_answer(unsigned char* at, bool yes) {
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): answers are bytes, not a string.
    std::memcpy(at, yes ? answer_texts[1] : answer_texts[0], 4);
    return yes ? answer_lengths[1] : answer_lengths[0];
}

// Answers rows `row` to `stop` - 1 from `length` on; returns the new length.
inline unsigned long answer_one_at_a_time(const record_table& table, unsigned char* answers,
                                          std::int32_t row, unsigned long length,
                                          std::int32_t stop) {
    for (; row < stop; ++row) length += append_answer(answers + length, record_verdict(table, row));
    return length;
}
