// Record lists for the benchmarks, generated from a fixed seed: the same
// arguments give the same bytes on every machine, so figures taken at
// different times compare.
#pragma once

#include <cstdint>
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
