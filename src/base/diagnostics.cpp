#include "base/diagnostics.h"

#include "base/file_system.h"

#include <cstdio>

namespace ldweave {

void printDiagnostic(Severity severity, const QByteArray &position, const QByteArray &text)
{
    std::fflush(stdout);
    const char *kind = severity == Severity::Warning ? "warning" : "error";
    if (position.isEmpty())
        std::fprintf(stderr, "%s: %s\n", kind, text.constData());
    else
        std::fprintf(stderr, "%s: %s: %s\n", position.constData(), kind, text.constData());
}

void printDiagnostic(Severity severity, const QString &position, const QString &text)
{
    printDiagnostic(severity, pathToBytes(position), pathToBytes(text));
}

void printNote(const QByteArray &line)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.constData());
}

bool Diagnostics::report(Severity severity, const QString &position, const QString &text)
{
    if (!m_enabled)
        return false;
    const QByteArray key = pathToBytes(position) + (severity == Severity::Warning ? "\1" : "\2")
                           + pathToBytes(text);
    if (m_printed.contains(key))
        return false;
    m_printed.insert(key);
    printDiagnostic(severity, position, text);
    return true;
}

void Diagnostics::warn(const QString &position, const QString &text)
{
    if (report(Severity::Warning, position, text))
        ++m_warnings;
}

void Diagnostics::error(const QString &position, const QString &text)
{
    report(Severity::Error, position, text);
}

QString filePosition(const QString &path, int64_t line)
{
    return line < 0 ? path : path + u':' + QString::number(line + 1);
}

} // namespace ldweave
