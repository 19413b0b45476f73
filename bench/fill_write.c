/* The second floor for the wall-time comparison: what the read-only program
 * does, and the rest of what screening cannot avoid. It reads standard input
 * to its end, writes to every page of a table as large as the program's
 * record table, and writes one answer line per input line (at most as many
 * as the table holds records) in one write at the end. Static, like the
 * read-only program. */
#include <unistd.h>

enum { rows = 10000, columns = 4 };

/* Four columns of four-byte values, as the record table. */
static int table[columns][rows];
static char answers[4 * (rows - 1)];

int main(void) {
    static char buffer[64 * 1024];
    long lines = 0;
    ssize_t got;
    while ((got = read(STDIN_FILENO, buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < got; ++i) lines += buffer[i] == '\n';
    }
    if (lines > rows - 1) lines = rows - 1;

    /* Every row, so that every page is written whatever the input. */
    for (int column = 0; column < columns; ++column) {
        for (int row = 0; row < rows; ++row) table[column][row] = row + column;
    }

    /* The answers read the table, so that its stores are not dropped; they
     * alternate. */
    unsigned long length = 0;
    for (long row = 0; row < lines; ++row) {
        const int yes = table[1][row] & 1;
        const char* const answer = yes ? "YES\n" : "NO\n";
        for (int i = 0; answer[i] != '\0'; ++i) answers[length++] = answer[i];
    }
    /* One write, as screening does; a short write is not retried, the
     * output goes to /dev/null. */
    if (length > 0 && write(STDOUT_FILENO, answers, length) < 0) return 1;
    return 0;
}
