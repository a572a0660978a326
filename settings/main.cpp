// settings: stores the scanner's server address, user name and password, how to secure the
// connection and sign in, whether to save round trips, and which checks it runs besides the
// definition check. With --address, --user and --pass (`--pass -` reads the password from
// standard input), or --auth, --token-command, --decode, --clamav, --fewer-round-trips and
// --pass-store, it stores them without a window; --check tries signing in with what is stored.
// --account NAME works on another account's settings.
#include "scanner/clamav/clamavengine.h"
#include "scanner/clamav/clamdconfig.h"
#include "scanner/clamav/clamdengine.h"
#include "scanner/desktop/keyringpassword.h"
#include "scanner/modgeneral.h"
#include "settings/passwordplacement.h"
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

// Stores `settings` and `engines` for `account`, the password where `choice` says.
int store(modGeneral::StoredSettings settings, const modGeneral::EngineSettings& engines,
          const Account& account, PassStoreChoice choice)
{
    if (holdsUnstorableText(settings)) {
        return 2;
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

    // The options that store something: given any of them, no dialog opens.
    QList<const QCommandLineOption*> storing() const
    {
        return {&address,      &user,   &pass,   &security,        &caFile,   &auth,
                &tokenCommand, &decode, &clamAv, &fewerRoundTrips, &passStore};
    }
};

// Storing from the command line, checking, and the help must work without a window system
// (scripts, servers, CI, package checks).
bool needsNoWindow(int argc, char** argv, const Options& o)
{
    QList<const QCommandLineOption*> options = o.storing();
    options.append(&o.check);
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h") ||
            argument == QLatin1String("--help-all")) {
            return true;
        }
        for (const QCommandLineOption* option : options) {
            const QString name = QStringLiteral("--") + option->names().first();
            if (argument == name || argument.startsWith(name + QLatin1Char('='))) {
                return true;
            }
        }
    }
    return false;
}

bool anySet(const QCommandLineParser& parser, std::initializer_list<const QCommandLineOption*> of)
{
    return std::any_of(of.begin(), of.end(),
                       [&](const QCommandLineOption* o) { return parser.isSet(*o); });
}

// The engine keys as stored, with --decode and --clamav applied; nothing on a wrong value.
std::optional<modGeneral::EngineSettings> givenEngines(const QCommandLineParser& parser,
                                                       const Options& o, const Account& account)
{
    modGeneral::EngineSettings engines = modGeneral::readEngineSettings(account);
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
                 const modGeneral::EngineSettings& engines, const Account& account,
                 PassStoreChoice choice)
{
    const modGeneral::StoredSettings stored = modGeneral::readSettings(account);
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
    return store(given, engines, account, choice);
}

// --auth or --token-command alone: the rest of the account stays as stored.
int storeSignIn(const QCommandLineParser& parser, const Options& o, const Account& account)
{
    modGeneral::StoredSettings stored = modGeneral::readSettings(account);
    if (!applySignIn(parser, o, stored)) {
        return 2;
    }
    if (holdsUnstorableText(stored)) {
        return 2;
    }
    return modGeneral::writeSettings(stored, account) ? 0 : cannotWrite();
}

// What the command line asks to store; 0 when it is stored (or nothing was asked).
int storeGiven(const QCommandLineParser& parser, const Options& o,
               const modGeneral::EngineSettings& engines, const Account& account,
               PassStoreChoice choice)
{
    if (anySet(parser, {&o.address, &o.user, &o.pass, &o.security, &o.caFile})) {
        return storeAccount(parser, o, engines, account, choice);
    }
    if (parser.isSet(o.passStore)) {
        if (const int status = movePassword(account, choice); status != 0) {
            return status;
        }
    }
    if (anySet(parser, {&o.auth, &o.tokenCommand})) {
        if (const int status = storeSignIn(parser, o, account); status != 0) {
            return status;
        }
    }
    if (parser.isSet(o.fewerRoundTrips) &&
        !modGeneral::writeFewerRoundTrips(parser.value(o.fewerRoundTrips), account)) {
        return cannotWrite();
    }
    if (anySet(parser, {&o.decode, &o.clamAv}) &&
        !modGeneral::writeEngineSettings(engines, account)) {
        return cannotWrite();
    }
    return 0;
}

int checkStored(const Account& account)
{
    modGeneral::StoredSettings stored = modGeneral::readSettings(account);
    if (!stored.passInFile() && !stored.getsToken()) {
        QString error;
        const std::optional<QString> password = storedPassword(stored, account, &error);
        if (!password) {
            std::fprintf(stderr, "settings: the password could not be read from the keyring: %s\n",
                         qPrintable(error));
            return 1;
        }
        stored.pass = *password;
    }
    const SignInCheck result = checkSignIn(stored);
    std::fprintf(result.signedIn ? stdout : stderr, "%s\n", qPrintable(result.text));
    return result.signedIn ? 0 : 1;
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

// --account NAME, or the default account; nothing (with the reason told) for a name refused.
std::optional<Account> givenAccount(const QCommandLineParser& parser, const Options& o)
{
    if (!parser.isSet(o.account)) {
        return Account();
    }
    QString why;
    const std::optional<Account> named = Account::named(parser.value(o.account), &why);
    if (!named) {
        std::fprintf(stderr, "settings: --account \"%s\": %s\n",
                     qPrintable(parser.value(o.account)), qPrintable(why));
    }
    return named;
}

std::optional<PassStoreChoice> givenPassStore(const QCommandLineParser& parser, const Options& o)
{
    if (!parser.isSet(o.passStore)) {
        return PassStoreChoice::Default;
    }
    const std::optional<PassStoreChoice> named = passStoreChoiceNamed(parser.value(o.passStore));
    if (!named) {
        std::fprintf(stderr, "settings: --pass-store takes keyring or file\n");
    }
    return named;
}

int run(QCoreApplication& app, const Options& o)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stores the mailbox settings of Orsel01. Without options it opens a "
                       "dialog; with --address, --user and --pass it stores them directly."));
    parser.addHelpOption();
    parser.addOptions({o.address, o.user, o.pass, o.security, o.caFile, o.auth, o.tokenCommand,
                       o.check, o.decode, o.clamAv, o.fewerRoundTrips, o.account, o.passStore});
    parser.process(app);
    const std::optional<Account> account = givenAccount(parser, o);
    const std::optional<PassStoreChoice> choice = givenPassStore(parser, o);
    if (!account || !choice) {
        return 2;
    }
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
    const std::optional<modGeneral::EngineSettings> engines = givenEngines(parser, o, *account);
    if (!engines) {
        return 2;
    }
    const QList<const QCommandLineOption*> storingOptions = o.storing();
    const bool storing =
        std::any_of(storingOptions.begin(), storingOptions.end(),
                    [&](const QCommandLineOption* option) { return parser.isSet(*option); });
    if (const int status = storeGiven(parser, o, *engines, *account, *choice); status != 0) {
        return status;
    }
    if (parser.isSet(o.check)) {
        return checkStored(*account);
    }
    return storing ? 0 : runDialog(*account);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("settings"));
    const Options options;
    if (needsNoWindow(argc, argv, options)) {
        QCoreApplication app(argc, argv);
        return run(app, options);
    }
    QApplication app(argc, argv);
    return run(app, options);
}
