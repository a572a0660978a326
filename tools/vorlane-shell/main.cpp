// vorlane-shell [SCRIPT]: runs a script of create/get/put/call/release lines from SCRIPT or
// standard input and writes one JSON line per command (and per event) to standard output.
// Exit status 0 when the script ran to its end, whatever its calls gave; 2 when it cannot be read.
#include "tools/vorlane-shell/shellsession.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr int kCannotRead = 2;

constexpr const char* kUsage =
    "usage: vorlane-shell [SCRIPT]\n"
    "Runs a script of create/get/put/call/release lines from SCRIPT or standard input against an\n"
    "automation object and writes one JSON line per command and per event.\n";

int fail(const QByteArray& message)
{
    std::fprintf(stderr, "vorlane-shell: %s\n", message.constData());
    return kCannotRead;
}

// Flushed at once: a reader sees each line as the call that made it returns.
void writeLine(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int runScript(std::istream& script)
{
    int status = 0;
    {
        vorlaneshell::ShellSession session(writeLine);
        std::string line;
        while (std::getline(script, line)) {
            // Scripts written on other systems end their lines in CR LF.
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            session.runLine(QByteArrayView(line.data(), qsizetype(line.size())));
        }
        if (script.bad())
            status = fail("reading the script failed");
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // The object pumps the event loop while it waits for its server.
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 2 && arguments.at(1) == QLatin1String("--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.size() > 2 ||
        (arguments.size() == 2 && arguments.at(1).startsWith(QLatin1Char('-'))))
        return fail("usage: vorlane-shell [SCRIPT]");
    if (arguments.size() == 1)
        return runScript(std::cin);
    const QString path = arguments.at(1);
    std::ifstream file;
    // A folder opens as a stream that reads nothing; say so instead of running an empty script.
    if (QFileInfo(path).isFile())
        file.open(QFile::encodeName(path).toStdString(), std::ios::binary);
    if (!file.is_open())
        return fail("cannot read the script \"" + path.toLocal8Bit() + '"');
    return runScript(file);
}
