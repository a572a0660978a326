// Vorlane: construction, status and error texts, the debug trace and the two resets.
#include "control/controlerrors.h"
#include "control/controlversion.h"
#include "control/socketcomponent.h"
#include "control/vorlane.h"
#include "platform/datetimetext.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* kLineEnd = "\r\n";

// The base name (no folder, no extension) of the file this code was loaded from: VRLN401 as
// shipped, whatever a packager or a test calls the file that holds the control.
QByteArray libraryBaseName()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&libraryBaseName), &info) == 0 || !info.dli_fname) {
        return controlversion::kLibraryBaseName;
    }
    QByteArray name(info.dli_fname);
    name = name.sliced(name.lastIndexOf('/') + 1);
    name.truncate(name.indexOf('.') < 0 ? name.size() : name.indexOf('.'));
    return name.isEmpty() ? QByteArray(controlversion::kLibraryBaseName) : name;
}

} // namespace

Vorlane::Vorlane() : wsk1(std::make_unique<SocketComponent>())
{
    QObject::connect(wsk1.get(), &SocketComponent::dataArrival, wsk1.get(),
                     [this](qint32 bytesTotal) { wsk1_DataArrival(bytesTotal); });
    QObject::connect(wsk1.get(), &SocketComponent::closed, wsk1.get(), [this] { wsk1_Close(); });
    QObject::connect(
        wsk1.get(), &SocketComponent::error, wsk1.get(),
        [this](qint16 number, const QByteArray& description) { wsk1_Error(number, description); });
    Initialize();
    InitProperties();
}

Vorlane::~Vorlane() = default;

void Vorlane::setMsgReadStatusHandler(MsgReadStatusHandler handler)
{
    m_msgReadStatus = std::move(handler);
}

void Vorlane::Initialize()
{
    intStatus = 0;
    strConnectResponse.clear();
    intError = 0;
    lngMsgCount = 0;
    blnDebugMode = false;
    strDebugFile.clear();
    blnDebugHeaderWritten = false;
    blnSizeRetrieved = false;
    blnHeadersRetrieved = false;
    blnReportProgress = false;
}

void Vorlane::InitProperties()
{
    strPOPHostname.clear();
    lngPOPPort = 110;
    strPOPUsername.clear();
    strPOPPassword.clear();
    intPOPTimeout = 10;
}

QByteArray Vorlane::StatusText() const
{
    switch (intStatus) {
    case 0:
        return "Disconnected";
    case 1:
        return "Connected";
    default:
        return {};
    }
}

QByteArray Vorlane::ErrorText() const
{
    return controlerrors::errorText(intError, strErrorDetail, strErrorDescription);
}

QByteArray Vorlane::Version()
{
    return QByteArray::number(controlversion::kMajor) + '.' +
           QByteArray::number(controlversion::kMinor) + '.' +
           QByteArray::number(controlversion::kRevision);
}

QByteArray Vorlane::funTraceHeader() const
{
    return "Vorlane version:" + Version() + " (" + libraryBaseName() +
           ") at:" + platform::localDateTimeText();
}

QByteArray Vorlane::funSocketState() const
{
    return "State:" + QByteArray::number(wsk1->state()) + " RemHost:" + wsk1->remoteHost() +
           " RemIP:" + wsk1->remoteHostIP() + " RemPort:" + QByteArray::number(wsk1->remotePort());
}

void Vorlane::subWriteDebug(const QByteArray& text)
{
    if (!blnDebugMode) {
        return;
    }
    QByteArray entry;
    if (!blnDebugHeaderWritten) {
        entry += funTraceHeader() + kLineEnd;
        blnDebugHeaderWritten = true;
    }
    entry += funSocketState() + "   " + kLineEnd + text + kLineEnd + "+" + kLineEnd;
    // Trace failures are ignored: a missing folder or a read-only file just loses the entry.
    // Non-blocking, so a FIFO as trace file cannot hang the control; owner-only, since the
    // trace holds the user's mail.
    if (strDebugFile.isEmpty() || strDebugFile.contains('\0')) {
        return;
    }
    const int fd = ::open(strDebugFile.constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        return;
    }
    const ssize_t written = ::write(fd, entry.constData(), size_t(entry.size()));
    Q_UNUSED(written);
    ::close(fd);
}

void Vorlane::subresetvaluesondisconnect()
{
    subWriteDebug("start subresetvaluesondisconnect");
    intStatus = 0;
    strConnectResponse.clear();
    strSecureConnectionInfo.clear();
    m_capabilities.clear();
    m_listing.clear();
    strUniqueIDList.clear();
    subresetmsgvalues();
    wsk1->setRemoteHost({});
    if (wsk1->state() != SocketComponent::Error) {
        wsk1->setRemotePort(0);
    }
    subWriteDebug("end subresetvaluesondisconnect");
}

void Vorlane::subresetmsgvalues()
{
    subWriteDebug("start subresetmsgvalues");
    lngMsgCount = 0;
    intMsgNumber = 0;
    strMsgUniqueID.clear();
    strMsgHeaders.clear();
    strMsgContents.clear();
    lngMsgSizeInK = 0;
    blnSizeRetrieved = false;
    blnHeadersRetrieved = false;
    subWriteDebug("end subresetmsgvalues");
}
