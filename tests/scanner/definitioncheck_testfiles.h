// Shared by the definition check tests: files in a throwaway folder and hits as printable pairs.
#pragma once

#include "scanner/definitioncheck/checkresult.h"
#include "scanner/definitioncheck/definitionset.h"

#include <QTemporaryDir>
#include <string>
#include <utility>
#include <vector>

namespace scanner::test {

// (definition, message line) as std::string, so that a failing comparison prints the bytes.
using Hits = std::vector<std::pair<std::string, std::string>>;

struct Outcome {
    CheckResult result;
    Hits hits; // result's, printable
};

Outcome outcomeOf(CheckResult result);

class TestFolder {
public:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString write(const QString& name, const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
};

Outcome checkWithPlain(const QString& definitionPath, const QString& messagePath);
Outcome checkWithSet(DefinitionSet& set, const QString& definitionPath, const QString& messagePath);

} // namespace scanner::test
