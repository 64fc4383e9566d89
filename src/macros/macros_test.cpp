#include "macros/macros.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

namespace ldweave {
namespace {

TEST(ExpandMacros, ReferencesDefaultsEscapesAndRescans)
{
    const MacroMap macros{{"A", "1"},       {"E", ""},         {"a(b)c", "nested"},
                          {"f(x)", "call"}, {"", "unnamed"},   {"B", "bee"},
                          {"C", "$(B)"},    {"HostOS", "win"}, {"date", "not a clock"}};
    const struct
    {
        const char *input;
        const char *expected;
        bool useSystemMacros;
    } rows[] = {
        {"", "", false},
        {"cost 5$ a$b", "cost 5$ a$b", false},
        {"$", "$", false},
        {"$$", "$", false},
        {"$$$", "$$", false},
        {"$$(A)", "$(A)", false},
        {"a$$$(A)b", "a$1b", false},
        {"$(A)$", "1$", false},
        {"x$(A)y$(A)z", "x1y1z", false},
        {"$(UNDEFINED)", "$(UNDEFINED)", false},
        {"$(UNDEFINED:none)", "none", false},
        {"$(UNDEFINED:)", "", false},
        {"$(A:none)", "1", false},
        {"$(E:none)", "", false},
        {"$(a)", "$(a)", false},
        {"$(U:x:y)", "x:y", false},
        {"$(U:::y)", ":y", false},
        {"$(U::)", "", false},
        {"$(a(b)c)", "nested", false},
        {"$(f(x))", "call", false},
        {"$(g(x))", "$(g(x))", false},
        {"$(g(x):d)", "d", false},
        {"$(:d)", "unnamed", false},
        {"$()", "unnamed", false},
        // An unterminated reference drops only its "$".
        {"$(abc", "(abc", false},
        {"$(", "(", false},
        {"$(a(b)", "(a(b)", false},
        {"$(a$(A)", "(a1", false},
        {"$($($(A)", "((1", false},
        {"$(U::$(A)", "(U::1", false},
        {"$(U:(", "(U:(", false},
        // A reference whose content holds "$" asks for another pass; "::" keeps it literal.
        {"$(U:$(B))", "bee", false},
        {"$(U:$(V:$(B)))", "bee", false},
        {"$(U::$(B)) $(V:x)", "$(B) x", false},
        {"$(C)", "$(B)", false},
        {"$(C) $(U:$(B))", "bee bee", false},
        {"$(U:$(B)) $(V::$(B))", "bee bee", false},
        {"$(V::$(B)) $(U:$(B))", "bee bee", false},
        {"$$(U:$(B))", "$(U:bee)", false},
        {"$$(A) $(U:$(B))", "1 bee", false},
        // System macros only when asked for, after the user's; "date" is no clock macro.
        {"$(HostOS)-$(HostArch)", "win-x86", true},
        {"$(HostOS)-$(HostArch)", "win-$(HostArch)", false},
        {"$(Micro)-$(TargetID)$(HostEXE)$(HostDLL)$(HostDLLExt)", "RISCV-20.so.so", true},
        {"$(HostEXE:none)$(hostos)$(date)", "$(hostos)not a clock", true},
        {"$(Date)", "$(Date)", false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(expandMacros(QString::fromUtf8(row.input), macros, row.useSystemMacros),
                  QString::fromUtf8(row.expected));
    }
    EXPECT_EQ(expandMacros("$(HostOS)/map.xml", {}, true), "linux/map.xml");
}

TEST(ExpandMacros, ClockMacrosReadTheClockWhateverTheMaps)
{
    const char *const months[]
        = {"January", "February", "March",     "April",   "May",      "June",
           "July",    "August",   "September", "October", "November", "December"};
    const auto two = [](int number) { return QString::asprintf("%02d", number); };
    const auto expected = [&](const QDateTime &t) {
        const QDate d = t.date();
        const QTime h = t.time();
        return QStringList{QString::asprintf("%d %s %d", d.day(), months[d.month() - 1], d.year()),
                           QString::number(d.year()),
                           two(d.month()),
                           two(d.day()),
                           two(h.hour()) + ':' + two(h.minute()) + ':' + two(h.second()),
                           two(h.hour()),
                           two(h.minute()),
                           two(h.second()),
                           QString::number(uint32_t(t.toSecsSinceEpoch()))}
            .join(u'|');
    };
    const QStringList names{"Date",     "DateYear",   "DateMonth",  "DateDay", "Time",
                            "TimeHour", "TimeMinute", "TimeSecond", "UnixTime"};
    MacroMap userValues;
    for (const QString &name : names)
        userValues.insert(name, "user value");
    const QString references = "$(" + names.join(")|$(") + ")";
    // Month names must not follow the default locale.
    const QLocale savedLocale;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (bool fromUserMap : {false, true}) {
        const QDateTime before = QDateTime::currentDateTime();
        const QString value = fromUserMap ? expandMacros(references, userValues, false)
                                          : expandMacros(references, {}, true);
        const QDateTime after = QDateTime::currentDateTime();
        EXPECT_TRUE(value == expected(before) || value == expected(after)) << value.toStdString();
    }
    QLocale::setDefault(savedLocale);
}

TEST(ExpandMacros, EndlessAndGrowingExpansionsStopAtTheirBounds)
{
    EXPECT_EQ(expandMacros("x $(a$b) $(a$b:$(a$b))", {}, false), "x $(a$b) $(a$b)");
    EXPECT_EQ(expandMacros("$(A)$(q$)", {{"A", "$(A)"}}, false), "$(A)$(q$)");
    // Values that keep changing the text stop at the pass bound with the last pass's output.
    const char *const lastOfCycle = kMaxExpansionPasses % 2 == 0 ? "$(A)$(q$)" : "$(B)$(q$)";
    EXPECT_EQ(expandMacros("$(A)$(q$)", {{"A", "$(B)"}, {"B", "$(A)"}}, false), lastOfCycle);
    EXPECT_EQ(expandMacros("$(A)$(q$)", {{"A", "x$(A)"}}, false),
              QString(kMaxExpansionPasses, u'x') + "$(A)$(q$)");

    const QString doubled = expandMacros("$(A)$(q$)", {{"A", "$(A)$(A)"}}, false);
    EXPECT_LE(doubled.size(), kMaxExpandedLength);
    EXPECT_GT(doubled.size(), kMaxExpandedLength / 2);
    EXPECT_TRUE(doubled.startsWith("$(A)$(A)$(A)") && doubled.endsWith("$(A)$(q$)"));
    // A pass that would pass the length bound is abandoned as a whole, while a text that is
    // already longer is still expanded.
    const MacroMap large{{"V", QString(kMaxExpandedLength / 8, u'v')}, {"A", "1"}};
    const QString manyReferences = QString("$(A)$(V)").repeated(9);
    EXPECT_EQ(expandMacros(manyReferences, large, false), manyReferences);
    const QString longText = QString(kMaxExpandedLength + 8, u'x');
    EXPECT_EQ(expandMacros(longText + "$(A)", large, false), longText + "1");
    // Long runs of references expand completely.
    EXPECT_EQ(expandMacros(QString("$(a$(A)").repeated(200000), {{"A", "1"}}, false),
              QString("(a1").repeated(200000));
}

TEST(MacroDefinitionList, SplitsAtUnescapedSemicolonsAndFirstEquals)
{
    const struct
    {
        const char *list;
        QStringList items;
        MacroMap definitions;
    } rows[] = {
        {"", {}, {}},
        {";A;;B;", {"A", "B"}, {{"A", ""}, {"B", ""}}},
        {"A=1;B=x=y;Z", {"A=1", "B=x=y", "Z"}, {{"A", "1"}, {"B", "x=y"}, {"Z", ""}}},
        {"P=a\\;b", {"P=a;b"}, {{"P", "a;b"}}},
        {"a\\\\;b", {"a\\", "b"}, {{"a\\", ""}, {"b", ""}}},
        {"ends\\", {"ends\\"}, {{"ends\\", ""}}},
        {"\\x\\", {"x\\"}, {{"x\\", ""}}},
        {"A=1;A=2", {"A=1", "A=2"}, {{"A", "2"}}},
        {" A = 1 ; B", {" A = 1 ", " B"}, {{" A ", " 1 "}, {" B", ""}}},
        {"=v;E=;V=$(X)", {"=v", "E=", "V=$(X)"}, {{"", "v"}, {"E", ""}, {"V", "$(X)"}}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.list);
        const QStringList items = splitMacroList(QString::fromUtf8(row.list));
        EXPECT_EQ(items, row.items);
        EXPECT_EQ(parseMacroDefinitions(items), row.definitions);
    }
}

} // namespace
} // namespace ldweave
