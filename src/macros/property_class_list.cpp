// The system macros are fixed facts of this build; none comes from the environment or from the
// location of the executable, so a script never depends on where or how the tool was started.
#include "macros/property_class_list.h"

#include "base/product.h"

#include <QDateTime>
#include <QLocale>

#include <cstdint>
#include <memory>

namespace ldweave {

using namespace Qt::StringLiterals;

namespace {

struct ClockMacro
{
    /// A view, so that its length is known and a comparison with another name's length fails
    /// at once; every expanded reference is compared with all of them.
    QStringView name;
    /// Date-time pattern; nullptr for UnixTime, which is a number.
    const char16_t *pattern;
};

const ClockMacro kClockMacros[] = {
    {u"Date", u"d MMMM yyyy"}, {u"DateYear", u"yyyy"}, {u"DateMonth", u"MM"},
    {u"DateDay", u"dd"},       {u"Time", u"hh:mm:ss"}, {u"TimeHour", u"hh"},
    {u"TimeMinute", u"mm"},    {u"TimeSecond", u"ss"}, {u"UnixTime", nullptr},
};

std::unique_ptr<PropertyClassList> &macroTableSlot()
{
    static std::unique_ptr<PropertyClassList> table;
    return table;
}

} // namespace

MacroPropertyClass::MacroPropertyClass(const QString &name, const QString &description)
    : m_displayName(u"$("_s + name + u")"_s)
    , m_category(QStringLiteral("System Macro Values"))
    , m_group(QStringLiteral("Properties"))
    , m_description(description)
{}

PropertyClassList::PropertyClassList()
{
    const QString product = QString::fromUtf8(kProductTitle);
    setMacro(u"Date"_s, QString(), u"Day Month Year e.g. 21 June 2011."_s);
    setMacro(u"DateYear"_s, QString(), u"Year e.g. 2011."_s);
    setMacro(u"DateMonth"_s, QString(), u"Month e.g. June."_s);
    setMacro(u"DateDay"_s, QString(), u"Day e.g. 21."_s);
    setMacro(u"Time"_s, QString(), u"Hour:Minutes:Seconds e.g. 15:34:03."_s);
    setMacro(u"TimeHour"_s, QString(), u"Hour e.g. 15."_s);
    setMacro(u"TimeMinute"_s, QString(), u"Minute e.g. 34."_s);
    setMacro(u"TimeSecond"_s, QString(), u"Seconds e.g. 03."_s);
    setMacro(u"UnixTime"_s, QString(), u"Seconds since 00:00, Jan 1 1970 UTC"_s);
    setMacro(u"HostArch"_s, u"x86"_s,
             u"The CPU architecture that "_s + product + u" is running on e.g. x86."_s);
    setMacro(u"HostOS"_s, u"linux"_s,
             u"The name of the operating system that "_s + product + u" is running on e.g. win."_s);
    setMacro(u"Micro"_s, u"RISCV"_s, u"The "_s + product + u" target e.g. ARM."_s);
    setMacro(u"TargetID"_s, QString::number(20),
             u"ID number representing the "_s + product + u" target."_s);
    setMacro(u"HostEXE"_s, QString(),
             u"The file extension for executables on the CPU that "_s + product
                 + u" is running on e.g. .exe."_s);
    setMacro(u"HostDLLExt"_s, u".so"_s,
             u"The file extension for dynamic link libraries used by the operating system that "_s
                 + product + u" is running on e.g. .dll, .so, .dylib."_s);
    setMacro(u"HostDLL"_s, u".so"_s,
             u"The file extension for dynamic link libraries on the CPU that "_s + product
                 + u" is running on e.g. .dll."_s);
}

void PropertyClassList::setMacro(const QString &name, const QString &value,
                                 const QString &description)
{
    if (!description.isEmpty())
        m_descriptors.emplace_back(name, description);
    m_systemMacros.insert(name, value);
}

bool PropertyClassList::dynamicMacroValue(const QString &name, QString &value)
{
    for (const ClockMacro &clock : kClockMacros) {
        if (name != clock.name)
            continue;
        const QDateTime now = QDateTime::currentDateTime();
        if (!clock.pattern) {
            // Wraps modulo 2^32 from the year 2106 on, like any unsigned 32-bit time.
            value = QString::number(static_cast<uint32_t>(now.toSecsSinceEpoch()));
        } else {
            // Decision: dates are formatted in the C locale, so the month name of "Date" is
            // English whatever locale the build machine uses; the same inputs give the same
            // script on every host.
            value = QLocale::c().toString(now, QStringView(clock.pattern));
        }
        return true;
    }
    return false;
}

PropertyClassList &createMacroTable()
{
    macroTableSlot() = std::make_unique<PropertyClassList>();
    return *macroTableSlot();
}

PropertyClassList &macroTable()
{
    // Decision: a look-up before the driver has created the table creates it, so a loader or a
    // test used without the driver sees the same system macros instead of failing.
    if (!macroTableSlot())
        return createMacroTable();
    return *macroTableSlot();
}

} // namespace ldweave
