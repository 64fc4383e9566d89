// Lines at SECTIONS level are indented by two blanks, lines inside an output section by four;
// every line ends with a single line feed. The odd blanks in a few lines (three after "=" in the
// symbol lines, two after "<=" in one check) are part of the script's expected text. Each line is
// one "%" concatenation that the stream writes piece by piece into its buffer.
#include "placement/statement_text.h"

#include "placement/memory_map_element.h"
#include "placement/script_stream.h"

#include <QStringBuilder>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

namespace ldweave {

using namespace Qt::Literals::StringLiterals;

namespace {

struct DefaultInput
{
    std::string_view name;
    const char *input;
};

constexpr DefaultInput kDefaultInputs[] = {
    {".text", "*(.text .text.* .glue_7t .glue_7 .gnu.linkonce.t.* .gcc_except_table .ARM.extab* "
              ".gnu.linkonce.armextab.*)"},
    {".dtors", "KEEP (*(SORT(.dtors.*))) KEEP (*(.dtors)) KEEP (*(.fini_array)) "
               "KEEP (*(SORT(.fini_array.*)))"},
    {".ctors", "KEEP (*(SORT(.ctors.*))) KEEP (*(.ctors)) KEEP (*(.init_array)) "
               "KEEP (*(SORT(.init_array.*)))"},
    {".data", "*(.data .data.* .gnu.linkonce.d.*)"},
    {".rodata", "*(.rodata .rodata.* .gnu.linkonce.r.*)"},
    {".bss", "*(.bss .bss.* .gnu.linkonce.b.*) *(COMMON)"},
};

// The shortest and the longest name in kDefaultInputs: most names are ruled out by length.
constexpr std::pair<size_t, size_t> kDefaultNameLengths = [] {
    std::pair<size_t, size_t> lengths{SIZE_MAX, 0};
    for (const DefaultInput &entry : kDefaultInputs) {
        lengths.first = std::min(lengths.first, entry.name.size());
        lengths.second = std::max(lengths.second, entry.name.size());
    }
    return lengths;
}();

// The input of one of the sections named in kDefaultInputs, or null.
const char *defaultInputOf(const QString &name)
{
    const auto length = size_t(name.size());
    if (length < kDefaultNameLengths.first || length > kDefaultNameLengths.second)
        return nullptr;
    for (const DefaultInput &entry : kDefaultInputs) {
        if (name == QLatin1String(entry.name.data(), qsizetype(entry.name.size())))
            return entry.input;
    }
    return nullptr;
}

QString noLoadText(const SectionStatement &statement)
{
    return statement.isLoaded ? QString() : QStringLiteral(" (NOLOAD)");
}

void writeOpening(ScriptStream &out, const SectionStatement &s, QStringView sym)
{
    if (s.form == StatementForm::Reservation) {
        out << u"  " % s.name % u' ' % s.location % noLoadText(s) % u" :\n";
    } else {
        out << u"  __" % sym % u"_load_start__ = " % s.location % u";\n";
        out << u"  " % s.name % u' ';
        if (s.form == StatementForm::RunIn)
            out << s.runLocation;
        else if (s.form == StatementForm::RunOffset)
            out << u"__" % sym % u"_load_start__ + " % s.runOffset;
        else
            out << s.location;
        out << noLoadText(s) % u" : AT(" % s.location % u")\n";
    }
    out << u"  {\n";
    out << u"    __" % sym % u"_start__ = .;\n";
    if (s.addressSymbol)
        out << u"    " % *s.addressSymbol % u" =   __" % sym % u"_start__;\n";
    if (s.form == StatementForm::Reservation) {
        for (const QString &runInName : s.runInNames)
            out << u"    . = MAX(__" % sym % u"_start__ + SIZEOF(" % runInName % u"), .);\n";
    } else {
        out << u"    " % s.input % u'\n';
    }
}

void writeClosing(ScriptStream &out, const SectionStatement &s, QStringView sym)
{
    if (s.minimumSize) {
        if (s.sizeAlignment) {
            out << u"    . = ALIGN(MAX(__" % sym % u"_start__ + " % *s.minimumSize % u" , .), "
                       % QString::number(*s.sizeAlignment) % u");\n";
        } else {
            out << u"    . = MAX(__" % sym % u"_start__ + " % *s.minimumSize % u" , .);\n";
        }
    }
    if (s.fill)
        out << u"  } =" % *s.fill % u'\n';
    else
        out << u"  }\n";
    out << u"  __" % sym % u"_end__ = __" % sym % u"_start__ + SIZEOF(" % s.name % u");\n";
    out << u"  __" % sym % u"_size__ = SIZEOF(" % s.name % u");\n";
    if (s.endSymbol)
        out << u"  " % *s.endSymbol % u" =   __" % sym % u"_end__;\n";
    if (s.sizeSymbol)
        out << *s.sizeSymbol % u" =   __" % sym % u"_size__;\n";
    if (s.isLoadedElsewhere) {
        out << u"  __" % sym % u"_load_end__ = __" % sym % u"_load_start__ + SIZEOF(" % s.name
                   % u");\n";
    } else {
        out << u"  __" % sym % u"_load_end__ = __" % sym % u"_end__;\n";
    }
    for (const auto &[name, expression] : s.extraSymbols)
        out << u"  " % name % u" = " % expression % u";\n";
    out << u'\n';
}

void writeSegmentUsage(ScriptStream &out, const SectionStatement &s)
{
    const QString &seg = s.segmentName;
    out << u"  __" % seg % u"_segment_used_end__ = " % s.location % u" + SIZEOF(" % s.name
               % u");\n";
    out << u"  __" % seg % u"_segment_used_size__ = __" % seg % u"_segment_used_end__ - __" % seg
               % u"_segment_start__;\n\n";
}

void writeChecks(ScriptStream &out, const SectionStatement &s, QStringView sym)
{
    const QString &seg = s.segmentName;
    const auto writeTooLarge = [&] {
        out << u"\"error: " % s.name % u" is too large to fit in " % seg % u" memory segment\"";
    };
    if (s.isLoadedElsewhere) {
        out << u"  . = ASSERT(__" % sym % u"_load_start__ == __" % sym % u"_load_end__ || (__" % sym
                   % u"_load_end__ - __" % seg % u"_segment_start__) <=  __" % seg
                   % u"_segment_size__ , ";
        writeTooLarge();
        out << u");\n";
    } else {
        out << u"  . = ASSERT(__" % sym % u"_start__ == __" % sym % u"_end__ || (__" % sym
                   % u"_end__ - __" % seg % u"_segment_start__) <= __" % seg
                   % u"_segment_size__ , ";
        writeTooLarge();
        out << u");\n";
    }
    if (s.overlappedName) {
        const QLatin1StringView predecessorLoad
            = s.overlappedIsLoadedElsewhere ? "_load"_L1 : ""_L1;
        const QLatin1StringView ownLoad = s.isLoadedElsewhere ? "_load"_L1 : ""_L1;
        out << u"  . = ASSERT(__" % strippedName(*s.overlappedName) % predecessorLoad
                   % u"_end__ <= __" % sym % ownLoad % u"_start__ , \"error: section "
                   % *s.overlappedName % u" overlaps absolute placed section " % s.name % u"\");\n";
    }
    out << u'\n';
}

} // namespace

void writeSectionStatement(ScriptStream &stream, const SectionStatement &statement)
{
    const QStringView sym = strippedName(statement.name);
    writeOpening(stream, statement, sym);
    writeClosing(stream, statement, sym);
    if (statement.isLastInSegment)
        writeSegmentUsage(stream, statement);
    if (statement.checkSegmentOverflow)
        writeChecks(stream, statement, sym);
}

void writeNonAllocatedStatement(ScriptStream &stream, const QString &name, const QString &input)
{
    stream << u"  " % name % u" 0 :\n  {\n    " % input % u"\n  }\n\n";
}

QString defaultInputSections(const QString &name)
{
    if (const char *input = defaultInputOf(name))
        return QLatin1String(input);
    return u"*(" % name % u' ' % name % u".*)";
}

QString keptDefaultInputSections(const QString &name)
{
    if (const char *input = defaultInputOf(name))
        return u"KEEP(" % QLatin1String(input) % u')';
    return u"KEEP(*(" % name % u' ' % name % u".*))";
}

QString hex8(uint64_t value)
{
    return QString::number(value, 16).rightJustified(8, QLatin1Char('0'));
}

} // namespace ldweave
