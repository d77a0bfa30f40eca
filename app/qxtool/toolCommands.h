#pragma once

#include <QStringList>

// The command groups of qxtool. Each takes the arguments after its group
// name and returns the exit status.
namespace qxTool_n {

int runIff(const QStringList& p_listArgs);
int runHex(const QStringList& p_listArgs);
int runText(const QStringList& p_listArgs);
int runCrypt(const QStringList& p_listArgs);

} // namespace qxTool_n
