#include "macros/macros.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

#include <functional>

namespace ldweave {
namespace {

struct Row
{
    const char *input;
    const char *expected;
};

void expectExpansions(const std::vector<Row> &rows, const MacroMap &userMacros,
                      bool useSystemMacros)
{
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(expandMacros(QString::fromUtf8(row.input), userMacros, useSystemMacros),
                  QString::fromUtf8(row.expected));
    }
}

TEST(ExpandMacros, CopiesTextAndUnescapesDoubledMacroCharacter)
{
    expectExpansions({{"", ""},
                      {"plain text", "plain text"},
                      {"cost 5$", "cost 5$"},
                      {"a$b", "a$b"},
                      {"$", "$"},
                      {"$$", "$"},
                      {"$$$", "$$"},
                      {"$$(A)", "$(A)"},
                      {"a$$$(A)b", "a$1b"},
                      {"$(A)$", "1$"}},
                     {{"A", "1"}}, false);
}

TEST(ExpandMacros, ReplacesReferencesAndFallsBackToDefaults)
{
    const MacroMap macros{
        {"A", "1"}, {"E", ""}, {"a(b)c", "nested"}, {"f(x)", "call"}, {"", "unnamed"}};
    expectExpansions({{"$(A)", "1"},
                      {"x$(A)y$(A)z", "x1y1z"},
                      {"$(UNDEFINED)", "$(UNDEFINED)"},
                      {"$(UNDEFINED:none)", "none"},
                      {"$(UNDEFINED:)", ""},
                      {"$(A:none)", "1"},
                      {"$(E:none)", ""},
                      {"$(a)", "$(a)"},
                      {"$(U:x:y)", "x:y"},
                      {"$(U:::y)", ":y"},
                      {"$(U::)", ""},
                      {"$(a(b)c)", "nested"},
                      {"$(f(x))", "call"},
                      {"$(g(x))", "$(g(x))"},
                      {"$(g(x):d)", "d"},
                      {"$(:d)", "unnamed"},
                      {"$()", "unnamed"}},
                     macros, false);
}

TEST(ExpandMacros, UnterminatedReferenceDropsOnlyItsMacroCharacter)
{
    expectExpansions({{"$(abc", "(abc"},
                      {"$(", "("},
                      {"x$(A", "x(A"},
                      {"$(a(b)", "(a(b)"},
                      {"$(a$(A)", "(a1"},
                      {"$($($(A)", "((1"},
                      {"$(U::$(A)", "(U::1"},
                      {"$(U:(", "(U:("}},
                     {{"A", "1"}}, false);
}

TEST(ExpandMacros, RescansOnlyWhenReferenceContentHoldsMacroCharacter)
{
    const MacroMap macros{{"B", "bee"}, {"C", "$(B)"}, {"A", "1"}};
    expectExpansions({{"$(U:$(B))", "bee"},
                      {"$(U:$(V:$(B)))", "bee"},
                      {"$(U::$(B))", "$(B)"},
                      {"$(U::$(B)) $(V:x)", "$(B) x"},
                      // A value is not examined again unless some reference asks for a pass.
                      {"$(C)", "$(B)"},
                      {"$(C) $(U:$(B))", "bee bee"},
                      // A "::" reference does not cancel another reference's request.
                      {"$(U:$(B)) $(V::$(B))", "bee bee"},
                      {"$(V::$(B)) $(U:$(B))", "bee bee"},
                      {"$$(U:$(B))", "$(U:bee)"},
                      {"$$(A) $(U:$(B))", "1 bee"}},
                     macros, false);
}

TEST(ExpandMacros, SystemMacrosOnlyWhenRequestedAndAfterUserMacros)
{
    expectExpansions({{"$(HostOS)/map.xml", "linux/map.xml"},
                      {"$(Micro)-$(TargetID)$(HostEXE)$(HostDLL)", "RISCV-20.so"},
                      {"$(HostEXE:none)", ""},
                      {"$(hostos)", "$(hostos)"}},
                     {}, true);
    expectExpansions({{"$(HostOS)", "$(HostOS)"}, {"$(Date)", "$(Date)"}}, {}, false);
    expectExpansions({{"$(HostOS)-$(HostArch)", "win-x86"}}, {{"HostOS", "win"}}, true);
    expectExpansions({{"$(HostOS)-$(HostArch)", "win-$(HostArch)"}}, {{"HostOS", "win"}}, false);
}

TEST(ExpandMacros, ClockMacrosReadTheClockInEveryMap)
{
    const char *const months[]
        = {"January", "February", "March",     "April",   "May",      "June",
           "July",    "August",   "September", "October", "November", "December"};
    const auto twoDigits = [](int number) { return QString::asprintf("%02d", number); };
    const struct
    {
        const char *name;
        std::function<QString(const QDateTime &)> expected;
    } clocks[] = {
        {"Date",
         [&](const QDateTime &t) {
             return QString::asprintf("%d %s %d", t.date().day(), months[t.date().month() - 1],
                                      t.date().year());
         }},
        {"DateYear", [](const QDateTime &t) { return QString::number(t.date().year()); }},
        {"DateMonth", [&](const QDateTime &t) { return twoDigits(t.date().month()); }},
        {"DateDay", [&](const QDateTime &t) { return twoDigits(t.date().day()); }},
        {"Time",
         [&](const QDateTime &t) {
             return twoDigits(t.time().hour()) + ':' + twoDigits(t.time().minute()) + ':'
                    + twoDigits(t.time().second());
         }},
        {"TimeHour", [&](const QDateTime &t) { return twoDigits(t.time().hour()); }},
        {"TimeMinute", [&](const QDateTime &t) { return twoDigits(t.time().minute()); }},
        {"TimeSecond", [&](const QDateTime &t) { return twoDigits(t.time().second()); }},
        {"UnixTime",
         [](const QDateTime &t) {
             return QString::number(static_cast<uint32_t>(t.toSecsSinceEpoch()));
         }},
    };
    // Month names must not follow the default locale.
    const QLocale savedLocale;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const auto &clock : clocks) {
        SCOPED_TRACE(clock.name);
        const QString reference = "$(" + QString::fromUtf8(clock.name) + ")";
        const MacroMap userClock{{QString::fromUtf8(clock.name), "user value"}};
        for (bool fromUserMap : {false, true}) {
            const QDateTime before = QDateTime::currentDateTime();
            const QString value = fromUserMap ? expandMacros(reference, userClock, false)
                                              : expandMacros(reference, {}, true);
            const QDateTime after = QDateTime::currentDateTime();
            EXPECT_TRUE(value == clock.expected(before) || value == clock.expected(after))
                << value.toStdString() << " at " << before.toString().toStdString();
        }
    }
    QLocale::setDefault(savedLocale);
}

TEST(ExpandMacros, EndsWhenReferencesNeverResolve)
{
    expectExpansions({{"$(a$b)", "$(a$b)"}, {"x $(a$b) $(a$b:$(a$b))", "x $(a$b) $(a$b)"}}, {},
                     false);
    expectExpansions({{"$(A)$(q$)", "$(A)$(q$)"}}, {{"A", "$(A)"}}, false);

    // Values that keep changing the text stop at the pass bound with the last pass's output.
    const char *const lastOfCycle = kMaxExpansionPasses % 2 == 0 ? "$(A)$(q$)" : "$(B)$(q$)";
    expectExpansions({{"$(A)$(q$)", lastOfCycle}}, {{"A", "$(B)"}, {"B", "$(A)"}}, false);
    EXPECT_EQ(expandMacros("$(A)$(q$)", {{"A", "x$(A)"}}, false),
              QString(kMaxExpansionPasses, u'x') + "$(A)$(q$)");
}

TEST(ExpandMacros, StopsGrowingAtLengthLimit)
{
    const QString doubled = expandMacros("$(A)$(q$)", {{"A", "$(A)$(A)"}}, false);
    EXPECT_LE(doubled.size(), kMaxExpandedLength);
    EXPECT_GT(doubled.size(), kMaxExpandedLength / 2);
    EXPECT_TRUE(doubled.startsWith("$(A)$(A)$(A)"));
    EXPECT_TRUE(doubled.endsWith("$(A)$(q$)"));

    // A pass that would pass the limit is abandoned as a whole.
    const MacroMap large{{"V", QString(kMaxExpandedLength / 8, u'v')}, {"A", "1"}};
    const QString manyReferences = QString("$(A)$(V)").repeated(9);
    EXPECT_EQ(expandMacros(manyReferences, large, false), manyReferences);

    // A text that is already longer than the limit is still expanded.
    const QString longText = QString(kMaxExpandedLength + 8, u'x');
    EXPECT_EQ(expandMacros(longText + "$(A)", large, false), longText + "1");
}

TEST(ExpandMacros, LongRunsOfReferencesExpandCompletely)
{
    const int count = 200000;
    EXPECT_EQ(expandMacros(QString("$(").repeated(count), {}, false), QString("(").repeated(count));
    EXPECT_EQ(expandMacros(QString("$(a$(A)").repeated(count), {{"A", "1"}}, false),
              QString("(a1").repeated(count));
    EXPECT_EQ(expandMacros(QString("$(A)").repeated(count), {{"A", "12"}}, false),
              QString("12").repeated(count));
}

TEST(ParseMacroDefinitions, SplitsEachItemAtItsFirstEquals)
{
    const struct
    {
        const char *list;
        MacroMap expected;
    } rows[] = {
        {"A=1;B=x=y;Z", {{"A", "1"}, {"B", "x=y"}, {"Z", ""}}},
        {"P=a\\;b", {{"P", "a;b"}}},
        {";;", {}},
        {"A=1;A=2", {{"A", "2"}}},
        {"A=1;B=2", {{"A", "1"}, {"B", "2"}}},
        {" A = 1", {{" A ", " 1"}}},
        {"=v;E=", {{"", "v"}, {"E", ""}}},
        {"V=$(X)", {{"V", "$(X)"}}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.list);
        EXPECT_EQ(parseMacroDefinitions(splitMacroList(QString::fromUtf8(row.list))), row.expected);
    }
}

TEST(MergeMacros, AdditionsReplaceEntriesOfTheSameName)
{
    const MacroMap base{{"A", "1"}, {"B", "2"}};
    EXPECT_EQ(mergeMacros(base, {{"B", "3"}, {"C", ""}}),
              (MacroMap{{"A", "1"}, {"B", "3"}, {"C", ""}}));
    EXPECT_EQ(base, (MacroMap{{"A", "1"}, {"B", "2"}}));
    EXPECT_EQ(mergeMacros(base, {}), base);
    EXPECT_EQ(mergeMacros({}, base), base);
}

TEST(SplitMacroList, SplitsAtUnescapedSemicolons)
{
    struct Row
    {
        const char *input;
        QStringList expected;
    };
    const Row rows[] = {
        {"", {}},
        {";;", {}},
        {"A=1;B=x=y;Z", {"A=1", "B=x=y", "Z"}},
        {"P=a\\;b", {"P=a;b"}},
        {"a\\\\;b", {"a\\", "b"}},
        {"ends\\", {"ends\\"}},
        {"\\x\\", {"x\\"}},
        {" A=1 ; B", {" A=1 ", " B"}},
        {";A;;B;", {"A", "B"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(splitMacroList(QString::fromUtf8(row.input)), row.expected);
    }
}

} // namespace
} // namespace ldweave
