// regsvr [--system] [-u] LIBRARY: calls the library's DllRegisterServer, or DllUnregisterServer
// with -u, and reports the outcome in one line. --system writes the system-wide class registry
// that every user's look-up reads after their own. Exit status 0 on success, 1 when the entry
// point reports a failure, 2 when the library cannot be loaded or the command line is wrong.
#include "platform/automation/classregistry.h"
#include "platform/automation/hresult.h"
#include "platform/automation/libraryentrypoints.h"
#include "tools/common/entrypoint.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>

namespace {

constexpr int kEntryPointFailed = 1;
constexpr int kCannotRun = 2;

constexpr const char* kUsage =
    "usage: regsvr [--system] [-u] LIBRARY\n"
    "Enters the classes of an automation library into the class registry, or removes them.\n"
    "  -u, /u      unregister instead of register\n"
    "  --system    the system-wide registry (first folder of XDG_CONFIG_DIRS, default /etc/xdg)\n"
    "              instead of the user's ($XDG_CONFIG_HOME, default ~/.config)\n"
    "  --help      show this text\n";

struct Request {
    QString library;
    bool unregister = false;
    bool system = false;
    bool help = false;
};

// Accepts the library, -u (or /u, as installers spell it) and --system in any order.
bool parseArguments(const QStringList& arguments, Request* request)
{
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QLatin1String("-u") || argument == QLatin1String("/u")) {
            request->unregister = true;
        } else if (argument == QLatin1String("--system")) {
            request->system = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            request->help = true;
        } else if (request->library.isEmpty() && !argument.startsWith(QLatin1Char('-'))) {
            request->library = argument;
        } else {
            return false;
        }
    }
    return request->help || !request->library.isEmpty();
}

int fail(const QByteArray& message, int status)
{
    std::fprintf(stderr, "regsvr: %s\n", message.constData());
    return status;
}

// The library writes the registry itself; the scope travels to it in the environment.
automation::ClassRegistry chooseRegistry(const Request& request)
{
    if (request.system)
        qputenv(automation::ClassRegistry::scopeVariable, "system");
    else
        qunsetenv(automation::ClassRegistry::scopeVariable);
    return automation::ClassRegistry::forRegistration();
}

QByteArray failureReason(const automation::ClassRegistry& registry, automation::HResult result)
{
    const QString problem = registry.writeProblem();
    return "the class registry \"" + QFile::encodeName(registry.filePath()) +
           "\" was not changed: " +
           (problem.isEmpty() ? automation::hresultText(result) : problem.toLocal8Bit());
}

int run(const Request& request)
{
    const char* name = request.unregister ? automation::dllUnregisterServerName
                                          : automation::dllRegisterServerName;
    QByteArray error;
    // Both entry points have the same type.
    const auto entryPoint = reinterpret_cast<automation::DllRegisterServerFunction>(
        tools::resolveEntryPoint(request.library, name, &error));
    if (!entryPoint) {
        return fail(error, kCannotRun);
    }
    const automation::ClassRegistry registry = chooseRegistry(request);
    const automation::HResult result = entryPoint();
    const QByteArray where =
        QByteArray(name) + " in " + tools::absoluteLibraryPath(request.library).toLocal8Bit();
    if (result != automation::S_OK_) {
        return fail(where + " failed: " + failureReason(registry, result), kEntryPointFailed);
    }
    std::printf("regsvr: %s succeeded (%s).\n", where.constData(),
                QFile::encodeName(registry.filePath()).constData());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Request request;
    if (!parseArguments(QCoreApplication::arguments(), &request)) {
        std::fputs(kUsage, stderr);
        return kCannotRun;
    }
    if (request.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return run(request);
}
