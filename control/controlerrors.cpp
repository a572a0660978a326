#include "control/controlerrors.h"

namespace controlerrors {
namespace {

struct Entry {
    qint16 code;
    const char* text;
    bool withDetail;
};

constexpr Entry kTable[] = {
    {11, "Connection was accepted but no data received before timeout. Connection closed", false},
    {12, "Timeout waiting on connect request", false},
    {13, "Already connected", false},
    {14, "Error received from USER command: ", true},
    {15, "Error received from PASS command: ", true},
    {16, "Hostname cannot be blank", false},
    {17, "Username cannot be blank", false},
    {18, "Error received from STAT command: ", true},
    {19, "Cannot set message number when disconnected", false},
    {20, "Cannot set message number less than or equal to 0 or greater than the message count",
     false},
    {21, "Error using the UIDL command: ", true},
    {22, "Error using the TOP command: ", true},
    {23, "Cannot retrieve message when disconnected", false},
    {24, "Cannot retrieve message number 0, use the SetCurrentMsg method", false},
    {25, "Error retrieving the message: ", true},
    {26, "Error using the DELE (delete) command: ", true},
    {27, "Cannot delete message when disconnected", false},
    {28, "Error using the RSET (reset) command: ", true},
    {29, "Cannot reset deleted messages when disconnected", false},
    {30, "Error using the LIST command: ", true},
    {31, "File error: ", true},
    {32, "Secure connection failed: ", true},
    {33, "Server refused STLS: ", true},
    // A QUIT not answered "+OK" leaves every deletion mark undone (RFC 1939, 6): the host must
    // learn of it.
    {34, "Error received from QUIT command: ", true},
};

static_assert(std::size(kTable) == 24, "one entry for every code from 11 to 34");

} // namespace

QByteArray errorText(qint16 code, const QByteArray& detail, const QByteArray& socketDescription)
{
    if (code == None) {
        return {};
    }
    for (const Entry& entry : kTable) {
        if (entry.code == code) {
            QByteArray text(entry.text);
            if (entry.withDetail) {
                text += detail;
            }
            return text;
        }
    }
    return socketDescription;
}

} // namespace controlerrors
