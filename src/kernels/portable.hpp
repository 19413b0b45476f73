// The portable kernel, which every processor runs: a window classified a
// word of eight bytes at a time (text_words: the first byte lowest on
// either byte order), with masks exact for every byte. It converts no
// record whole: every byte is marked a sign, and records go token by token.
#pragma once

#include <cstdint>

#include "../fast_decimal.hpp"
#include "../verdict.hpp"
#include "kernel.hpp"

struct portable_kernel {
    // The high bits of eight bytes gathered, byte i's into bit i.
    static std::uint64_t gathered(std::uint64_t high_bits) {
        return (high_bits * 0x02040810204081u) >> 56;
    }

    static window_masks classify(const unsigned char* c) {
        using namespace text_words;
        window_masks masks{0, 0, ~std::uint64_t{0}};
        for (int k = 0; k < 8; ++k) {
            const std::uint64_t word = load_word(c + 8 * k);
            masks.white_space |= gathered(white_space_bytes(word)) << (8 * k);
            masks.line_feeds |= gathered(zero_bytes(word ^ every_byte('\n'))) << (8 * k);
        }
        return masks;
    }

    static unsigned certain_verdicts(const record_table& table, std::int32_t first, unsigned& yes) {
        return certain_verdicts_one_at_a_time(table, first, yes);
    }
};
