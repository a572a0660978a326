// POPFewerRoundTrips against the scripted fake server: the commands on the wire (pipelined where
// CAPA offers it, one by one where it does not, per message where CAPA is refused), results equal
// to the per-message session's, replies of a burst taken in order, hostile listings, and headers
// taken from the RETR stream.
#include "control/vorlane.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/filebytes.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A message as the server sends it: the bytes between RETR's status line and the final ".",
// dot-stuffed, ending in CR LF; the size LIST gives; where the RETR reply is split into reads.
struct Mail {
    QByteArray wire;
    int listedSize;
    QList<qsizetype> retrSplits = {};
};

const QList<Mail> kMails = {
    // The empty line straddles three reads.
    {"Subject: one\r\nFrom: <a@b>\r\n\r\nBody one.\r\n", 60, {5, 34, 36, 38}},
    {"X-Only: header\r\nX-Two: no empty line\r\n", 5120},
    {"Subject: empty body\r\n\r\n", 30},
    {"Subject: dots\r\n..X-Not: a header\r\n\r\n..leading dot\r\n..\r\nend\r\n", 70},
    {"\r\nNo header lines at all.\r\n", 40},
};

QString escaped(const QByteArray& bytes)
{
    QString out;
    for (char c : bytes) {
        out += c == '\r'   ? QStringLiteral("\\r")
               : c == '\n' ? QStringLiteral("\\n")
               : c == '\\' ? QStringLiteral("\\\\")
                           : QString(QLatin1Char(c));
    }
    return out;
}

// One script row sending `bytes` (which end in CR LF) in the given pieces.
QString sendRow(const QByteArray& bytes, const QList<qsizetype>& splits = {})
{
    QString head = QStringLiteral("S");
    for (qsizetype i = 0; i < splits.size(); ++i) {
        head += (i ? QStringLiteral(",") : QStringLiteral("|")) + QString::number(splits[i]);
    }
    return head + QStringLiteral(": ") + escaped(bytes.chopped(2)) + QStringLiteral("\n");
}

QString retrRow(const Mail& m)
{
    return sendRow("+OK\r\n" + m.wire + ".\r\n", m.retrSplits);
}

// TOP n 0: the header lines and the empty line; all of a message that has no empty line.
QString topRow(const Mail& m)
{
    QByteArray headers = m.wire;
    const qsizetype blank = m.wire.indexOf("\r\n\r\n");
    if (m.wire.startsWith("\r\n")) {
        headers = "\r\n";
    } else if (blank >= 0) {
        headers = m.wire.first(blank + 4);
    }
    return sendRow("+OK\r\n" + headers + ".\r\n");
}

QByteArray uidlListing()
{
    QByteArray body;
    for (int n = 1; n <= kMails.size(); ++n) {
        body += QByteArray::number(n) + " id-" + QByteArray::number(n) + "\r\n";
    }
    return body;
}

QByteArray listListing()
{
    QByteArray body;
    for (int n = 1; n <= kMails.size(); ++n) {
        body += QByteArray::number(n) + ' ' + QByteArray::number(kMails[n - 1].listedSize) + "\r\n";
    }
    return body;
}

const QString kGreeting = QStringLiteral("S: +OK ready\n");
const QString kStat = QStringLiteral("S: +OK 5 320\n");
const QString kQuit = QStringLiteral("C: QUIT\nS: +OK bye\nX:");

// The per-message session: UIDL n at selection, LIST n for the size, with `top` TOP n 0 before
// RETR n.
QString perMessageSession(const QString& capa, bool top)
{
    QString script = kGreeting + capa + kFakeLoginUntilStat.mid(kGreeting.size()) + kStat;
    for (int n = 1; n <= kMails.size(); ++n) {
        const Mail& m = kMails[n - 1];
        script += QStringLiteral("C: UIDL %1\nS: +OK %1 id-%1\nC: LIST %1\nS: +OK %1 %2\n")
                      .arg(n)
                      .arg(m.listedSize);
        if (top) {
            script += QStringLiteral("C: TOP %1 0\n").arg(n) + topRow(m);
        }
        script += QStringLiteral("C: RETR %1\n").arg(n) + retrRow(m);
    }
    return script + kQuit;
}

QString retrievals()
{
    QString script;
    for (int n = 1; n <= kMails.size(); ++n) {
        script += QStringLiteral("C: RETR %1\n").arg(n) + retrRow(kMails[n - 1]);
    }
    return script + kQuit;
}

QString pipelinedSession()
{
    return kGreeting + "C: CAPA\nS: +OK\nS: TOP\nS: PIPELINING\nS: UIDL\nS: .\n" +
           // The server answers USER only once PASS is there too: the burst must be one.
           "C: USER\nC: PASS\nS: +OK\nS: +OK\nC: STAT\nC: UIDL\nC: LIST\n" + kStat +
           sendRow("+OK\r\n" + uidlListing() + ".\r\n") +
           sendRow("+OK\r\n" + listListing() + ".\r\n") + retrievals();
}

QString oneByOneSession()
{
    return kGreeting + "C: CAPA\nS: +OK\nS: UIDL\nS: .\n" +
           kFakeLoginUntilStat.mid(kGreeting.size()) + kStat + "C: UIDL\n" +
           sendRow("+OK\r\n" + uidlListing() + ".\r\n") + "C: LIST\n" +
           sendRow("+OK\r\n" + listListing() + ".\r\n") + retrievals();
}

// Points the control at the fake server as bob, with or without fewer round trips.
void pointAt(Vorlane& v, const FakePop3Server& server, qint16 timeout, bool fewerRoundTrips = true)
{
    v.setPOPHostname("127.0.0.1");
    v.setPOPPort(server.port());
    v.setPOPUsername("bob");
    v.setPOPPassword("pw");
    v.setPOPTimeout(timeout);
    v.setPOPFewerRoundTrips(fewerRoundTrips);
}

// The control's trace goes to a file in `dir`, read back with traceIn().
void traceInto(Vorlane& v, const QTemporaryDir& dir)
{
    v.setDebugFile(QFile::encodeName(dir.filePath("trace.txt")));
    v.setDebugMode(true);
}

QByteArray traceIn(const QTemporaryDir& dir)
{
    return fileBytes(dir.filePath("trace.txt"));
}

// A traced control with fewer round trips, connected to the fake server running `script`.
struct Session {
    FakePop3Server server;
    QTemporaryDir dir;
    Vorlane v;

    explicit Session(const QString& script)
    {
        server.script(script);
        traceInto(v, dir);
        pointAt(v, server, 3);
        v.Connect();
    }
    QByteArray trace() const { return traceIn(dir); }
};

// What a session gave the host, message by message.
struct Outcome {
    qint16 connectError = -1;
    QList<QByteArray> ids, headers, files;
    QList<qint32> sizes;
    QList<qint16> errors;
    QList<QList<int>> events; // consecutive repeats folded: how reads split a reply varies
    QByteArray uniqueIdList;
    QList<QByteArray> sent;
};

Outcome runSession(const QString& script, bool fewerRoundTrips)
{
    FakePop3Server server;
    server.script(script);
    Vorlane v;
    pointAt(v, server, 3, fewerRoundTrips);
    Outcome out;
    v.setMsgReadStatusHandler([&](qint32& read, qint32& total, qint16& percent) {
        const QList<int> event{read, total, percent};
        if (out.events.isEmpty() || out.events.last() != event) {
            out.events.append(event);
        }
    });
    v.Connect();
    out.connectError = v.Error();
    out.uniqueIdList = v.UniqueIDList();
    QTemporaryDir dir;
    for (qint16 n = 1; n <= kMails.size(); ++n) {
        v.SetCurrentMsg(n);
        out.ids.append(v.MsgUniqueID());
        out.sizes.append(v.MsgSizeInK());
        QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("msg%1.txt").arg(n)));
        v.WriteCurrentMsgToFile(path);
        out.errors.append(v.Error());
        out.files.append(fileBytes(QString::fromLocal8Bit(path)));
        out.headers.append(v.MsgHeaders());
    }
    v.Disconnect();
    out.sent = server.received();
    return out;
}

QList<QByteArray> retrCommands()
{
    QList<QByteArray> commands;
    for (int n = 1; n <= kMails.size(); ++n) {
        commands.append("RETR " + QByteArray::number(n));
    }
    return commands + QList<QByteArray>{"QUIT"};
}

struct WireCase {
    const char* name;
    QString script;
    QList<QByteArray> sent;
    QByteArray uniqueIdList;
};

void PrintTo(const WireCase& c, std::ostream* out)
{
    *out << c.name;
}

class FewerRoundTrips : public ::testing::TestWithParam<WireCase> {};

const QList<QByteArray> kListedLogin = {"CAPA", "USER bob", "PASS pw", "STAT", "UIDL", "LIST"};

QList<QByteArray> perMessageCommands()
{
    QList<QByteArray> commands = {"CAPA", "USER bob", "PASS pw", "STAT"};
    for (int n = 1; n <= kMails.size(); ++n) {
        for (const char* command : {"UIDL ", "LIST ", "RETR "}) {
            commands.append(command + QByteArray::number(n));
        }
    }
    return commands + QList<QByteArray>{"QUIT"};
}

const WireCase kWireCases[] = {
    {"PipelinedWhereOffered", pipelinedSession(), kListedLogin + retrCommands(),
     uidlListing().chopped(2)},
    {"OneByOneWithoutPipelining", oneByOneSession(), kListedLogin + retrCommands(),
     uidlListing().chopped(2)},
    // No capabilities: served per message, but the headers still come with RETR.
    {"PerMessageWhenCapaIsRefused",
     perMessageSession(QStringLiteral("C: CAPA\nS: -ERR unknown command\n"), false),
     perMessageCommands(), ""},
};

} // namespace

// The same five messages, read per message with the member off and with it on: the host sees
// the same ids, sizes, headers, files, events and codes, for one RETR per message.
TEST_P(FewerRoundTrips, SameResultsInFewerExchanges)
{
    const Outcome classic = runSession(perMessageSession({}, true), false);
    ASSERT_EQ(classic.connectError, 0);
    EXPECT_EQ(classic.sent.count("TOP 1 0"), 1);
    const Outcome fewer = runSession(GetParam().script, true);
    EXPECT_EQ(fewer.connectError, 0);
    EXPECT_EQ(fewer.sent, GetParam().sent);
    EXPECT_EQ(fewer.uniqueIdList, GetParam().uniqueIdList);
    EXPECT_EQ(fewer.ids, classic.ids);
    EXPECT_EQ(fewer.sizes, classic.sizes);
    EXPECT_EQ(fewer.headers, classic.headers);
    EXPECT_EQ(fewer.files, classic.files);
    EXPECT_EQ(fewer.errors, classic.errors);
    EXPECT_EQ(fewer.events, classic.events);
    EXPECT_EQ(classic.sizes, (QList<qint32>{1, 6, 1, 1, 1}));
    EXPECT_EQ(classic.headers.value(1), "X-Only: header\r\nX-Two: no empty line");
    EXPECT_EQ(classic.headers.value(4), "");
}

INSTANTIATE_TEST_SUITE_P(, FewerRoundTrips, ::testing::ValuesIn(kWireCases),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

const QString kCapaPipelining = QStringLiteral("C: CAPA\nS: +OK\nS: PIPELINING\nS: .\n");

struct BurstCase {
    const char* name;
    QString script; // after the greeting and CAPA
    qint16 error;
    QByteArray errorText;
    QList<QByteArray> sent; // after CAPA
};

// Each reply of a burst answers its own command, however the reads split them, and a refusal
// gives the code and the reply of the command it answers.
const BurstCase kBurstCases[] = {
    {"UserRefusedAndPassReplyLeftAlone",
     "C: USER\nC: PASS\nS: -ERR no such user\nS: +OK but not this one\nH:",
     14,
     "Error received from USER command: -ERR no such user\r\n",
     {"USER bob", "PASS pw"}},
    {"PassRefused",
     "C: USER\nC: PASS\nS: +OK\nS: -ERR [AUTH] Authentication failed.\nH:",
     15,
     "Error received from PASS command: -ERR [AUTH] Authentication failed.\r\n",
     {"USER bob", "PASS pw"}},
    {"StatRefusedBeforeItsListings",
     "C: USER\nC: PASS\nS: +OK\\r\\n+OK\nC: STAT\nC: UIDL\nC: LIST\nS: -ERR [IN-USE] locked\n"
     "S: -ERR not logged in\nS: -ERR not logged in\nH:",
     18,
     "Error received from STAT command: -ERR [IN-USE] locked\r\n",
     {"USER bob", "PASS pw", "STAT", "UIDL", "LIST"}},
    {"RepliesSplitAcrossTheirBoundaries",
     "C: USER\nC: PASS\nS|2,6,8: +OK\\r\\n+OK\nC: STAT\nC: UIDL\nC: LIST\n"
     "S|3,11,13,17: +OK 1 9\\r\\n+OK\\r\\n1 a\\r\\n.\\r\\n+OK\\r\\n1 9\\r\\n.\nC: QUIT\nS: +OK\nX:",
     0,
     "",
     {"USER bob", "PASS pw", "STAT", "UIDL", "LIST", "QUIT"}},
    // A silent server costs one timeout, not one per command of the burst.
    {"SilentAfterTheLoginBurst",
     "C: USER\nC: PASS\nH:",
     14,
     "Error received from USER command: Program determining timeout error",
     {"USER bob", "PASS pw"}},
};

} // namespace

TEST(FewerRoundTripsBursts, RepliesAnswerTheirOwnCommands)
{
    for (const BurstCase& c : kBurstCases) {
        SCOPED_TRACE(c.name);
        FakePop3Server server;
        server.script(kGreeting + kCapaPipelining + c.script);
        Vorlane v;
        pointAt(v, server, 1);
        v.Connect();
        EXPECT_EQ(v.Error(), c.error);
        EXPECT_EQ(v.ErrorText(), c.errorText);
        EXPECT_EQ(v.Status(), c.error ? 0 : 1);
        if (c.error == 0) {
            EXPECT_EQ(v.MsgCount(), 1);
            EXPECT_EQ(v.UniqueIDList(), "1 a");
            v.Disconnect();
        }
        EXPECT_EQ(server.received().mid(1), c.sent);
    }
}

namespace {

struct HostileListing {
    const char* name;
    QByteArray uidl; // listing lines, CR LF after each
    QByteArray list;
    QList<int> uidlPerMessage; // messages then asked for with UIDL n
    QList<int> listPerMessage; // and with LIST n
    QList<QByteArray> traced;  // what the trace says about the listing
};

QByteArray goodUidl(int n)
{
    return QByteArray::number(n) + " id-" + QByteArray::number(n) + "\r\n";
}

QByteArray goodList(int n)
{
    return QByteArray::number(n) + ' ' + QByteArray::number(100 * n) + "\r\n";
}

const QByteArray kGoodUidl = goodUidl(1) + goodUidl(2) + goodUidl(3);
const QByteArray kGoodList = goodList(1) + goodList(2) + goodList(3);
const QByteArray kUidlNotUsed = "UIDL listing line not used, UIDL n instead: ";

const HostileListing kHostileListings[] = {
    {"NotNumberSpaceId",
     goodUidl(1) + "id-2\r\n" + goodUidl(3),
     kGoodList,
     {2},
     {},
     {kUidlNotUsed + "id-2", "UIDL listing has no line for message 2, UIDL n instead"}},
    {"NumberOutOfRange",
     "0 id-0\r\n" + goodUidl(1) + goodUidl(2) + "4 id-4\r\n",
     kGoodList,
     {3},
     {},
     {kUidlNotUsed + "0 id-0", kUidlNotUsed + "4 id-4"}},
    {"RepeatedNumber",
     goodUidl(1) + goodUidl(2) + "2 id-9\r\n" + goodUidl(3),
     kGoodList,
     {2},
     {},
     {kUidlNotUsed + "2 id-2", kUidlNotUsed + "2 id-9"}},
    {"IdOverSeventyCharacters",
     goodUidl(1) + "2 " + QByteArray(71, 'x') + "\r\n" + goodUidl(3),
     kGoodList,
     {2},
     {},
     {kUidlNotUsed + "2 " + QByteArray(71, 'x')}},
    {"IdBytesOutsidePrintable",
     "1 id 1\r\n2 id-\x7F\r\n3 id-\x80\r\n",
     kGoodList,
     {1, 2, 3},
     {},
     {kUidlNotUsed + "1 id 1", kUidlNotUsed + "2 id-\x7F"}},
    {"MissingMessagesAndASizeThatIsNoNumber",
     goodUidl(1) + goodUidl(3),
     goodList(1) + "2 many\r\n",
     {2},
     {2, 3},
     {"LIST listing line not used, LIST n instead: 2 many",
      "LIST listing has no line for message 3, LIST n instead"}},
};

QString listingRows(const QByteArray& lines)
{
    QString rows = QStringLiteral("S: +OK\n");
    for (const QByteArray& line : lines.split('\n')) {
        if (!line.isEmpty()) {
            rows += QStringLiteral("S: ") +
                    escaped(line.chopped(1))
                        .replace("\x7F", "\\x7F")
                        .replace(QChar(0x80), QStringLiteral("\\x80")) +
                    QStringLiteral("\n");
        }
    }
    return rows + QStringLiteral("S: .\n");
}

} // namespace

// A line the listing cannot be trusted with is not used: its message is asked for on its own, and
// the trace names the line.
TEST(FewerRoundTripsListings, HostileLinesFallBackToThePerMessageCommands)
{
    for (const HostileListing& c : kHostileListings) {
        SCOPED_TRACE(c.name);
        QString script = kGreeting + kCapaPipelining +
                         "C: USER\nC: PASS\nS: +OK\nS: +OK\nC: STAT\nC: UIDL\nC: LIST\n" +
                         "S: +OK 3 600\n" + listingRows(c.uidl) + listingRows(c.list);
        QList<QByteArray> expected;
        for (int n = 1; n <= 3; ++n) {
            if (c.uidlPerMessage.contains(n)) {
                script += QStringLiteral("C: UIDL %1\nS: +OK %1 id-%1\n").arg(n);
                expected.append("UIDL " + QByteArray::number(n));
            }
            if (c.listPerMessage.contains(n)) {
                script += QStringLiteral("C: LIST %1\nS: +OK %1 %2\n").arg(n).arg(100 * n);
                expected.append("LIST " + QByteArray::number(n));
            }
        }
        Session s(script + "H:");
        Vorlane& v = s.v;
        ASSERT_EQ(v.Error(), 0) << v.ErrorText().constData();
        EXPECT_EQ(v.UniqueIDList(), c.uidl.chopped(2)); // as the server sent it
        for (qint16 n = 1; n <= 3; ++n) {
            v.SetCurrentMsg(n);
            EXPECT_EQ(v.MsgUniqueID(), "id-" + QByteArray::number(n)) << n;
            EXPECT_EQ(v.MsgSizeInK(), 1);
            EXPECT_EQ(v.Error(), 0);
        }
        EXPECT_EQ(s.server.received().mid(6), expected);
        const QByteArray trace = s.trace();
        for (const QByteArray& said : c.traced) {
            EXPECT_TRUE(trace.contains("\r\n" + said + "\r\n")) << said.constData();
        }
    }
}

namespace {

// A pipelined login whose listings name two messages, then `then`; bob's messages are "id-1"
// and "id-2" of 100 and 200 octets.
struct ListedSession : Session {
    QList<QList<int>> events;

    explicit ListedSession(const QString& then)
        : Session(kGreeting + kCapaPipelining +
                  "C: USER\nC: PASS\nS: +OK\nS: +OK\nC: STAT\nC: UIDL\nC: LIST\n" +
                  "S: +OK 2 300\n" + listingRows(goodUidl(1) + goodUidl(2)) +
                  listingRows(goodList(1) + goodList(2)) + then)
    {
        EXPECT_EQ(v.Error(), 0) << v.ErrorText().constData();
        v.setMsgReadStatusHandler([this](qint32& read, qint32& total, qint16& percent) {
            events.append({read, total, percent});
        });
    }
    QByteArray save(qint16 number)
    {
        v.SetCurrentMsg(number);
        QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("m%1.txt").arg(number)));
        v.WriteCurrentMsgToFile(path);
        return fileBytes(QString::fromLocal8Bit(path));
    }
    QList<QByteArray> sent() const { return server.received().mid(6); }
};

} // namespace

TEST(FewerRoundTripsRetrieval, HeadersBeyondTheCaptureComeFromTop)
{
    const QByteArray header = "X-Big: " + QByteArray(70 * 1024, 'h') + "\r\n";
    const QByteArray wire = "Subject: big\r\n" + header + "\r\nbody\r\n";
    ListedSession s("C: RETR 1\n" + sendRow("+OK\r\n" + wire + ".\r\n") + "C: TOP 1 0\n" +
                    sendRow("+OK\r\nSubject: big\r\n" + header + "\r\n.\r\n") + "H:");
    EXPECT_EQ(s.save(1), wire.chopped(2));
    EXPECT_EQ(s.v.Error(), 0);
    EXPECT_EQ(s.v.MsgHeaders(), "Subject: big\r\n" + header);
    EXPECT_EQ(s.sent(), (QList<QByteArray>{"RETR 1", "TOP 1 0"}));
}

// Without TOP before it, RETR is the first to hear of a message that is gone: handled as TOP's
// "no such message" is. Any other refusal is a failed retrieval at once, not after a timeout.
TEST(FewerRoundTripsRetrieval, RefusedRetr)
{
    ListedSession gone("C: RETR 1\nS: -ERR No such message\nH:");
    EXPECT_EQ(gone.save(1), "Unable to retrieve");
    EXPECT_EQ(gone.v.Error(), 0);
    EXPECT_EQ(gone.v.Status(), 1);
    EXPECT_EQ(gone.v.MsgHeaders(), "Unable to retrieve");
    EXPECT_EQ(gone.v.MsgUniqueID(), "bob:127.0.0.1:1");
    EXPECT_TRUE(gone.events.isEmpty());

    ListedSession busy("C: RETR 2\nS: -ERR [SYS/TEMP] try later\nH:");
    busy.save(2);
    EXPECT_EQ(busy.v.Error(), 25);
    EXPECT_EQ(busy.v.ErrorText(), "Error retrieving the message: -ERR [SYS/TEMP] try later");
    EXPECT_EQ(busy.v.Status(), 0);
    EXPECT_EQ(busy.events, (QList<QList<int>>{{1, 1, 100}}));
}

// After DELE the server refuses the message's number; the listing must not answer for it.
TEST(FewerRoundTripsRetrieval, DeletedMessageIsAskedForByNumber)
{
    ListedSession s("C: DELE 2\nS: +OK marked\nC: UIDL 2\nS: -ERR Message is deleted.\nH:");
    qint16 two = 2;
    s.v.SetCurrentMsg(two);
    s.v.DeleteCurrentMsg();
    s.v.SetCurrentMsg(two);
    EXPECT_EQ(s.v.Error(), 21);
    EXPECT_EQ(s.sent(), (QList<QByteArray>{"DELE 2", "UIDL 2"}));
}

// A listing the server refuses is no listing: each message is asked for on its own, and the trace
// says why. So is everything when CAPA is refused.
TEST(FewerRoundTripsListings, RefusalsAreServedPerMessageAndTraced)
{
    const QString listed = QStringLiteral("S: +OK\nS: 1 id-1\nS: .\n");
    const QString sized = QStringLiteral("S: +OK\nS: 1 100\nS: .\n");
    const QString pipelinedLogin = kCapaPipelining + "C: USER\nC: PASS\nS: +OK\nS: +OK\n";
    const struct {
        const char* name;
        QString script; // from CAPA to the end of the listings
        QList<QByteArray> perMessage;
        QByteArray traced;
    } cases[] = {
        {"UidlRefused",
         pipelinedLogin + "C: STAT\nC: UIDL\nC: LIST\nS: +OK 1 100\nS: -ERR no UIDL here\n" + sized,
         {"UIDL 1"},
         "UIDL listing refused, UIDL n per message:-ERR no UIDL here"},
        {"ListRefused",
         pipelinedLogin + "C: STAT\nC: UIDL\nC: LIST\nS: +OK 1 100\n" + listed +
             "S: -ERR not now\n",
         {"LIST 1"},
         "LIST listing refused, LIST n per message:-ERR not now"},
        {"CapaRefused",
         "C: CAPA\nS: -ERR unknown command\nC: USER\nS: +OK\nC: PASS\nS: +OK\nC: STAT\n"
         "S: +OK 1 100\n",
         {"UIDL 1", "LIST 1"},
         "CAPA not answered +OK: commands one by one, UIDL and LIST per message"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString perMessage;
        for (const QByteArray& command : c.perMessage) {
            perMessage +=
                "C:\nS: +OK 1 " + QString(command.startsWith("UIDL") ? "id-1" : "100") + "\n";
        }
        Session s(kGreeting + c.script + perMessage + "C: QUIT\nS: +OK\nX:");
        Vorlane& v = s.v;
        ASSERT_EQ(v.Error(), 0) << v.ErrorText().constData();
        qint16 one = 1;
        v.SetCurrentMsg(one);
        EXPECT_EQ(v.MsgUniqueID(), "id-1");
        EXPECT_EQ(v.MsgSizeInK(), 1);
        v.Disconnect();
        EXPECT_EQ(v.UniqueIDList(), "");
        const QList<QByteArray> sent = s.server.received();
        EXPECT_EQ(sent.mid(sent.size() - 1 - c.perMessage.size()),
                  c.perMessage + QList<QByteArray>{"QUIT"});
        EXPECT_TRUE(s.trace().contains("\r\n" + c.traced + "\r\n"));
    }
}
