// The check behind the exhaustive sweep of binary32 bit patterns, shared by
// tools/sweep.cpp (all 2^32 patterns) and the suite's 1-in-4096 sample: each
// pattern is written three ways, and every text must be scanned by our
// scanner to the platform strtof's bits, taking exactly the whole text.
#pragma once

#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform_check.hpp"
#include "scanner.hpp"

enum class sweep_spelling {
    shortest,      // the shortest decimal that reads back to the same value
    exact_digits,  // "%.70e": 71 significant digits
    hexadecimal,   // "%a"
};

inline constexpr int sweep_spelling_count = 3;
inline constexpr sweep_spelling sweep_spellings[sweep_spelling_count] = {
    sweep_spelling::shortest, sweep_spelling::exact_digits, sweep_spelling::hexadecimal};

inline const char* spelling_name(sweep_spelling spelling) {
    switch (spelling) {
    case sweep_spelling::shortest:
        return "shortest";
    case sweep_spelling::exact_digits:
        return "%.70e";
    case sweep_spelling::hexadecimal:
        return "%a";
    }
    return "?";
}

// The longest text is "-1.<70 digits>e-45".
inline constexpr std::size_t spelling_capacity = 96;

// Writes the pattern's value in the given spelling; returns its length.
// std::to_chars gives the same text as printf's "%.70e" and "%a" (the suite
// checks that on a sample) several times faster.
inline std::size_t spell(std::uint32_t pattern, sweep_spelling spelling, char* text) {
    const float value = std::bit_cast<float>(pattern);
    char* const end = text + spelling_capacity - 1;
    char* last = text;
    switch (spelling) {
    case sweep_spelling::shortest:
        last = std::to_chars(text, end, value).ptr;
        break;
    case sweep_spelling::exact_digits:
        last = std::to_chars(text, end, value, std::chars_format::scientific, 70).ptr;
        break;
    case sweep_spelling::hexadecimal: {
        // "%a" widens to double and writes "0x" after the sign of a finite value.
        char* at = text;
        if (std::signbit(value)) *at++ = '-';
        const double magnitude = std::fabs(static_cast<double>(value));
        if (std::isfinite(magnitude)) {
            *at++ = '0';
            *at++ = 'x';
        }
        last = std::to_chars(at, end, magnitude, std::chars_format::hex).ptr;
        break;
    }
    }
    *last = '\0';
    return static_cast<std::size_t>(last - text);
}

// The same texts through printf, for the check that the two agree.
inline std::size_t spell_with_printf(std::uint32_t pattern, sweep_spelling spelling, char* text) {
    const double value = std::bit_cast<float>(pattern);
    int length = 0;
    if (spelling == sweep_spelling::exact_digits)
        length = std::snprintf(text, spelling_capacity, "%.70e", value);
    else if (spelling == sweep_spelling::hexadecimal)
        length = std::snprintf(text, spelling_capacity, "%a", value);
    else
        return spell(pattern, spelling, text);
    return static_cast<std::size_t>(length);
}

struct sweep_mismatch {
    std::uint32_t pattern;
    sweep_spelling spelling;
    char text[spelling_capacity];
    bool ours_scanned;  // our scanner gave a value
    std::uint32_t ours;
    std::uint32_t platform;
    long ours_consumed;
    long platform_consumed;
};

struct sweep_counts {
    std::uint64_t checked[sweep_spelling_count];
    std::uint64_t mismatches;
    std::uint64_t platform_hex_faults;  // the known strtof fault, overruled
};

inline void add_counts(sweep_counts& total, const sweep_counts& part) {
    for (int s = 0; s < sweep_spelling_count; ++s) total.checked[s] += part.checked[s];
    total.mismatches += part.mismatches;
    total.platform_hex_faults += part.platform_hex_faults;
}

// Our side of the check: one stream kept open over all texts, each text
// (with a line feed after it) given by one fill, as a pipe may deliver it.
// Reopening the stream per text would cost more than the scan itself.
struct sweep_scanner {
    input_stream* stream;  // about 64 KiB: not on the stack
    const char* text;      // the text the next fill gives, with its line feed
    std::size_t length;
    bool text_given;
    std::int64_t bytes_given;  // by all fills so far
};

inline long fill_with_sweep_text(void* context, unsigned char* into, unsigned long room) {
    auto& scanner = *static_cast<sweep_scanner*>(context);
    if (scanner.text_given || scanner.length > room) return 0;
    std::memcpy(into, scanner.text, scanner.length);
    scanner.text_given = true;
    scanner.bytes_given += static_cast<std::int64_t>(scanner.length);
    return static_cast<long>(scanner.length);
}

inline void open_sweep_scanner(sweep_scanner& scanner, input_stream& stream) {
    scanner = {&stream, nullptr, 0, true, 0};
    open_input(stream, {fill_with_sweep_text, &scanner});
}

// Scans one spelling of one pattern both ways. The text is followed by a
// line feed, so our scanner has to find the token's end by its look-ahead
// rather than by the end of input, and the line feed before it (left by the
// previous text) has to be skipped.
inline bool check_spelling(sweep_scanner& scanner, std::uint32_t pattern, sweep_spelling spelling,
                           sweep_counts& counts, sweep_mismatch* mismatch) {
    char text[spelling_capacity + 1];
    const std::size_t length = spell(pattern, spelling, text);
    text[length] = '\n';

    const std::int64_t given_before = scanner.bytes_given;
    scanner.text = text;
    scanner.length = length + 1;
    scanner.text_given = false;
    float ours_value = 0;
    const bool ours_scanned = scan_float(*scanner.stream, ours_value) == scan_result::value;
    const long ours_consumed = static_cast<long>(consumed_count(*scanner.stream) - given_before);
    // Out of step (the text was not taken as one token): start afresh.
    if (!scanner.text_given || ours_consumed != static_cast<long>(length))
        open_sweep_scanner(scanner, *scanner.stream);

    text[length] = '\0';
    char* platform_end = nullptr;
    const float platform_value = std::strtof(text, &platform_end);
    const long platform_consumed = platform_end - text;

    const auto ours = std::bit_cast<std::uint32_t>(ours_value);
    const auto platform = std::bit_cast<std::uint32_t>(platform_value);
    ++counts.checked[static_cast<int>(spelling)];
    bool agrees = ours_scanned && ours_consumed == static_cast<long>(length) &&
                  platform_consumed == static_cast<long>(length);
    if (agrees) {
        const float_agreement agreement = compare_with_platform(
            reinterpret_cast<const unsigned char*>(text), length, ours, platform, true);
        if (agreement == float_agreement::platform_hex_fault) ++counts.platform_hex_faults;
        agrees = agreement != float_agreement::different;
    }
    if (agrees) return true;
    ++counts.mismatches;
    if (mismatch != nullptr) {
        mismatch->pattern = pattern;
        mismatch->spelling = spelling;
        std::memcpy(mismatch->text, text, length + 1);
        mismatch->ours_scanned = ours_scanned;
        mismatch->ours = ours;
        mismatch->platform = platform;
        mismatch->ours_consumed = ours_consumed;
        mismatch->platform_consumed = platform_consumed;
    }
    return false;
}

inline void describe_mismatch(const sweep_mismatch& m, char* line, std::size_t capacity) {
    std::snprintf(line, capacity,
                  "pattern 0x%08x, %s \"%s\": ours %s0x%08x after %ld characters, "
                  "strtof 0x%08x after %ld",
                  static_cast<unsigned>(m.pattern), spelling_name(m.spelling), m.text,
                  m.ours_scanned ? "" : "(no value) ", static_cast<unsigned>(m.ours),
                  m.ours_consumed, static_cast<unsigned>(m.platform), m.platform_consumed);
}

// Sampling: with a step of N, one pattern from each block of N consecutive
// patterns, at a position that varies from block to block (a fixed one would
// check only mantissas with the same low bits).
inline std::uint64_t sampled_pattern(std::uint64_t first, std::uint64_t step, std::uint64_t block) {
    if (step == 1) return first + block;
    std::uint64_t mixed = block * 0x9e3779b97f4a7c15ull;
    mixed ^= mixed >> 29;
    return first + block * step + mixed % step;
}

// Checks the patterns of blocks [first_block, last_block) of the range
// [first, end) with the given step; the first mismatches go to `mismatches`.
inline void check_blocks(sweep_scanner& scanner, std::uint64_t first, std::uint64_t end,
                         std::uint64_t step, std::uint64_t first_block, std::uint64_t last_block,
                         const bool (&spellings)[sweep_spelling_count], sweep_counts& counts,
                         sweep_mismatch* mismatches, std::size_t mismatch_capacity,
                         std::size_t& mismatches_kept) {
    for (std::uint64_t block = first_block; block < last_block; ++block) {
        const std::uint64_t pattern = sampled_pattern(first, step, block);
        if (pattern >= end) continue;
        for (int s = 0; s < sweep_spelling_count; ++s) {
            if (!spellings[s]) continue;
            sweep_mismatch* slot =
                mismatches_kept < mismatch_capacity ? &mismatches[mismatches_kept] : nullptr;
            if (!check_spelling(scanner, static_cast<std::uint32_t>(pattern), sweep_spellings[s],
                                counts, slot) &&
                slot != nullptr)
                ++mismatches_kept;
        }
    }
}

inline std::uint64_t block_count(std::uint64_t first, std::uint64_t end, std::uint64_t step) {
    return end <= first ? 0 : (end - first + step - 1) / step;
}
