// The dependency file: a Make rule naming the script as target and every file the run read as
// its prerequisites, in the syntax GNU Make and Ninja's depfile reader share.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ldweave {

/// A path as one word of a Make rule: blanks (and the backslashes right before them) and "#" are
/// escaped with a backslash, "$" is doubled.
QString escapeMakePath(const QString &path);

/// The rule "target: \\\n  first \\\n  second\n". Each prerequisite is cleaned ("./a/../b.xml"
/// becomes "b.xml") and listed once, at its first place; two names of the same file count as one.
QByteArray dependencyRuleText(const QString &target, const QStringList &prerequisites);

/// Writes the rule to path, atomically and only when it changes. Throws HException when the file
/// cannot be written.
void writeDependencyFile(const QString &path, const QString &target,
                         const QStringList &prerequisites);

} // namespace ldweave
