// Input sources over bytes in memory, for tests, fuzz targets and tools: the
// scanner sees the bytes in pieces of chosen sizes, as read(2) may give them.
#pragma once

#include <cstddef>
#include <cstring>

#include "scanner.hpp"

struct memory_input {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t position;
    // Sizes of the successive pieces, used in turn; an empty list gives as
    // much as the buffer takes.
    const std::size_t* piece_sizes;
    std::size_t piece_count;
    std::size_t pieces_given;
};

inline long fill_from_memory(void* context, unsigned char* into, unsigned long room) {
    auto& input = *static_cast<memory_input*>(context);
    std::size_t length = input.size - input.position;
    if (length > room) length = room;
    if (input.piece_count > 0) {
        std::size_t piece = input.piece_sizes[input.pieces_given++ % input.piece_count];
        if (piece == 0) piece = 1;
        if (length > piece) length = piece;
    }
    if (length > 0) std::memcpy(into, input.bytes + input.position, length);
    input.position += length;
    return static_cast<long>(length);
}

inline memory_input memory_bytes(const void* bytes, std::size_t size,
                                 const std::size_t* piece_sizes = nullptr,
                                 std::size_t piece_count = 0) {
    return {static_cast<const unsigned char*>(bytes), size, 0, piece_sizes, piece_count, 0};
}

inline void open_memory_input(input_stream& stream, memory_input& input) {
    open_input(stream, {fill_from_memory, &input});
}
