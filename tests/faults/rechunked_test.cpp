// The control against Dovecot through the re-chunking proxy: however the server's bytes are cut
// into reads (status lines, end markers and dot-stuffed lines split anywhere), every saved file
// equals what the server sent, every reply is read right, and no exchange waits for a timeout.
#include "control/vorlane.h"
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/rawpop3.h"
#include "tests/dovecot/testmessage.h"
#include "tests/faults/rechunkingproxy.h"
#include "tests/support/filebytes.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <ostream>

namespace {

using Cut = RechunkingProxy::Cut;

// A 1 MB message cut into pieces of 1 to 7 bytes takes seconds in a sanitizer build on a busy
// machine; the control's limit on silence must not end it.
constexpr qint16 kTimeoutS = 20;
// A wait that ended by timeout shows on the wire as at least kTimeoutS seconds in which neither
// side sent anything; a healthy exchange never leaves the wire idle for more than a moment.
constexpr qint64 kLongestHealthySilenceMs = 2000;

struct CutCase {
    const char* name;
    Cut cut;
    quint32 seed;
};

void PrintTo(const CutCase& cutCase, std::ostream* out)
{
    *out << cutCase.name;
}

QByteArray eightBitBody()
{
    QByteArray line;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        line += char(byte);
    }
    return line.left(64) + '\n' + line.mid(64) + '\n';
}

QList<QByteArray> testMessages()
{
    return {
        dovecot::makeMessage({"Subject: empty body"}, ""),
        dovecot::makeMessage({"Subject: one line"}, "just this one line\n"),
        // Stuffed on the wire; the last line "." makes the body end in "..", CR LF, ".", CR LF.
        dovecot::makeMessage({"Subject: dots"}, ".\n..\n.leading\n. \nmiddle\n.\n"),
        dovecot::makeMessage({"Subject: eight bit"}, eightBitBody()),
        dovecot::makeMessageOfSize(64 * 1024, 1),
        dovecot::makeMessageOfSize(1024 * 1024, 2),
    };
}

// What Dovecot itself sends for each message, read without the proxy.
struct Truth {
    QMap<int, QByteArray> uidls;
    QMap<int, qint64> sizes;
    QList<QByteArray> headers; // TOP n 0, by index n - 1
    QList<QByteArray> bodies;  // RETR n, by index n - 1
};

class RechunkedDovecot : public ::testing::TestWithParam<CutCase> {
protected:
    void SetUp() override
    {
        const QList<QByteArray> messages = testMessages();
        for (const QByteArray& message : messages) {
            mailbox.addMessage(message);
        }
        dovecot::RawPop3 raw(server, mailbox.user(), mailbox.password());
        truth.uidls = raw.uidl();
        truth.sizes = raw.list();
        for (int n = 1; n <= messages.size(); ++n) {
            truth.headers.append(raw.top(n, 0));
            truth.bodies.append(raw.retrBody(n));
        }
        raw.quit();
        ASSERT_NE(proxy.port(), 0);
        pop.setPOPHostname("127.0.0.1");
        pop.setPOPPort(proxy.port());
        pop.setPOPUsername(mailbox.user().toUtf8());
        pop.setPOPPassword(mailbox.password().toUtf8());
        pop.setPOPTimeout(kTimeoutS);
    }

    void TearDown() override
    {
        pop.Disconnect();
        EXPECT_FALSE(proxy.commands().isEmpty());
        EXPECT_EQ(proxy.commands().last(), "QUIT");
    }

    // Runs one call of the control and checks that it succeeded without waiting on a timeout.
    // The wire's silences tell that, not the call's duration: a loaded machine takes long over a
    // megabyte in pieces of a few bytes, and the control's timeout only limits silence.
    template <class Call> void timed(const QByteArray& what, Call call)
    {
        proxy.startSilenceWatch();
        call();
        EXPECT_EQ(pop.Error(), 0) << what.constData() << ": " << pop.ErrorText().constData();
        EXPECT_LT(proxy.longestSilenceMs(), kLongestHealthySilenceMs) << what.constData();
    }

    void select(qint16 number)
    {
        timed("select " + QByteArray::number(number), [&] { pop.SetCurrentMsg(number); });
    }

    const dovecot::DovecotServer server = dovecot::DovecotServer::fromEnvironment();
    const dovecot::Mailbox mailbox = server.createMailbox(u"rechunked");
    RechunkingProxy proxy{server.address(), server.port(), GetParam().cut, GetParam().seed};
    Vorlane pop;
    Truth truth;
    QTemporaryDir dir;
};

} // namespace

TEST_P(RechunkedDovecot, EverySavedFileEqualsWhatTheServerSent)
{
    timed("Connect", [&] { pop.Connect(); });
    ASSERT_EQ(pop.MsgCount(), truth.bodies.size());
    int reads = 0;
    pop.setMsgReadStatusHandler([&](qint32&, qint32&, qint16&) { ++reads; });
    for (qint16 n = 1; n <= truth.bodies.size(); ++n) {
        select(n);
        // Size and headers first, so that the call below sends RETR alone.
        timed("LIST", [&] { pop.MsgSizeInK(); });
        timed("TOP", [&] { pop.MsgHeaders(); });
        QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("msg%1.txt").arg(n)));
        reads = 0;
        const qint64 writesBefore = proxy.writesToClient();
        timed("WriteCurrentMsgToFile " + QByteArray::number(n),
              [&] { pop.WriteCurrentMsgToFile(path); });
        const QByteArray saved = fileBytes(QString::fromLocal8Bit(path));
        EXPECT_EQ(saved.size(), truth.bodies[n - 1].size()) << "message " << n;
        EXPECT_TRUE(saved == truth.bodies[n - 1]) << "message " << n;
        // Each read raises one progress event, and the end one more: the cuts must really have
        // reached the control as separate reads, or this test would prove nothing.
        const qint64 writes = proxy.writesToClient() - writesBefore;
        EXPECT_GE(2 * (reads - 1), writes) << "message " << n;
    }
}

TEST_P(RechunkedDovecot, RepliesAreReadWhole)
{
    timed("Connect", [&] { pop.Connect(); });
    EXPECT_TRUE(pop.ConnectResponse().startsWith("+OK Dovecot"));
    for (qint16 n = 1; n <= truth.bodies.size(); ++n) {
        select(n);
        EXPECT_EQ(pop.MsgUniqueID(), truth.uidls.value(n)) << "message " << n;
        qint32 sizeInK = 0;
        timed("LIST", [&] { sizeInK = pop.MsgSizeInK(); });
        EXPECT_EQ(sizeInK, truth.sizes.value(n) / 1024 + 1) << "message " << n;
        QByteArray headers;
        timed("TOP", [&] { headers = pop.MsgHeaders(); });
        EXPECT_EQ(headers, truth.headers[n - 1]) << "message " << n;
    }
    // In memory: the text after the header block as the server sent it, stuffing and all (a
    // message without a body gives its header lines).
    for (qint16 n : {1, 2, 3, 4}) {
        select(n);
        timed("RetrieveCurrentMsg " + QByteArray::number(n), [&] { pop.RetrieveCurrentMsg(); });
        const QByteArray& wire = truth.bodies[n - 1];
        const qsizetype blank = wire.indexOf("\r\n\r\n");
        EXPECT_EQ(pop.MsgContents(), blank < 0 ? wire : wire.mid(blank + 4)) << "message " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Cuts, RechunkedDovecot,
                         ::testing::Values(CutCase{"Pieces1To7", Cut::Pieces1To7, 1},
                                           CutCase{"Pieces1To7Reseeded", Cut::Pieces1To7, 77},
                                           CutCase{"BeforeLast1To4", Cut::BeforeLast1To4, 1},
                                           CutCase{"BeforeLast1To4Reseeded", Cut::BeforeLast1To4,
                                                   77}),
                         [](const auto& info) { return std::string(info.param.name); });
