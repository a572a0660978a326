// Child processes for the tool tests.
#include "tests/tools/toolrun.h"

#include <QProcess>
#include <QProcessEnvironment>

QList<QByteArray> ToolRun::lines() const
{
    QList<QByteArray> result = out.split('\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

namespace {

constexpr int kTimeoutMs = 30000;

} // namespace

ToolRun runTool(const QString& program, const QStringList& arguments, const QString& configHome,
                const QByteArray& input, const QString& workingDirectory)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    // Nor the machine's: the system-wide registry is the folder's "system" subfolder.
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), configHome + QStringLiteral("/system"));
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForStarted(kTimeoutMs))
        return run;
    process.write(input);
    process.closeWriteChannel();
    run.finished = process.waitForFinished(kTimeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(kTimeoutMs);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
