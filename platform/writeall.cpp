#include "platform/writeall.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

bool writeAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t done = ::write(fd, data, size_t(left));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        data += done;
        left -= done;
    }
    return true;
}

} // namespace platform
