#include "standard_streams.hpp"

#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

// A descriptor left in non-blocking mode by whoever gave it to us is waited
// on rather than taken for a failure.
namespace {

void wait_until_ready(int descriptor, short events) {
    pollfd ready{descriptor, events, 0};
    while (poll(&ready, 1, -1) < 0 && errno == EINTR) {
    }
}

}  // namespace

long read_standard_input(void* /*context*/, unsigned char* into, unsigned long room) {
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, into, room);
        if (got >= 0) return got;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            wait_until_ready(STDIN_FILENO, POLLIN);
        else if (errno != EINTR)
            return -errno;
    }
}

int write_all(int descriptor, const void* bytes, unsigned long length) {
    const auto* text = static_cast<const char*>(bytes);
    while (length > 0) {
        const ssize_t written = write(descriptor, text, length);
        if (written >= 0) {
            text += written;
            length -= static_cast<unsigned long>(written);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            wait_until_ready(descriptor, POLLOUT);
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

void prepare_table_for_large_input(record_table& table) {
#if defined(MADV_POPULATE_WRITE)
    constexpr long large_input = 64L * 1024;
    struct stat status {};
    if (fstat(STDIN_FILENO, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size < large_input)
        return;
    static_cast<void>(madvise(&table, sizeof table, MADV_POPULATE_WRITE));
#endif
}

void give_back_unread_input(const input_stream& input) {
    const long unread = unconsumed_count(input);
    if (unread > 0) static_cast<void>(lseek(STDIN_FILENO, -unread, SEEK_CUR));
}
