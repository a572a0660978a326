#include "scanner/scanoptions.h"

#include "scanner/installedcommand.h"
#include "scanner/programfolder.h"

#include <QCommandLineParser>
#include <QDir>

namespace {

const char kExitStatuses[] = "\nExit status:\n"
                             "  0  the scan is done (no infected mail deleted)\n"
                             "  1  error exit: a failed login, an error box, a refused DELE or "
                             "QUIT\n"
                             "  2  run-time error\n"
                             "  3  settings missing (with --headless; else the settings program "
                             "starts)\n"
                             "  4  infected mail found and deleted (with --headless)\n"
                             "  5  some messages were not fully checked; they were left on the "
                             "server (with --headless; before 4)\n";

} // namespace

ParsedOptions parseScanOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Checks the POP3 mailbox stored by the settings program for mail that "
                       "carries a line of def.dat, and marks such mail for deletion."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("No window and no display: status texts on standard output, boxes on "
                       "standard error, no pauses."));
    const QCommandLineOption maxSize(
        QStringLiteral("max-size"),
        QStringLiteral("With --headless, skip messages larger than K kilobytes (default %1).")
            .arg(kSizePromptAboveK),
        QStringLiteral("K"), QString::number(kSizePromptAboveK));
    const QCommandLineOption remember(
        QStringLiteral("remember"),
        QStringLiteral("Skip messages found clean before by the same definitions (memory under "
                       "$XDG_STATE_HOME/Orsel)."));
    const QCommandLineOption quarantine(
        QStringLiteral("quarantine"),
        QStringLiteral("Move the saved files of infected messages into DIR; remove those of "
                       "clean ones."),
        QStringLiteral("DIR"));
    const QCommandLineOption account(
        QStringLiteral("account"),
        QStringLiteral("Scan the account NAME that the settings program stored with --account "
                       "NAME (default: the default account)."),
        QStringLiteral("NAME"));
    const QCommandLineOption noNotify(
        QStringLiteral("no-notify"),
        QStringLiteral("With --headless, send no desktop notification (by default one is sent "
                       "when infected mail was removed, some mail was not fully checked or the "
                       "scan failed)."));
    QCommandLineOption notificationHelper(QStringLiteral("notification-helper"));
    notificationHelper.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions(
        {help, headless, maxSize, remember, quarantine, account, noNotify, notificationHelper});

    ParsedOptions parsed;
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        parsed.output = (parser.errorText().isEmpty() ? QStringLiteral("Unexpected argument: ") +
                                                            parser.positionalArguments().join(' ')
                                                      : parser.errorText()) +
                        QStringLiteral("\nTry --help.\n");
        parsed.exitCode = exitstatus::ErrorExit;
        return parsed;
    }
    if (parser.isSet(help)) {
        // Parsed before any application object exists, so the parser cannot know our name.
        const QString name =
            installedCommand(ProgramFolder::ofRunningProgram().filePath(QStringLiteral("Orsel01")))
                .value_or(QStringLiteral("Orsel01"));
        parsed.output = parser.helpText().replace(QStringLiteral("<executable_name>"), name) +
                        QLatin1String(kExitStatuses);
        return parsed;
    }
    ScanOptions options;
    options.headless = parser.isSet(headless);
    options.remember = parser.isSet(remember);
    options.notify = !parser.isSet(noNotify);
    options.notificationHelper = parser.isSet(notificationHelper);
    if (parser.isSet(account)) {
        QString why;
        const std::optional<Account> named = Account::named(parser.value(account), &why);
        if (!named) {
            parsed.output =
                QStringLiteral("--account \"%1\": %2.\n").arg(parser.value(account), why);
            parsed.exitCode = exitstatus::ErrorExit;
            return parsed;
        }
        options.account = *named;
    }
    bool number = false;
    options.maxSizeK = parser.value(maxSize).toInt(&number);
    if (!number || options.maxSizeK < 0) {
        parsed.output = QStringLiteral("--max-size needs a number of kilobytes, not \"%1\".\n")
                            .arg(parser.value(maxSize));
        parsed.exitCode = exitstatus::ErrorExit;
        return parsed;
    }
    if (parser.isSet(quarantine)) {
        // Absolute now, so that it means what it meant where the user typed it.
        options.quarantineFolder = QDir(parser.value(quarantine)).absolutePath();
    }
    parsed.options = options;
    return parsed;
}
