// CPU cost of a blocking wait: Connect against a server that accepts and never speaks, for
// POPTimeout seconds. A spinning wait would use one whole core (1.0 CPU second per second).
#include "control/vorlane.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint16 waitSeconds = argc > 1 ? qint16(std::atoi(argv[1])) : qint16(5);
    QTcpServer silent; // accepts (the kernel does) and never answers
    silent.listen(QHostAddress::LocalHost, 0);

    Vorlane pop;
    pop.setPOPHostname("127.0.0.1");
    pop.setPOPPort(silent.serverPort());
    pop.setPOPUsername("nobody");
    pop.setPOPTimeout(waitSeconds);

    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    wall.start();
    pop.Connect();
    const double wallSeconds = double(wall.elapsed()) / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("idle wait: Error %d after %.2f s wall, %.4f s CPU: %.5f CPU s per wall s "
                "(goal < 0.01; a spinning wait is 1.0)\n",
                pop.Error(), wallSeconds, cpu, cpu / wallSeconds);
    std::printf("TABLE|Idle wait (Connect, silent server, %d s)|%.5f CPU s per wall s|spinning "
                "wait 1.0|%.5f|< 0.01\n",
                int(waitSeconds), cpu / wallSeconds, cpu / wallSeconds);
    return cpu / wallSeconds < 0.01 ? 0 : 1;
}
