// Fuzz target: the expression entry points on one text, as attribute values and conditions
// reach them.
#include "expr/evaluate.h"
#include "expr/parser_exception.h"

#include <QString>

#include <cstddef>
#include <cstdint>

using namespace ldweave;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text
        = QString::fromLocal8Bit(reinterpret_cast<const char *>(data), qsizetype(size));
    SimpleExpressionParser parser;
    bool ok = false;
    evaluateNumberBits(parser, text, ok);
    evaluateNumber(parser, text, ok);
    evaluateCondition(parser, text, ok);
    try {
        evaluateText(parser, text);
    } catch (const ParserException &) {
        // evaluateText is the one entry point that reports errors by throwing.
    }
    return 0;
}
