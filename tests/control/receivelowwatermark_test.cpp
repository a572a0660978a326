// The receive low-water mark on a real loopback TCP connection: what mark each batch leaves in
// the kernel, that a tail below the mark is never stranded, and that a socket number reused
// after a close is left alone.
#include "control/receivelowwatermark.h"
#include "tests/support/waitfor.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMark = ReceiveLowWaterMark::kMarkBytes;

// Both ends of one loopback connection; the mark goes on the reading end.
struct LoopbackPair {
    QTcpServer server;
    QTcpSocket writer;
    QTcpSocket* reader = nullptr;

    LoopbackPair()
    {
        server.listen(QHostAddress::LocalHost);
        writer.connectToHost(QHostAddress::LocalHost, server.serverPort());
        waitFor([&] { return server.hasPendingConnections(); });
        reader = server.nextPendingConnection();
        waitFor([&] { return writer.state() == QAbstractSocket::ConnectedState; });
    }
    int fd() const { return reader ? static_cast<int>(reader->socketDescriptor()) : -1; }
};

int kernelMark(int fd)
{
    int value = -1;
    socklen_t size = sizeof value;
    return ::getsockopt(fd, SOL_SOCKET, SO_RCVLOWAT, &value, &size) == 0 ? value : -1;
}

bool kernelSaysReadable(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
}

struct Batching {
    const char* name;
    std::optional<qint64> expected;
    std::vector<qint64> batches;
    std::vector<int> marks; // in the kernel after each batch
};

void PrintTo(const Batching& b, std::ostream* out)
{
    *out << b.name;
}

const Batching kBatchings[] = {
    {"SmallBatchesNeverRaise", std::nullopt, {1000, 60 * 1024, 4096}, {1, 1, 1}},
    {"LargeBatchRaisesAndItHolds",
     std::nullopt,
     {100 * 1024, 4096, 300 * 1024},
     {kMark, kMark, kMark}},
    {"KnownSizeShrinksTheMarkToWhatIsLeft",
     500 * 1024,
     {100 * 1024, 200 * 1024, 150 * 1024, 40 * 1024},
     {kMark, 200 * 1024, 50 * 1024, 1}},
    {"KnownSizeTooSmallToBatch", 12 * 1024, {70 * 1024}, {1}},
    {"SizeOverstatedStillBatches", 1LL << 40, {70 * 1024}, {kMark}},
};

class ReceiveLowWaterMarkBatching : public ::testing::TestWithParam<Batching> {};

} // namespace

TEST_P(ReceiveLowWaterMarkBatching, LeavesTheExpectedMarkInTheKernel)
{
    const Batching& b = GetParam();
    LoopbackPair pair;
    ASSERT_GE(pair.fd(), 0);
    ReceiveLowWaterMark mark([&] { return qintptr(pair.fd()); });
    mark.expect(b.expected);
    for (std::size_t i = 0; i < b.batches.size(); ++i) {
        mark.noteBatch(b.batches[i]);
        EXPECT_EQ(kernelMark(pair.fd()), b.marks[i]) << "after batch " << i;
        EXPECT_EQ(mark.markBytes(), b.marks[i]) << "after batch " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Batchings, ReceiveLowWaterMarkBatching, ::testing::ValuesIn(kBatchings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReceiveLowWaterMark, TailBelowTheMarkBecomesReadableWithoutAnotherBatch)
{
    LoopbackPair pair;
    ReceiveLowWaterMark mark([&] { return qintptr(pair.fd()); });
    mark.noteBatch(100 * 1024);
    ASSERT_EQ(kernelMark(pair.fd()), kMark);
    pair.writer.write("tail\r\n");
    pair.writer.flush();
    // Loopback delivers within the write. The kernel holds the tail back while the mark
    // stands: the mark is real...
    EXPECT_FALSE(kernelSaysReadable(pair.fd()));
    // ...and without any further batch it falls, so the reader hears of the tail.
    EXPECT_TRUE(waitFor([&] { return kernelSaysReadable(pair.fd()); }, 2000));
    EXPECT_EQ(kernelMark(pair.fd()), 1);
    EXPECT_EQ(mark.markBytes(), 1);
}

TEST(ReceiveLowWaterMark, LeavesASocketNumberReusedAfterACloseAlone)
{
    LoopbackPair first;
    LoopbackPair second;
    QTcpSocket* socket = first.reader;
    ReceiveLowWaterMark mark([&] { return socket->socketDescriptor(); });
    mark.noteBatch(100 * 1024);
    ASSERT_EQ(kernelMark(first.fd()), kMark);
    // The connection closes while the mark stands, and its number comes to name another socket
    // with a mark of its own.
    const int number = first.fd();
    first.reader->abort();
    ASSERT_EQ(::dup2(second.fd(), number), number);
    const int theirs = 77;
    ASSERT_EQ(::setsockopt(number, SOL_SOCKET, SO_RCVLOWAT, &theirs, sizeof theirs), 0);
    EXPECT_TRUE(waitFor([&] { return mark.markBytes() == 1; }, 2000));
    EXPECT_EQ(kernelMark(second.fd()), theirs);
    ::close(number);
    // After a reset nothing waits to touch the socket.
    socket = second.reader;
    mark.noteBatch(100 * 1024);
    mark.reset();
    waitFor([] { return false; }, 5 * ReceiveLowWaterMark::kFallbackMs);
    EXPECT_EQ(kernelMark(second.fd()), kMark);
}
