// The scan run's work for every message of a mailbox, without the window and the pauses: select,
// size, save to a file, check against the definitions. Usage:
// scan_client HOST PORT USER PASS FOLDER DEFINITIONS
#include "control/vorlane.h"
#include "scanner/definitioncheck/definitionset.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 7) {
        std::fprintf(stderr, "usage: scan_client HOST PORT USER PASS FOLDER DEFINITIONS\n");
        return 2;
    }
    Vorlane pop;
    pop.setPOPHostname(argv[1]);
    pop.setPOPPort(std::atoi(argv[2]));
    pop.setPOPUsername(argv[3]);
    pop.setPOPPassword(argv[4]);
    pop.Connect();
    if (pop.Error() != 0) {
        std::fprintf(stderr, "scan_client: %s\n", pop.ErrorText().constData());
        return 1;
    }
    scanner::DefinitionSet definitions;
    const QString folder = QString::fromLocal8Bit(argv[5]);
    const QString definitionFile = QString::fromLocal8Bit(argv[6]);
    qsizetype hits = 0;
    for (qint32 n = 1; n <= pop.MsgCount(); ++n) {
        qint16 number = qint16(n);
        pop.SetCurrentMsg(number);
        pop.MsgSizeInK();
        QByteArray path = QFile::encodeName(folder + QStringLiteral("/msg%1.txt").arg(n));
        pop.WriteCurrentMsgToFile(path);
        const scanner::CheckResult result =
            definitions.check(definitionFile, QString::fromLocal8Bit(path));
        if (pop.Error() != 0 || !result.ok) {
            std::fprintf(stderr, "scan_client: message %d failed\n", n);
            return 1;
        }
        hits += qsizetype(result.hits.size());
    }
    pop.Disconnect();
    std::printf("hits %lld\n", static_cast<long long>(hits));
    return 0;
}
