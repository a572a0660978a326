// LineOutput: where the shell's JSON lines go, one call per line (without its line end).
#pragma once

#include <QByteArray>
#include <functional>

namespace vorlaneshell {

using LineOutput = std::function<void(const QByteArray& line)>;

} // namespace vorlaneshell
