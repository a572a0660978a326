// Names of result codes.
#include "platform/automation/hresult.h"

namespace automation {

namespace {

const char* hresultName(HResult result)
{
    switch (result) {
    case S_OK_:
        return "success";
    case S_FALSE_:
        return "false";
    case ClassNotAvailable:
        return "class not available";
    case InvalidPointer:
        return "invalid pointer";
    case ClassRegistrationFailed:
        return "class registration failed";
    case ModuleNotFound:
        return "module not found";
    }
    return nullptr;
}

} // namespace

QByteArray hresultText(HResult result)
{
    QByteArray text =
        "0x" + QByteArray::number(quint32(result), 16).toUpper().rightJustified(8, '0');
    if (const char* name = hresultName(result))
        text += QByteArray(" (") + name + ')';
    return text;
}

} // namespace automation
