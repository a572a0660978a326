// settings: stores the scanner's server address, user name and password, how to secure the
// connection, and which checks it runs besides the definition check. With --address, --user and
// --pass (`--pass -` reads the password from standard input), or --decode, --clamav and
// --pass-store, it stores them without a window. --account NAME stores those of another account.
#include "scanner/clamav/clamavengine.h"
#include "scanner/clamav/clamdconfig.h"
#include "scanner/clamav/clamdengine.h"
#include "scanner/desktop/keyringpassword.h"
#include "scanner/modgeneral.h"
#include "settings/passwordplacement.h"
#include "settings/settingsdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

int cannotWrite()
{
    std::fprintf(stderr, "settings: cannot write %s\n", qPrintable(modGeneral::settingsFilePath()));
    return 1;
}

// Stores `settings` and `engines` for `account`, the password where `choice` says.
int store(modGeneral::StoredSettings settings, const modGeneral::EngineSettings& engines,
          const Account& account, PassStoreChoice choice)
{
    // The scanner would send such a value as two protocol lines, and the file could not keep it.
    for (const QString& value : {settings.address, settings.user, settings.pass}) {
        if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'))) {
            std::fprintf(stderr, "settings: line breaks are not allowed in the address, user "
                                 "name or password\n");
            return 2;
        }
    }
    const PasswordPlacement placement =
        placePassword(settings, account, choice, modGeneral::readSettings(account));
    if (!placement.ok) {
        std::fprintf(stderr, "settings: the password could not be stored in the keyring: %s\n",
                     qPrintable(placement.error));
        return 1;
    }
    if (!placement.note.isEmpty()) {
        std::fprintf(stderr, "settings: %s; the password is kept in %s\n",
                     qPrintable(placement.note), qPrintable(modGeneral::settingsFilePath()));
    }
    if (!modGeneral::writeSettings(settings, account) ||
        !modGeneral::writeEngineSettings(engines, account)) {
        return cannotWrite();
    }
    return 0;
}

// --pass-store alone: the stored password moves to the store named.
int movePassword(const Account& account, PassStoreChoice choice)
{
    modGeneral::StoredSettings stored = modGeneral::readSettings(account);
    QString error;
    const std::optional<QString> password = storedPassword(stored, account, &error);
    if (!stored.complete() || !password || password->isEmpty()) {
        std::fprintf(stderr, "settings: no stored password to move%s\n",
                     qPrintable(password ? QString() : QStringLiteral(": ") + error));
        return 1;
    }
    stored.pass = *password;
    return store(stored, modGeneral::readEngineSettings(account), account, choice);
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
                                   "--decode", "--clamav", "--pass-store"}) {
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

// The options, made once: the parser keeps references to them.
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
    QCommandLineOption account{
        QStringLiteral("account"),
        QStringLiteral("The settings of the account NAME (Orsel01 --account NAME) instead of the "
                       "default account's."),
        QStringLiteral("NAME")};
    QCommandLineOption passStore{
        QStringLiteral("pass-store"),
        QStringLiteral("Keep the password in the desktop's keyring or in the settings file "
                       "(default: the keyring when one answers). Alone, it moves the stored "
                       "password there."),
        QStringLiteral("keyring|file")};

    void addTo(QCommandLineParser& parser) const
    {
        parser.addOptions(
            {address, user, pass, security, caFile, decode, clamAv, account, passStore});
    }
};

// --decode and --clamav over the stored engine settings; an exit status when refused.
std::optional<int> applyEngineOptions(const QCommandLineParser& parser, const Options& o,
                                      modGeneral::EngineSettings& engines)
{
    if (engines.decode.isEmpty()) {
        engines.decode = QStringLiteral("1"); // new settings decode
    }
    if (parser.isSet(o.decode) && parser.value(o.decode) != QLatin1String("0") &&
        parser.value(o.decode) != QLatin1String("1")) {
        std::fprintf(stderr, "settings: --decode takes 0 or 1\n");
        return 2;
    }
    engines.decode = parser.isSet(o.decode) ? parser.value(o.decode) : engines.decode;
    if (parser.isSet(o.clamAv)) {
        const QString value = parser.value(o.clamAv);
        if (value.isEmpty() || value == QLatin1String("clamd:")) {
            std::fprintf(stderr, "settings: --clamav needs clamd, clamd:PATH, a folder, default "
                                 "or off\n");
            return 2;
        }
        engines.clamAV = value == QLatin1String("off") ? QString() : value;
    }
    return std::nullopt;
}

int storeFromCommandLine(const QCommandLineParser& parser, const Options& o,
                         const modGeneral::EngineSettings& engines, const Account& account,
                         PassStoreChoice choice)
{
    const modGeneral::StoredSettings stored = modGeneral::readSettings(account);
    const QString password = parser.value(o.pass) == QStringLiteral("-")
                                 ? passwordFromStandardInput()
                                 : parser.value(o.pass);
    modGeneral::StoredSettings given{parser.value(o.address), parser.value(o.user), password,
                                     modGeneral::defaultSecurity(stored), stored.caFile};
    if (parser.isSet(o.security)) {
        given.security = parser.value(o.security);
    }
    if (parser.isSet(o.caFile)) {
        given.caFile = parser.value(o.caFile);
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
    return store(given, engines, account, choice);
}

int runDialog(const Account& account)
{
    // ClamAV is offered only where it can work: a daemon that answers, signatures to load.
    const QString system = scanner::ClamAvEngine::systemDatabaseFolder();
    const QString daemon = scanner::systemClamdSocket();
    modGeneral::StoredSettings current = modGeneral::readSettings(account);
    QString ignored; // a password the keyring does not give is typed again
    current.pass = storedPassword(current, account, &ignored).value_or(QString());
    SettingsDialog dialog(current, modGeneral::readEngineSettings(account),
                          scanner::ClamAvEngine::hasDatabase(system) ? system : QString(),
                          scanner::ClamdEngine::answersPing(daemon, 2000) ? daemon : QString());
    dialog.offerKeyring(KeyringPassword::isRunning(2000), KeyringPassword::isReady(2000));
    if (!account.isDefault()) {
        dialog.setWindowTitle(dialog.windowTitle() + QStringLiteral(": ") + account.name());
    }
    if (dialog.exec() != QDialog::Accepted) {
        return 1;
    }
    const modGeneral::StoredSettings chosen = dialog.settings();
    return store(chosen, dialog.engineSettings(), account,
                 chosen.passInFile() ? PassStoreChoice::File : PassStoreChoice::Keyring);
}

int run(QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stores the mailbox settings of Orsel01. Without options it opens a "
                       "dialog; with --address, --user and --pass it stores them directly."));
    parser.addHelpOption();
    const Options o;
    o.addTo(parser);
    parser.process(app);

    Account account;
    if (parser.isSet(o.account)) {
        QString why;
        const std::optional<Account> named = Account::named(parser.value(o.account), &why);
        if (!named) {
            std::fprintf(stderr, "settings: --account \"%s\": %s\n",
                         qPrintable(parser.value(o.account)), qPrintable(why));
            return 2;
        }
        account = *named;
    }
    PassStoreChoice choice = PassStoreChoice::Default;
    if (parser.isSet(o.passStore)) {
        const std::optional<PassStoreChoice> named =
            passStoreChoiceNamed(parser.value(o.passStore));
        if (!named) {
            std::fprintf(stderr, "settings: --pass-store takes keyring or file\n");
            return 2;
        }
        choice = *named;
    }
    modGeneral::EngineSettings engines = modGeneral::readEngineSettings(account);
    if (const std::optional<int> refused = applyEngineOptions(parser, o, engines)) {
        return *refused;
    }
    for (const QCommandLineOption& option : {o.address, o.user, o.pass, o.security, o.caFile}) {
        if (parser.isSet(option)) {
            return storeFromCommandLine(parser, o, engines, account, choice);
        }
    }
    if (parser.isSet(o.passStore)) {
        const int status = movePassword(account, choice);
        if (status != 0 || !(parser.isSet(o.decode) || parser.isSet(o.clamAv))) {
            return status;
        }
    }
    if (parser.isSet(o.decode) || parser.isSet(o.clamAv)) {
        return modGeneral::writeEngineSettings(engines, account) ? 0 : cannotWrite();
    }
    return runDialog(account);
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
