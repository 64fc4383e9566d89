// The writer owns the output file and the section records for the length of one call; both are
// released by their destructors, also when the layout engine throws. The script streams into
// the output file, which puts it in place only when it is complete.
#include "ldscript/linker_script_writer.h"

#include "base/diagnostics.h"
#include "base/hexception.h"
#include "base/integer_literal.h"
#include "base/run_flags.h"
#include "ldscript/output_file.h"
#include "ldscript/startup_tables.h"
#include "placement/layout_engine.h"
#include "placement/memory_map_element.h"
#include "placement/script_stream.h"
#include "placement/section_record.h"
#include "placement/statement_text.h"

#include <QHash>
#include <QList>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace ldweave {

namespace {

void writeSegmentLine(ScriptStream &out, const MemoryMapElement *segment)
{
    out << "  " << segment->symbolName() << " (" << (segment->hasReadOnlyAccess() ? "rx" : "wx")
        << ") : ORIGIN = 0x" << hex8(segment->start()) << ", LENGTH = 0x" << hex8(segment->size())
        << '\n';
}

// Writes the MEMORY block and returns the segment list; fromPlacement tells whether it is the
// placement file's.
QList<MemoryMapElement *> writeMemoryBlock(ScriptStream &out, bool checkUnplacedSections,
                                           MemoryMapElement *memoryMapRoot,
                                           MemoryMapElement *placementRoot, bool &fromPlacement)
{
    out << "MEMORY\n{\n";
    if (checkUnplacedSections)
        out << "  UNPLACED_SECTIONS (wx) : ORIGIN = 0x100000000, LENGTH = 0\n";
    QList<MemoryMapElement *> segments;
    fromPlacement = false;
    if (placementRoot) {
        segments
            = collectElements(placementRoot, ElementKind::MemorySegment, CollectOrder::Reversed);
        for (const MemoryMapElement *segment : std::as_const(segments)) {
            if (segment->hasStart() && segment->hasSize()) {
                writeSegmentLine(out, segment);
                fromPlacement = true;
            }
        }
    }
    if (!fromPlacement) {
        segments
            = collectElements(memoryMapRoot, ElementKind::MemorySegment, CollectOrder::Reversed);
        for (const MemoryMapElement *segment : std::as_const(segments))
            writeSegmentLine(out, segment);
    }
    out << "}\n\nSECTIONS\n{\n";
    return segments;
}

void writeSegmentSymbols(ScriptStream &out, const QList<MemoryMapElement *> &segments)
{
    for (const MemoryMapElement *segment : segments) {
        const QString name = segment->symbolName();
        const QString start = hex8(segment->start());
        const QString size = hex8(segment->size());
        out << "  __" << name << "_segment_start__ = 0x" << start << ";\n";
        if (segment->hasAddressSymbol())
            out << segment->addressSymbol() << " = 0x" << start << ";\n";
        out << "  __" << name << "_segment_end__ = 0x" << hex8(segment->start() + segment->size())
            << ";\n";
        out << "  __" << name << "_segment_size__ = 0x" << size << ";\n";
        if (segment->hasSizeSymbol())
            out << segment->sizeSymbol() << " = 0x" << size << ";\n";
    }
    out << '\n';
}

QList<MemoryMapElement *> programSectionsBelow(MemoryMapElement *sectionParent)
{
    return collectElements(sectionParent, ElementKind::ProgramSection, CollectOrder::DocumentOrder);
}

void appendSections(SectionList &sections, SectionRecord *prev,
                    const QList<MemoryMapElement *> &programSections, MemoryMapElement *segment,
                    const char *verboseFormat)
{
    const bool verbose = runFlags().verbose;
    for (MemoryMapElement *section : programSections) {
        prev = sections.append(prev, section, segment);
        if (verbose)
            std::printf(verboseFormat, prev->symbolName.toLocal8Bit().constData());
    }
}

// Records of the memory map's own sections, one chain per segment.
void addMemoryMapSections(SectionList &sections, const QList<MemoryMapElement *> &segments)
{
    for (MemoryMapElement *segment : segments)
        appendSections(sections, nullptr, programSectionsBelow(segment), segment,
                       "Adding section from memory map file %s\n");
}

// Records of the placement file's sections, each placement segment continuing the chain of the
// memory map segment its name refers to.
void addPlacementSections(SectionList &sections, MemoryMapElement *memoryMapRoot,
                          MemoryMapElement *placementRoot)
{
    const QHash<QString, MemoryMapElement *> memorySegments = segmentsByName(memoryMapRoot);
    const QList<MemoryMapElement *> placementSegments
        = collectElements(placementRoot, ElementKind::MemorySegment, CollectOrder::Reversed);
    // Every placed section is listed first, so the look-ups are sized once.
    std::vector<std::pair<MemoryMapElement *, QList<MemoryMapElement *>>> placed;
    qsizetype count = 0;
    for (MemoryMapElement *placementSegment : placementSegments) {
        if (MemoryMapElement *segment = segmentNamedIn(memorySegments, placementSegment->name())) {
            placed.emplace_back(segment, programSectionsBelow(placementSegment));
            count += placed.back().second.size();
        }
    }
    sections.reserve(count);
    for (const auto &[segment, programSections] : placed) {
        SectionRecord *prev = sections.lastInSegmentNamed(segment->symbolName());
        appendSections(sections, prev, programSections, segment,
                       "Adding section from placement file %s\n");
    }
}

// A size for placement from the segment end: the section's "size" text, or the -symbols value of
// that name, read as a whole unsigned 32-bit number.
bool hasFixedSize(const SectionRecord *record, const QMap<QString, QString> &symbols,
                  uint32_t &size)
{
    if (!record->section->hasAttribute("size"))
        return false;
    const QString text = record->section->sizeText();
    const auto symbol = symbols.constFind(text);
    const std::optional<uint64_t> value
        = readInteger(symbol != symbols.constEnd() ? symbol.value() : text, kFixedSizeSyntax);
    if (value)
        size = static_cast<uint32_t>(*value);
    return value.has_value();
}

// Warns when a section before `unsized` in its chain asks to be placed from the segment end,
// which the unsized section prevents; names the nearest such section.
void warnAboutUnsizedSection(const SectionRecord *unsized, Diagnostics *diagnostics)
{
    for (const SectionRecord *wanting = unsized->prev; wanting; wanting = wanting->prev) {
        if (wanting->section->isPlaceFromSegmentEnd()) {
            const QString text = QStringLiteral("cannot place section ") + wanting->symbolName
                                 + " at end of segment because section " + unsized->symbolName
                                 + " does not have a fixed size";
            if (diagnostics && diagnostics->isEnabled())
                diagnostics->warn(QString(), text);
            else
                printDiagnostic(Severity::Warning, QString(), text);
            return;
        }
    }
}

// Marks, per segment chain, the first section to be placed from the segment end, with the sizes
// of it and every later section as its distance from the end.
void markPlacementFromSegmentEnd(SectionList &sections, const QMap<QString, QString> &symbols,
                                 Diagnostics *diagnostics)
{
    for (SectionRecord &last : sections.records()) {
        if (!last.lastInSegment)
            continue;
        uint32_t sum = 0;
        SectionRecord *candidate = nullptr;
        uint32_t candidateOffset = 0;
        for (SectionRecord *record = &last; record; record = record->prev) {
            uint32_t size = 0;
            if (!hasFixedSize(record, symbols, size)) {
                if (!candidate)
                    warnAboutUnsizedSection(record, diagnostics);
                break;
            }
            sum += size;
            if (record->section->isPlaceFromSegmentEnd()) {
                candidate = record;
                candidateOffset = sum;
            }
        }
        if (candidate) {
            candidate->placeFromSegmentEnd = true;
            candidate->offsetFromSegmentEnd = candidateOffset;
        }
    }
}

// Decision: a NonAllocatedSection element anywhere in the placement document writes a section
// that takes no memory, such as debug information, after every placed section, in document
// order. GNU ld gives a section the script does not name a place of its own, silently; naming
// these lets -Wl,--orphan-handling=error catch every other section that no statement collects.
// Documents without the element, which the tool ignored before it existed, are unchanged.
void writeNonAllocatedSections(ScriptStream &out, const QList<MemoryMapElement *> &elements)
{
    for (MemoryMapElement *element : elements) {
        const QString name = element->symbolName();
        writeNonAllocatedStatement(out, name,
                                   element->hasInputSections() ? element->inputSections()
                                                               : defaultInputSections(name));
    }
}

} // namespace

void writeLinkerScript(const QString &outputPath, MemoryMapElement *memoryMapRoot,
                       MemoryMapElement *placementRoot, const ScriptOptions &options)
{
    // The output is opened first, so an unwritable path is reported before any layout error.
    // A check lays out into a device that keeps nothing.
    std::unique_ptr<OutputFile> file;
    DiscardingDevice discard;
    if (!options.checkOnly)
        file = std::make_unique<OutputFile>(outputPath);
    ScriptStream out(file ? static_cast<QIODevice *>(file.get()) : &discard);

    // Decision: ENTRY opens the script, where a reader looks first; without -entry the script
    // has none, as it always had.
    if (!options.entry.isEmpty())
        out << "ENTRY(" << options.entry << ")\n\n";
    bool fromPlacement = false;
    const QList<MemoryMapElement *> segments = writeMemoryBlock(
        out, options.checkUnplacedSections, memoryMapRoot, placementRoot, fromPlacement);
    writeSegmentSymbols(out, segments);
    for (auto symbol = options.symbols.constBegin(); symbol != options.symbols.constEnd(); ++symbol)
        out << "  " << symbol.key() << " = " << symbol.value() << ";\n";
    out << '\n';

    // The elements that ask for statements of their own, found in one walk over the placement
    // (none without one).
    const std::vector<QList<MemoryMapElement *>> requests
        = elementsTagged(placementRoot, {"StartupTables", "NonAllocatedSection"});
    const QList<MemoryMapElement *> &tableRequests = requests[0];
    const QList<MemoryMapElement *> &nonAllocatedSections = requests[1];
    std::unique_ptr<MemoryMapElement> startupTables; // outlives the records that point to it
    SectionList sections;
    if (!fromPlacement)
        addMemoryMapSections(sections, segments);
    if (placementRoot) {
        addPlacementSections(sections, memoryMapRoot, placementRoot);
        startupTables = addStartupTables(sections, memoryMapRoot, tableRequests);
    }
    markPlacementFromSegmentEnd(sections, options.symbols, options.diagnostics);
    // Generation stops at the first write the system refused (a full disk).
    layoutSections(out, sections, options.checkSegmentOverflow, options.defaultFillPattern, [&] {
        if (file)
            file->checkWrites();
    });

    writeNonAllocatedSections(out, nonAllocatedSections);
    out << "}\n\n";
    out.flush();
    if (file)
        file->commit();
}

} // namespace ldweave
