// The one route to standard error for the tool's own messages: the warnings and errors of a run
// and the diagnostics of -diagnostics. Every line has the form "[position: ]severity: text".
#pragma once

#include <QByteArray>
#include <QSet>
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

/// The checks of one run. Under -diagnostics, every warning of the run (the pre-processor's, the
/// loaders', the checks of the documents) is printed as "position: warning: text", each
/// distinct line once, so an element copied a thousand times by a loop warns once. Warnings
/// are counted, so -strict can fail the run on them. Disabled, it prints and counts nothing.
class Diagnostics
{
public:
    explicit Diagnostics(bool enabled = false)
        : m_enabled(enabled)
    {}

    bool isEnabled() const { return m_enabled; }
    /// Prints "position: warning: text" (or "warning: text" without a position) unless the
    /// same line was printed before.
    void warn(const QString &position, const QString &text);
    /// Prints "position: error: text", likewise once.
    void error(const QString &position, const QString &text);
    /// The warnings printed so far.
    int warningCount() const { return m_warnings; }

private:
    bool report(Severity severity, const QString &position, const QString &text);

    bool m_enabled;
    QSet<QByteArray> m_printed; ///< every line printed, to print each once
    int m_warnings = 0;
};

} // namespace ldweave
