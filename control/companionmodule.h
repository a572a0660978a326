// The shipped library's companion modules (its widgets, its OpenSSL chain check) sit beside the
// library's own file, wherever a host loaded it from.
#pragma once

#include <QByteArray>
#include <QString>

// The path of the companion `fileName` beside the library that holds this code; empty, with
// *failure saying why, when the library's own folder is not known.
QString companionModulePath(const char* fileName, QByteArray* failure);
