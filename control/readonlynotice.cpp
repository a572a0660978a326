#include "control/readonlynotice.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

void showReadOnlyNotice(const QByteArray& text)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QMessageBox::information(nullptr, QCoreApplication::applicationName(),
                                 QString::fromLatin1(text), QMessageBox::Ok);
        return;
    }
    std::fprintf(stderr, "%s\n", text.constData());
}
