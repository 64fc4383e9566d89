// Micro-benchmarks of the hot paths of a run: the XML parser, expression evaluation, macro
// expansion and the linker script writer. Inputs are built in memory, so only the measured
// code runs inside the timing loops (the writer's file is written to a temporary folder).
#include "expr/evaluate.h"
#include "ldscript/linker_script_writer.h"
#include "macros/macros.h"
#include "macros/property_class_list.h"
#include "placement/memory_map.h"
#include "synthetic_text.h"
#include "xml/xml_document.h"

#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace ldweave {

namespace {

constexpr int kSegments = 8;

void BM_ParseXML(benchmark::State &state)
{
    const std::string text = syntheticPlacement(static_cast<int>(state.range(0)), kSegments);
    for (auto _ : state) {
        XMLDocument document(false);
        benchmark::DoNotOptimize(document.parse(text.c_str()));
        benchmark::DoNotOptimize(document.root());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseXML)->Arg(1000)->Arg(10000);

// The attribute texts a memory map and a placement file typically hold.
void BM_EvaluateNumberBits(benchmark::State &state)
{
    const QStringList texts
        = {"0x08000000", "128 * 1024",      "(4 * 64)", "0x20000000 + 0x100",
           "1 << 12",    "4 * 1024 * 1024", "256",      "0x08000000 + 3 * 0x1000000"};
    SimpleExpressionParser parser;
    for (auto _ : state) {
        for (const QString &text : texts) {
            bool ok = false;
            benchmark::DoNotOptimize(evaluateNumberBits(parser, text, ok));
            benchmark::DoNotOptimize(ok);
        }
    }
    state.SetItemsProcessed(state.iterations() * texts.size());
}
BENCHMARK(BM_EvaluateNumberBits);

// An attribute value with references, defaults and a nested default as the pre-processor
// meets them; arg 0 expands a text without any "$", the common case.
void BM_ExpandMacros(benchmark::State &state)
{
    MacroMap macros;
    for (int i = 0; i < 20; ++i)
        macros.insert(QStringLiteral("NAME%1").arg(i), QStringLiteral("value%1").arg(i));
    macros.insert(QStringLiteral("PREFIX"), QStringLiteral("grp"));
    const QString text = state.range(0)
                             ? QStringLiteral(".$(PREFIX)_$(NAME3)_$(NAME17:x)_$(ALIGN:4)_"
                                              "$(MISSING:$(NAME5))_$(SUFFIX::start)_$$")
                             : QStringLiteral("*(.text .text.* .glue_7t .glue_7)");
    for (auto _ : state)
        benchmark::DoNotOptimize(expandMacros(text, macros, false));
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_ExpandMacros)->Arg(0)->Arg(1);

// The whole writer over loaded documents: records, layout and statement text.
void BM_WriteLinkerScript(benchmark::State &state)
{
    createMacroTable();
    MemoryMap memoryMap;
    MemoryMap placement;
    const int sections = static_cast<int>(state.range(0));
    if (!memoryMap.loadText(QString::fromStdString(syntheticMemoryMap(kSegments)))
        || !placement.loadText(QString::fromStdString(syntheticPlacement(sections, kSegments)))) {
        state.SkipWithError("synthetic documents do not load");
        return;
    }
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("out.ld"));
    ScriptOptions options;
    options.symbols.insert(QStringLiteral("STACK_SIZE"), QStringLiteral("0x800"));
    options.checkSegmentOverflow = true;
    for (auto _ : state)
        writeLinkerScript(path, memoryMap.rootElement(), placement.rootElement(), options);
    state.SetItemsProcessed(state.iterations() * sections);
}
BENCHMARK(BM_WriteLinkerScript)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

} // namespace ldweave

BENCHMARK_MAIN();
