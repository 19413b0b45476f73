// Helpers shared by the fuzz checks: the piece sizes our scanner is fed in,
// and readable quotes of arbitrary bytes for the failure messages.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "scanner.hpp"

// A byte of the fuzz input chosen to set one piece size: mostly tiny pieces,
// so that tokens are split across fills at every character, some of a few
// kilobytes, some as large as the buffer takes.
inline std::size_t piece_size_from_byte(unsigned char byte) {
    if (byte < 128) return byte % 8 + 1u;
    if (byte < 224) return (byte - 128u) * 61u + 9u;
    return input_buffer_size;
}

inline bool is_c_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The bytes as a C string literal would show them, cut short when long.
inline std::string quoted(const unsigned char* bytes, std::size_t size, std::size_t limit = 160) {
    std::string text = "\"";
    for (std::size_t i = 0; i < size && i < limit; ++i) {
        const unsigned char c = bytes[i];
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            text += escape;
        }
    }
    text += '"';
    if (size > limit) text += " (" + std::to_string(size) + " bytes)";
    return text;
}

inline std::string hex_bits(unsigned bits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", bits);
    return text;
}
