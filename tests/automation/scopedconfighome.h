// Points XDG_CONFIG_HOME at a fresh temporary folder for one test, and XDG_CONFIG_DIRS at its
// "system" subfolder, so no user's or machine's registry is read or written; puts the old values
// back afterwards.
#pragma once

#include <QByteArray>
#include <QTemporaryDir>

class ScopedConfigHome {
public:
    ScopedConfigHome()
        : m_hadOld(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")), m_old(qgetenv("XDG_CONFIG_HOME")),
          m_hadOldDirs(qEnvironmentVariableIsSet("XDG_CONFIG_DIRS")),
          m_oldDirs(qgetenv("XDG_CONFIG_DIRS"))
    {
        qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", systemPath().toLocal8Bit());
    }
    ~ScopedConfigHome()
    {
        restore("XDG_CONFIG_HOME", m_hadOld, m_old);
        restore("XDG_CONFIG_DIRS", m_hadOldDirs, m_oldDirs);
    }
    ScopedConfigHome(const ScopedConfigHome&) = delete;
    ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;

    QString path() const { return m_dir.path(); }
    QString systemPath() const { return m_dir.path() + QStringLiteral("/system"); }

private:
    static void restore(const char* name, bool had, const QByteArray& value)
    {
        if (had)
            qputenv(name, value);
        else
            qunsetenv(name);
    }

    QTemporaryDir m_dir;
    bool m_hadOld;
    QByteArray m_old;
    bool m_hadOldDirs;
    QByteArray m_oldDirs;
};
