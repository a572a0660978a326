// Points XDG_CONFIG_HOME at a fresh temporary folder for one test, so no user's registry is read
// or written, and puts the old value back afterwards.
#pragma once

#include <QByteArray>
#include <QTemporaryDir>

class ScopedConfigHome {
public:
    ScopedConfigHome()
        : m_hadOld(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")), m_old(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
    }
    ~ScopedConfigHome()
    {
        if (m_hadOld)
            qputenv("XDG_CONFIG_HOME", m_old);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    ScopedConfigHome(const ScopedConfigHome&) = delete;
    ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_hadOld;
    QByteArray m_old;
};
