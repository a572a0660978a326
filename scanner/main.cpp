// Orsel01: checks the user's POP3 mailbox for mail that carries known virus texts, then ends.
// Without options it is a small window; --headless runs the same scan with no display.
#include "scanner/controlhost.h"
#include "scanner/headlesssurface.h"
#include "scanner/modgeneral.h"
#include "scanner/programfolder.h"
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

int runWindowed(int argc, char** argv, const ScanOptions& options)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orsel01"));
    const ScanHooks hooks = ScanHooks::real();
    const ProgramFolder folder = ProgramFolder::ofRunningProgram();

    Scan window;
    const std::unique_ptr<ControlHost> control = createControl(hooks);
    const modGeneral::StoredSettings settings = startUp(window, folder, hooks);

    ScanRun run(window, *control, settings, folder, hooks, options);
    QObject::connect(&window, &Scan::started, &window, [&run] { run.run(); });
    QObject::connect(window.command1(), &QPushButton::clicked, &window, [&run] { run.run(); });
    return app.exec();
}

// No QApplication: no display and no platform plugin for widgets are needed.
int runHeadless(int argc, char** argv, const ScanOptions& options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Orsel01"));
    const ScanHooks hooks = ScanHooks::headless();
    const ProgramFolder folder = ProgramFolder::ofRunningProgram();

    HeadlessSurface surface;
    const std::unique_ptr<ControlHost> control = createControl(hooks);
    const modGeneral::StoredSettings settings = startUp(surface, folder, hooks);

    ScanRun run(surface, *control, settings, folder, hooks, options);
    QTimer::singleShot(0, &app, [&run] { run.run(); }); // no window to wait for
    return app.exec();
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
    return parsed.options->headless ? runHeadless(argc, argv, *parsed.options)
                                    : runWindowed(argc, argv, *parsed.options);
}
