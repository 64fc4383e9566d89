// Lines at SECTIONS level are indented by two blanks, lines inside an output section by four;
// every line ends with a single line feed. The odd blanks in a few lines (three after "=" in the
// symbol lines, two after "<=" in one check) are part of the script's expected text.
#include "placement/statement_text.h"

#include "placement/memory_map_element.h"

#include <QTextStream>

namespace ldweave {

// Literals reach the stream as Latin-1 views: a plain "..." would be converted into a new
// QString for every insertion.
using namespace Qt::Literals::StringLiterals;

namespace {

struct DefaultInput
{
    const char *name;
    const char *input;
};

const DefaultInput kDefaultInputs[] = {
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

QString noLoadText(const SectionStatement &statement)
{
    return statement.isLoaded ? QString() : QStringLiteral(" (NOLOAD)");
}

void writeOpening(QTextStream &out, const SectionStatement &s, const QString &sym)
{
    if (s.form == StatementForm::Reservation) {
        out << "  "_L1 << s.name << ' ' << s.location << noLoadText(s) << " :\n"_L1;
    } else {
        out << "  __"_L1 << sym << "_load_start__ = "_L1 << s.location << ";\n"_L1;
        out << "  "_L1 << s.name << ' ';
        if (s.form == StatementForm::RunIn)
            out << s.runLocation;
        else if (s.form == StatementForm::RunOffset)
            out << "__"_L1 << sym << "_load_start__ + "_L1 << s.runOffset;
        else
            out << s.location;
        out << noLoadText(s) << " : AT("_L1 << s.location << ")\n"_L1;
    }
    out << "  {\n"_L1;
    out << "    __"_L1 << sym << "_start__ = .;\n"_L1;
    if (s.addressSymbol)
        out << "    "_L1 << *s.addressSymbol << " =   __"_L1 << sym << "_start__;\n"_L1;
    if (s.form == StatementForm::Reservation) {
        for (const QString &runInName : s.runInNames)
            out << "    . = MAX(__"_L1 << sym << "_start__ + SIZEOF("_L1 << runInName
                << "), .);\n"_L1;
    } else {
        out << "    "_L1 << s.input << '\n';
    }
}

void writeClosing(QTextStream &out, const SectionStatement &s, const QString &sym)
{
    if (s.minimumSize) {
        if (s.sizeAlignment) {
            out << "    . = ALIGN(MAX(__"_L1 << sym << "_start__ + "_L1 << *s.minimumSize
                << " , .), "_L1 << QString::number(*s.sizeAlignment) << ");\n"_L1;
        } else {
            out << "    . = MAX(__"_L1 << sym << "_start__ + "_L1 << *s.minimumSize
                << " , .);\n"_L1;
        }
    }
    if (s.fill)
        out << "  } ="_L1 << *s.fill << '\n';
    else
        out << "  }\n"_L1;
    out << "  __"_L1 << sym << "_end__ = __"_L1 << sym << "_start__ + SIZEOF("_L1 << s.name
        << ");\n"_L1;
    out << "  __"_L1 << sym << "_size__ = SIZEOF("_L1 << s.name << ");\n"_L1;
    if (s.endSymbol)
        out << "  "_L1 << *s.endSymbol << " =   __"_L1 << sym << "_end__;\n"_L1;
    if (s.sizeSymbol)
        out << *s.sizeSymbol << " =   __"_L1 << sym << "_size__;\n"_L1;
    if (s.isLoadedElsewhere) {
        out << "  __"_L1 << sym << "_load_end__ = __"_L1 << sym << "_load_start__ + SIZEOF("_L1
            << s.name << ");\n\n"_L1;
    } else {
        out << "  __"_L1 << sym << "_load_end__ = __"_L1 << sym << "_end__;\n\n"_L1;
    }
}

void writeSegmentUsage(QTextStream &out, const SectionStatement &s)
{
    const QString &seg = s.segmentName;
    out << "  __"_L1 << seg << "_segment_used_end__ = "_L1 << s.location << " + SIZEOF("_L1
        << s.name << ");\n"_L1;
    out << "  __"_L1 << seg << "_segment_used_size__ = __"_L1 << seg
        << "_segment_used_end__ - __"_L1 << seg << "_segment_start__;\n\n"_L1;
}

void writeChecks(QTextStream &out, const SectionStatement &s, const QString &sym)
{
    const QString &seg = s.segmentName;
    const auto writeTooLarge = [&] {
        out << "\"error: "_L1 << s.name << " is too large to fit in "_L1 << seg
            << " memory segment\""_L1;
    };
    if (s.isLoadedElsewhere) {
        out << "  . = ASSERT(__"_L1 << sym << "_load_start__ == __"_L1 << sym
            << "_load_end__ || (__"_L1 << sym << "_load_end__ - __"_L1 << seg
            << "_segment_start__) <=  __"_L1 << seg << "_segment_size__ , "_L1;
        writeTooLarge();
        out << ");\n"_L1;
    } else {
        out << "  . = ASSERT(__"_L1 << sym << "_start__ == __"_L1 << sym << "_end__ || (__"_L1
            << sym << "_end__ - __"_L1 << seg << "_segment_start__) <= __"_L1 << seg
            << "_segment_size__ , "_L1;
        writeTooLarge();
        out << ");\n"_L1;
    }
    if (s.overlappedName) {
        const QLatin1StringView predecessorLoad
            = s.overlappedIsLoadedElsewhere ? "_load"_L1 : ""_L1;
        const QLatin1StringView ownLoad = s.isLoadedElsewhere ? "_load"_L1 : ""_L1;
        out << "  . = ASSERT(__"_L1 << strippedName(*s.overlappedName) << predecessorLoad
            << "_end__ <= __"_L1 << sym << ownLoad << "_start__ , \"error: section "_L1
            << *s.overlappedName << " overlaps absolute placed section "_L1 << s.name
            << "\");\n"_L1;
    }
    out << '\n';
}

} // namespace

void writeSectionStatement(QTextStream &stream, const SectionStatement &statement)
{
    const QString sym = strippedName(statement.name);
    writeOpening(stream, statement, sym);
    writeClosing(stream, statement, sym);
    if (statement.isLastInSegment)
        writeSegmentUsage(stream, statement);
    if (statement.checkSegmentOverflow)
        writeChecks(stream, statement, sym);
}

QString defaultInputSections(const QString &name)
{
    for (const DefaultInput &entry : kDefaultInputs) {
        if (name == QLatin1String(entry.name))
            return QLatin1String(entry.input);
    }
    return QStringLiteral("*(") + name + ' ' + name + ".*)";
}

QString hex8(uint32_t value)
{
    return QString::number(value, 16).rightJustified(8, QLatin1Char('0'));
}

} // namespace ldweave
