// The built programs as a person installs them: Orsel01 and settings in a program folder of their
// own with their own settings, class registry and state, and one X server (Xvfb) for the whole
// test run.
#pragma once

#include "tests/support/programcopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

// One X server for the whole run, on a display it picks itself; stopped by its PID.
class VirtualDisplay : public ::testing::Environment {
public:
    static QString display() { return s_display; }

    void SetUp() override
    {
        if (::geteuid() != 0) {
            return; // the tests skip themselves
        }
        m_xvfb.setProgram(QStringLiteral("Xvfb"));
        // -noreset: an X server resets when its last client leaves and refuses whoever connects
        // meanwhile. The scanner leaves just as the settings program it started connects; on a
        // desktop the session keeps the server up.
        m_xvfb.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                             QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp"), QStringLiteral("-noreset")});
        m_xvfb.start();
        ASSERT_TRUE(m_xvfb.waitForStarted(5000)) << "Xvfb is needed (Debian package xvfb)";
        QElapsedTimer timer;
        timer.start();
        while (!m_xvfb.canReadLine() && timer.elapsed() < 10000) {
            m_xvfb.waitForReadyRead(200);
        }
        s_display = QStringLiteral(":") + QString::fromLatin1(m_xvfb.readLine().trimmed());
        ASSERT_NE(s_display, QStringLiteral(":"));
    }
    void TearDown() override
    {
        if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.kill(); // by its PID
            m_xvfb.waitForFinished(5000);
        }
    }

private:
    QProcess m_xvfb;
    static inline QString s_display;
};

inline int runTool(const QStringList& command, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(command.first(), command.mid(1));
    process.waitForFinished(30000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Orsel01 installed in a program folder of its own, with its own settings and class registry.
class InstalledScanner {
public:
    enum class Registration { Registered, Unregistered };
    // None: no X display and no platform plugin setting at all, as under cron.
    enum class Display { Virtual, None };

    explicit InstalledScanner(Registration registration = Registration::Registered,
                              Display display = Display::Virtual)
    {
        copyProgramWithModules(QStringLiteral(ORSEL01_PATH), m_folder.path());
        for (const char* file : {SETTINGS_PATH, DEFDAT_PATH}) {
            const QString source = QString::fromLocal8Bit(file);
            QFile::copy(source, m_folder.filePath(QFileInfo(source).fileName()));
        }
        QFile::setPermissions(m_folder.path(), QFile::Permissions(0x7755));
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_STATE_HOME"),
                             m_config.filePath(QStringLiteral("state")));
        if (display == Display::Virtual) {
            m_environment.insert(QStringLiteral("DISPLAY"), VirtualDisplay::display());
        } else {
            m_environment.remove(QStringLiteral("DISPLAY"));
            m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        }
        m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (registration == Registration::Registered) {
            registerControl(QStringLiteral(VRLN401_PATH));
        }
    }
    // Registers the control held by `library` (a copy in the program folder, say) for this
    // scanner.
    void registerControl(const QString& library)
    {
        EXPECT_EQ(runTool({QStringLiteral(REGSVR_PATH), library}, m_environment), 0);
    }
    ~InstalledScanner()
    {
        if (m_scanner.state() != QProcess::NotRunning) {
            m_scanner.kill();
            m_scanner.waitForFinished(5000);
        }
    }

    // Fresh settings default to TLS; the scans here use the plain port 110 unless they say
    // otherwise.
    void storeSettings(const QString& address, const QString& user, const QString& pass,
                       QStringList more = {})
    {
        if (!more.contains(QStringLiteral("--security"))) {
            more << QStringLiteral("--security") << QStringLiteral("none");
        }
        ASSERT_EQ(
            runTool(QStringList{program("settings"), QStringLiteral("--address"), address,
                                QStringLiteral("--user"), user, QStringLiteral("--pass"), pass} +
                        more,
                    m_environment),
            0);
    }
    void start(const QStringList& arguments = {})
    {
        m_output.clear(); // each run's own
        m_scanner.setProcessEnvironment(m_environment);
        m_scanner.setWorkingDirectory(m_folder.path());
        m_scanner.start(program("Orsel01"), arguments);
        ASSERT_TRUE(m_scanner.waitForStarted(5000));
    }
    // Waits for the program to end; its exit code, or -1 when it did not end in time.
    int waitForEnd(int ms)
    {
        if (!m_scanner.waitForFinished(ms)) {
            return -1;
        }
        m_output += m_scanner.readAllStandardOutput();
        return m_scanner.exitCode();
    }
    QByteArray errors() { return m_scanner.readAllStandardError(); }
    // Stops or continues the scanner (SIGSTOP, SIGCONT), by its PID.
    void signal(int number) { ::kill(pid_t(m_scanner.processId()), number); }
    // The settings program with `arguments`: its exit code, with what it wrote.
    int runSettings(const QStringList& arguments, QByteArray* output, QByteArray* errors)
    {
        QProcess settings;
        settings.setProcessEnvironment(m_environment);
        settings.start(program("settings"), arguments);
        settings.waitForFinished(60000);
        *output = settings.readAllStandardOutput();
        *errors = settings.readAllStandardError();
        return settings.exitStatus() == QProcess::NormalExit ? settings.exitCode() : -1;
    }
    // The desktop's session bus for the programs; by default they have none.
    void useSessionBus(const QString& address)
    {
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    }
    void setVariable(const QString& name, const QString& value)
    {
        m_environment.insert(name, value);
    }
    const QProcessEnvironment& environment() const { return m_environment; }
    QByteArray output()
    {
        m_output += m_scanner.readAllStandardOutput();
        return m_output;
    }
    bool waitForOutput(const QByteArray& text, int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (!output().contains(text)) {
            if (timer.elapsed() > ms || m_scanner.state() == QProcess::NotRunning) {
                return output().contains(text);
            }
            m_scanner.waitForReadyRead(100);
        }
        return true;
    }
    // Finds the window titled exactly `title` and presses `key` in it, as a person would.
    bool answerWindow(const QString& title, const QString& key, int ms = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QProcess search;
            search.setProcessEnvironment(m_environment);
            search.start(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
            search.waitForFinished(5000);
            const QByteArray window = search.readAllStandardOutput().split('\n').value(0);
            if (!window.isEmpty()) {
                return runTool({QStringLiteral("xdotool"), QStringLiteral("windowfocus"),
                                QStringLiteral("--sync"), QString::fromLatin1(window),
                                QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key},
                               m_environment) == 0;
            }
            QThread::msleep(100); // polling another process's windows: no event to wait on
        }
        return false;
    }
    bool windowAppears(const QString& title, int ms) { return answerWindow(title, {}, ms); }
    QString savedFile(int n) const { return m_folder.filePath(QStringLiteral("msg%1.txt").arg(n)); }
    QString programFile(const QString& name) const { return m_folder.filePath(name); }
    QString stateFolder() const { return m_config.filePath(QStringLiteral("state/Orsel")); }
    QString configFolder() const { return m_config.path(); }
    QString folder() const { return m_folder.path(); }

private:
    QString program(const char* name) const { return m_folder.filePath(QString::fromLatin1(name)); }

    QTemporaryDir m_folder;
    QTemporaryDir m_config;
    QProcessEnvironment m_environment;
    QProcess m_scanner;
    QByteArray m_output;
};
