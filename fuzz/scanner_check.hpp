// The scanner check behind the `scanner` fuzz target and its corpus test:
// arbitrary bytes are scanned value by value, in the order of a record's
// values (float, float, int, float, again and again), by our scanner and by
// the platform's fscanf on the same bytes. Both must succeed or fail alike,
// consume the same characters (on failure too) and give the same bits.
//
// The first four bytes of the fuzz input are not text: each sets the size of
// one piece in which our scanner is fed (used in turn), so that tokens are
// split across fills everywhere.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "../tests/support/memory_input.hpp"
#include "../tools/platform_check.hpp"
#include "fuzz_text.hpp"
#include "scanner.hpp"

inline constexpr std::size_t scanner_header_size = 4;

struct scanner_check_counts {
    std::uint64_t values;               // compared values
    std::uint64_t platform_hex_faults;  // strtof's known fault, overruled
};

namespace scanner_check_detail {

inline const char* result_name(scan_result result) {
    switch (result) {
    case scan_result::value:
        return "a value";
    case scan_result::not_a_number:
        return "not a number";
    case scan_result::end_of_input:
        return "end of input";
    }
    return "?";
}

inline const char* fscanf_result_name(int result) {
    return result == 1 ? "a value" : result == 0 ? "not a number" : "end of input";
}

}  // namespace scanner_check_detail

// Returns an empty string when everything agreed, else what differed.
// `stream` is only working space (about 64 KiB, so not a local).
inline std::string check_scanner_input(input_stream& stream, const unsigned char* data,
                                       std::size_t size, scanner_check_counts& counts) {
    using namespace scanner_check_detail;
    std::size_t pieces[scanner_header_size];
    const std::size_t piece_count = size < scanner_header_size ? size : scanner_header_size;
    for (std::size_t i = 0; i < piece_count; ++i) pieces[i] = piece_size_from_byte(data[i]);
    const unsigned char* const text = data + piece_count;
    const std::size_t text_size = size - piece_count;

    memory_input source = memory_bytes(text, text_size, pieces, piece_count);
    open_memory_input(stream, source);
    // fmemopen reads exactly `text_size` bytes, NUL bytes included; it never
    // writes in "r" mode.
    static unsigned char no_text[1];
    FILE* platform =
        fmemopen(text_size > 0 ? const_cast<unsigned char*>(text) : no_text, text_size, "r");
    if (platform == nullptr) return "fmemopen failed";

    std::string problem;
    for (std::uint64_t index = 0;; ++index) {
        const bool is_int = index % 4 == 2;
        const long platform_before = ftell(platform);
        float ours_float = 0;
        std::int32_t ours_int = 0;
        const scan_result ours =
            is_int ? scan_int(stream, ours_int) : scan_float(stream, ours_float);
        const long ours_consumed = static_cast<long>(consumed_count(stream));
        float platform_float = 0;
        long platform_long = 0;
        const int platform_result = is_int ? std::fscanf(platform, "%ld", &platform_long)
                                           : std::fscanf(platform, "%f", &platform_float);
        const long platform_consumed = ftell(platform);

        // Where the token starts, after the white space both skip.
        long token_start = platform_before;
        while (token_start < platform_consumed && is_c_space(text[token_start])) ++token_start;
        const unsigned char* token = text + token_start;
        const auto token_length = static_cast<std::size_t>(platform_consumed - token_start);
        const auto where = [&] {
            return "value " + std::to_string(index + 1) + (is_int ? " (%d)" : " (%f)") +
                   " at byte " + std::to_string(platform_before) + " of " +
                   quoted(text, text_size) + ", token " + quoted(token, token_length) + ": ";
        };

        const int ours_as_fscanf = ours == scan_result::value          ? 1
                                   : ours == scan_result::not_a_number ? 0
                                                                       : EOF;
        if (ours_as_fscanf != platform_result) {
            problem = where() + "ours gives " + result_name(ours) + ", fscanf " +
                      fscanf_result_name(platform_result);
            break;
        }
        if (ours_consumed != platform_consumed) {
            problem = where() + "ours consumed up to byte " + std::to_string(ours_consumed) +
                      ", fscanf up to " + std::to_string(platform_consumed);
            break;
        }
        if (platform_result != 1) break;
        ++counts.values;
        if (is_int) {
            const long clamped = platform_long < INT32_MIN   ? INT32_MIN
                                 : platform_long > INT32_MAX ? INT32_MAX
                                                             : platform_long;
            if (ours_int != clamped) {
                problem = where() + "ours " + std::to_string(ours_int) + ", fscanf (clamped) " +
                          std::to_string(clamped);
                break;
            }
        } else {
            const auto ours_bits = std::bit_cast<std::uint32_t>(ours_float);
            const auto platform_bits = std::bit_cast<std::uint32_t>(platform_float);
            const float_agreement agreement =
                compare_with_platform(token, token_length, ours_bits, platform_bits, false);
            if (agreement == float_agreement::platform_hex_fault) ++counts.platform_hex_faults;
            if (agreement == float_agreement::different) {
                problem =
                    where() + "ours " + hex_bits(ours_bits) + ", fscanf " + hex_bits(platform_bits);
                break;
            }
        }
    }
    std::fclose(platform);
    return problem;
}
