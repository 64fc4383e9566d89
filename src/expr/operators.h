// The value rules of the operators. The result kind follows the left operand, not the usual
// arithmetic conversions; every failure is a ParserException.
#pragma once

#include "expr/expr_value.h"

namespace ldweave {

enum class ArithmeticOperator { Add, Subtract, Multiply };
enum class Comparison { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };
enum class BitwiseOperator { And, Or, Xor };
enum class LogicalOperator { And, Or };
enum class ShiftDirection { Left, Right };

ExprValue applyArithmetic(ArithmeticOperator op, const ExprValue &left, const ExprValue &right);
ExprValue applyDivide(const ExprValue &left, const ExprValue &right);
ExprValue applyRemainder(const ExprValue &left, const ExprValue &right);
ExprValue applyComparison(Comparison comparison, const ExprValue &left, const ExprValue &right);
ExprValue applyBitwise(BitwiseOperator op, const ExprValue &left, const ExprValue &right);
ExprValue applyLogical(LogicalOperator op, const ExprValue &left, const ExprValue &right);
ExprValue applyShift(ShiftDirection direction, const ExprValue &left, const ExprValue &right);
ExprValue applyLogicalNot(const ExprValue &operand);
ExprValue applyBitNot(const ExprValue &operand);
ExprValue applyNegate(const ExprValue &operand);

} // namespace ldweave
