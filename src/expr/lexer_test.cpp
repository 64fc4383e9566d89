#include "expr/lexer.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

// The scanners stand in for the patterns: at every position of every sample both must match the
// same length.
TEST(CStyleLexer, ScannersMatchExactlyWhatTheirPatternsMatch)
{
    const char *const samples[] = {
        " \t\n\r\f\v x",
        "\u00a0\u2003\u0085",
        "\"\" \"a b\" \"open",
        "0x 0x1F 0xfg 0X1 0x10ULLull 0x1uL 0x1LU 0xULx",
        "0b 0b102 0B1 0b1U",
        "1.5 1. .5 1.x 12.34.56 \u0661.\u0662",
        "10UL 10LU 10ULLull 10uU 1e5 007 \u0661\u0662",
        "_a $b a$1 9a A_z0 \u00e9t",
        "@ @r0 @$ @_x9 @-",
        "",
    };
    for (const TokenRule &rule : cStyleTokenRules()) {
        if (!rule.scanner)
            continue;
        SCOPED_TRACE(rule.pattern.pattern().toStdString());
        for (const char *sample : samples) {
            const QString text = QString::fromUtf8(sample);
            for (qsizetype position = 0; position <= text.size(); ++position) {
                SCOPED_TRACE(text.mid(position).toStdString());
                const QRegularExpressionMatch match
                    = rule.pattern.match(text, position, QRegularExpression::NormalMatch,
                                         QRegularExpression::AnchorAtOffsetMatchOption);
                EXPECT_EQ(rule.scanner(QStringView(text).sliced(position)),
                          match.hasMatch() ? match.capturedLength() : 0);
            }
        }
    }
}

} // namespace
} // namespace ldweave
