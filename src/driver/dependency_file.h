// The dependency file: a Make rule naming the script as target and every file the run read as
// its prerequisites, written so that GNU Make reads each name back as that file and never as
// anything else (a recipe, a variable, a pattern, a wildcard).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ldweave {

/// Which side of the rule a name stands on: "%" makes a pattern of a target, not of a
/// prerequisite.
enum class RuleSide { Target, Prerequisite };

/// A path as one word of a Make rule: "$" is doubled; blanks, "#", ":", "|" and the wildcard
/// characters "*", "?", "[" (and "%" in a target) get a backslash, and the backslashes right
/// before them are doubled; a leading "~" gets "./" before it. Returns an empty text for a name
/// Make cannot read back as one file: one holding a line break, a tab, ";" or "=", one ending
/// in a backslash, or one Make reads as an archive member ("lib(member)").
QByteArray escapeMakePath(const QString &path, RuleSide side);

/// The rule "target: \\\n  first \\\n  second\n". Each prerequisite is cleaned ("./a/../b.xml"
/// becomes "b.xml") and listed once, at its first place; two names of the same file count as one.
/// Throws HException naming the first name Make cannot read back.
QByteArray dependencyRuleText(const QString &target, const QStringList &prerequisites);

/// Writes the rule to path, atomically and only when it changes. Throws HException when a name
/// cannot be written or the file cannot be written.
void writeDependencyFile(const QString &path, const QString &target,
                         const QStringList &prerequisites);

} // namespace ldweave
