// The files saved messages go to: created owner-only, appended, emptied or removed to make room
// for a new one. The one writer of message files.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <span>

namespace messagefile {

// What became of an operation on a message file.
enum class Result { Done, OpenFailed, WriteFailed, NotARegularFile, EmptyingFailed };

// The text the control reports for a result: "" for Done, else "Error attempting to open file",
// "Error writing to file", "Not a regular file" or "Error attempting to empty the old file".
QByteArray failureText(Result result);

// Every open here is non-blocking (a FIFO or device cannot hang the caller), follows no symbolic
// link in the last component, accepts only regular files, and creates files 0600: a saved
// message is the user's mail.

// Appends `bytes` to the file at `path` (bytes of a local file name), creating it when absent.
// Opens and closes the file; nothing stays open. OpenFailed or WriteFailed when it fails.
Result appendToFile(const QByteArray& path, QByteArrayView bytes);

// Makes room for a new file at `path`: checks that it can be created there, then empties any old
// file that has no other name and belongs to this user (and makes it owner-only), removes any
// other, or empties it when it cannot be removed (a folder the user may not write). OpenFailed,
// NotARegularFile or EmptyingFailed when it cannot.
Result clearForReplacement(const QByteArray& path);

// One file receiving a streamed message: held open from its creation (or its first append) to
// the end, instead of one open and close per arrival. A file that has lost its name meanwhile
// (removed, alone or with its folder) fails the close, and every append after the loss is seen,
// with OpenFailed; nothing is created at the path in its place.
class AppendStream {
public:
    AppendStream() = default;
    AppendStream(const AppendStream&) = delete;
    AppendStream& operator=(const AppendStream&) = delete;
    ~AppendStream();

    // Creates `path` empty (or empties it) and keeps it open. OpenFailed or NotARegularFile when
    // it cannot.
    Result create(const QByteArray& path);
    // Appends the pieces in order to the file at `path`, opening (creating) it when it is not
    // the one held. OpenFailed or WriteFailed when it fails.
    Result append(const QByteArray& path, std::span<const QByteArrayView> pieces);
    // OpenFailed when the file lost its name while held, WriteFailed when the close reports a
    // deferred write failure (quota, network file systems).
    Result close();

private:
    bool lostItsName() const;

    int m_fd = -1;
    QByteArray m_path;
    bool m_lost = false; // the file at m_path was removed while held
    qint64 m_bytesSinceLinkCheck = 0;
};

// Deletes the regular file at `path`. True when no file is left there (a missing one is no
// failure); anything else (a link, a FIFO, a device) is left alone and gives false.
bool deleteFile(const QByteArray& path);

} // namespace messagefile
