// screening_reference: the same run as screening, with the platform's
// formatted input in place of our scanner: one scanf("%f %f %d %f") per
// record and one puts per answer. It is the yardstick for the benchmarks
// and, for inputs whose year counts fit 32 bits, an oracle for the answers.
//
// The list ends at the first record with a zero value, or at the first
// record that scanf cannot fill completely (end of input, text that is not a
// number); either way only the records before it are answered. Like the
// program, it answers at most 9,999 records.
#include <cstdio>

#include "records.hpp"
#include "verdict.hpp"

namespace {

record_table table;

}  // namespace

int main() {
    table.record_count = 0;
    while (table.record_count < max_records) {
        const std::int32_t row = table.record_count;
        const int assigned =
            std::scanf("%f %f %d %f", &table.base_amount[row], &table.monthly_amount[row],
                       &table.years[row], &table.percent[row]);
        table.record_count = row + 1;
        if (assigned != 4) break;
        if (table.base_amount[row] == 0 || table.monthly_amount[row] == 0 ||
            table.years[row] == 0 || table.percent[row] == 0)
            break;
    }
    for (std::int32_t row = 0; row < table.record_count - 1; ++row)
        std::puts(record_verdict(table, row) ? "YES" : "NO");
    return 0;
}
