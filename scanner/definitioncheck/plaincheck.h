// The definition check written as plainly as possible: the reference the fast path is tested and
// measured against.
#pragma once

#include "scanner/definitioncheck/checkresult.h"

namespace scanner {

// Checks every definition line against every message line with nested loops. Reads both files
// whole into memory, so it is meant for tests and comparisons, not for the scan run. Gives the same
// hits, in the same order, and the same errors as DefinitionSet::check.
CheckResult checkPlain(const QString& definitionPath, const QString& messagePath);

} // namespace scanner
