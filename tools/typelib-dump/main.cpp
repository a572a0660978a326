// typelib-dump LIBRARY: prints the library's type information without creating anything: the
// library line, each interface with one line per member, then the classes. Exit status 2 when
// the library cannot be loaded or carries no type information.
#include "platform/automation/libraryentrypoints.h"
#include "platform/automation/typeinfoprinter.h"
#include "tools/common/entrypoint.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

constexpr int kCannotRun = 2;

constexpr const char* kUsage =
    "usage: typelib-dump LIBRARY\n"
    "Prints the type information of an automation library (its interfaces, members and classes)\n"
    "without creating anything.\n";

int fail(const QByteArray& message)
{
    std::fprintf(stderr, "typelib-dump: %s\n", message.constData());
    return kCannotRun;
}

int dump(const QString& path)
{
    QByteArray error;
    const auto typeLibrary = reinterpret_cast<automation::TypeLibraryResourceFunction>(
        tools::resolveEntryPoint(path, automation::typeLibraryResourceName, &error));
    if (!typeLibrary) {
        return fail(error);
    }
    const automation::TypeLibraryInfo* library = typeLibrary();
    if (!library) {
        return fail("the library " + tools::absoluteLibraryPath(path).toLocal8Bit() +
                    " has no type information");
    }
    const QByteArray text = automation::printTypeLibrary(*library);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : kCannotRun;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 2 && arguments.at(1) == QLatin1String("--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.size() != 2 || arguments.at(1).startsWith(QLatin1Char('-'))) {
        return fail("usage: typelib-dump LIBRARY");
    }
    return dump(arguments.at(1));
}
