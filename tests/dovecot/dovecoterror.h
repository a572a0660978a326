// The one exception the Dovecot test support throws. A test that lets it escape fails with its
// message, which names what was expected and what the server or the file system did instead.
#pragma once

#include <QString>
#include <stdexcept>

namespace dovecot {

class DovecotError : public std::runtime_error {
public:
    explicit DovecotError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

} // namespace dovecot
