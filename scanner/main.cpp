// Orsel01: checks the user's POP3 mailbox for mail that carries known virus texts, then ends.
// Without options it is a small window; --headless runs the same scan with no display.
#include "scanner/controlhost.h"
#include "scanner/desktop/notificationhandoff.h"
#include "scanner/headlesssurface.h"
#include "scanner/modgeneral.h"
#include "scanner/programfolder.h"
#include "scanner/runnotifier.h"
#include "scanner/scan.h"
#include "scanner/scanoptions.h"
#include "scanner/scanrun.h"
#include "scanner/startup.h"
#include "scanner/statusoutput.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

std::unique_ptr<ControlHost> createControl(const ScanHooks& hooks)
{
    try {
        return std::make_unique<ControlHost>();
    } catch (const RuntimeFault& fault) {
        reportRuntimeError(hooks, fault.number, fault.description);
    }
    return nullptr;
}

// A headless run makes no QApplication: it needs no display and no platform plugin for widgets.
int runScanner(int& argc, char** argv, const ScanOptions& options)
{
    const std::unique_ptr<QCoreApplication> app =
        options.headless ? std::make_unique<QCoreApplication>(argc, argv)
                         : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Orsel01"));
    ScanHooks hooks = options.headless ? ScanHooks::headless() : ScanHooks::real();
    const ProgramFolder folder = ProgramFolder::ofRunningProgram();
    // Nobody watches a headless run: the desktop is told when it found something or failed.
    const auto notifier = std::make_shared<RunNotifier>(options.account, options.quarantineFolder,
                                                        QCoreApplication::applicationFilePath());
    if (options.headless && options.notify) {
        hooks.runEnded = [notifier](const RunOutcome& outcome) { notifier->notify(outcome); };
    }

    const std::unique_ptr<Scan> window = options.headless ? nullptr : std::make_unique<Scan>();
    HeadlessSurface headless;
    ScanSurface& surface = window ? static_cast<ScanSurface&>(*window) : headless;
    const std::unique_ptr<ControlHost> control = createControl(hooks);
    const modGeneral::StoredSettings settings = startUp(surface, folder, hooks, options.account);
    notifier->setMailbox(settings.user, settings.address);

    ScanRun run(surface, *control, settings, modGeneral::readEngineSettings(options.account),
                folder, hooks, options);
    if (window) {
        QObject::connect(window.get(), &Scan::started, window.get(), [&run] { run.run(); });
        QObject::connect(window->command1(), &QPushButton::clicked, window.get(),
                         [&run] { run.run(); });
    } else {
        QTimer::singleShot(0, app.get(), [&run] { run.run(); }); // no window to wait for
    }
    return app->exec();
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const ParsedOptions parsed = parseScanOptions(arguments);
    if (!parsed.options) {
        if (parsed.exitCode == 0) {
            std::fputs(parsed.output.toLocal8Bit().constData(), stdout);
        } else {
            std::fputs(("Orsel01: " + parsed.output).toLocal8Bit().constData(), stderr);
        }
        return parsed.exitCode;
    }
    if (parsed.options->notificationHelper) {
        QCoreApplication app(argc, argv);
        return runNotificationHelper();
    }
    return runScanner(argc, argv, *parsed.options);
}
