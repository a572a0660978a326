// Writing every byte to a descriptor: write() may take fewer than it was given, or be
// interrupted by a signal before it took any.
#pragma once

#include <QByteArrayView>

namespace platform {

// False, with errno set, when the descriptor took no more.
bool writeAll(int fd, QByteArrayView bytes);

} // namespace platform
