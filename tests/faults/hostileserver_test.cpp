// The control against a hostile server: Dovecot behind the proxy, which closes in the middle of
// a reply, stalls, floods, answers garbage or sends stray bytes after a reply. Every case ends
// with an error code within POPTimeout + 1 s of the server's last byte, with bounded memory, and
// without QUIT, so a deletion marked earlier in the session is never committed.
#include "control/vorlane.h"
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/rawpop3.h"
#include "tests/dovecot/testmessage.h"
#include "tests/faults/peakmemory.h"
#include "tests/faults/rechunkingproxy.h"
#include "tests/support/filebytes.h"
#include "tests/support/waitfor.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

using Fault = RechunkingProxy::Fault;
using Kind = Fault::Kind;

constexpr qint16 kTimeoutS = 2;
// The control gives a silent server up after between kTimeoutS and kTimeoutS + 1 seconds (a
// whole-second clock); the slack covers its pump interval and a loaded machine.
constexpr qint64 kGiveUpWithinMs = (kTimeoutS + 1) * 1000 + 500;
constexpr qint64 kMemoryBound = 64 * 1024 * 1024;
constexpr qint64 kTenMegabytes = 10 * 1024 * 1024;
constexpr const char* kTimeoutText = "Program determining timeout error";
constexpr const char* kTooLongText = "Reply from server too long";

// The call that meets the fault. All but Connect run after a login in which message 1 was
// marked for deletion, and act on message 2.
enum class Call { Connect, Select, WriteToFile, Retrieve };

struct HostileCase {
    const char* name;
    Call call;
    Fault fault;
    qint16 error;
    const char* detail; // part of ErrorText
};

Fault closeAfter(const char* trigger, qint64 passBytes)
{
    return {Kind::CloseAfter, trigger, passBytes, {}, 0};
}

Fault stallAfter(const char* trigger, qint64 passBytes)
{
    return {Kind::StallAfter, trigger, passBytes, {}, 0};
}

Fault replace(const char* trigger, const QByteArray& bytes, qint64 floodBytes = 0)
{
    return {Kind::Replace, trigger, 0, bytes, floodBytes};
}

// Every byte of a literal, NUL included.
template <qsizetype N> QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

const HostileCase kCases[] = {
    // The server goes away in the middle of RETR: the wait runs into the timeout.
    {"CloseInStatusLineOfRetrToFile", Call::WriteToFile, closeAfter("RETR 2", 3), 25, kTimeoutText},
    {"CloseInBodyOfRetrToFile", Call::WriteToFile, closeAfter("RETR 2", 1000), 25, kTimeoutText},
    {"CloseInBodyOfRetrToMemory", Call::Retrieve, closeAfter("RETR 2", 1000), 25, kTimeoutText},
    // Silence longer than POPTimeout.
    {"StallBeforeGreeting", Call::Connect, stallAfter("", 0), 11, "no data received"},
    {"StallBeforeStatReply", Call::Connect, stallAfter("STAT", 0), 18, kTimeoutText},
    {"StallInUidlReply", Call::Select, stallAfter("UIDL 2", 4), 21, kTimeoutText},
    {"StallInBodyOfRetrToFile", Call::WriteToFile, stallAfter("RETR 2", 5000), 25, kTimeoutText},
    {"StallInBodyOfRetrToMemory", Call::Retrieve, stallAfter("RETR 2", 5000), 25, kTimeoutText},
    // 10 MB without a line end: the control drops the connection instead of buffering it all.
    {"FloodAsGreeting", Call::Connect, replace("", {}, kTenMegabytes), 11, "no data received"},
    {"FloodAsUidlReply", Call::Select, replace("UIDL 2", "+OK 2 ", kTenMegabytes), 21,
     kTooLongText},
    {"FloodAsStatusLineOfRetrToFile", Call::WriteToFile, replace("RETR 2", "+OK ", kTenMegabytes),
     25, kTooLongText},
    {"FloodInBodyOfRetrToMemory", Call::Retrieve, replace("RETR 2", "+OK\r\n", kTenMegabytes), 25,
     kTooLongText},
    // A body line is message text and goes to the file; one larger than the memory bound shows
    // that it is never held in memory.
    {"FloodInBodyOfRetrToFile", Call::WriteToFile, replace("RETR 2", "+OK\r\n", 2 * kMemoryBound),
     25, kTimeoutText},
    // Garbage where "+OK" belongs.
    {"GarbageForUser", Call::Connect, replace("USER", "HTTP/1.1 400 Bad Request\r\n"), 14,
     "HTTP/1.1 400 Bad Request"},
    {"GarbageForPass", Call::Connect, replace("PASS", bytes("\x16\x03\x01\x00\xff\r\n")), 15,
     "\x16\x03\x01"},
    {"GarbageForStat", Call::Connect, replace("STAT", "* OK IMAP4rev1 ready\r\n"), 18,
     "* OK IMAP4rev1"},
    {"LookalikeForUidl", Call::Select, replace("UIDL 2", "+0K 2 lookalike\r\n"), 21, "+0K 2"},
    {"GarbageForRetrToFile", Call::WriteToFile, replace("RETR 2", "garbage\r\n"), 25, kTimeoutText},
    {"GarbageForRetrToMemory", Call::Retrieve, replace("RETR 2", "garbage\r\n"), 25, kTimeoutText},
};

void PrintTo(const HostileCase& hostile, std::ostream* out)
{
    *out << hostile.name;
}

class HostileServerBase {
protected:
    HostileServerBase()
    {
        for (int n = 1; n <= 3; ++n) {
            // Message 2 fits the in-memory limit and is long enough to be cut in its body.
            uidls.append(mailbox.addMessage(dovecot::makeMessageOfSize(n == 2 ? 20000 : 600, n)));
        }
        sentSecond = dovecot::RawPop3(server, mailbox.user(), mailbox.password()).retrBody(2);
        pop.setPOPHostname("127.0.0.1");
        pop.setPOPPort(proxy.port());
        pop.setPOPUsername(mailbox.user().toUtf8());
        pop.setPOPPassword(mailbox.password().toUtf8());
        pop.setPOPTimeout(kTimeoutS);
    }

    void loginAndMarkFirst()
    {
        pop.Connect();
        ASSERT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
        qint16 first = 1;
        pop.SetCurrentMsg(first);
        pop.DeleteCurrentMsg();
        ASSERT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    }

    QByteArray filePath(const char* name) const { return QFile::encodeName(dir.filePath(name)); }

    void call(Call what)
    {
        qint16 second = 2;
        QByteArray path = filePath("msg2.txt");
        switch (what) {
        case Call::Connect:
            pop.Connect();
            return;
        case Call::Select:
            pop.SetCurrentMsg(second);
            return;
        case Call::WriteToFile:
            pop.SetCurrentMsg(second);
            ASSERT_EQ(pop.Error(), 0);
            pop.WriteCurrentMsgToFile(path);
            return;
        case Call::Retrieve:
            pop.SetCurrentMsg(second);
            ASSERT_EQ(pop.Error(), 0);
            pop.RetrieveCurrentMsg();
            return;
        }
    }

    // After the failure a host may well call Disconnect: it must not send QUIT now, and Dovecot,
    // having seen no QUIT, keeps every message.
    void expectNothingCommitted()
    {
        EXPECT_EQ(pop.Status(), 0) << "the connection should have been given up";
        pop.Disconnect();
        EXPECT_FALSE(proxy.commands().contains("QUIT"));
        ASSERT_TRUE(waitFor([&] { return proxy.sessionOver(); }, 5000));
        for (const QByteArray& uidl : uidls) {
            EXPECT_TRUE(mailbox.containsMessage(uidl)) << uidl.constData();
        }
    }

    // Whatever state the failure left behind must not spoil the next session.
    void expectAFreshSessionReadsRight()
    {
        pop.setPOPHostname(server.address().toLatin1());
        pop.setPOPPort(server.port());
        pop.Connect();
        ASSERT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
        EXPECT_EQ(pop.MsgCount(), 3);
        qint16 second = 2;
        pop.SetCurrentMsg(second);
        QByteArray path = filePath("again.txt");
        pop.WriteCurrentMsgToFile(path);
        EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
        EXPECT_TRUE(fileBytes(QString::fromLocal8Bit(path)) == sentSecond);
        pop.Disconnect();
    }

    const dovecot::DovecotServer server = dovecot::DovecotServer::fromEnvironment();
    const dovecot::Mailbox mailbox = server.createMailbox(u"hostile");
    RechunkingProxy proxy{server.address(), server.port()};
    QList<QByteArray> uidls;
    QByteArray sentSecond; // what Dovecot sends for RETR 2
    Vorlane pop;
    QTemporaryDir dir;
};

class HostileServer : public HostileServerBase, public ::testing::TestWithParam<HostileCase> {};

class HostileServerTest : public HostileServerBase, public ::testing::Test {};

} // namespace

TEST_P(HostileServer, EndsWithAnErrorInBoundedTimeAndKeepsEveryMessage)
{
    const HostileCase& hostile = GetParam();
    ASSERT_NE(proxy.port(), 0);
    proxy.armFault(hostile.fault);
    if (hostile.call != Call::Connect) {
        loginAndMarkFirst();
        if (HasFatalFailure()) {
            return;
        }
    }
    const PeakMemory memory;
    call(hostile.call);
    const qint64 returnedAt = RechunkingProxy::nowMs();

    EXPECT_TRUE(proxy.faultTriggered());
    EXPECT_EQ(pop.Error(), hostile.error) << pop.ErrorText().constData();
    EXPECT_TRUE(pop.ErrorText().contains(hostile.detail)) << pop.ErrorText().constData();
    EXPECT_LE(returnedAt - proxy.lastWriteToClientMs(), kGiveUpWithinMs);
    EXPECT_LT(memory.growth(), kMemoryBound);
    expectNothingCommitted();
    expectAFreshSessionReadsRight();
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileServer, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Stray bytes right behind a RETR's end marker, in the same read or the next: they are neither
// message text nor the reply to the next command, which gets its own answer.
void expectTheSessionStaysInStep(Vorlane& pop, const QList<QByteArray>& uidls)
{
    qint16 third = 3;
    pop.SetCurrentMsg(third);
    EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    EXPECT_EQ(pop.MsgUniqueID(), uidls.value(2));
    pop.ResetDeletedMsgs();
    EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    pop.Disconnect();
}

TEST_F(HostileServerTest, BytesAfterTheEndMarkerStayOutOfTheFileAndOutOfTheNextReply)
{
    proxy.armFault({Kind::AppendAfterReply, "RETR 2", 0, "+OK unexpected trailing bytes\r\n", 0});
    loginAndMarkFirst();
    ASSERT_FALSE(HasFatalFailure());
    call(Call::WriteToFile);
    EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    EXPECT_TRUE(fileBytes(QString::fromLocal8Bit(filePath("msg2.txt"))) == sentSecond);
    expectTheSessionStaysInStep(pop, uidls);
    ASSERT_TRUE(waitFor([&] { return proxy.sessionOver(); }, 5000));
    for (const QByteArray& uidl : uidls) {
        EXPECT_TRUE(mailbox.containsMessage(uidl)) << uidl.constData(); // RSET undid the mark
    }
}

TEST_F(HostileServerTest, BytesAfterTheEndMarkerNeverBecomeMessageContents)
{
    proxy.armFault({Kind::AppendAfterReply, "RETR 2", 0, "+OK unexpected trailing bytes\r\n", 0});
    loginAndMarkFirst();
    ASSERT_FALSE(HasFatalFailure());
    call(Call::Retrieve);
    EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    EXPECT_EQ(pop.MsgContents(), sentSecond.mid(sentSecond.indexOf("\r\n\r\n") + 4));
    expectTheSessionStaysInStep(pop, uidls);
    ASSERT_TRUE(waitFor([&] { return proxy.sessionOver(); }, 5000));
    for (const QByteArray& uidl : uidls) {
        EXPECT_TRUE(mailbox.containsMessage(uidl)) << uidl.constData();
    }
}
