// The streamed-response framer fed at every split point and byte by byte: the body it passes on
// must not depend on how the reads cut the response.
#include "control/streamframer.h"

#include <QList>
#include <QRandomGenerator>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct Framed {
    QByteArray statusLine;
    QByteArray body;
    QByteArray rest; // bytes after the marker
    bool finished = false;
};

Framed frame(const QByteArray& response, const QList<qsizetype>& cuts)
{
    StreamFramer framer;
    framer.start();
    Framed out;
    const StreamFramer::BodySink sink = [&](QByteArrayView bytes) { out.body += bytes; };
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends.append(response.size());
    for (qsizetype end : ends) {
        QByteArrayView chunk = QByteArrayView(response).sliced(from, end - from);
        from = end;
        if (out.finished) {
            out.rest += chunk;
            continue;
        }
        if (framer.statusLinePending()) {
            const qsizetype after = framer.takeStatusLine(chunk, out.statusLine);
            chunk = after < 0 ? QByteArrayView() : chunk.sliced(after);
        }
        if (!framer.statusLinePending()) {
            const qsizetype used = framer.takeBody(chunk, sink);
            out.finished = framer.finished();
            out.rest += chunk.sliced(used);
        }
    }
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
