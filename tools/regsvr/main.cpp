// regsvr LIBRARY [-u]: calls the library's DllRegisterServer, or DllUnregisterServer with -u, and
// reports the outcome in one line. Exit status 0 on success, 1 when the entry point reports a
// failure, 2 when the library cannot be loaded or the command line is wrong.
#include "platform/automation/hresult.h"
#include "platform/automation/libraryentrypoints.h"
#include "tools/common/entrypoint.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

constexpr int kEntryPointFailed = 1;
constexpr int kCannotRun = 2;

struct Request {
    QString library;
    bool unregister = false;
};

// Accepts the library and -u (or /u, as installers spell it) in either order.
bool parseArguments(const QStringList& arguments, Request* request)
{
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QLatin1String("-u") || argument == QLatin1String("/u")) {
            request->unregister = true;
        } else if (request->library.isEmpty() && !argument.startsWith(QLatin1Char('-'))) {
            request->library = argument;
        } else {
            return false;
        }
    }
    return !request->library.isEmpty();
}

int fail(const QByteArray& message, int status)
{
    std::fprintf(stderr, "regsvr: %s\n", message.constData());
    return status;
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
    const automation::HResult result = entryPoint();
    const QByteArray where =
        QByteArray(name) + " in " + tools::absoluteLibraryPath(request.library).toLocal8Bit();
    if (result != automation::S_OK_) {
        return fail(where + " failed: " + automation::hresultText(result), kEntryPointFailed);
    }
    std::printf("regsvr: %s succeeded.\n", where.constData());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Request request;
    if (!parseArguments(QCoreApplication::arguments(), &request)) {
        return fail("usage: regsvr LIBRARY [-u]", kCannotRun);
    }
    return run(request);
}
