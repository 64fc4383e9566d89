// The one route to standard error for the tool's own messages: the warnings and errors of a run
// and the diagnostics of -diagnostics. Every line has the form "[position: ]severity: text".
#pragma once

#include <QByteArray>
#include <QString>

namespace ldweave {

enum class Severity { Warning, Error };

/// Writes "position: severity: text\n" on standard error, or "severity: text\n" when position
/// is empty. The texts are 8-bit and written as they are. Standard output is flushed first, so
/// progress lines and messages appear in the order they were made.
void printDiagnostic(Severity severity, const QByteArray &position, const QByteArray &text);

/// The same with Unicode texts, converted to 8-bit text.
void printDiagnostic(Severity severity, const QString &position, const QString &text);

/// Writes one line of explanation as it is, without position or severity, on standard error:
/// the "path: reason" that -diagnostics adds after an error line.
void printNote(const QByteArray &line);

/// A position naming a file and a line counted from 0, printed counting from 1 ("path:3"); a
/// negative line names the file alone.
QString filePosition(const QString &path, int64_t line);

} // namespace ldweave
