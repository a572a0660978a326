// Orsel01: checks the user's POP3 mailbox for mail that carries known virus texts, then ends.
// Without options it is a small window; --headless runs the same scan with no display.
#include "scanner/controlhost.h"
#include "scanner/headlesssurface.h"
#include "scanner/modgeneral.h"
#include "scanner/programfolder.h"
#include "scanner/programmodule.h"
#include "scanner/runnotifier.h"
#include "scanner/scanoptions.h"
#include "scanner/scanrun.h"
#include "scanner/scansurface.h"
#include "scanner/startup.h"
#include "scanner/statusoutput.h"
#include "scanner/windowkit.h"

#include <QCoreApplication>
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

// A headless run makes no QApplication: it needs no display and no platform plugin for widgets,
// and it loads no widget library at all. The window, its application and its boxes come from the
// window's module, loaded only for a run with a window.
int runScanner(int& argc, char** argv, const ScanOptions& options, const WindowKit* kit)
{
    const std::unique_ptr<QCoreApplication> app =
        kit ? kit->createApplication(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Orsel01"));
    ScanHooks hooks = kit ? ScanHooks::withWindow(*kit) : ScanHooks::headless();
    const ProgramFolder folder = ProgramFolder::ofRunningProgram();
    // Nobody watches a headless run: the desktop is told when it found something or failed.
    const auto notifier = std::make_shared<RunNotifier>(options.account, options.quarantineFolder,
                                                        QCoreApplication::applicationFilePath());
    if (options.headless && options.notify) {
        hooks.runEnded = [notifier](const RunOutcome& outcome) { notifier->notify(outcome); };
    }

    std::function<void()> start; // the run's, once there is one
    const std::unique_ptr<ScanSurface> window =
        kit ? kit->createWindow([&start] { start(); }) : nullptr;
    HeadlessSurface headless;
    ScanSurface& surface = window ? *window : headless;
    const std::unique_ptr<ControlHost> control = createControl(hooks);
    const modGeneral::StoredSettings settings = startUp(surface, folder, hooks, options.account);
    notifier->setMailbox(settings.user, settings.address);

    ScanRun run(surface, *control, settings, modGeneral::readEngineSettings(options.account),
                folder, hooks, options);
    start = [&run] { run.run(); };
    if (!window) {
        QTimer::singleShot(0, app.get(), start); // no window to wait for
    }
    return QCoreApplication::exec();
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
        const NotifyKit* notifications = loadNotifyKit();
        return notifications ? notifications->runHelper() : exitstatus::RuntimeError;
    }
    const WindowKit* kit = nullptr;
    if (!parsed.options->headless) {
        QString failure;
        kit = loadProgramModule<WindowKit>(kWindowKitModule, kWindowKitEntryPoint, &failure);
        if (!kit) {
            writeErrorText(QStringLiteral("Orsel01: the window cannot be shown: ") + failure);
            return exitstatus::RuntimeError;
        }
    }
    return runScanner(argc, argv, *parsed.options, kit);
}
