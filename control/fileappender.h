// Appending bytes to a file, the one writer of message files.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <span>

namespace fileappender {

inline constexpr const char* kOpenError = "Error attempting to open file";
inline constexpr const char* kWriteError = "Error writing to file";
inline constexpr const char* kNotRegularError = "Not a regular file";
inline constexpr const char* kEmptyError = "Error attempting to empty the old file";

// Every open here is non-blocking (a FIFO or device cannot hang the caller), follows no symbolic
// link in the last component, accepts only regular files, and creates files 0600: a saved
// message is the user's mail.

// Appends `bytes` to the file at `path` (bytes of a local file name), creating it when absent.
// Opens and closes the file on every call; nothing stays open in between. Returns "" on success,
// else kOpenError or kWriteError. Never throws.
QByteArray appendToFile(const QByteArray& path, QByteArrayView bytes);

// The same for several pieces, appended in order by one open, one gathered write and one close.
QByteArray appendToFile(const QByteArray& path, std::span<const QByteArrayView> pieces);

// Makes room for a new file at `path`: checks that it can be created there, then empties any old
// file that has no other name and belongs to this user (and makes it owner-only), removes any
// other, or empties it when it cannot be removed (a folder the user may not write). Returns "" or
// kOpenError, kNotRegularError, kEmptyError.
QByteArray clearForReplacement(const QByteArray& path);

// One file receiving a streamed message: held open from its creation (or its first append) to
// the end, instead of one open and close per arrival. A file that has lost its name meanwhile
// (removed, alone or with its folder) fails the close, and every append after the loss is seen,
// with kOpenError; nothing is created at the path in its place.
class AppendStream {
public:
    AppendStream() = default;
    AppendStream(const AppendStream&) = delete;
    AppendStream& operator=(const AppendStream&) = delete;
    ~AppendStream();

    // Creates `path` empty (or empties it) and keeps it open. Returns "", kOpenError or
    // kNotRegularError.
    QByteArray create(const QByteArray& path);
    // Appends the pieces in order to the file at `path`, opening (creating) it when it is not
    // the one held. Returns "", kOpenError or kWriteError.
    QByteArray append(const QByteArray& path, std::span<const QByteArrayView> pieces);
    // Returns "", kOpenError when the file lost its name while held, or kWriteError when the
    // close reports a deferred write failure (quota, network file systems).
    QByteArray close();

private:
    bool lostItsName() const;

    int m_fd = -1;
    QByteArray m_path;
    bool m_lost = false; // the file at m_path was removed while held
    qint64 m_bytesSinceLinkCheck = 0;
};

// Deletes the regular file at `path`; a missing file is not an error, and anything else (a link,
// a FIFO, a device) is left alone. Returns 0 or the failure's errno.
int deleteFile(const QByteArray& path);

} // namespace fileappender
