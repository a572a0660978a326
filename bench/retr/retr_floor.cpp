// The floor for a streamed RETR: what reading the server's reply into a file costs with nothing
// in between. It logs in and sends RETR and QUIT at once (pipelined), then copies everything the
// server sends into the file with large recv/write (or SSL_read/write) calls until the server
// closes. No framing, no event loop, no copies but the kernel's. The file holds the whole
// conversation, which is the message plus a few hundred bytes.
// Usage: retr_floor HOST PORT USER PASS FILE [CAFILE]   (with CAFILE: TLS from the first byte)
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#ifdef VORLANE_FLOOR_TLS
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#endif

namespace {

constexpr std::size_t kBufferSize = 1024 * 1024;

int connectTo(const char* host, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || ::inet_pton(AF_INET, host, &address.sin_addr) != 1 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("retr_floor: connect");
        std::exit(1);
    }
    return fd;
}

// The two ends of the copy, plain or over TLS.
struct Channel {
    int fd = -1;
#ifdef VORLANE_FLOOR_TLS
    SSL* tls = nullptr;
#endif
    long receive(char* buffer, std::size_t size)
    {
#ifdef VORLANE_FLOOR_TLS
        if (tls) {
            const int got = SSL_read(tls, buffer, static_cast<int>(size));
            return got > 0 ? got : 0;
        }
#endif
        ssize_t got;
        do {
            got = ::recv(fd, buffer, size, 0);
        } while (got < 0 && errno == EINTR);
        return got;
    }
    bool send(const std::string& bytes)
    {
#ifdef VORLANE_FLOOR_TLS
        if (tls) {
            return SSL_write(tls, bytes.data(), static_cast<int>(bytes.size())) ==
                   static_cast<int>(bytes.size());
        }
#endif
        return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
};

#ifdef VORLANE_FLOOR_TLS
void startTls(Channel& channel, const char* host, const char* caFile)
{
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_default_verify_paths(context);
    if (SSL_CTX_load_verify_locations(context, caFile, nullptr) != 1) {
        std::fprintf(stderr, "retr_floor: cannot load %s\n", caFile);
        std::exit(1);
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    channel.tls = SSL_new(context);
    // An address is checked against the certificate's IP entries, a name against its DNS names.
    if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(channel.tls), host) != 1) {
        SSL_set1_host(channel.tls, host);
    }
    SSL_set_fd(channel.tls, channel.fd);
    if (SSL_connect(channel.tls) != 1) {
        ERR_print_errors_fp(stderr);
        std::exit(1);
    }
}
#endif

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: retr_floor HOST PORT USER PASS FILE [CAFILE]\n");
        return 2;
    }
    Channel channel;
    channel.fd = connectTo(argv[1], std::atoi(argv[2]));
    if (argc == 7) {
#ifdef VORLANE_FLOOR_TLS
        startTls(channel, argv[1], argv[6]);
#else
        std::fprintf(stderr, "retr_floor: built without TLS\n");
        return 2;
#endif
    }
    const int out = ::open(argv[5], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        std::perror("retr_floor: open");
        return 1;
    }
    const std::string commands =
        std::string("USER ") + argv[3] + "\r\nPASS " + argv[4] + "\r\nRETR 1\r\nQUIT\r\n";
    if (!channel.send(commands)) {
        std::perror("retr_floor: send");
        return 1;
    }
    std::vector<char> buffer(kBufferSize);
    long long total = 0;
    for (;;) {
        const long got = channel.receive(buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        for (long done = 0; done < got;) {
            const ssize_t written = ::write(out, buffer.data() + done, std::size_t(got - done));
            if (written <= 0) {
                std::perror("retr_floor: write");
                return 1;
            }
            done += written;
        }
        total += got;
    }
    ::close(out);
    std::printf("bytes %lld\n", total);
    return total > 0 ? 0 : 1;
}
