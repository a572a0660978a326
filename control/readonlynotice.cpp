#include "control/readonlynotice.h"

#include "control/vorlanewidgets.h"

#include <QCoreApplication>
#include <cstdio>

void showReadOnlyNotice(const QByteArray& text)
{
    // Asked by class name: a host without widgets loads no Qt Widgets library for the answer.
    const QCoreApplication* application = QCoreApplication::instance();
    if (application && application->inherits("QApplication")) {
        if (const VorlaneWidgets* widgets = vorlaneWidgets()) {
            widgets->showNotice(text);
            return;
        }
    }
    std::fprintf(stderr, "%s\n", text.constData());
}
