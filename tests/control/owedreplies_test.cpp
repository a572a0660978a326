// Replies owed by timed-out exchanges, fed at every split point: each is dropped whole, in order,
// and what follows the last one is left for the command that waits now.
#include "control/owedreplies.h"

#include <QList>
#include <gtest/gtest.h>

namespace {

using Reply = StreamFramer::Reply;

struct Dropped {
    QList<QByteArray> statusLines;
    QByteArray left;
};

// Owes `kinds` (the first with `partial` as what had come of it), then feeds `wire` cut at `cut`.
Dropped feed(const QList<Reply>& kinds, const QByteArray& partial, const QByteArray& wire,
             qsizetype cut)
{
    Dropped out;
    OwedReplies owed([&](const QByteArray& line) { out.statusLines.append(line); });
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        owed.owe(kinds[i], i == 0 ? QByteArrayView(partial) : QByteArrayView());
    }
    for (const QByteArrayView chunk :
         {QByteArrayView(wire).first(cut), QByteArrayView(wire).sliced(cut)}) {
        out.left += chunk.sliced(owed.discard(chunk));
    }
    EXPECT_TRUE(owed.isEmpty());
    return out;
}

} // namespace

TEST(OwedReplies, EachIsDroppedWholeAndInOrderWhereverTheReadsSplit)
{
    const QByteArray longLine(600, 'x');
    const struct {
        const char* name;
        QList<Reply> kinds;
        QByteArray partial;
        QByteArray wire;
        QList<QByteArray> dropped;
        QByteArray left;
    } cases[] = {
        {"line, then lines",
         {Reply::SingleLine, Reply::MultiLine},
         "",
         "+OK late\r\n+OK\r\nbody\r\n.\r\n+OK next\r\n",
         {"+OK late", "+OK"},
         "+OK next\r\n"},
        {"refused lines", {Reply::MultiLine}, "", "-ERR no\r\n+OK next", {"-ERR no"}, "+OK next"},
        {"empty body", {Reply::MultiLine}, "", "+OK\r\n.\r\n.\r\n", {"+OK"}, ".\r\n"},
        {"begun before the wait ended",
         {Reply::SingleLine},
         "+OK la",
         "te\r\nnext",
         {"+OK late"},
         "next"},
        {"long line traced short",
         {Reply::SingleLine},
         "",
         longLine + "\r\n+OK",
         {longLine.first(512)},
         "+OK"},
    };
    for (const auto& c : cases) {
        for (qsizetype cut = 0; cut <= c.wire.size(); ++cut) {
            const Dropped d = feed(c.kinds, c.partial, c.wire, cut);
            EXPECT_EQ(d.statusLines, c.dropped) << c.name << ", cut at " << cut;
            EXPECT_EQ(d.left, c.left) << c.name << ", cut at " << cut;
        }
    }
}
