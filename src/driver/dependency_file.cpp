// Make-rule text for the dependency file and its write.
#include "driver/dependency_file.h"

#include "ldscript/output_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace ldweave {

QString escapeMakePath(const QString &path)
{
    // Decision: the escapes are the ones compilers write for make, which both GNU Make and
    // Ninja undo: a blank ends a word unless backslashed (and backslashes before it must then be
    // doubled), "#" starts a comment unless backslashed, "$" is written "$$". Tabs and line feeds
    // cannot be expressed in a rule that both read, and are written as they are.
    QString escaped;
    qsizetype backslashes = 0;
    for (const QChar c : path) {
        if (c == u' ') {
            escaped += QString(backslashes + 1, u'\\');
        } else if (c == u'#') {
            escaped += u'\\';
        } else if (c == u'$') {
            escaped += u'$';
        }
        escaped += c;
        backslashes = c == u'\\' ? backslashes + 1 : 0;
    }
    return escaped;
}

QByteArray dependencyRuleText(const QString &target, const QStringList &prerequisites)
{
    QString text = escapeMakePath(target) + u':';
    QSet<QString> listed;
    for (const QString &prerequisite : prerequisites) {
        // Decision: prerequisites are named as the tool opened them, cleaned of "." and ".."
        // steps (which Ninja does to its paths as well), so relative names stay relative to the
        // folder the tool ran in; the same file reached by a relative and an absolute name is
        // listed once, under the first.
        const QString clean = QDir::cleanPath(prerequisite);
        const QString identity = QDir::cleanPath(QFileInfo(clean).absoluteFilePath());
        if (listed.contains(identity))
            continue;
        listed.insert(identity);
        text += QStringLiteral(" \\\n  ") + escapeMakePath(clean);
    }
    text += u'\n';
    return text.toLocal8Bit();
}

void writeDependencyFile(const QString &path, const QString &target,
                         const QStringList &prerequisites)
{
    OutputFile file(path);
    file.commit(dependencyRuleText(target, prerequisites));
}

} // namespace ldweave
