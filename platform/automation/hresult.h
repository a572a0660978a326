// Result codes of the C entry points of an automation library.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace automation {

// The classic 32-bit result codes: negative means failure. The names avoid the platform's macro
// spellings so that no header can redefine them.
using HResult = qint32;

inline constexpr HResult S_OK_ = 0;
inline constexpr HResult S_FALSE_ = 1;
inline constexpr HResult ClassNotAvailable = qint32(0x80040111u);
inline constexpr HResult InvalidPointer = qint32(0x80004003u);
inline constexpr HResult ClassRegistrationFailed = qint32(0x80040201u);
// A module the class needs (a companion library beside the one asked) cannot be loaded.
inline constexpr HResult ModuleNotFound = qint32(0x8007007Eu);

constexpr bool succeeded(HResult result)
{
    return result >= 0;
}

// "0x80040111 (class not available)": the hex code and, for the codes above, a short name.
QByteArray hresultText(HResult result);

} // namespace automation
