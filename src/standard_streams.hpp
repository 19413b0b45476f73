// The program's contact with its standard streams: reading, writing, and
// what it does to the input's file and the table's pages.
#pragma once

#include "input_buffer.hpp"
#include "records.hpp"

// The input_source of standard input: read(2), waiting where the descriptor
// is non-blocking, retrying EINTR; -errno on failure.
long read_standard_input(void* context, unsigned char* into, unsigned long room);

// Writes all the bytes to the descriptor; returns 0, or the errno of the
// failure.
int write_all(int descriptor, const void* bytes, unsigned long length);

// A regular file of some size on standard input will fill much of the table.
// Its pages are then made ready in one call rather than by a fault each,
// which a virtual machine makes costly. Elsewhere, or where the system lacks
// the call, the pages come as they are touched. The table must be
// page-aligned.
void prepare_table_for_large_input(record_table& table);

// A regular file is left positioned just after the closing record, so that
// the next reader of the same file gets exactly the rest.
void give_back_unread_input(const input_stream& input);
