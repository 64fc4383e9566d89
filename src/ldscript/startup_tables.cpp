// The tables are one loaded output section in flash, laid out like every program section, so it
// gets its address after the last section of its segment, its section symbols, the segment
// usage symbols and, with -check-segment-overflow, its overflow check. Each entry is made of
// 32-bit words: {load address, run address, length in words} in the copy table and {address,
// length in words} in the zero table; lengths are rounded up to whole words.
#include "ldscript/startup_tables.h"

#include "base/hexception.h"
#include "placement/memory_map_element.h"
#include "placement/section_record.h"
#include "xml/text_bytes.h"

#include <QHash>
#include <QStringBuilder>


namespace ldweave {

namespace {

const char kTablesSectionName[] = ".startup_tables";

// Whether the record's statement is written: a section whose run sections are all missing is
// dropped by the layout engine (or ends the run), and has no symbols to list.
bool isWritten(const SectionRecord *record, const SectionList &sections)
{
    return !record->section->hasRunIn() || sections.findRunSection(record->section->runIn());
}

// Decision: a section is zeroed when it says zero="Yes", and a section named .bss is zeroed
// unless it says zero="No"; this is what start-up code without tables does with .bss.
bool isZeroed(const SectionRecord *record)
{
    const MemoryMapElement *section = record->section;
    if (section->hasAttribute("zero"))
        return section->isYes("zero");
    return record->symbolName == u".bss";
}

QString wordsOf(const QString &sym)
{
    return u"LONG((__" % sym % u"_size__ + 3) / 4)";
}

// The table section's contents, written where a section's input sections go. Decision: the
// copy table lists every loaded section that runs elsewhere (runin or runoffset); one without
// load="Yes" has nothing in flash to copy. Entries follow the order of the section records.
QString tablesText(const SectionList &sections)
{
    QString copy;
    QString zero;
    for (const SectionRecord &record : sections.records()) {
        if (!isWritten(&record, sections))
            continue;
        const MemoryMapElement *section = record.section;
        const QString sym = strippedName(record.symbolName).toString();
        if (section->isLoadedElsewhere() && section->isLoaded()) {
            copy += u"    LONG(__" % sym % u"_load_start__) LONG(__" % sym % u"_start__) "
                    % wordsOf(sym) % u'\n';
        }
        if (isZeroed(&record))
            zero += u"    LONG(__" % sym % u"_start__) " % wordsOf(sym) % u'\n';
    }
    return u"__copy_table_start__ = .;\n" % copy % u"    __copy_table_end__ = .;\n"
           % u"    __zero_table_start__ = .;\n" % zero % u"    __zero_table_end__ = .;";
}

} // namespace

// StartupTables ::= '<StartupTables' 'segment="' name (';' name)* '"' '/>'
std::unique_ptr<MemoryMapElement> addStartupTables(SectionList &sections,
                                                   MemoryMapElement *memoryMapRoot,
                                                   const QList<MemoryMapElement *> &requests)
{
    // Decision: the first StartupTables element in document order counts, so a fragment that
    // asks for the tables can be included next to a file that asks as well.
    if (requests.isEmpty())
        return nullptr;
    MemoryMapElement *request = requests.front();
    // Decision: the segment is named as a placement MemorySegment is, the first of several
    // names that the memory map has; without one the start-up code would find no tables, so
    // the run ends.
    const QString segmentText = request->attributeText("segment");
    MemoryMapElement *segment = segmentNamedIn(segmentsByName(memoryMapRoot), segmentText);
    if (!segment) {
        throw HException(QStringLiteral("startup tables segment '") + segmentText
                         + "' is not in the memory map")
            .at(request->sourcePosition());
    }

    // Decision: the table section is a program section of its own, appended after the last
    // section of the segment, whose input-section text holds the table lines; the layout engine
    // then gives it its address, symbols and checks as it does every section, and the
    // statement text needs no form of its own.
    auto tables = std::make_unique<MemoryMapElement>("ProgramSection", request->isReadOnly());
    tables->copySourceFrom(*request);
    tables->setAttribute("name", kTablesSectionName);
    tables->setAttribute("load", "Yes");
    tables->setAttribute("alignment", "4");
    tables->setAttribute("inputsections", toBytes(tablesText(sections)));
    sections.append(sections.lastInSegmentNamed(segment->symbolName()), tables.get(), segment);
    return tables;
}

} // namespace ldweave
