// settings: stores the scanner's server address, user name and password, how to secure the
// connection, whether to save round trips, and which checks it runs besides the definition check.
// With --address, --user and --pass (`--pass -` reads the password from standard input), or
// --decode, --clamav and --fewer-round-trips, it stores them without a window.
#include "scanner/clamav/clamavengine.h"
#include "scanner/clamav/clamdconfig.h"
#include "scanner/clamav/clamdengine.h"
#include "scanner/modgeneral.h"
#include "settings/settingsdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

int store(const modGeneral::StoredSettings& settings, const modGeneral::EngineSettings& engines)
{
    // The scanner would send such a value as two protocol lines, and the file could not keep it.
    for (const QString& value : {settings.address, settings.user, settings.pass}) {
        if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'))) {
            std::fprintf(stderr, "settings: line breaks are not allowed in the address, user "
                                 "name or password\n");
            return 2;
        }
        // Bytes that are no UTF-8 arrive as U+FFFD: stored so, they would log in as another
        // user or with another password than the one given.
        if (value.contains(QChar::ReplacementCharacter)) {
            std::fprintf(stderr, "settings: the address, user name and password must be UTF-8 "
                                 "text\n");
            return 2;
        }
    }
    if (!modGeneral::writeSettings(settings) || !modGeneral::writeEngineSettings(engines)) {
        std::fprintf(stderr, "settings: cannot write %s\n",
                     qPrintable(modGeneral::settingsFilePath()));
        return 1;
    }
    return 0;
}

// Storing from the command line, and the help, must work without a window system (scripts,
// servers, CI, package checks).
bool needsNoWindow(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--help" || argument == "-h" || argument == "--help-all") {
            return true;
        }
        for (const char* option : {"--address", "--user", "--pass", "--security", "--ca-file",
                                   "--decode", "--clamav", "--fewer-round-trips"}) {
            if (argument == option || argument.startsWith(QByteArray(option) + '=')) {
                return true;
            }
        }
    }
    return false;
}

// `--pass -`: the password is one line on standard input, so that it never shows in the process
// list. Typed at a terminal, it is not echoed.
QString passwordFromStandardInput()
{
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::fprintf(stderr, "Password: ");
    }
    QByteArray line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
        line.append(char(c));
    }
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (line.endsWith('\r')) {
        line.chop(1); // a line ended CR LF
    }
    return QString::fromUtf8(line);
}

int run(QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stores the mailbox settings of Orsel01. Without options it opens a "
                       "dialog; with --address, --user and --pass it stores them directly."));
    parser.addHelpOption();
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("POP3 server address."), QStringLiteral("A"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name."),
                                  QStringLiteral("U"));
    const QCommandLineOption pass(
        QStringLiteral("pass"),
        QStringLiteral("Password; - reads it as one line from standard input."),
        QStringLiteral("P"));
    const QCommandLineOption security(
        QStringLiteral("security"),
        QStringLiteral("Connection security: %1 (new settings: %2).")
            .arg(securityWordList(), securityWord(ConnectionSecurity::Tls)),
        QStringLiteral("MODE"));
    const QCommandLineOption caFile(QStringLiteral("ca-file"),
                                    QStringLiteral("PEM file of extra CA certificates to trust."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption decode(QStringLiteral("decode"),
                                    QStringLiteral("Also check decoded attachments: 1 or 0."),
                                    QStringLiteral("0|1"));
    const QCommandLineOption clamAv(
        QStringLiteral("clamav"),
        QStringLiteral("Also scan with ClamAV: \"clamd\" for the system's daemon (%1), "
                       "\"clamd:PATH\" for the daemon on that socket, a signature database "
                       "folder that every scan loads, \"default\" for %2, or \"off\".")
            .arg(scanner::systemClamdSocket(), scanner::ClamAvEngine::systemDatabaseFolder()),
        QStringLiteral("clamd|clamd:PATH|FOLDER|default|off"));
    const QCommandLineOption fewerRoundTrips(
        QStringLiteral("fewer-round-trips"),
        QStringLiteral("One exchange per new message, for a distant server: 1 or 0 (new "
                       "settings: 1)."),
        QStringLiteral("0|1"));
    parser.addOptions({address, user, pass, security, caFile, decode, clamAv, fewerRoundTrips});
    parser.process(app);
    if (const QString problem = modGeneral::settingsFileProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "settings: %s\n", qPrintable(problem));
        return 1;
    }
    if (const QString warning = modGeneral::settingsFileWarning(); !warning.isEmpty()) {
        std::fprintf(stderr, "settings: %s\n", qPrintable(warning));
    }
    if (parser.isSet(fewerRoundTrips) && parser.value(fewerRoundTrips) != QLatin1String("0") &&
        parser.value(fewerRoundTrips) != QLatin1String("1")) {
        std::fprintf(stderr, "settings: --fewer-round-trips takes 0 or 1\n");
        return 2;
    }

    modGeneral::EngineSettings engines = modGeneral::readEngineSettings();
    if (engines.decode.isEmpty()) {
        engines.decode = QStringLiteral("1"); // new settings decode
    }
    if (parser.isSet(decode) || parser.isSet(clamAv)) {
        if (parser.isSet(decode) && parser.value(decode) != QLatin1String("0") &&
            parser.value(decode) != QLatin1String("1")) {
            std::fprintf(stderr, "settings: --decode takes 0 or 1\n");
            return 2;
        }
        engines.decode = parser.isSet(decode) ? parser.value(decode) : engines.decode;
        if (parser.isSet(clamAv)) {
            const QString value = parser.value(clamAv);
            if (value.isEmpty() || value == QLatin1String("clamd:")) {
                std::fprintf(stderr, "settings: --clamav needs clamd, clamd:PATH, a folder, "
                                     "default or off\n");
                return 2;
            }
            engines.clamAV = value == QLatin1String("off") ? QString() : value;
        }
    }
    const QList<QCommandLineOption> storeOptions = {address, user, pass, security, caFile};
    if (std::any_of(storeOptions.begin(), storeOptions.end(),
                    [&](const QCommandLineOption& o) { return parser.isSet(o); })) {
        const modGeneral::StoredSettings stored = modGeneral::readSettings();
        const QString password = parser.value(pass) == QStringLiteral("-")
                                     ? passwordFromStandardInput()
                                     : parser.value(pass);
        modGeneral::StoredSettings given{parser.value(address),
                                         parser.value(user),
                                         password,
                                         modGeneral::defaultSecurity(stored),
                                         stored.caFile,
                                         modGeneral::defaultFewerRoundTrips(stored)};
        if (parser.isSet(fewerRoundTrips)) {
            given.fewerRoundTrips = parser.value(fewerRoundTrips);
        }
        if (parser.isSet(security)) {
            given.security = parser.value(security);
        }
        if (parser.isSet(caFile)) {
            given.caFile = parser.value(caFile);
        }
        if (!given.complete()) {
            std::fprintf(stderr, "settings: --address, --user and --pass are all needed\n");
            return 2;
        }
        if (!modGeneral::isKnownSecurity(given.security)) {
            std::fprintf(stderr, "settings: --security must be %s, not %s\n",
                         qPrintable(securityWordList()), qPrintable(given.security));
            return 2;
        }
        return store(given, engines);
    }
    if (parser.isSet(fewerRoundTrips) &&
        !modGeneral::writeFewerRoundTrips(parser.value(fewerRoundTrips))) {
        std::fprintf(stderr, "settings: cannot write %s\n",
                     qPrintable(modGeneral::settingsFilePath()));
        return 1;
    }
    if (parser.isSet(decode) || parser.isSet(clamAv)) {
        if (!modGeneral::writeEngineSettings(engines)) {
            std::fprintf(stderr, "settings: cannot write %s\n",
                         qPrintable(modGeneral::settingsFilePath()));
            return 1;
        }
        return 0;
    }
    if (parser.isSet(fewerRoundTrips)) {
        return 0;
    }
    // ClamAV is offered only where it can work: a daemon that answers, signatures to load.
    const QString system = scanner::ClamAvEngine::systemDatabaseFolder();
    const QString daemon = scanner::systemClamdSocket();
    SettingsDialog dialog(modGeneral::readSettings(), modGeneral::readEngineSettings(),
                          scanner::ClamAvEngine::hasDatabase(system) ? system : QString(),
                          scanner::ClamdEngine::answersPing(daemon, 2000) ? daemon : QString());
    if (dialog.exec() != QDialog::Accepted) {
        return 1;
    }
    return store(dialog.settings(), dialog.engineSettings());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("settings"));
    if (needsNoWindow(argc, argv)) {
        QCoreApplication app(argc, argv);
        return run(app);
    }
    QApplication app(argc, argv);
    return run(app);
}
