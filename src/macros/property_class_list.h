// The macro table of a run: descriptors and values of the system macros, the clock macros whose
// values are read at each look-up, and the process-wide slot through which loaders reach it.
#pragma once

#include "macros/macros.h"

#include <QChar>
#include <QString>

#include <vector>

namespace ldweave {

/// Describes one system macro for people browsing the macros; nothing in the run reads it.
class MacroPropertyClass final
{
public:
    MacroPropertyClass(const QString &name, const QString &description);

    /// "$(" + name + ")".
    QString displayName() const { return m_displayName; }
    /// Always "System Macro Values".
    QString category() const { return m_category; }
    /// Always "Properties".
    QString group() const { return m_group; }
    QString description() const { return m_description; }

private:
    QString m_displayName;
    QString m_category;
    QString m_group;
    QString m_description;
};

/// The macro table: one per run, holding the system macros in definition order.
class PropertyClassList final
{
public:
    /// Builds the table with the sixteen system macros.
    PropertyClassList();

    /// Appends a descriptor when description is not empty, then sets name to value in the system
    /// macro map, replacing an earlier value.
    void setMacro(const QString &name, const QString &value, const QString &description);

    /// The descriptors in definition order.
    const std::vector<MacroPropertyClass> &macroDescriptors() const { return m_descriptors; }
    /// The system macros; the clock macros are stored with empty values.
    const MacroMap &systemMacros() const { return m_systemMacros; }
    QChar macroCharacter() const { return QChar(kMacroCharacter); }

    /// True, with the current clock value in value, when name is one of the nine clock macros
    /// ("Date", "DateYear", "DateMonth", "DateDay", "Time", "TimeHour", "TimeMinute",
    /// "TimeSecond", "UnixTime"); false, leaving value alone, for any other name.
    static bool dynamicMacroValue(const QString &name, QString &value);

private:
    std::vector<MacroPropertyClass> m_descriptors;
    MacroMap m_systemMacros;
};

/// Creates a fresh macro table in the process-wide slot, destroying any earlier one (references
/// to it become invalid), and returns it. The driver calls this once, before reading options.
PropertyClassList &createMacroTable();

/// The table in the process-wide slot, created on first use when createMacroTable() has not run.
PropertyClassList &macroTable();

} // namespace ldweave
