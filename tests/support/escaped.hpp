// Input text as it appears in a failure message: printable ASCII as is,
// line feeds as \n, every other byte as \xNN, and long texts cut short.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

inline std::string escaped(std::string_view text, std::size_t limit = 300) {
    std::string out;
    for (const unsigned char c : text.substr(0, limit)) {
        if (c == '\n') {
            out += "\\n";
        } else if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        }
    }
    if (text.size() > limit) out += "...(" + std::to_string(text.size()) + " bytes)";
    return out;
}
