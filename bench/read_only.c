/* The floor for the wall-time comparison: a static program that does no
 * more than read standard input to its end, in pieces as large as the
 * scanner's buffer. */
#include <unistd.h>

int main(void) {
    static char buffer[64 * 1024];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
