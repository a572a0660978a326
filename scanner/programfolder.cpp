#include "scanner/programfolder.h"

#include <fcntl.h>
#include <unistd.h>

ProgramFolder ProgramFolder::ofRunningProgram()
{
    QByteArray target(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", target.data(), size_t(target.size()));
    target.resize(length > 0 ? length : 0);
    const qsizetype slash = target.lastIndexOf('/');
    return ProgramFolder(slash > 0 ? target.left(slash) : QByteArray("/"));
}

ProgramFolder::ProgramFolder(QByteArray nativePath) : m_native(std::move(nativePath))
{
    const QString decoded = QString::fromUtf8(m_native);
    if (decoded.toUtf8() == m_native) {
        m_qtPath = decoded;
        return;
    }
    // Through /proc the descriptor names the folder in plain ASCII.
    m_descriptor = ::open(m_native.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    m_qtPath = m_descriptor >= 0 ? QStringLiteral("/proc/self/fd/%1").arg(m_descriptor) : decoded;
}

ProgramFolder::~ProgramFolder()
{
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
}

QByteArray ProgramFolder::nativeFilePath(const QString& name) const
{
    return m_native + '/' + name.toUtf8();
}

QString ProgramFolder::filePath(const QString& name) const
{
    return m_qtPath + QLatin1Char('/') + name;
}
