#include "control/controlerrors.h"

#include <iterator>

namespace controlerrors {
namespace {

struct Entry {
    Code code;
    const char* text;
    bool withDetail;
};

constexpr Entry kTable[] = {
    {GreetingTimeout,
     "Connection was accepted but no data received before timeout. Connection closed", false},
    {ConnectTimeout, "Timeout waiting on connect request", false},
    {AlreadyConnected, "Already connected", false},
    {UserRefused, "Error received from USER command: ", true},
    {PassRefused, "Error received from PASS command: ", true},
    {HostnameBlank, "Hostname cannot be blank", false},
    {UsernameBlank, "Username cannot be blank", false},
    {StatRefused, "Error received from STAT command: ", true},
    {SelectWhenDisconnected, "Cannot set message number when disconnected", false},
    {MessageNumberOutOfRange,
     "Cannot set message number less than or equal to 0 or greater than the message count", false},
    {UidlRefused, "Error using the UIDL command: ", true},
    {TopRefused, "Error using the TOP command: ", true},
    {RetrieveWhenDisconnected, "Cannot retrieve message when disconnected", false},
    {RetrieveNoMessage, "Cannot retrieve message number 0, use the SetCurrentMsg method", false},
    {RetrieveRefused, "Error retrieving the message: ", true},
    {DeleRefused, "Error using the DELE (delete) command: ", true},
    {DeleteWhenDisconnected, "Cannot delete message when disconnected", false},
    {RsetRefused, "Error using the RSET (reset) command: ", true},
    {ResetWhenDisconnected, "Cannot reset deleted messages when disconnected", false},
    {ListRefused, "Error using the LIST command: ", true},
    {FileError, "File error: ", true},
    {SecureConnectionFailed, "Secure connection failed: ", true},
    {StlsRefused, "Server refused STLS: ", true},
    // A QUIT not answered "+OK" leaves every deletion mark undone (RFC 1939, 6): the host must
    // learn of it.
    {QuitRefused, "Error received from QUIT command: ", true},
    // SASL sign-in: the server's SASL line (or "no CAPA"); the server's last reply and the
    // status its error challenge named.
    {SignInMethodNotOffered, "Sign-in method not offered by the server: ", true},
    {SignInRefused, "Sign-in refused: ", true},
};

constexpr Code kFirst = GreetingTimeout;
constexpr Code kLast = SignInRefused;

// The table is in the order of the codes, so a code finds its entry by position.
constexpr bool inCodeOrder()
{
    for (std::size_t i = 0; i < std::size(kTable); ++i) {
        if (kTable[i].code != kFirst + qint16(i)) {
            return false;
        }
    }
    return std::size(kTable) == std::size_t(kLast - kFirst + 1);
}
static_assert(inCodeOrder(), "one entry for every code, in the order of the codes");

} // namespace

QByteArray errorText(qint16 code, const QByteArray& detail, const QByteArray& socketDescription)
{
    if (code == None) {
        return {};
    }
    if (code < kFirst || code > kLast) {
        return socketDescription;
    }
    const Entry& entry = kTable[code - kFirst];
    QByteArray text(entry.text);
    if (entry.withDetail) {
        text += detail;
    }
    return text;
}

} // namespace controlerrors
