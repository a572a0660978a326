// socketrelay LISTEN TARGET: a relay in front of the Unix socket TARGET that carries bytes both
// ways and no descriptors, as a daemon reached through a container's or a virtual machine's
// forwarded socket is. Unlike socat it delivers what the far side said before it closed, also when
// the far side stopped reading first: clamd ending a stream at its StreamMaxLength answers, then
// closes while the client is still sending. One thread, one poll() loop, until it is killed.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <list>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kBufferLimit = 1 << 20; // read no more from a side while this much waits

sockaddr_un addressOf(const char* path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof(address.sun_path) - 1);
    return address;
}

// One direction of a connection: bytes read from `from`, not yet written to `to`.
struct Flow {
    int from;
    int to;
    std::string pending;
    bool ended = false; // `from` said EOF (or failed)
    bool deaf = false;  // `to` takes no more: what comes from `from` is dropped
    bool shut = false;  // `to` was told the end
};

struct Connection {
    Flow up;   // client to target
    Flow down; // target to client

    bool done() const { return down.ended && (down.pending.empty() || down.deaf); }
};

void readInto(Flow& flow)
{
    char buffer[65536];
    const ssize_t n = ::read(flow.from, buffer, sizeof(buffer));
    if (n > 0 && !flow.deaf) {
        flow.pending.append(buffer, size_t(n));
    } else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        flow.ended = true;
    }
}

// Writes what it can without blocking; passes the end on once everything before it is out.
void writeOut(Flow& flow)
{
    if (!flow.pending.empty()) {
        const ssize_t n = ::send(flow.to, flow.pending.data(), flow.pending.size(), MSG_NOSIGNAL);
        if (n > 0) {
            flow.pending.erase(0, size_t(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            flow.deaf = true; // the reader is gone; the other direction still runs to its end
            flow.pending.clear();
        }
    }
    if (flow.ended && flow.pending.empty() && !flow.shut) {
        ::shutdown(flow.to, SHUT_WR);
        flow.shut = true;
    }
}

// The poll entry of a socket that `reading` reads and `writing` writes; none (-1) when nothing is
// wanted of it, so that a closed socket's hang-up does not wake the loop again and again.
pollfd entry(const Flow& reading, const Flow& writing)
{
    short events = 0;
    if (!reading.ended && reading.pending.size() < kBufferLimit) {
        events |= POLLIN;
    }
    if (!writing.pending.empty()) {
        events |= POLLOUT;
    }
    return {events ? reading.from : -1, events, 0};
}

void serve(int listener, const char* target)
{
    std::list<Connection> connections;
    for (;;) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const Connection& c : connections) {
            fds.push_back(entry(c.up, c.down));
            fds.push_back(entry(c.down, c.up));
        }
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
            return;
        }
        size_t at = 1;
        for (auto c = connections.begin(); c != connections.end(); at += 2) {
            if (fds[at].revents & (POLLIN | POLLHUP | POLLERR)) {
                readInto(c->up);
            }
            if (fds[at + 1].revents & (POLLIN | POLLHUP | POLLERR)) {
                readInto(c->down);
            }
            writeOut(c->down);
            writeOut(c->up);
            if (c->done()) {
                ::close(c->up.from);
                ::close(c->down.from);
                c = connections.erase(c);
            } else {
                ++c;
            }
        }
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
            const int far = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            const sockaddr_un address = addressOf(target);
            if (client >= 0 && far >= 0 &&
                ::connect(far, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
                connections.push_back({{client, far, {}}, {far, client, {}}});
            } else {
                ::close(client);
                ::close(far);
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: socketrelay LISTEN TARGET\n");
        return 2;
    }
    const sockaddr_un address = addressOf(argv[1]);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::unlink(argv[1]);
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("socketrelay");
        return 1;
    }
    serve(listener, argv[2]);
    return 1;
}
