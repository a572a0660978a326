// Saving a message where the file system is not as expected: empty messages, old files that
// cannot be removed, links, FIFOs and devices in the way, and who may read what is written.
#include "tests/control/fakesession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString kUpToRetr = QStringLiteral("C: UIDL 1\nS: +OK 1 u1\nC: TOP 1 0\nS: +OK\nS: .\n"
                                         "C: LIST 1\nS: +OK 1 10\nC: RETR 1\n");
const QString kOneLineBody = QStringLiteral("S: +OK\\r\\nSubject: s\\r\\n\\r\\nclean");

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

bool setAppendOnly(const QString& path, bool on)
{
    const int fd = ::open(local(path).constData(), O_RDONLY);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_APPEND_FL) : (flags & ~FS_APPEND_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(local(path).constData(), &info) == 0 ? info.st_mode : 0;
}

struct FileCase {
    const char* name;
    // Prepares the folder and returns the path to save to; "" skips the case here.
    std::function<QString(const QString& dir)> prepare;
    QString retrReply;
    qint16 error;
    QByteArray detail;
    std::optional<QByteArray> saved; // what the path reads afterwards, when it is a file
    std::function<void(const QString& dir, const QString& path)> alsoCheck;
    bool traceToFifo = false;
};

QString plainPath(const QString& dir)
{
    return dir + "/msg1.txt";
}

QString fifoAt(const QString& path)
{
    return ::mkfifo(local(path).constData(), 0600) == 0 ? path : QString();
}

const FileCase kCases[] = {
    {"EmptyMessageIsAnEmptyFile", plainPath, "S: +OK\\r\\n.", 0, "", QByteArray(), {}},
    {"SingleBlankLineIsAnEmptyFile", plainPath, "S: +OK\\r\\n\\r\\n.", 0, "", QByteArray(), {}},
    {"NewFilesAreOwnerOnly", plainPath, kOneLineBody + "\nS: .", 0, "",
     QByteArray("Subject: s\r\n\r\nclean"),
     [](const QString&, const QString& path) { EXPECT_EQ(modeOf(path) & 0777, 0600u); }},
    {"OldAppendOnlyFileIsRefusedNotAppendedTo",
     [](const QString& dir) {
         writeFile(dir + "/msg1.txt", "old infected message");
         return setAppendOnly(dir + "/msg1.txt", true) ? dir + "/msg1.txt" : QString();
     },
     kOneLineBody + "\nS: .", 31, "File error: Error attempting to empty the old file",
     QByteArray("old infected message"),
     [](const QString&, const QString& path) { setAppendOnly(path, false); }},
    {"OldFileUnderAnotherNameTooIsRemovedNotEmptied",
     [](const QString& dir) {
         writeFile(dir + "/precious", "keep me");
         return ::link(local(dir + "/precious").constData(),
                       local(dir + "/msg1.txt").constData()) == 0
                    ? dir + "/msg1.txt"
                    : QString();
     },
     kOneLineBody + "\nS: .", 0, "", QByteArray("Subject: s\r\n\r\nclean"),
     [](const QString& dir, const QString&) {
         EXPECT_EQ(fileBytes(dir + "/precious"), "keep me");
     }},
    {"OldWorldReadableFileBecomesOwnerOnly",
     [](const QString& dir) {
         writeFile(dir + "/msg1.txt", "old infected message");
         ::chmod(local(dir + "/msg1.txt").constData(), 0644);
         return dir + "/msg1.txt";
     },
     kOneLineBody + "\nS: .", 0, "", QByteArray("Subject: s\r\n\r\nclean"),
     [](const QString&, const QString& path) { EXPECT_EQ(modeOf(path) & 0777, 0600u); }},
    {"OldFileInAReadOnlyFolderIsReplaced",
     [](const QString& dir) {
         if (::geteuid() == 0) {
             return QString(); // the folder's mode does not bind root
         }
         writeFile(dir + "/ro/msg1.txt", "old infected message");
         ::chmod(local(dir + "/ro").constData(), 0555);
         return dir + "/ro/msg1.txt";
     },
     kOneLineBody + "\nS: .", 0, "", QByteArray("Subject: s\r\n\r\nclean"),
     [](const QString& dir, const QString&) { ::chmod(local(dir + "/ro").constData(), 0755); }},
    {"SymbolicLinkIsRefusedAndKept",
     [](const QString& dir) {
         writeFile(dir + "/precious", "keep me");
         QFile::link(dir + "/precious", dir + "/msg1.txt");
         return dir + "/msg1.txt";
     },
     kOneLineBody + "\nS: .", 31, "File error: Not a regular file", std::nullopt,
     [](const QString& dir, const QString& path) {
         EXPECT_TRUE(QFileInfo(path).isSymLink());
         EXPECT_EQ(fileBytes(dir + "/precious"), "keep me");
     }},
    {"DanglingLinkCreatesNothingElsewhere",
     [](const QString& dir) {
         QFile::link(dir + "/elsewhere", dir + "/msg1.txt");
         return dir + "/msg1.txt";
     },
     kOneLineBody + "\nS: .", 31, "File error: Not a regular file", std::nullopt,
     [](const QString& dir, const QString&) { EXPECT_FALSE(QFile::exists(dir + "/elsewhere")); }},
    {"FifoIsRefusedWithoutBlockingAndKept",
     [](const QString& dir) { return fifoAt(dir + "/msg1.txt"); }, kOneLineBody + "\nS: .", 31,
     "File error: Not a regular file", std::nullopt,
     [](const QString&, const QString& path) { EXPECT_TRUE(S_ISFIFO(modeOf(path))); }},
    {"DeviceIsRefusedAndKept",
     [](const QString& dir) {
         const QString path = dir + "/msg1.txt";
         return ::mknod(local(path).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0 ? path
                                                                                     : QString();
     },
     kOneLineBody + "\nS: .", 31, "File error: Not a regular file", std::nullopt,
     [](const QString&, const QString& path) { EXPECT_TRUE(S_ISCHR(modeOf(path))); }},
    {"FifoAsTraceFileDoesNotBlock",
     plainPath,
     kOneLineBody + "\nS: .",
     0,
     "",
     QByteArray("Subject: s\r\n\r\nclean"),
     {},
     true},
};

class FileSystemTable : public ::testing::TestWithParam<FileCase> {
protected:
    void SetUp() override { m_umask = ::umask(022); }
    void TearDown() override { ::umask(m_umask); }
    mode_t m_umask = 0;
};

} // namespace

TEST_P(FileSystemTable, SavedFileIsTheMessageOrTheCallFails)
{
    const FileCase& c = GetParam();
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("ro"));
    const QString path = c.prepare(dir.path());
    if (path.isEmpty()) {
        GTEST_SKIP() << "not possible for this user or file system";
    }
    FakeSession s(kUpToRetr + c.retrReply);
    const QString trace = c.traceToFifo ? fifoAt(dir.filePath("trace")) : dir.filePath("trace");
    ASSERT_FALSE(trace.isEmpty());
    s.v.setDebugFile(local(trace));
    s.v.setDebugMode(true);
    qint16 one = 1;
    s.v.SetCurrentMsg(one);
    QByteArray argument = local(path);
    s.v.WriteCurrentMsgToFile(argument);
    EXPECT_EQ(s.v.Error(), c.error) << s.v.ErrorText().constData();
    EXPECT_EQ(s.v.ErrorText(), c.detail);
    EXPECT_EQ(s.v.Status(), 1); // a file problem leaves the session usable
    if (c.saved) {
        EXPECT_EQ(fileBytes(path), *c.saved);
    }
    if (!c.traceToFifo) {
        EXPECT_EQ(modeOf(trace) & 0777, 0600u);
    }
    if (c.alsoCheck) {
        c.alsoCheck(dir.path(), path);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FileSystemTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });
