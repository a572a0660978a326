// The headers caught at the start of a streamed message, fed at every split point and byte by
// byte: what TOP n 0 would give, whatever the reads, and nothing beyond the bound.
#include "control/headercapture.h"

#include <QList>
#include <gtest/gtest.h>
#include <optional>

namespace {

std::optional<QByteArray> capture(const QByteArray& message, QList<qsizetype> cuts)
{
    HeaderCapture headers;
    headers.start();
    qsizetype from = 0;
    cuts.append(message.size());
    for (qsizetype end : cuts) {
        headers.take(QByteArrayView(message).sliced(from, end - from));
        from = end;
    }
    return headers.finish();
}

void expectAtEverySplit(const QByteArray& message, const std::optional<QByteArray>& expected)
{
    for (qsizetype at = 0; at <= message.size(); ++at) {
        EXPECT_EQ(capture(message, {at}), expected) << "split at " << at;
    }
    QList<qsizetype> everyByte;
    for (qsizetype at = 1; at < message.size(); ++at) {
        everyByte.append(at);
    }
    EXPECT_EQ(capture(message, everyByte), expected) << "byte by byte";
}

} // namespace

TEST(HeaderCapture, GivesWhatTopGivesWhateverTheReads)
{
    const struct {
        const char* name;
        QByteArray message; // as the stream writes it to the file
        QByteArray headers;
    } cases[] = {
        {"headers and body", "Subject: a\r\nFrom: b\r\n\r\nbody\r\n\r\nmore",
         "Subject: a\r\nFrom: b\r\n"},
        {"folded header", "X: one\r\n\ttwo\r\n\r\nbody", "X: one\r\n\ttwo\r\n"},
        {"no empty line: all headers", "A: 1\r\nB: 2", "A: 1\r\nB: 2"},
        {"empty body", "Subject: s\r\n", "Subject: s\r\n"},
        {"empty first line: no headers", "\r\nbody\r\n\r\n", ""},
        {"spaces trimmed as TOP's are", "  A: 1\r\n\r\n", "A: 1\r\n"},
        {"dot-stuffed as sent", "..A: 1\r\n\r\n..", "..A: 1\r\n"},
        {"empty message", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectAtEverySplit(c.message, c.headers);
    }
}

TEST(HeaderCapture, HeadersBeyondTheBoundAreLeftToTop)
{
    const qsizetype limit = HeaderCapture::kLimit;
    const QByteArray justFits = QByteArray(limit - 2, 'h') + "\r\n\r\nbody";
    EXPECT_EQ(capture(justFits, {limit - 1, limit + 1}), justFits.first(limit));
    const QByteArray tooLong = QByteArray(limit - 1, 'h') + "\r\n\r\nbody";
    EXPECT_EQ(capture(tooLong, {limit, limit + 1}), std::nullopt);
    EXPECT_EQ(capture(QByteArray(3 * limit, 'h'), {1, limit, 2 * limit}), std::nullopt);

    HeaderCapture stopped;
    stopped.start();
    stopped.take("A: 1\r\n");
    stopped.stop();
    EXPECT_EQ(stopped.finish(), std::nullopt);
}
