// Orsel01: checks the user's POP3 mailbox for mail that carries known virus texts, then ends.
#include "scanner/controlhost.h"
#include "scanner/modgeneral.h"
#include "scanner/programfolder.h"
#include "scanner/scan.h"
#include "scanner/scanrun.h"
#include "scanner/startup.h"

#include <QApplication>
#include <QPushButton>
#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orsel01"));
    const ScanHooks hooks = ScanHooks::real();
    const ProgramFolder folder = ProgramFolder::ofRunningProgram();

    Scan window;
    std::unique_ptr<ControlHost> control;
    try {
        control = std::make_unique<ControlHost>();
    } catch (const RuntimeFault& fault) {
        reportRuntimeError(hooks, fault.number, fault.description);
    }

    const modGeneral::StoredSettings settings = startUp(window, folder, hooks);

    ScanRun run(window, *control, settings, folder, hooks);
    QObject::connect(&window, &Scan::started, &window, [&run] { run.run(); });
    QObject::connect(window.command1(), &QPushButton::clicked, &window, [&run] { run.run(); });
    return app.exec();
}
