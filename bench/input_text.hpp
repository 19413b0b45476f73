// Record lists for the benchmarks, generated from a fixed seed: the same
// arguments give the same bytes on every machine, so figures taken at
// different times compare.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct text_random {
    std::uint64_t state;
};

// splitmix64: small, fast and fully determined by its seed, unlike the
// standard library's distributions, whose results differ between vendors.
inline std::uint64_t next_random(text_random& random) {
    std::uint64_t z = (random.state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

inline std::uint64_t random_below(text_random& random, std::uint64_t limit) {
    return next_random(random) % limit;
}

inline std::uint64_t random_between(text_random& random, std::uint64_t low, std::uint64_t high) {
    return low + random_below(random, high - low + 1);
}

inline text_random seeded_random() { return {20240611}; }

inline constexpr const char* closing_record = "0 0 0 0\n";

// "13437.29": a whole part in [low, high] and two decimals, never zero.
inline void append_amount(std::string& text, text_random& random, std::uint64_t low,
                          std::uint64_t high) {
    text += std::to_string(random_between(random, low, high));
    text += '.';
    const std::uint64_t cents = random_below(random, 100);
    text += static_cast<char>('0' + cents / 10);
    text += static_cast<char>('0' + cents % 10);
}

inline void append_years(std::string& text, text_random& random) {
    text += std::to_string(random_between(random, 1, 30));
}

// One record a line, like "13437.29 4237.32 5 12.76", about 25 bytes. The
// first n records are the same whatever the count, so shorter lists are
// prefixes of longer ones.
inline std::string typical_records(std::int32_t count, bool closed = true) {
    text_random random = seeded_random();
    std::string text;
    text.reserve(static_cast<std::size_t>(count) * 26 + 8);
    for (std::int32_t record = 0; record < count; ++record) {
        append_amount(text, random, 10000, 99999);
        text += ' ';
        append_amount(text, random, 1000, 9999);
        text += ' ';
        append_years(text, random);
        text += ' ';
        append_amount(text, random, 1, 99);
        text += '\n';
    }
    if (closed) text += closing_record;
    return text;
}

// Every amount written with `digits` significant digits, one to eight of
// them before the point.
inline std::string long_decimal_records(std::int32_t count, int digits, bool closed = true) {
    text_random random = seeded_random();
    std::string text;
    const auto append_long = [&] {
        const auto whole_digits = static_cast<int>(random_between(random, 1, 8));
        text += static_cast<char>('1' + random_below(random, 9));
        for (int place = 1; place < digits; ++place) {
            if (place == whole_digits) text += '.';
            text += static_cast<char>('0' + random_below(random, 10));
        }
    };
    for (std::int32_t record = 0; record < count; ++record) {
        append_long();
        text += ' ';
        append_long();
        text += ' ';
        append_years(text, random);
        text += ' ';
        append_long();
        text += '\n';
    }
    if (closed) text += closing_record;
    return text;
}

// Hexadecimal constants such as "-0X1.8aF3p+12", with 1 to 64 digits after
// the point in mixed case; the binary exponents keep every value normal.
inline std::string hex_records(std::int32_t count, bool closed = true) {
    static constexpr char hex_digits[] = "0123456789abcdef0123456789ABCDEF";
    text_random random = seeded_random();
    std::string text;
    const auto append_hex = [&] {
        if (random_below(random, 4) == 0) text += '-';
        text += random_below(random, 2) == 0 ? "0x" : "0X";
        text += hex_digits[random_between(random, 1, 15)];
        text += '.';
        const auto fraction_digits = random_between(random, 1, 64);
        for (std::uint64_t place = 0; place < fraction_digits; ++place)
            text += hex_digits[random_below(random, 32)];
        text += random_below(random, 2) == 0 ? 'p' : 'P';
        text += random_below(random, 2) == 0 ? '+' : '-';
        text += std::to_string(random_below(random, 100));
    };
    for (std::int32_t record = 0; record < count; ++record) {
        append_hex();
        text += ' ';
        append_hex();
        text += ' ';
        append_years(text, random);
        text += ' ';
        append_hex();
        text += '\n';
    }
    if (closed) text += closing_record;
    return text;
}

// Every amount an infinity or a NaN, in the spellings and cases the
// conversion accepts, with and without a sign.
inline std::string infinity_records(std::int32_t count, bool closed = true) {
    static constexpr const char* spellings[] = {
        "inf", "INF", "Inf", "infinity", "INFINITY", "Infinity", "iNfInItY", "nan", "NAN", "NaN",
    };
    static constexpr const char* signs[] = {"", "+", "-"};
    text_random random = seeded_random();
    std::string text;
    const auto append_spelling = [&] {
        text += signs[random_below(random, 3)];
        text += spellings[random_below(random, sizeof spellings / sizeof spellings[0])];
    };
    for (std::int32_t record = 0; record < count; ++record) {
        append_spelling();
        text += ' ';
        append_spelling();
        text += ' ';
        append_years(text, random);
        text += ' ';
        append_spelling();
        text += '\n';
    }
    if (closed) text += closing_record;
    return text;
}

// Typical values, each preceded by `run_length` characters of every kind of
// white space, line feeds included.
inline std::string white_space_records(std::int32_t count, int run_length, bool closed = true) {
    static constexpr char white_space[] = " \t\n\v\f\r";
    text_random random = seeded_random();
    std::string text;
    const auto append_run = [&] {
        for (int place = 0; place < run_length; ++place)
            text += white_space[random_below(random, sizeof white_space - 1)];
    };
    for (std::int32_t record = 0; record < count; ++record) {
        append_run();
        append_amount(text, random, 10000, 99999);
        append_run();
        append_amount(text, random, 1000, 9999);
        append_run();
        append_years(text, random);
        append_run();
        append_amount(text, random, 1, 99);
    }
    if (closed) {
        append_run();
        text += closing_record;
    }
    return text;
}

// The ways users' exports write the same typical records: the benchmark's
// own layout and the others that a fast path must not leave behind.
enum class record_layout {
    single_spaces,   // 13437.29 4237.32 5 12.76
    crlf,            // the same with CR LF line ends
    tabs,            // tab-separated
    one_per_line,    // every value on a line of its own
    aligned,         // %12.2f %10.2f %4d %7.2f
    signs,           // +13437.29 +4237.32 -5 +12.76
    large_amounts,   // amounts of 100,000.00 and more: 9 to 10 characters
    three_decimals,  // 13437.295
    whole_numbers,   // 13437 4237 5 12
    exponent_short,  // %e: 1.343729e+04
    exponent_long,   // %.18e of the nearest binary64: 19 significant digits
    blank_lines,     // an empty line between records, trailing spaces
};

struct layout_name {
    record_layout layout;
    const char* name;
    const char* description;
};

inline constexpr layout_name record_layouts[] = {
    {record_layout::single_spaces, "single-spaces", "`13437.29 4237.32 5 12.76` (the benchmark's)"},
    {record_layout::crlf, "crlf", "CR LF line ends"},
    {record_layout::tabs, "tabs", "tab-separated"},
    {record_layout::one_per_line, "one-per-line", "one value per line"},
    {record_layout::aligned, "aligned", "aligned columns (`%12.2f %10.2f %4d %7.2f`)"},
    {record_layout::signs, "signs", "signs (`+13437.29`, `-5` years)"},
    {record_layout::large_amounts, "large-amounts", "amounts of 100,000.00 and more"},
    {record_layout::three_decimals, "three-decimals", "three decimals (`13437.295`)"},
    {record_layout::whole_numbers, "whole-numbers", "whole numbers (`13437 4237 5 12`)"},
    {record_layout::exponent_short, "exponent-short", "`%e` exports (`1.343729e+04`)"},
    {record_layout::exponent_long, "exponent-long",
     "`%.18e` exports (19 significant digits, exponent)"},
    {record_layout::blank_lines, "blank-lines", "blank lines between records, trailing spaces"},
};

// One value in hundredths (or thousandths) written in the layout's way.
inline void append_layout_value(std::string& text, record_layout layout, std::uint64_t units,
                                int decimals, int width) {
    char written[64];
    const double value = static_cast<double>(units) / (decimals == 3 ? 1000.0 : 100.0);
    switch (layout) {
    case record_layout::exponent_short:
        std::snprintf(written, sizeof written, "%e", value);
        break;
    case record_layout::exponent_long:
        std::snprintf(written, sizeof written, "%.18e", value);
        break;
    case record_layout::whole_numbers:
        std::snprintf(written, sizeof written, "%llu",
                      static_cast<unsigned long long>(units / 100 == 0 ? 1 : units / 100));
        break;
    default:
        std::snprintf(written, sizeof written, "%*.*f",
                      layout == record_layout::aligned ? width : 0, decimals, value);
        break;
    }
    if (layout == record_layout::signs) text += '+';
    text += written;
}

inline std::string layout_records(std::int32_t count, record_layout layout) {
    text_random random = seeded_random();
    std::string text;
    const char* separator = layout == record_layout::tabs           ? "\t"
                            : layout == record_layout::one_per_line ? "\n"
                                                                    : " ";
    const char* line_end = layout == record_layout::crlf          ? "\r\n"
                           : layout == record_layout::blank_lines ? "  \n\n"
                                                                  : "\n";
    const int decimals = layout == record_layout::three_decimals ? 3 : 2;
    const std::uint64_t scale = decimals == 3 ? 1000 : 100;
    const std::uint64_t base_low = layout == record_layout::large_amounts ? 100000 : 10000;
    const std::uint64_t base_high = layout == record_layout::large_amounts ? 9999999 : 99999;
    const std::uint64_t monthly_low = layout == record_layout::large_amounts ? 10000 : 1000;
    const std::uint64_t monthly_high = layout == record_layout::large_amounts ? 99999 : 9999;
    for (std::int32_t record = 0; record < count; ++record) {
        append_layout_value(text, layout,
                            random_between(random, base_low * scale, base_high * scale), decimals,
                            12);
        text += separator;
        append_layout_value(text, layout,
                            random_between(random, monthly_low * scale, monthly_high * scale),
                            decimals, 10);
        text += separator;
        const std::uint64_t years = random_between(random, 1, 30);
        char written[16];
        std::snprintf(written, sizeof written, layout == record_layout::aligned ? "%4llu" : "%llu",
                      static_cast<unsigned long long>(years));
        if (layout == record_layout::signs) text += record % 4 == 3 ? '-' : '+';
        text += written;
        text += separator;
        append_layout_value(text, layout, random_between(random, 1 * scale, 99 * scale), decimals,
                            7);
        text += line_end;
    }
    text += closing_record;
    return text;
}
