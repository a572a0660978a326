// settings: stores the scanner's server address, user name and password, and which checks it
// runs besides the definition check. With --address, --user and --pass, or --decode and
// --clamav, it stores them without a window.
#include "scanner/clamav/clamavengine.h"
#include "scanner/modgeneral.h"
#include "settings/settingsdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

namespace {

int store(const modGeneral::StoredSettings& settings, const modGeneral::EngineSettings& engines)
{
    if (!modGeneral::writeSettings(settings) || !modGeneral::writeEngineSettings(engines)) {
        std::fprintf(stderr, "settings: cannot write %s\n",
                     qPrintable(modGeneral::settingsFilePath()));
        return 1;
    }
    return 0;
}

// Storing from the command line must work without a window system (scripts, servers, CI).
bool hasStoreOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        for (const char* option : {"--address", "--user", "--pass", "--decode", "--clamav"}) {
            if (argument == option || argument.startsWith(QByteArray(option) + '=')) {
                return true;
            }
        }
    }
    return false;
}

int run(QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stores the mailbox settings of Orsel01."));
    parser.addHelpOption();
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("POP3 server address."), QStringLiteral("A"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name."),
                                  QStringLiteral("U"));
    const QCommandLineOption pass(QStringLiteral("pass"), QStringLiteral("Password."),
                                  QStringLiteral("P"));
    const QCommandLineOption decode(QStringLiteral("decode"),
                                    QStringLiteral("Also check decoded attachments: 1 or 0."),
                                    QStringLiteral("0|1"));
    const QCommandLineOption clamAv(
        QStringLiteral("clamav"),
        QStringLiteral("Also scan with ClamAV: a signature database folder, \"default\" for %1, "
                       "or \"off\".")
            .arg(scanner::ClamAvEngine::systemDatabaseFolder()),
        QStringLiteral("folder"));
    parser.addOptions({address, user, pass, decode, clamAv});
    parser.process(app);

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
            const QString folder = parser.value(clamAv);
            engines.clamAV = folder == QLatin1String("off") ? QString() : folder;
        }
    }
    if (parser.isSet(address) || parser.isSet(user) || parser.isSet(pass)) {
        const modGeneral::StoredSettings given{parser.value(address), parser.value(user),
                                               parser.value(pass)};
        if (!given.complete()) {
            std::fprintf(stderr, "settings: --address, --user and --pass are all needed\n");
            return 2;
        }
        return store(given, engines);
    }
    if (parser.isSet(decode) || parser.isSet(clamAv)) {
        if (!modGeneral::writeEngineSettings(engines)) {
            std::fprintf(stderr, "settings: cannot write %s\n",
                         qPrintable(modGeneral::settingsFilePath()));
            return 1;
        }
        return 0;
    }
    // ClamAV is offered only where libclamav finds signatures to load.
    const QString system = scanner::ClamAvEngine::systemDatabaseFolder();
    SettingsDialog dialog(modGeneral::readSettings(), modGeneral::readEngineSettings(),
                          scanner::ClamAvEngine::hasDatabase(system) ? system : QString());
    if (dialog.exec() != QDialog::Accepted) {
        return 1;
    }
    return store(dialog.settings(), dialog.engineSettings());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("settings"));
    if (hasStoreOptions(argc, argv)) {
        QCoreApplication app(argc, argv);
        return run(app);
    }
    QApplication app(argc, argv);
    return run(app);
}
