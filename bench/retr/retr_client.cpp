// One streamed RETR of message 1 into a file, as a separate process so that its peak memory is
// the control's alone. Usage: retr_client HOST PORT USER PASS FILE [SECURITY CAFILE]
#include "control/vorlane.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 6 && argc != 8) {
        std::fprintf(stderr, "usage: retr_client HOST PORT USER PASS FILE [SECURITY CAFILE]\n");
        return 2;
    }
    Vorlane pop;
    pop.setPOPHostname(argv[1]);
    pop.setPOPPort(std::atoi(argv[2]));
    pop.setPOPUsername(argv[3]);
    pop.setPOPPassword(argv[4]);
    if (argc == 8) {
        pop.setPOPSecurity(static_cast<qint16>(std::atoi(argv[6])));
        pop.setPOPCAFile(argv[7]);
    }
    pop.Connect();
    qint16 first = 1;
    pop.SetCurrentMsg(first);
    QByteArray file(argv[5]);
    pop.WriteCurrentMsgToFile(file);
    const int error = pop.Error();
    if (error != 0) {
        std::fprintf(stderr, "retr_client: %s\n", pop.ErrorText().constData());
    }
    pop.Disconnect();
    // VmHWM belongs to this program's own memory map; ru_maxrss would also count the parent's
    // pages that a fork shared before the exec.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:")) {
                std::printf("peak_rss_kib %ld\n",
                            line.mid(6).trimmed().split(' ').value(0).toLong());
            }
        }
    }
    return error == 0 ? 0 : 1;
}
