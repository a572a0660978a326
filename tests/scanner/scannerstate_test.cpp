// What unattended runs keep between runs: the memory of clean messages and the quarantine.
#include "scanner/messageassent.h"
#include "scanner/quarantine.h"
#include "scanner/rememberedmessages.h"
#include "scanner/uniqueidlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Ids of messages of 1 K.
RememberedMessages::Sizes ids(std::initializer_list<const char*> list)
{
    RememberedMessages::Sizes sizes;
    for (const char* id : list) {
        sizes.insert(id, 1);
    }
    return sizes;
}

// The listing a rescan skips remembered messages by: a number said twice names no message.
TEST(UniqueIdList, IdsByNumberWithoutRepeatsOrNonsense)
{
    const QHash<qint32, QByteArray> ids =
        uniqueIdsByNumber("1 a\r\n2 b\r\n2 c\r\nx y\r\n-3 z\r\n4\r\n5 e f\r\n06 six");
    EXPECT_EQ(ids, (QHash<qint32, QByteArray>{{1, "a"}, {5, "e f"}, {6, "six"}}));
    EXPECT_TRUE(uniqueIdsByNumber("").isEmpty());
}

TEST(RememberedMessages, RemembersPerAccountAndEnginesPrivatelyAndPrunes)
{
    QTemporaryDir state;
    const QString folder = state.filePath(QStringLiteral("Orsel"));
    QString error;
    RememberedMessages bob(folder, QStringLiteral("mail.example\nbob"), "engines-1");
    ASSERT_TRUE(bob.save(ids({"a1", "b/2", "c 3", ""}), &error)) << qPrintable(error);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(bob.filePath()), 0600u);

    const struct {
        const char* name;
        QString account;
        QByteArray engines;
        QList<QByteArray> remembered, forgotten;
    } cases[] = {
        // Ids with blanks or empty are no unique ids and were never stored.
        {"same account and engines",
         QStringLiteral("mail.example\nbob"),
         "engines-1",
         {"a1", "b/2"},
         {"c 3", "", "A1"}},
        {"other user", QStringLiteral("mail.example\nalice"), "engines-1", {}, {"a1", "b/2"}},
        {"other server", QStringLiteral("other.example\nbob"), "engines-1", {}, {"a1"}},
        {"definitions changed", QStringLiteral("mail.example\nbob"), "engines-2", {}, {"a1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RememberedMessages memory(folder, c.account, c.engines);
        memory.load();
        for (const QByteArray& id : c.remembered) {
            EXPECT_TRUE(memory.isRemembered(id, 1)) << id.constData();
        }
        for (const QByteArray& id : c.forgotten) {
            EXPECT_FALSE(memory.isRemembered(id, 1)) << id.constData();
        }
    }

    // Saving what the server still has drops the rest.
    ASSERT_TRUE(bob.save(ids({"b/2"}), &error));
    bob.load();
    EXPECT_FALSE(bob.isRemembered("a1", 1));
    EXPECT_TRUE(bob.isRemembered("b/2", 1));

    // A rescan that found nothing new leaves the file alone; anything else rewrites it.
    int chunks = 0;
    const auto count = [&] { ++chunks; };
    ASSERT_TRUE(bob.save(ids({"b/2", "not an id"}), &error, count));
    EXPECT_EQ(chunks, 0);
    ASSERT_TRUE(bob.save(ids({"b/2", "d4"}), &error, count));
    EXPECT_EQ(chunks, 1);
    ASSERT_TRUE(bob.save(ids({"b/2"}), &error, count));
    EXPECT_EQ(chunks, 2);
    bob.load();
    EXPECT_FALSE(bob.isRemembered("d4", 1));
}

// What the file says is believed only when it is whole, ours, and about a message of that size.
TEST(RememberedMessages, GarbageInTheFileIsForgottenNotBelieved)
{
    const QByteArray head = "Orsel remembered clean messages 1\nengines e\n";
    const QByteArray tooLarge = head + "big 1\n" + QByteArray(16 * 1024 * 1024, 'x') + '\n';
    const struct {
        const char* name;
        QByteArray content;
        QList<std::pair<QByteArray, qint32>> remembered, forgotten;
        bool said = false; // load() tells why the file was ignored
    } cases[] = {
        {"no header: not ours", "a1\nb2\n", {}, {{"a1", 1}}},
        // A write cut "abcdef 12\n" short: neither the shorter id nor the shorter size counts.
        {"last line cut off", head + "keep 1\nabc", {{"keep", 1}}, {{"abc", 1}, {"abc", 0}}},
        {"last size cut off", head + "keep 1\nabcdef 1", {{"keep", 1}}, {{"abcdef", 1}}},
        // Older runs kept no sizes: each such message is checked once more.
        {"ids without sizes", head + "a1\nb2 2\n", {{"b2", 2}}, {{"a1", 1}, {"a1", 0}}},
        // An id given out again for other content, or a message number as id.
        {"size differs", head + "a1 3\n", {{"a1", 3}}, {{"a1", 4}, {"a1", 2}}},
        {"nonsense sizes", head + "a1 -1\na2 x\na3 \n", {}, {{"a1", -1}, {"a2", 0}, {"a3", 0}}},
        {"over 16 MB", tooLarge, {}, {{"big", 1}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir state;
        RememberedMessages memory(state.path(), QStringLiteral("h\nu"), "e");
        QFile file(memory.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content);
        file.close();
        const QString said = memory.load();
        EXPECT_EQ(said.contains(memory.filePath() + " is larger than 16777216 bytes; it is "
                                                    "ignored and rewritten"),
                  c.said)
            << qPrintable(said);
        for (const auto& [id, size] : c.remembered) {
            EXPECT_TRUE(memory.isRemembered(id, size)) << id.constData() << " " << size;
        }
        for (const auto& [id, size] : c.forgotten) {
            EXPECT_FALSE(memory.isRemembered(id, size)) << id.constData() << " " << size;
        }
        // Whatever was there, the next save leaves a memory of the right size that reads back.
        QString error;
        ASSERT_TRUE(memory.save(ids({"n1"}), &error)) << qPrintable(error);
        EXPECT_TRUE(memory.load().isEmpty());
        EXPECT_TRUE(memory.isRemembered("n1", 1));
        EXPECT_LT(QFileInfo(memory.filePath()).size(), 100);
        EXPECT_EQ(QDir(state.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

// A link in the state folder's place is neither followed nor has its target's mode changed.
TEST(RememberedMessages, AStateFolderThatIsALinkIsRefused)
{
    QTemporaryDir state;
    const QString target = state.filePath(QStringLiteral("shared"));
    const QString folder = state.filePath(QStringLiteral("Orsel"));
    ASSERT_TRUE(QDir().mkpath(target));
    ::chmod(QFile::encodeName(target).constData(), 0755);
    ASSERT_TRUE(QFile::link(target, folder));
    RememberedMessages memory(folder, QStringLiteral("h\nu"), "e");
    QString error;
    EXPECT_FALSE(memory.save(ids({"a1"}), &error));
    EXPECT_TRUE(error.startsWith("the state folder " + folder + " is a symbolic link or no folder"))
        << qPrintable(error);
    EXPECT_EQ(modeOf(target), 0755u);
    EXPECT_TRUE(QDir(target).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST(RememberedMessages, SurvivesAKillInTheMiddleOfItsWrite)
{
    QTemporaryDir state;
    RememberedMessages memory(state.path(), QStringLiteral("h\nu"), "e");
    QString error;
    ASSERT_TRUE(memory.save(ids({"old-1", "old-2"}), &error));

    RememberedMessages::Sizes many;
    for (int i = 0; i < 50000; ++i) {
        many.insert("new-" + QByteArray::number(i), 1);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Stops itself after the first block, so the parent kills it mid-write for certain.
        memory.save(many, &error, [] { ::raise(SIGSTOP); });
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status)) << "the write ended before its first block was done";
    ::kill(child, SIGKILL); // by its PID
    ::waitpid(child, &status, 0);

    memory.load();
    EXPECT_TRUE(memory.isRemembered("old-1", 1));
    EXPECT_TRUE(memory.isRemembered("old-2", 1));
    EXPECT_FALSE(memory.isRemembered("new-1", 1));
    // The next save finishes what the killed one began.
    ASSERT_TRUE(memory.save(many, &error)) << qPrintable(error);
    memory.load();
    EXPECT_TRUE(memory.isRemembered("new-49999", 1));
    EXPECT_FALSE(memory.isRemembered("old-1", 1));
}

// The message as it was sent, from the saved file: across the 256 K blocks it is read in too.
TEST(MessageAsSent, StuffedDotsGoAndTheLastLineIsEnded)
{
    const qsizetype block = 256 * 1024;
    const QByteArray fill(block - 1, 'f');
    const struct {
        const char* name;
        QByteArray saved, sent;
    } cases[] = {
        {"stuffed lines", "S: x\r\n\r\n..one\r\n...\r\n.\r\nend",
         "S: x\r\n\r\n.one\r\n..\r\n\r\nend\r\n"},
        {"a dot not at a line start stays", "a.b\r\nc\n.d\r.e", "a.b\r\nc\n.d\r.e\r\n"},
        {"empty", "", ""},
        {"CR at the end of a block", fill + "\r\n..x", fill + "\r\n.x\r\n"},
        {"CR LF at the end of a block", fill.chopped(1) + "\r\n..x",
         fill.chopped(1) + "\r\n.x\r\n"},
        {"a stuffed dot last in a block", fill.chopped(2) + "\r\n..x",
         fill.chopped(2) + "\r\n.x\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir work;
        const QString saved = work.filePath(QStringLiteral("msg1.txt"));
        QFile file(saved);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.saved);
        file.close();
        QString error;
        ASSERT_TRUE(messageassent::write(saved, messageassent::pathFor(saved), &error))
            << qPrintable(error);
        QFile sent(messageassent::pathFor(saved));
        ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
        EXPECT_TRUE(sent.readAll() == c.sent);
        EXPECT_EQ(modeOf(sent.fileName()), 0600u);
    }
}

TEST(Quarantine, NamesByDateAndIdNeverOverwritesAndKeepsFilesPrivate)
{
    QTemporaryDir work;
    const QString folder = work.filePath(QStringLiteral("q"));
    const Quarantine quarantine(folder);
    QString error;
    const mode_t oldMask = ::umask(0);
    const bool prepared = quarantine.prepare(&error);
    ::umask(oldMask);
    ASSERT_TRUE(prepared) << qPrintable(error);
    EXPECT_EQ(modeOf(folder), 0700u);

    const QDateTime when(QDate(2026, 12, 7), QTime(13, 5, 9), Qt::UTC);
    const struct {
        const char* name;
        QByteArray uniqueId;
        QString expectedName;
    } cases[] = {
        {"first", "UID-1", "20261207-130509-UID-1.txt"},
        {"same id, same second", "UID-1", "20261207-130509-UID-1-2.txt"},
        {"again", "UID-1", "20261207-130509-UID-1-3.txt"},
        {"unsafe characters", "../a/b c", ".._a_b_c.txt"},
        {"empty id", "", "20261207-130509-no-id.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString saved = work.filePath(QStringLiteral("msg1.txt"));
        QFile file(saved);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.name);
        file.close();
        QFile::setPermissions(saved, QFile::Permissions(0x6644));
        const auto moved = quarantine.take(saved, c.uniqueId, when, &error);
        ASSERT_TRUE(moved) << qPrintable(error);
        EXPECT_TRUE(moved->startsWith(folder + QLatin1Char('/'))) << qPrintable(*moved);
        EXPECT_TRUE(moved->endsWith(c.expectedName)) << qPrintable(*moved);
        EXPECT_EQ(modeOf(*moved), 0600u);
        EXPECT_FALSE(QFile::exists(saved));
        QFile kept(*moved);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), QByteArray(c.name)); // nothing earlier was overwritten
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 5);

    const Quarantine onAFile(work.filePath(QStringLiteral("q/20261207-130509-UID-1.txt")));
    EXPECT_FALSE(onAFile.prepare(&error));
}

} // namespace
