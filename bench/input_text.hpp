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

// One record in the layout's way; `record` is its index in the list.
inline void append_layout_record(std::string& text, text_random& random, record_layout layout,
                                 std::int32_t record) {
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
    append_layout_value(text, layout, random_between(random, base_low * scale, base_high * scale),
                        decimals, 12);
    text += separator;
    append_layout_value(text, layout,
                        random_between(random, monthly_low * scale, monthly_high * scale), decimals,
                        10);
    text += separator;
    const std::uint64_t years = random_between(random, 1, 30);
    char written[16];
    std::snprintf(written, sizeof written, layout == record_layout::aligned ? "%4llu" : "%llu",
                  static_cast<unsigned long long>(years));
    if (layout == record_layout::signs) text += record % 4 == 3 ? '-' : '+';
    text += written;
    text += separator;
    append_layout_value(text, layout, random_between(random, 1 * scale, 99 * scale), decimals, 7);
    text += line_end;
}

inline std::string layout_records(std::int32_t count, record_layout layout) {
    text_random random = seeded_random();
    std::string text;
    for (std::int32_t record = 0; record < count; ++record)
        append_layout_record(text, random, layout, record);
    text += closing_record;
    return text;
}

// Lists whose shape changes from record to record: each record is drawn in
// one of a mix's record shapes. Beside each mix the bench measures the list
// of each of its shapes alone, so that the mix can be held against the mean
// of its shapes' own costs, weighted by how many records each has.
using record_writer = void (*)(std::string& text, text_random& random, std::int32_t record);

// "-1343.29", "+3.5", "27": a sign or none, 1 to `most_whole` whole digits
// and 0 to 3 decimals.
inline void append_field(std::string& text, text_random& random, bool signs, int least_whole,
                         int most_whole) {
    const auto sign = signs ? random_below(random, 3) : 0;
    if (sign != 0) text += sign == 1 ? '+' : '-';
    const auto whole = static_cast<int>(random_between(
        random, static_cast<std::uint64_t>(least_whole), static_cast<std::uint64_t>(most_whole)));
    text += static_cast<char>('1' + random_below(random, 9));
    for (int digit = 1; digit < whole; ++digit)
        text += static_cast<char>('0' + random_below(random, 10));
    const auto decimals = random_below(random, 4);
    if (decimals > 0) text += '.';
    for (std::uint64_t digit = 0; digit < decimals; ++digit)
        text += static_cast<char>('0' + random_below(random, 10));
}

inline void append_separator(std::string& text, text_random& random) {
    static constexpr const char* separators[] = {" ", " ", "\t", "  ", "\n", "\r\n", " \t "};
    text += separators[random_below(random, sizeof separators / sizeof separators[0])];
}

// Every value its own width (1 to 8 whole digits), decimals and separator:
// unsigned and at most 8 characters; with signs; 9 to 12 characters.
inline void append_fields(std::string& text, text_random& random, bool signs, int least_whole,
                          int most_whole) {
    for (int value = 0; value < 4; ++value) {
        if (value == 2) {
            if (signs && random_below(random, 4) == 0) text += '-';
            text += std::to_string(random_between(random, 1, 40));
        } else {
            append_field(text, random, signs, least_whole, most_whole);
        }
        append_separator(text, random);
    }
}

inline void fields_short(std::string& text, text_random& random, std::int32_t /*record*/) {
    append_fields(text, random, false, 1, 4);
}
inline void fields_signed(std::string& text, text_random& random, std::int32_t /*record*/) {
    append_fields(text, random, true, 1, 8);
}
inline void fields_wide(std::string& text, text_random& random, std::int32_t /*record*/) {
    append_fields(text, random, false, 8, 8);
}

// The benchmark's records; one amount negative; a base amount of 1,000,000
// and more; the amounts as %e writes them.
inline void plain_record(std::string& text, text_random& random, std::int32_t record) {
    append_layout_record(text, random, record_layout::single_spaces, record);
}
inline void negative_record(std::string& text, text_random& random, std::int32_t record) {
    text += '-';
    append_layout_record(text, random, record_layout::single_spaces, record);
}
inline void million_record(std::string& text, text_random& random, std::int32_t /*record*/) {
    append_amount(text, random, 1000000, 9999999);
    text += ' ';
    append_amount(text, random, 1000, 9999);
    text += ' ';
    append_years(text, random);
    text += ' ';
    append_amount(text, random, 1, 99);
    text += '\n';
}

template <record_layout layout>
void layout_record(std::string& text, text_random& random, std::int32_t record) {
    append_layout_record(text, random, layout, record);
}

struct mix_shape {
    const char* name;
    record_writer write;
    unsigned weight;  // of the shape's records in the mix, out of the sum
};

struct record_mix {
    const char* name;
    const char* description;
    bool in_turn;  // the shapes take turns; otherwise each record is drawn by weight
    mix_shape shapes[12];
    int shape_count;
};

inline constexpr record_mix record_mixes[] = {
    {"mix-signed-large",
     "signed records and amounts of 100,000 and more in turn",
     true,
     {{"signs", layout_record<record_layout::signs>, 1},
      {"large-amounts", layout_record<record_layout::large_amounts>, 1}},
     2},
    {"mix-fields",
     "every record its own signs, widths (1 to 8 whole digits), decimals and separators",
     false,
     {{"fields-short", fields_short, 1},
      {"fields-signed", fields_signed, 1},
      {"fields-wide", fields_wide, 1}},
     3},
    {"mix-occasional",
     "the benchmark's records, one in ten negative, one in ten of 1,000,000 and more",
     false,
     {{"plain", plain_record, 8}, {"negative", negative_record, 1}, {"million", million_record, 1}},
     3},
    {"mix-exponents",
     "the benchmark's records, one in ten in %e",
     false,
     {{"plain", plain_record, 9},
      {"exponent-short", layout_record<record_layout::exponent_short>, 1}},
     2},
    {"mix-layouts",
     "every record in one of the twelve layouts, drawn at random",
     false,
     {{"single-spaces", layout_record<record_layout::single_spaces>, 1},
      {"crlf", layout_record<record_layout::crlf>, 1},
      {"tabs", layout_record<record_layout::tabs>, 1},
      {"one-per-line", layout_record<record_layout::one_per_line>, 1},
      {"aligned", layout_record<record_layout::aligned>, 1},
      {"signs", layout_record<record_layout::signs>, 1},
      {"large-amounts", layout_record<record_layout::large_amounts>, 1},
      {"three-decimals", layout_record<record_layout::three_decimals>, 1},
      {"whole-numbers", layout_record<record_layout::whole_numbers>, 1},
      {"exponent-short", layout_record<record_layout::exponent_short>, 1},
      {"exponent-long", layout_record<record_layout::exponent_long>, 1},
      {"blank-lines", layout_record<record_layout::blank_lines>, 1}},
     12},
};

// The mix's list of `count` records, or with `only` >= 0 the list of that
// shape alone; `shape_records` counts the records of each shape.
inline std::string mixed_records(std::int32_t count, const record_mix& mix, int only,
                                 std::int32_t shape_records[12]) {
    text_random random = seeded_random();
    text_random choice{7};
    unsigned total_weight = 0;
    for (int shape = 0; shape < mix.shape_count; ++shape) total_weight += mix.shapes[shape].weight;
    std::string text;
    for (std::int32_t record = 0; record < count; ++record) {
        int shape = only;
        if (shape < 0 && mix.in_turn) shape = record % mix.shape_count;
        if (shape < 0) {
            auto draw = static_cast<unsigned>(random_below(choice, total_weight));
            for (shape = 0; draw >= mix.shapes[shape].weight; ++shape)
                draw -= mix.shapes[shape].weight;
        }
        ++shape_records[shape];
        mix.shapes[shape].write(text, random, record);
    }
    text += closing_record;
    return text;
}
