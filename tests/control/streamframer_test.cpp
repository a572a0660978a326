// The reply framer fed at every split point and byte by byte: where a reply ends, and the body it
// passes on, must not depend on how the reads cut the reply.
#include "control/streamframer.h"

#include <QList>
#include <QRandomGenerator>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct Framed {
    QByteArray statusLine;
    QByteArray body;
    QByteArray rest; // bytes after the reply's end
    bool finished = false;
    bool endedAtStatusLine = false;
};

Framed frame(const QByteArray& response, const QList<qsizetype>& cuts,
             StreamFramer::Reply kind = StreamFramer::Reply::Body)
{
    StreamFramer framer;
    framer.start(kind);
    Framed out;
    const StreamFramer::BodySink sink = [&](QByteArrayView bytes) { out.body += bytes; };
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends.append(response.size());
    for (qsizetype end : ends) {
        const QByteArrayView chunk = QByteArrayView(response).sliced(from, end - from);
        from = end;
        if (out.finished) {
            out.rest += chunk;
            continue;
        }
        const qsizetype used = framer.take(chunk, out.statusLine, sink);
        out.finished = framer.finished();
        out.rest += chunk.sliced(used);
    }
    out.endedAtStatusLine = framer.endedAtStatusLine();
    return out;
}

// The body the framer must give: everything after the status line's CR LF up to, not including,
// the CR LF before the final "." line.
QByteArray expectedBody(const QByteArray& response)
{
    const qsizetype lineEnd = response.indexOf("\r\n");
    const QByteArray afterStatus = response.mid(lineEnd + 2);
    if (afterStatus.startsWith(".\r\n")) {
        return {};
    }
    const qsizetype marker = afterStatus.indexOf("\r\n.\r\n");
    return afterStatus.left(marker);
}

void expectSameAtEverySplit(const QByteArray& response, const QByteArray& trailer = {})
{
    const QByteArray wire = response + trailer;
    const QByteArray body = expectedBody(response);
    const QByteArray status = response.left(response.indexOf("\r\n"));
    for (qsizetype cut = 0; cut <= wire.size(); ++cut) {
        const Framed f = frame(wire, {cut});
        ASSERT_TRUE(f.finished) << "cut at " << cut;
        EXPECT_EQ(f.statusLine, status) << "cut at " << cut;
        EXPECT_EQ(f.body, body) << "cut at " << cut;
        EXPECT_EQ(f.rest, trailer) << "cut at " << cut;
    }
    for (qsizetype a = 0; a <= wire.size(); ++a) {
        for (qsizetype b = a; b <= wire.size(); b += 3) {
            const Framed f = frame(wire, {a, b});
            ASSERT_EQ(f.body, body) << "cuts at " << a << "," << b;
        }
    }
    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < wire.size(); ++i) {
        everyByte.append(i);
    }
    const Framed f = frame(wire, everyByte);
    EXPECT_EQ(f.body, body);
    EXPECT_EQ(f.statusLine, status);
    EXPECT_EQ(f.rest, trailer);
}

} // namespace

TEST(StreamFramer, BodyIsIndependentOfWhereReadsSplit)
{
    expectSameAtEverySplit("+OK 12 octets\r\nSubject: a\r\n\r\nbody\r\n.\r\n");
    expectSameAtEverySplit("+OK\r\n.\r\n");       // empty body: marker starts at status CR LF
    expectSameAtEverySplit("+OK\r\n\r\n.\r\n");   // one empty line
    expectSameAtEverySplit("+OK\r\n..\r\n.\r\n"); // dot-stuffed line kept as sent
    expectSameAtEverySplit("+OK\r\n.x\r\n\r\n.\r\n");
    expectSameAtEverySplit("+OK\r\na\r\n.\r\r\n.\r\n"); // "\r\n.\r" almost a marker
    expectSameAtEverySplit("+OK\r\n\r\r\r\n\r\n.\r\n");
    expectSameAtEverySplit("+OK a\rb\nc\r\nline\n.\n\r\n.\r\n"); // lone CR/LF are not line ends
}

TEST(StreamFramer, BytesAfterTheMarkerAreLeftForTheNextReply)
{
    expectSameAtEverySplit("+OK\r\nabc\r\n.\r\n", "+OK next\r\n");
    expectSameAtEverySplit("+OK\r\n.\r\n", ".\r\n");
}

// A single-line reply ends with its line; a multi-line one with its marker, or with its line when
// that is a refusal; the streamed one with its marker alone. Whatever follows is the next reply's.
TEST(StreamFramer, EachKindOfReplyEndsWhereItsCommandsReplyEnds)
{
    using Reply = StreamFramer::Reply;
    const struct {
        Reply kind;
        QByteArray wire;
        QByteArray statusLine;
        QByteArray body;
        QByteArray rest;
        bool endedAtStatusLine;
    } cases[] = {
        {Reply::SingleLine, "+OK 2 uid2\r\n+OK junk\r\n", "+OK 2 uid2", "", "+OK junk\r\n", false},
        {Reply::SingleLine, "+OK a\rb\nc\r\n.\r\n", "+OK a\rb\nc", "", ".\r\n", false},
        {Reply::MultiLine, "-ERR no\r\n.\r\n", "-ERR no", "", ".\r\n", false},
        {Reply::MultiLine, "-err no\r\nx\r\n.\r\n", "-err no", "x", "", false},
        {Reply::MultiLine, "+OK\r\n.\r\n+OK junk", "+OK", "", "+OK junk", true},
        {Reply::MultiLine, "+OK\r\n\r\n.\r\n", "+OK", "", "", false},
        {Reply::MultiLine, "+OK\r\na\r\n..\r\n.\r\n-ERR", "+OK", "a\r\n..", "-ERR", false},
        {Reply::Body, "-ERR no\r\nx\r\n.\r\n", "-ERR no", "x", "", false},
        {Reply::Body, "+OK\r\n.\r\n", "+OK", "", "", true},
    };
    for (const auto& c : cases) {
        for (qsizetype cut = 0; cut <= c.wire.size(); ++cut) {
            for (const QList<qsizetype>& cuts :
                 {QList<qsizetype>{cut}, QList<qsizetype>{cut / 2, cut}}) {
                const Framed f = frame(c.wire, cuts, c.kind);
                const QByteArray where = c.wire.toHex() + " cut at " + QByteArray::number(cut);
                ASSERT_TRUE(f.finished) << where.constData();
                EXPECT_EQ(f.statusLine, c.statusLine) << where.constData();
                EXPECT_EQ(f.body, c.body) << where.constData();
                EXPECT_EQ(f.rest, c.rest) << where.constData();
                EXPECT_EQ(f.endedAtStatusLine, c.endedAtStatusLine) << where.constData();
            }
        }
    }
}

TEST(StreamFramer, UnfinishedResponseKeepsHoldingPossibleMarkerBytes)
{
    const Framed f = frame("+OK\r\nabc\r\n.\r", {7});
    EXPECT_FALSE(f.finished);
    EXPECT_EQ(f.body, "abc"); // "\r\n.\r" may still become the marker
}

TEST(StreamFramer, StatusLineEndsOnlyAtCrLf)
{
    const Framed f = frame("+OK a\rb\nc\r\nx\r\n.\r\n", {5, 6});
    EXPECT_EQ(f.statusLine, "+OK a\rb\nc");
    EXPECT_EQ(f.body, "x");
}

TEST(StreamFramer, RandomBodiesMatchTheReferenceAtRandomCuts)
{
    QRandomGenerator random(1939);
    const char alphabet[] = {'\r', '\n', '.', 'a', '\x80', '\xff'};
    for (int round = 0; round < 300; ++round) {
        QByteArray body;
        const int length = random.bounded(40);
        for (int i = 0; i < length; ++i) {
            body += alphabet[random.bounded(int(sizeof alphabet))];
        }
        // Dot-stuff and terminate the body as a server would; an embedded marker cannot occur.
        body.replace("\r\n.", "\r\n..");
        if (body.startsWith('.')) {
            body.prepend('.');
        }
        const QByteArray response = "+OK\r\n" + body + (body.isEmpty() ? "" : "\r\n") + ".\r\n";
        QList<qsizetype> cuts;
        for (int c = random.bounded(6); c > 0; --c) {
            cuts.append(random.bounded(int(response.size()) + 1));
        }
        std::sort(cuts.begin(), cuts.end());
        const Framed f = frame(response, cuts);
        ASSERT_TRUE(f.finished) << response.toHex().constData();
        ASSERT_EQ(f.body, expectedBody(response)) << response.toHex().constData();
    }
}

TEST(StreamFramer, EndMarkerSearchAgreesWithAPlainSearchFromEveryStart)
{
    QRandomGenerator random(8314);
    const char alphabet[] = {'\r', '\n', '.', 'a'};
    const QByteArray marker("\r\n.\r\n");
    for (int round = 0; round < 2000; ++round) {
        QByteArray text;
        const int length = random.bounded(24);
        for (int i = 0; i < length; ++i) {
            text += alphabet[random.bounded(int(sizeof alphabet))];
        }
        if (random.bounded(2) == 0) {
            text.insert(random.bounded(int(text.size()) + 1), marker);
        }
        for (qsizetype from = 0; from <= text.size(); ++from) {
            ASSERT_EQ(StreamFramer::findEndMarker(text, from), text.indexOf(marker, from))
                << text.toHex().constData() << " from " << from;
        }
    }
}
