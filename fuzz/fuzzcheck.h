// The one way a fuzz target reports a broken property: a message, then a crash that libFuzzer
// records as a finding and that fails a corpus replay under ctest.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

// Printable form of bytes for the message: C escapes for everything outside ASCII graphics.
inline QByteArray escaped(QByteArrayView bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else {
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        }
    }
    return out;
}

[[noreturn]] inline void fail(const char* what, QByteArrayView got = {}, QByteArrayView want = {})
{
    std::fprintf(stderr, "fuzz check failed: %s\n  got:  \"%s\"\n  want: \"%s\"\n", what,
                 escaped(got).constData(), escaped(want).constData());
    std::abort();
}

inline void require(bool holds, const char* what)
{
    if (!holds) {
        fail(what);
    }
}

inline void requireEqual(QByteArrayView got, QByteArrayView want, const char* what)
{
    if (got != want) {
        fail(what, got, want);
    }
}

} // namespace fuzzcheck
