#include "scanner/tokencommand.h"

#include "platform/pump.h"

#include <QProcess>
#include <csignal>
#include <unistd.h>

namespace {

QString lastLine(const QByteArray& output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return QString::fromLocal8Bit(lines.last().trimmed());
}

QString failure(const QString& command, const QString& what, const QByteArray& errors)
{
    QString text = QStringLiteral("The token command \"%1\" %2").arg(command, what);
    const QString last = lastLine(errors);
    if (!last.isEmpty()) {
        text += QStringLiteral(": ") + last;
    }
    return text + QLatin1Char('.');
}

// A helper may have started programs of its own (a browser for consent, a sleep): the whole
// process group goes, so nothing of it outlives the limit.
void endGroup(QProcess& process)
{
    const qint64 pid = process.processId();
    if (pid > 0) {
        ::kill(-pid_t(pid), SIGKILL);
    }
    process.waitForFinished(5000);
}

} // namespace

TokenCommandResult runTokenCommand(const QString& command, std::chrono::milliseconds limit)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    // A group of its own, so that endGroup() reaches everything the shell starts.
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!process.waitForStarted(5000)) {
        return {{}, failure(command, QStringLiteral("could not be started"), {})};
    }
    if (!platform::pumpUntil([&] { return process.state() == QProcess::NotRunning; },
                             limit.count())) {
        endGroup(process);
        return {{},
                failure(command,
                        QStringLiteral("did not finish within %1 s").arg(limit.count() / 1000.0),
                        process.readAllStandardError())};
    }
    const QByteArray errors = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString how =
            process.exitStatus() == QProcess::NormalExit
                ? QStringLiteral("failed with exit status %1").arg(process.exitCode())
                : QStringLiteral("crashed");
        return {{}, failure(command, how, errors)};
    }
    const QByteArray output = process.readAllStandardOutput();
    const qsizetype lineEnd = output.indexOf('\n');
    const QByteArray token = (lineEnd < 0 ? output : output.first(lineEnd)).trimmed();
    if (token.isEmpty()) {
        return {{}, failure(command, QStringLiteral("printed no token"), errors)};
    }
    return {token, {}};
}
