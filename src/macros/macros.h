// Macro references "$(name)": the user macro map, its definition lists ("NAME=VALUE;NAME=VALUE",
// "\" making the next character literal) and the expansion that replaces references by values
// from a user map and, optionally, the system macros.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace ldweave {

/// Macro name to value; names compare exactly (case-sensitive, untrimmed), one value per name.
using MacroMap = QMap<QString, QString>;

/// The character that starts a macro reference and, doubled, escapes itself.
inline constexpr char16_t kMacroCharacter = u'$';

/// Most passes one expansion makes over its text before it stops re-scanning.
inline constexpr int kMaxExpansionPasses = 100;

/// Length (in UTF-16 units) past which expansion stops growing a text: 1 Mi characters, far
/// beyond any real attribute value or file name, and small enough that a doubling macro ends
/// in milliseconds. A text that is already longer when given to expandMacros may reach its own
/// length instead.
inline constexpr qsizetype kMaxExpandedLength = qsizetype(1024) * 1024;

/// What one expansion met, for the checks of -diagnostics.
struct ExpansionReport
{
    /// Names looked up, found or not (each once, in the order met).
    QStringList lookedUp;
    /// Names of references without a default that no macro defines: they stay as written.
    QStringList undefined;
    /// A bound (kMaxExpansionPasses, kMaxExpandedLength) ended the expansion early.
    bool stoppedAtBound = false;
};

/// Replaces every "$(name)", "$(name:default)" and "$(name::literal)" reference in text and turns
/// "$$" into "$". Names are looked up in userMacros and then, when useSystemMacros is set, in the
/// system macros of macroTable(); a clock macro found in either yields the clock's value. An
/// undefined name without a default stays as written. Never fails: endless or explosive
/// re-scanning stops at kMaxExpansionPasses or kMaxExpandedLength.
/// With a report, also tells what the expansion met.
QString expandMacros(const QString &text, const MacroMap &userMacros, bool useSystemMacros,
                     ExpansionReport *report = nullptr);

/// Splits a definition list at every unescaped ";". A backslash makes the next character
/// literal and is dropped (a backslash that is the last character stays); empty items are
/// dropped; nothing is trimmed. Shared by -symbols and the macro definition lists.
QStringList splitMacroList(const QString &text);

/// Turns the items of a split definition list into a map: "NAME=VALUE" (split at the first "="),
/// or "NAME" alone for an empty value. A later item replaces an earlier one of the same name.
/// Values are stored unexpanded.
MacroMap parseMacroDefinitions(const QStringList &items);

/// A copy of base with every entry of additions inserted, replacing entries of the same name.
MacroMap mergeMacros(const MacroMap &base, const MacroMap &additions);

} // namespace ldweave
