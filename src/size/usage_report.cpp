// Both reports are built as bytes: section names reach them as the ELF file holds them, segment
// names as the memory map gives them. JSON is written by hand, because its addresses are
// unsigned 64-bit integers, which a double-based JSON writer would round.
#include "size/usage_report.h"

#include "base/file_system.h"
#include "placement/statement_text.h"
#include "size/memory_usage.h"

#include <algorithm>
#include <vector>

namespace ldweave {

namespace {

using Row = std::vector<QByteArray>;

// Lays the rows out in columns two spaces apart, each as wide as its widest cell; the cells of
// a column marked in rightAligned are padded on the left.
QByteArray tableText(const std::vector<Row> &rows, const std::vector<bool> &rightAligned)
{
    std::vector<qsizetype> widths(rightAligned.size(), 0);
    for (const Row &row : rows) {
        for (size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    QByteArray text;
    for (const Row &row : rows) {
        QByteArray line;
        for (size_t column = 0; column < row.size(); ++column) {
            if (column > 0)
                line += "  ";
            const QByteArray padding(widths[column] - row[column].size(), ' ');
            line += rightAligned[column] ? padding + row[column] : row[column] + padding;
        }
        while (line.endsWith(' '))
            line.chop(1);
        text += line + '\n';
    }
    return text;
}

QByteArray number(uint64_t value)
{
    return QByteArray::number(qulonglong(value));
}

QByteArray hexAddress(uint64_t value)
{
    return "0x" + hex8(value).toLatin1();
}

// Bytes in KiB with two decimals, rounded to the nearest hundredth.
QByteArray kibText(uint64_t bytes)
{
    uint64_t whole = bytes / 1024;
    uint64_t hundredths = ((bytes % 1024) * 100 + 512) / 1024;
    if (hundredths == 100) {
        ++whole;
        hundredths = 0;
    }
    return number(whole) + '.' + QByteArray::number(qulonglong(hundredths)).rightJustified(2, '0');
}

QByteArray segmentName(const MemoryUsage &usage, int segment)
{
    return segment == SectionPlacement::kNoSegment
               ? QByteArray("(none)")
               : pathToBytes(usage.segments[size_t(segment)].name);
}

// A JSON string of UTF-8 text; bytes that are no part of valid UTF-8 become U+FFFD.
QByteArray jsonString(const QByteArray &text)
{
    QByteArray json = "\"";
    for (const char character : QString::fromUtf8(text).toUtf8()) {
        if (character == '"' || character == '\\')
            json += '\\' + QByteArray(1, character);
        else if (static_cast<unsigned char>(character) < 0x20)
            json += "\\u" + QByteArray::number(int(character), 16).rightJustified(4, '0');
        else
            json += character;
    }
    return json + '"';
}

QByteArray jsonSegment(const MemoryUsage &usage, int segment)
{
    return segment == SectionPlacement::kNoSegment
               ? QByteArray("null")
               : jsonString(usage.segments[size_t(segment)].name.toUtf8());
}

// A JSON array of objects, one a line.
QByteArray jsonArray(const std::vector<QByteArray> &objects)
{
    if (objects.empty())
        return "[]";
    QByteArray json = "[\n";
    for (size_t index = 0; index < objects.size(); ++index)
        json += "    " + objects[index] + (index + 1 < objects.size() ? ",\n" : "\n");
    return json + "  ]";
}

} // namespace

QString percentText(uint64_t hundredths)
{
    return QString::number(hundredths / 100) + u'.'
           + QString::number(hundredths % 100).rightJustified(2, u'0');
}

QByteArray usageText(const MemoryUsage &usage, bool withSections)
{
    std::vector<Row> segmentRows{
        {"Segment", "Used (bytes)", "(KiB)", "Size (bytes)", "(KiB)", "Used"}};
    for (const SegmentUsage &segment : usage.segments) {
        segmentRows.push_back({pathToBytes(segment.name), number(segment.used),
                               kibText(segment.used), number(segment.size), kibText(segment.size),
                               percentText(usedHundredths(segment)).toLatin1() + '%'});
    }
    QByteArray text = tableText(segmentRows, {false, true, true, true, true, true});
    if (!withSections)
        return text;

    std::vector<Row> sectionRows{{"Section", "Address", "Load address", "Size (bytes)", "(KiB)",
                                  "Segment", "Load segment"}};
    for (const SectionPlacement &placement : usage.sections) {
        const ElfSection &section = placement.section;
        const bool loads = section.hasContents;
        sectionRows.push_back({section.name, hexAddress(section.address),
                               loads ? hexAddress(section.loadAddress) : QByteArray("-"),
                               number(section.size), kibText(section.size),
                               segmentName(usage, placement.segment),
                               loads ? segmentName(usage, placement.loadSegment) : "-"});
    }
    return text + '\n' + tableText(sectionRows, {false, false, false, true, true, false, false});
}

QByteArray usageJson(const MemoryUsage &usage)
{
    std::vector<QByteArray> segments;
    for (const SegmentUsage &segment : usage.segments) {
        segments.push_back("{\"name\": " + jsonString(segment.name.toUtf8())
                           + ", \"start\": " + number(segment.start)
                           + ", \"size\": " + number(segment.size)
                           + ", \"used\": " + number(segment.used)
                           + ", \"free\": " + number(segment.size - segment.used)
                           + ", \"percent\": " + number(usedHundredths(segment) / 100) + "}");
    }
    std::vector<QByteArray> sections;
    for (const SectionPlacement &placement : usage.sections) {
        const ElfSection &section = placement.section;
        const bool loads = section.hasContents;
        sections.push_back(
            "{\"name\": " + jsonString(section.name) + ", \"address\": " + number(section.address)
            + ", \"load_address\": " + (loads ? number(section.loadAddress) : "null")
            + ", \"size\": " + number(section.size)
            + ", \"segment\": " + jsonSegment(usage, placement.segment)
            + ", \"load_segment\": " + (loads ? jsonSegment(usage, placement.loadSegment) : "null")
            + "}");
    }
    return "{\n  \"segments\": " + jsonArray(segments) + ",\n  \"sections\": "
           + jsonArray(sections) + "\n}\n";
}

} // namespace ldweave
