// Lines at SECTIONS level are indented by two blanks, lines inside an output section by four;
// every line ends with a single line feed. The odd blanks in a few lines (three after "=" in the
// symbol lines, two after "<=" in one check) are part of the script's expected text.
#include "placement/statement_text.h"

#include "placement/memory_map_element.h"

#include <QTextStream>

namespace ldweave {

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
        out << "  " << s.name << ' ' << s.location << noLoadText(s) << " :\n";
    } else {
        out << "  __" << sym << "_load_start__ = " << s.location << ";\n";
        out << "  " << s.name << ' ';
        if (s.form == StatementForm::RunIn)
            out << s.runLocation;
        else if (s.form == StatementForm::RunOffset)
            out << "__" << sym << "_load_start__ + " << s.runOffset;
        else
            out << s.location;
        out << noLoadText(s) << " : AT(" << s.location << ")\n";
    }
    out << "  {\n";
    out << "    __" << sym << "_start__ = .;\n";
    if (s.addressSymbol)
        out << "    " << *s.addressSymbol << " =   __" << sym << "_start__;\n";
    if (s.form == StatementForm::Reservation) {
        for (const QString &runInName : s.runInNames)
            out << "    . = MAX(__" << sym << "_start__ + SIZEOF(" << runInName << "), .);\n";
    } else {
        out << "    " << s.input << '\n';
    }
}

void writeClosing(QTextStream &out, const SectionStatement &s, const QString &sym)
{
    if (s.minimumSize) {
        if (s.sizeAlignment) {
            out << "    . = ALIGN(MAX(__" << sym << "_start__ + " << *s.minimumSize << " , .), "
                << QString::number(*s.sizeAlignment) << ");\n";
        } else {
            out << "    . = MAX(__" << sym << "_start__ + " << *s.minimumSize << " , .);\n";
        }
    }
    if (s.fill)
        out << "  } =" << *s.fill << '\n';
    else
        out << "  }\n";
    out << "  __" << sym << "_end__ = __" << sym << "_start__ + SIZEOF(" << s.name << ");\n";
    out << "  __" << sym << "_size__ = SIZEOF(" << s.name << ");\n";
    if (s.endSymbol)
        out << "  " << *s.endSymbol << " =   __" << sym << "_end__;\n";
    if (s.sizeSymbol)
        out << *s.sizeSymbol << " =   __" << sym << "_size__;\n";
    if (s.isLoadedElsewhere) {
        out << "  __" << sym << "_load_end__ = __" << sym << "_load_start__ + SIZEOF(" << s.name
            << ");\n\n";
    } else {
        out << "  __" << sym << "_load_end__ = __" << sym << "_end__;\n\n";
    }
}

void writeSegmentUsage(QTextStream &out, const SectionStatement &s)
{
    const QString &seg = s.segmentName;
    out << "  __" << seg << "_segment_used_end__ = " << s.location << " + SIZEOF(" << s.name
        << ");\n";
    out << "  __" << seg << "_segment_used_size__ = __" << seg << "_segment_used_end__ - __" << seg
        << "_segment_start__;\n\n";
}

void writeChecks(QTextStream &out, const SectionStatement &s, const QString &sym)
{
    const QString &seg = s.segmentName;
    const QString tooLarge = QStringLiteral("\"error: ") + s.name + " is too large to fit in " + seg
                             + " memory segment\"";
    if (s.isLoadedElsewhere) {
        out << "  . = ASSERT(__" << sym << "_load_start__ == __" << sym << "_load_end__ || (__"
            << sym << "_load_end__ - __" << seg << "_segment_start__) <=  __" << seg
            << "_segment_size__ , " << tooLarge << ");\n";
    } else {
        out << "  . = ASSERT(__" << sym << "_start__ == __" << sym << "_end__ || (__" << sym
            << "_end__ - __" << seg << "_segment_start__) <= __" << seg << "_segment_size__ , "
            << tooLarge << ");\n";
    }
    if (s.overlappedName) {
        const char *predecessorLoad = s.overlappedIsLoadedElsewhere ? "_load" : "";
        const char *ownLoad = s.isLoadedElsewhere ? "_load" : "";
        out << "  . = ASSERT(__" << strippedName(*s.overlappedName) << predecessorLoad
            << "_end__ <= __" << sym << ownLoad << "_start__ , \"error: section "
            << *s.overlappedName << " overlaps absolute placed section " << s.name << "\");\n";
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
