// Object creation through the class registry.
#include "platform/automation/createobject.h"

#include "platform/automation/libraryentrypoints.h"

#include <QFileInfo>
#include <QLibrary>

namespace automation {

namespace {

struct Outcome {
    Ref<Dispatch> object;
    QByteArray failure; // why not, when object is null
};

Outcome fail(QByteArray why)
{
    return Outcome{nullptr, std::move(why)};
}

QByteArray quoted(QByteArrayView text)
{
    return '"' + text.toByteArray() + '"';
}

// The library stays loaded: QLibrary unloads only on an explicit unload(), which we never call.
Outcome createFromLibrary(const QString& path, const QByteArray& guid)
{
    const QByteArray shownPath = quoted(path.toLocal8Bit());
    if (!QFileInfo::exists(path))
        return fail("the library file " + shownPath + " of class " + guid + " does not exist");
    QLibrary library(path);
    if (!library.load())
        return fail("the library " + shownPath +
                    " cannot be loaded: " + library.errorString().toLocal8Bit());
    const auto getClassObject =
        reinterpret_cast<DllGetClassObjectFunction>(library.resolve(dllGetClassObjectName));
    if (!getClassObject)
        return fail("the library " + shownPath + " has no entry point " + dllGetClassObjectName);
    ClassFactory* rawFactory = nullptr;
    const HResult result = getClassObject(guid.constData(), &rawFactory);
    const Ref<ClassFactory> factory = Ref<ClassFactory>::adopt(rawFactory);
    if (!succeeded(result) || !factory) {
        const char* verdict =
            result == ClassNotAvailable ? " does not provide class " : " cannot provide class ";
        return fail("the library " + shownPath + verdict + guid + ": " + hresultText(result));
    }
    Ref<Dispatch> object = factory->createInstance();
    if (!object)
        return fail("the class factory of " + guid + " in " + shownPath + " made no object");
    return Outcome{std::move(object), {}};
}

Outcome create(const ClassRegistry& registry, QByteArrayView progId)
{
    QByteArray corrupt;
    const std::optional<QByteArray> guid = registry.classOfProgId(progId, &corrupt);
    if (!corrupt.isEmpty())
        return fail(corrupt);
    const QByteArray registryPaths =
        quoted(registry.lookupFiles().join(QLatin1String("\", \"")).toLocal8Bit());
    if (!guid)
        return fail("the ProgID " + quoted(progId) + " is not registered in " + registryPaths);
    const std::optional<QString> path = registry.libraryOfClass(*guid, &corrupt);
    if (!corrupt.isEmpty())
        return fail(corrupt);
    if (!path)
        return fail("the class " + *guid + " of ProgID " + quoted(progId) +
                    " has no library registered in " + registryPaths);
    return createFromLibrary(*path, *guid);
}

} // namespace

Ref<Dispatch> createObject(const ClassRegistry& registry, QByteArrayView progId,
                           RuntimeError* error, QByteArray* description)
{
    Outcome outcome = create(registry, progId);
    const RuntimeError code = outcome.object ? RuntimeError::None : RuntimeError::CantCreateObject;
    if (error)
        *error = code;
    if (description)
        *description =
            outcome.object ? QByteArray() : runtimeErrorText(code) + ": " + outcome.failure;
    return std::move(outcome.object);
}

Ref<Dispatch> createObject(QByteArrayView progId, RuntimeError* error, QByteArray* description)
{
    return createObject(ClassRegistry(), progId, error, description);
}

} // namespace automation
