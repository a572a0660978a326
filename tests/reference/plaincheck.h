// The definition check written as plainly as possible: the reference the fast path is tested and
// measured against.
#pragma once

#include "scanner/definitioncheck/checkresult.h"

namespace scanner {

// Checks every definition line against every message line with nested loops. Reads both files
// whole into memory: for tests, fuzz targets and benchmarks, not for the scan run. Gives the same
// hits, in the same order, and the same errors as DefinitionSet::check.
CheckResult checkPlain(const QString& definitionPath, const QString& messagePath);

} // namespace scanner
