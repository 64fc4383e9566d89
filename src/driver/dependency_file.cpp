// Make-rule text for the dependency file and its write.
#include "driver/dependency_file.h"

#include "base/file_system.h"
#include "base/hexception.h"
#include "ldscript/output_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace ldweave {

namespace {

// Whether GNU Make reads the name as the member of an archive: "lib(member)".
bool isArchiveMember(const QByteArray &name)
{
    const qsizetype open = name.indexOf('(');
    return open > 0 && name.endsWith(')');
}

QByteArray escapedWord(const QString &path, RuleSide side)
{
    const QByteArray escaped = escapeMakePath(path, side);
    if (escaped.isEmpty()) {
        QString shown = path;
        shown.replace(u'\n', QStringLiteral("\\n"))
            .replace(u'\r', QStringLiteral("\\r"))
            .replace(u'\t', QStringLiteral("\\t"));
        throw HException(QStringLiteral("cannot write the dependency file: GNU Make cannot name "
                                        "the file '")
                         + shown + QStringLiteral("'; rename it"));
    }
    return escaped;
}

} // namespace

QByteArray escapeMakePath(const QString &path, RuleSide side)
{
    // Decision: the escapes are those GNU Make 4.3 undoes. A name it cannot read back as one
    // file is refused rather than written: ";" would start a recipe (a command the next build
    // runs), "=" a variable assignment, a tab or line break another line, and a final backslash
    // would join the line that follows. Ninja 1.11 reads the same escapes for blanks, "#", "$"
    // and ":", but ends a name at "*", "?", "'", "\"", "&", "|" and a few more, so a build with
    // Ninja reruns the tool each time such a file is included; it never misses an edit.
    const QByteArray bytes = pathToBytes(path);
    if (bytes.isEmpty() || bytes.endsWith('\\') || isArchiveMember(bytes))
        return QByteArray();
    QByteArray escaped;
    if (bytes.startsWith('~'))
        escaped += "./"; // not the home folder
    qsizetype backslashes = 0;
    for (const char c : bytes) {
        switch (c) {
        case '\n':
        case '\r':
        case '\t':
        case ';':
        case '=':
            return QByteArray();
        case '$':
            escaped += '$';
            break;
        case ' ':
        case '#':
        case ':':
        case '|':
        case '*':
        case '?':
        case '[':
            escaped += QByteArray(backslashes + 1, '\\');
            break;
        case '%':
            if (side == RuleSide::Target)
                escaped += QByteArray(backslashes + 1, '\\');
            break;
        default:
            break;
        }
        escaped += c;
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    return escaped;
}

QByteArray dependencyRuleText(const QString &target, const QStringList &prerequisites)
{
    QByteArray text = escapedWord(target, RuleSide::Target) + ':';
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
        text += " \\\n  " + escapedWord(clean, RuleSide::Prerequisite);
    }
    text += '\n';
    return text;
}

void writeDependencyFile(const QString &path, const QString &target,
                         const QStringList &prerequisites)
{
    const QByteArray rule = dependencyRuleText(target, prerequisites);
    OutputFile file(path);
    file.commit(rule);
}

} // namespace ldweave
