// settings: stores the scanner's server address, user name and password, how to secure the
// connection and sign in, whether to save round trips, and which checks it runs besides the
// definition check. With --address, --user and --pass (`--pass -` reads the password from
// standard input), or --auth, --token-command, --decode, --clamav and --fewer-round-trips, it
// stores them without a window; --check tries signing in with what is stored.
#include "scanner/clamav/clamavengine.h"
#include "scanner/clamav/clamdconfig.h"
#include "scanner/clamav/clamdengine.h"
#include "scanner/modgeneral.h"
#include "settings/settingsdialog.h"
#include "settings/signincheck.h"

#include <QApplication>
#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace {

int cannotWrite()
{
    std::fprintf(stderr, "settings: cannot write %s\n", qPrintable(modGeneral::settingsFilePath()));
    return 1;
}

// The scanner would send such a value as two protocol lines or as other text than given, and
// the file could not keep it.
bool holdsUnstorableText(const modGeneral::StoredSettings& settings)
{
    for (const QString& value :
         {settings.address, settings.user, settings.pass, settings.tokenCommand}) {
        if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'))) {
            std::fprintf(stderr, "settings: line breaks are not allowed in the address, user "
                                 "name, password or token command\n");
            return true;
        }
        // Bytes that are no UTF-8 arrive as U+FFFD: stored so, they would log in as another
        // user or with another password than the one given.
        if (value.contains(QChar::ReplacementCharacter)) {
            std::fprintf(stderr, "settings: the address, user name and password must be UTF-8 "
                                 "text\n");
            return true;
        }
    }
    return false;
}

int store(const modGeneral::StoredSettings& settings, const modGeneral::EngineSettings& engines)
{
    if (holdsUnstorableText(settings)) {
        return 2;
    }
    if (!modGeneral::writeSettings(settings) || !modGeneral::writeEngineSettings(engines)) {
        return cannotWrite();
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
        for (const char* option :
             {"--address", "--user", "--pass", "--security", "--ca-file", "--decode", "--clamav",
              "--fewer-round-trips", "--auth", "--token-command", "--check"}) {
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

// Every option of the command line.
struct Options {
    QCommandLineOption address{QStringLiteral("address"), QStringLiteral("POP3 server address."),
                               QStringLiteral("A")};
    QCommandLineOption user{QStringLiteral("user"), QStringLiteral("User name."),
                            QStringLiteral("U")};
    QCommandLineOption pass{QStringLiteral("pass"),
                            QStringLiteral("Password; - reads it as one line from standard input."),
                            QStringLiteral("P")};
    QCommandLineOption security{QStringLiteral("security"),
                                QStringLiteral("Connection security: %1 (new settings: %2).")
                                    .arg(securityWordList(), securityWord(ConnectionSecurity::Tls)),
                                QStringLiteral("MODE")};
    QCommandLineOption caFile{QStringLiteral("ca-file"),
                              QStringLiteral("PEM file of extra CA certificates to trust."),
                              QStringLiteral("PATH")};
    QCommandLineOption auth{
        QStringLiteral("auth"),
        QStringLiteral("How to sign in: password (USER and PASS, the default), plain (SASL "
                       "PLAIN), xoauth2 or oauthbearer (an OAuth access token, from "
                       "--token-command or as the password)."),
        QStringLiteral("password|plain|xoauth2|oauthbearer")};
    QCommandLineOption tokenCommand{
        QStringLiteral("token-command"),
        QStringLiteral("For xoauth2 and oauthbearer: a command, run with /bin/sh -c before each "
                       "scan, whose first line of output is a fresh access token (\"\" removes "
                       "it)."),
        QStringLiteral("CMD")};
    QCommandLineOption check{
        QStringLiteral("check"),
        QStringLiteral("Sign in with the stored settings (after storing any given), print how "
                       "many messages wait and quit, touching no mail. Exit status 0 when signed "
                       "in, 1 when not.")};
    QCommandLineOption decode{QStringLiteral("decode"),
                              QStringLiteral("Also check decoded attachments: 1 or 0."),
                              QStringLiteral("0|1")};
    QCommandLineOption clamAv{
        QStringLiteral("clamav"),
        QStringLiteral("Also scan with ClamAV: \"clamd\" for the system's daemon (%1), "
                       "\"clamd:PATH\" for the daemon on that socket, a signature database "
                       "folder that every scan loads, \"default\" for %2, or \"off\".")
            .arg(scanner::systemClamdSocket(), scanner::ClamAvEngine::systemDatabaseFolder()),
        QStringLiteral("clamd|clamd:PATH|FOLDER|default|off")};
    QCommandLineOption fewerRoundTrips{
        QStringLiteral("fewer-round-trips"),
        QStringLiteral("One exchange per new message, for a distant server: 1 or 0 (new "
                       "settings: 1)."),
        QStringLiteral("0|1")};
};

bool anySet(const QCommandLineParser& parser, std::initializer_list<const QCommandLineOption*> of)
{
    return std::any_of(of.begin(), of.end(),
                       [&](const QCommandLineOption* o) { return parser.isSet(*o); });
}

// The engine keys as stored, with --decode and --clamav applied; nothing on a wrong value.
std::optional<modGeneral::EngineSettings> givenEngines(const QCommandLineParser& parser,
                                                       const Options& o)
{
    modGeneral::EngineSettings engines = modGeneral::readEngineSettings();
    if (engines.decode.isEmpty()) {
        engines.decode = QStringLiteral("1"); // new settings decode
    }
    if (parser.isSet(o.decode)) {
        if (parser.value(o.decode) != QLatin1String("0") &&
            parser.value(o.decode) != QLatin1String("1")) {
            std::fprintf(stderr, "settings: --decode takes 0 or 1\n");
            return std::nullopt;
        }
        engines.decode = parser.value(o.decode);
    }
    if (parser.isSet(o.clamAv)) {
        const QString value = parser.value(o.clamAv);
        if (value.isEmpty() || value == QLatin1String("clamd:")) {
            std::fprintf(stderr, "settings: --clamav needs clamd, clamd:PATH, a folder, default "
                                 "or off\n");
            return std::nullopt;
        }
        engines.clamAV = value == QLatin1String("off") ? QString() : value;
    }
    return engines;
}

// --auth and --token-command over `settings`; false (with the reason told) on a wrong method.
bool applySignIn(const QCommandLineParser& parser, const Options& o,
                 modGeneral::StoredSettings& settings)
{
    if (parser.isSet(o.auth)) {
        const std::optional<SignInMethod> method = signInMethodNamed(parser.value(o.auth));
        if (!method || parser.value(o.auth).isEmpty()) {
            std::fprintf(stderr, "settings: --auth must be %s, not %s\n",
                         qPrintable(signInMethodWordList()), qPrintable(parser.value(o.auth)));
            return false;
        }
        // USER and PASS is a store without the key, as it always was.
        settings.auth = *method == SignInMethod::Password ? QString() : signInMethodWord(*method);
    }
    if (parser.isSet(o.tokenCommand)) {
        settings.tokenCommand = parser.value(o.tokenCommand);
    }
    return true;
}

// --address, --user and --pass with the other account options, over what is stored.
int storeAccount(const QCommandLineParser& parser, const Options& o,
                 const modGeneral::EngineSettings& engines)
{
    const modGeneral::StoredSettings stored = modGeneral::readSettings();
    const QString password = parser.value(o.pass) == QStringLiteral("-")
                                 ? passwordFromStandardInput()
                                 : parser.value(o.pass);
    modGeneral::StoredSettings given{parser.value(o.address),
                                     parser.value(o.user),
                                     password,
                                     modGeneral::defaultSecurity(stored),
                                     stored.caFile,
                                     modGeneral::defaultFewerRoundTrips(stored),
                                     stored.auth,
                                     stored.tokenCommand};
    if (parser.isSet(o.fewerRoundTrips)) {
        given.fewerRoundTrips = parser.value(o.fewerRoundTrips);
    }
    if (parser.isSet(o.security)) {
        given.security = parser.value(o.security);
    }
    if (parser.isSet(o.caFile)) {
        given.caFile = parser.value(o.caFile);
    }
    if (!applySignIn(parser, o, given)) {
        return 2;
    }
    if (!given.complete()) {
        std::fprintf(stderr, "settings: --address, --user and --pass (or, with xoauth2 or "
                             "oauthbearer, --token-command) are all needed\n");
        return 2;
    }
    if (!modGeneral::isKnownSecurity(given.security)) {
        std::fprintf(stderr, "settings: --security must be %s, not %s\n",
                     qPrintable(securityWordList()), qPrintable(given.security));
        return 2;
    }
    return store(given, engines);
}

// --auth or --token-command alone: the rest of the account stays as stored.
int storeSignIn(const QCommandLineParser& parser, const Options& o)
{
    modGeneral::StoredSettings stored = modGeneral::readSettings();
    if (!applySignIn(parser, o, stored)) {
        return 2;
    }
    if (holdsUnstorableText(stored)) {
        return 2;
    }
    return modGeneral::writeSettings(stored) ? 0 : cannotWrite();
}

// What the command line asks to store; 0 when it is stored (or nothing was asked).
int storeGiven(const QCommandLineParser& parser, const Options& o,
               const modGeneral::EngineSettings& engines)
{
    if (anySet(parser, {&o.address, &o.user, &o.pass, &o.security, &o.caFile})) {
        return storeAccount(parser, o, engines);
    }
    if (anySet(parser, {&o.auth, &o.tokenCommand})) {
        if (const int status = storeSignIn(parser, o); status != 0) {
            return status;
        }
    }
    if (parser.isSet(o.fewerRoundTrips) &&
        !modGeneral::writeFewerRoundTrips(parser.value(o.fewerRoundTrips))) {
        return cannotWrite();
    }
    if (anySet(parser, {&o.decode, &o.clamAv}) && !modGeneral::writeEngineSettings(engines)) {
        return cannotWrite();
    }
    return 0;
}

int checkStored()
{
    const SignInCheck result = checkSignIn(modGeneral::readSettings());
    std::fprintf(result.signedIn ? stdout : stderr, "%s\n", qPrintable(result.text));
    return result.signedIn ? 0 : 1;
}

int runDialog()
{
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

int run(QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stores the mailbox settings of Orsel01. Without options it opens a "
                       "dialog; with --address, --user and --pass it stores them directly."));
    parser.addHelpOption();
    const Options o;
    parser.addOptions({o.address, o.user, o.pass, o.security, o.caFile, o.auth, o.tokenCommand,
                       o.check, o.decode, o.clamAv, o.fewerRoundTrips});
    parser.process(app);
    if (const QString problem = modGeneral::settingsFileProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "settings: %s\n", qPrintable(problem));
        return 1;
    }
    if (const QString warning = modGeneral::settingsFileWarning(); !warning.isEmpty()) {
        std::fprintf(stderr, "settings: %s\n", qPrintable(warning));
    }
    if (parser.isSet(o.fewerRoundTrips) && parser.value(o.fewerRoundTrips) != QLatin1String("0") &&
        parser.value(o.fewerRoundTrips) != QLatin1String("1")) {
        std::fprintf(stderr, "settings: --fewer-round-trips takes 0 or 1\n");
        return 2;
    }
    const std::optional<modGeneral::EngineSettings> engines = givenEngines(parser, o);
    if (!engines) {
        return 2;
    }
    const bool storing =
        anySet(parser, {&o.address, &o.user, &o.pass, &o.security, &o.caFile, &o.auth,
                        &o.tokenCommand, &o.decode, &o.clamAv, &o.fewerRoundTrips});
    if (const int status = storeGiven(parser, o, *engines); status != 0) {
        return status;
    }
    if (parser.isSet(o.check)) {
        return checkStored();
    }
    return storing ? 0 : runDialog();
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
