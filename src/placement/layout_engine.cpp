// The layout of one record may first need other records laid out (its predecessor, its run
// section's predecessor, the sections that run in it), and those need others in turn. The engine
// keeps these nested layouts on an explicit stack of frames rather than the call stack, so a
// segment with tens of thousands of chained sections is laid out in the same order, with the
// same errors, as a plain recursion would give, without exhausting the stack.
#include "placement/layout_engine.h"

#include "base/hexception.h"
#include "base/run_flags.h"
#include "macros/macros.h"
#include "placement/memory_map_element.h"
#include "placement/section_record.h"
#include "placement/statement_text.h"
#include "xml/text_bytes.h"

#include <QStringBuilder>
#include <QStringList>

#include <cstdio>
#include <iterator>
#include <vector>

namespace ldweave {

namespace {

// Where a frame resumes after a nested layout has finished.
enum class Stage {
    Predecessor,   // lay out the predecessor in the segment
    Statement,     // compute the pieces and choose the form
    RunLocation,   // the run predecessor is done: compute RUNLOC
    RunInSections, // lay out the next section of the run-in list
    Write,         // write the statement and finish
};

struct Frame
{
    explicit Frame(SectionRecord *record)
        : record(record)
    {}

    SectionRecord *record;
    Stage stage = Stage::Predecessor;
    SectionStatement statement;
    QList<SectionRecord *> runInList;
    qsizetype nextRunIn = 0;
    SectionRecord *runSection = nullptr;     // not owned: the record this one runs in
    SectionRecord *runPredecessor = nullptr; // not owned: the live record before runSection
};

// location is a string or a "%" concatenation, which is built into the result directly.
template <typename Text> QString alignedText(const Text &location, uint32_t alignment)
{
    // The decimal digits are formatted into a buffer on the stack, from the last one back.
    char16_t digits[10];
    char16_t *const end = digits + std::size(digits);
    char16_t *first = end;
    do {
        *--first = char16_t(u'0' + alignment % 10);
        alignment /= 10;
    } while (alignment != 0);
    return u"ALIGN(" % location % u" , " % QStringView(first, end) % u')';
}

QString segmentStart(const QString &segmentName)
{
    return u"__" % segmentName % u"_segment_start__";
}

// symbols ::= assignment (';' assignment)*
// assignment ::= name '=' expression
// Decision: the list is split as -symbols is (a "\;" puts a ";" into an expression), but each
// assignment only at its first "=", so an expression may hold "==", and blanks around the name
// and the expression are dropped. An assignment without a name or an expression ends the run:
// written as it stands it would be a syntax error that GNU ld reports far from its cause.
QList<std::pair<QString, QString>> extraSymbols(const MemoryMapElement *section,
                                                const QString &sectionName)
{
    QList<std::pair<QString, QString>> assignments;
    for (const QString &item : splitMacroList(section->symbols())) {
        if (item.trimmed().isEmpty())
            continue;
        const qsizetype equals = item.indexOf(u'=');
        const QString name = item.left(equals).trimmed();
        const QString expression = equals < 0 ? QString() : item.mid(equals + 1).trimmed();
        if (name.isEmpty() || expression.isEmpty()) {
            throw HException(QStringLiteral("symbol definition '") + item.trimmed()
                             + "' of section " + sectionName + " needs a name and an expression")
                .at(section->sourcePosition());
        }
        assignments.append({name, expression});
    }
    return assignments;
}

class LayoutEngine
{
public:
    LayoutEngine(ScriptStream &stream, const SectionList &sections, bool checkSegmentOverflow,
                 const QString &defaultFillPattern)
        : m_stream(stream)
        , m_sections(sections)
        , m_checkSegmentOverflow(checkSegmentOverflow)
        , m_defaultFillPattern(defaultFillPattern)
    {}

    void run(SectionRecord *record)
    {
        enter(record);
        while (!m_frames.empty())
            step();
    }

private:
    void enter(SectionRecord *record);
    void step();
    void prepareStatement(Frame &frame);
    QString location(const SectionRecord *record, const SectionRecord *predecessor,
                     const SectionAttributes &attributes) const;
    QString runLocation(const SectionRecord *runSection, const SectionRecord *runPredecessor) const;
    void discard(SectionRecord *record, SectionRecord *predecessor);
    void finish(Frame &frame);

    ScriptStream &m_stream;
    const SectionList &m_sections;
    const bool m_checkSegmentOverflow;
    const QString &m_defaultFillPattern;
    std::vector<Frame> m_frames; ///< innermost layout last
};

// Starts the layout of record: done records are skipped, a record in progress is a cycle.
void LayoutEngine::enter(SectionRecord *record)
{
    const bool verbose = runFlags().verbose;
    if (verbose)
        std::printf("Laying out section %s\n", record->symbolName.toLocal8Bit().constData());
    if (record->laidOut) {
        if (verbose) {
            std::printf("Section %s already laid out\n",
                        record->symbolName.toLocal8Bit().constData());
        }
        return;
    }
    if (record->visiting) {
        throw HException(QStringLiteral("cyclic memory section dependency with section ")
                         + record->symbolName)
            .at(record->section->sourcePosition());
    }
    record->visiting = true;
    m_frames.emplace_back(record);
}

// Runs the innermost frame up to its next nested layout or its end. A nested layout is entered
// last, after the frame's stage is advanced, because entering may move the frames.
void LayoutEngine::step()
{
    Frame &frame = m_frames.back();
    switch (frame.stage) {
    case Stage::Predecessor: {
        frame.stage = Stage::Statement;
        SectionRecord *prev = frame.record->prev;
        if (prev && !prev->laidOut)
            enter(prev);
        return;
    }
    case Stage::Statement:
        prepareStatement(frame);
        return;
    case Stage::RunLocation:
        frame.statement.runLocation = runLocation(frame.runSection, frame.runPredecessor);
        frame.stage = Stage::Write;
        return;
    case Stage::RunInSections:
        if (frame.nextRunIn < frame.runInList.size()) {
            SectionRecord *runInRecord = frame.runInList.at(frame.nextRunIn++);
            enter(runInRecord);
        } else {
            frame.stage = Stage::Write;
        }
        return;
    case Stage::Write:
        finish(frame);
        return;
    }
}

// The predecessor chain is done: compute every piece of the statement, check the run-in
// relations and choose the form, entering the run predecessor or the run-in list if needed.
void LayoutEngine::prepareStatement(Frame &frame)
{
    SectionRecord *record = frame.record;
    const MemoryMapElement *section = record->section;
    const SectionAttributes attributes = section->sectionAttributes();
    SectionRecord *predecessor = liveRecordFrom(record->prev);
    SectionStatement &statement = frame.statement;
    statement.name = record->symbolName;
    statement.segmentName = record->segmentSymbolName;
    statement.location = location(record, predecessor, attributes);
    statement.isLoaded = SectionAttributes::isYes(attributes.load);
    const bool hasAlignment = SectionAttributes::isNonEmpty(attributes.alignment);
    if (SectionAttributes::isNonEmpty(attributes.size)) {
        statement.minimumSize = fromBytes(*attributes.size);
        if (hasAlignment)
            statement.sizeAlignment = alignmentOf(*attributes.alignment);
    }

    frame.runInList = m_sections.runningIn(record->symbolName);
    const bool hasRunIn = attributes.runIn != nullptr;
    if (hasRunIn && !frame.runInList.isEmpty()) {
        throw HException(QStringLiteral("run section ") + record->symbolName
                         + " cannot have run in sections")
            .at(section->sourcePosition());
    }

    const bool keep = SectionAttributes::isYes(attributes.keep);
    if (SectionAttributes::isNonEmpty(attributes.inputSections)) {
        const QString input = fromBytes(*attributes.inputSections);
        statement.input = keep ? u"KEEP(" % input % u')' : input;
    } else {
        statement.input = keep ? keptDefaultInputSections(record->symbolName)
                               : defaultInputSections(record->symbolName);
    }
    if (attributes.addressSymbol)
        statement.addressSymbol = fromBytes(*attributes.addressSymbol);
    if (attributes.endSymbol)
        statement.endSymbol = fromBytes(*attributes.endSymbol);
    if (attributes.sizeSymbol)
        statement.sizeSymbol = fromBytes(*attributes.sizeSymbol);
    if (SectionAttributes::isNonEmpty(attributes.symbols))
        statement.extraSymbols = extraSymbols(section, record->symbolName);
    if (attributes.fill)
        statement.fill = fromBytes(*attributes.fill);
    else if (!m_defaultFillPattern.isEmpty())
        statement.fill = m_defaultFillPattern;
    statement.isLoadedElsewhere = record->loadedElsewhere;
    statement.isLastInSegment = record->lastInSegment;
    statement.checkSegmentOverflow = m_checkSegmentOverflow;
    if (predecessor
        && (SectionAttributes::isNonEmpty(attributes.start) || record->placeFromSegmentEnd)) {
        statement.overlappedName = predecessor->symbolName;
        statement.overlappedIsLoadedElsewhere = predecessor->loadedElsewhere;
    }

    if (hasRunIn) {
        const QString runIn = fromBytes(*attributes.runIn);
        frame.runSection = m_sections.findRunSection(runIn);
        if (!frame.runSection) {
            if (runFlags().missingRunInIsError) {
                throw HException(QStringLiteral("cannot find run section ") + runIn
                                 + " referenced in " + strippedName(record->symbolName).toString())
                    .at(section->sourcePosition());
            }
            discard(record, predecessor);
            return;
        }
        statement.form = StatementForm::RunIn;
        frame.runPredecessor = liveRecordFrom(frame.runSection->prev);
        frame.stage = Stage::RunLocation;
        if (frame.runPredecessor && !frame.runPredecessor->laidOut)
            enter(frame.runPredecessor);
    } else if (attributes.runOffset) {
        statement.form = StatementForm::RunOffset;
        statement.runOffset = fromBytes(*attributes.runOffset);
        frame.stage = Stage::Write;
    } else if (!frame.runInList.isEmpty()) {
        statement.form = StatementForm::Reservation;
        for (const SectionRecord *runInRecord : std::as_const(frame.runInList))
            statement.runInNames.append(runInRecord->symbolName);
        frame.stage = Stage::RunInSections;
    } else {
        statement.form = StatementForm::Plain;
        frame.stage = Stage::Write;
    }
}

// LOC: the load address expression of record, whose live predecessor is given.
QString LayoutEngine::location(const SectionRecord *record, const SectionRecord *predecessor,
                               const SectionAttributes &attributes) const
{
    if (SectionAttributes::isNonEmpty(attributes.start))
        return fromBytes(*attributes.start);
    const QString &segmentName = record->segmentSymbolName;
    if (record->placeFromSegmentEnd) {
        return segmentStart(segmentName) % u" + (__" % segmentName % u"_segment_size__ - "
               % QString::number(record->offsetFromSegmentEnd) % u')';
    }
    const uint32_t alignment = SectionAttributes::isNonEmpty(attributes.alignment)
                                   ? alignmentOf(*attributes.alignment)
                                   : 0;
    // The address expression is built once, inside its ALIGN( ) when there is one.
    const auto aligned = [alignment](const auto &location) {
        return alignment > 1 ? alignedText(location, alignment) : QString(location);
    };
    if (!predecessor)
        return aligned(segmentStart(segmentName));
    if (predecessor->loadedElsewhere) {
        return aligned(u"__" % strippedName(predecessor->symbolName) % u"_load_start__ + SIZEOF("
                       % predecessor->symbolName % u')');
    }
    return aligned(u"__" % strippedName(predecessor->symbolName) % u"_end__");
}

// RUNLOC: where a section running in runSection starts, which is where runSection starts.
QString LayoutEngine::runLocation(const SectionRecord *runSection,
                                  const SectionRecord *runPredecessor) const
{
    const MemoryMapElement *section = runSection->section;
    if (section->hasStart())
        return u"0x" % hex8(section->start());
    QString location = runPredecessor
                           ? QString(u"__" % strippedName(runPredecessor->symbolName) % u"_end__")
                           : segmentStart(runSection->segmentSymbolName);
    if (section->hasAlignment())
        location = alignedText(location, section->alignment());
    return location;
}

// Drops record, whose run section is missing, without writing anything for it.
void LayoutEngine::discard(SectionRecord *record, SectionRecord *predecessor)
{
    if (runFlags().verbose) {
        std::printf("Discarding %s because run in section %s not found\n",
                    record->symbolName.toLocal8Bit().constData(),
                    record->section->runIn().toLocal8Bit().constData());
    }
    record->discarded = true;
    record->livePredecessor = predecessor;
    record->visiting = false;
    record->laidOut = true;
    m_frames.pop_back();
}

void LayoutEngine::finish(Frame &frame)
{
    writeSectionStatement(m_stream, frame.statement);
    frame.record->visiting = false;
    frame.record->laidOut = true;
    m_frames.pop_back();
}

} // namespace

void layoutSections(ScriptStream &stream, SectionList &sections, bool checkSegmentOverflow,
                    const QString &defaultFillPattern, const std::function<void()> &afterEach)
{
    // One engine for every record, so its stack of frames keeps the room a deep chain needed.
    LayoutEngine engine(stream, sections, checkSegmentOverflow, defaultFillPattern);
    for (SectionRecord &record : sections.records()) {
        engine.run(&record);
        afterEach();
    }
}

} // namespace ldweave
