// Loopback addresses for tests that must bind a fixed port (the scanner connects to 110 or 995 of
// its stored address): each test takes a host number of its own in the build's test net.
#pragma once

#include <QString>

inline QString loopbackAddress(int host)
{
    return QStringLiteral(VORLANE_TEST_LOOPBACK_NET ".%1").arg(host);
}
