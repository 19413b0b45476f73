// The processor kernels of this build, listed once in priority order with
// the instruction sets each needs, and the one choice between them, made
// once per run for the reader and the answers alike.
#pragma once

#include <cstdint>
#include <span>

#include "../records.hpp"
#include "kernel.hpp"

struct kernel_entry {
    processor_kernel kernel;
    const char* name;
    const char* needs;  // the instruction sets, beyond the build's own
    bool (*supported)();
    window_masks (*classify)(const unsigned char* window);
    // The reader's first stage (take_window_records) and the answers
    // (answer_four_at_a_time) with this kernel.
    std::int32_t (*take_records)(record_table& table, std::int32_t row, input_stream& input);
    unsigned long (*answer_records)(const record_table& table, unsigned char* answers);
};

// The kernels of this build, best first; the last is the portable one.
std::span<const kernel_entry> build_kernels();

// The kernel's entry where this build has it and this processor runs it,
// else null.
const kernel_entry* supported_kernel(processor_kernel kernel);

// The first kernel in priority order that this processor runs.
const kernel_entry& chosen_kernel();
