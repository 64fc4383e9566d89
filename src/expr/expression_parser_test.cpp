#include "expr/evaluate.h"
#include "expr/expression.h"
#include "expr/expression_parser.h"
#include "expr/parser_exception.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

// Compact forms of type names and trees, built by walking the node classes; independent of
// anything the nodes say about themselves.
QString render(const Expression *node);

QString renderType(const TypeName *type)
{
    if (const auto *simple = dynamic_cast<const SimpleType *>(type))
        return simple->words().join(u' ');
    if (const auto *user = dynamic_cast<const UserType *>(type))
        return user->name();
    if (const auto *pointer = dynamic_cast<const PointerType *>(type))
        return renderType(pointer->target()) + u'*';
    if (const auto *array = dynamic_cast<const ArrayType *>(type))
        return renderType(array->element()) + u'[' + render(array->length()) + u']';
    if (const auto *structType = dynamic_cast<const StructType *>(type)) {
        QString text = QStringLiteral("struct ") + structType->tag() + u'{';
        for (const StructMember &member : structType->members())
            text += renderType(member.type.get()) + u' ' + member.name + u';';
        return text + u'}';
    }
    if (const auto *registerType = dynamic_cast<const RegisterType *>(type)) {
        QString text = QStringLiteral("register %1{").arg(registerType->size());
        for (const RegisterField &field : registerType->fields()) {
            text += QStringLiteral("%1:%2:%3;")
                        .arg(field.name)
                        .arg(field.bitSize)
                        .arg(field.bitOffset);
        }
        return text + u'}';
    }
    return QStringLiteral("?");
}

QString renderValue(const ExprValue &value)
{
    switch (value.kind()) {
    case ExprValue::Kind::Signed:
        return QString::number(value.signedView());
    case ExprValue::Kind::Unsigned:
        return QStringLiteral("%1u%2").arg(value.payload()).arg(value.size() * 8);
    case ExprValue::Kind::Floating:
        return QString::number(value.floatingView()) + u'f';
    case ExprValue::Kind::String:
        return u'"' + value.text() + u'"';
    default:
        return QStringLiteral("?");
    }
}

template <typename T> bool is(const Expression *node)
{
    return dynamic_cast<const T *>(node) != nullptr;
}

QString operatorName(const Expression *node)
{
    struct Row
    {
        bool (*is)(const Expression *);
        const char *name;
    };
    static const Row rows[] = {
        {is<PlusExpression>, "Plus"},
        {is<MinusExpression>, "Minus"},
        {is<MultiplyExpression>, "Multiply"},
        {is<DivideExpression>, "Divide"},
        {is<ModExpression>, "Mod"},
        {is<LshiftExpression>, "Lshift"},
        {is<RshiftExpression>, "Rshift"},
        {is<LtExpression>, "Lt"},
        {is<LeExpression>, "Le"},
        {is<GtExpression>, "Gt"},
        {is<GeExpression>, "Ge"},
        {is<EqExpression>, "Eq"},
        {is<NeExpression>, "Ne"},
        {is<BitAndExpression>, "BitAnd"},
        {is<BitXorExpression>, "BitXor"},
        {is<BitOrExpression>, "BitOr"},
        {is<LogicalAndExpression>, "LogicalAnd"},
        {is<LogicalOrExpression>, "LogicalOr"},
        {is<AssignExpression>, "Assign"},
        {is<LeftSquareBracketExpression>, "Index"},
        {is<DotExpression>, "Dot"},
        {is<NegateExpression>, "Negate"},
        {is<BitNotExpression>, "BitNot"},
        {is<LogicalNotExpression>, "Not"},
    };
    for (const Row &row : rows) {
        if (row.is(node))
            return QString::fromLatin1(row.name);
    }
    return QStringLiteral("?");
}

QString render(const Expression *node)
{
    if (const auto *binary = dynamic_cast<const BinaryExpression *>(node)) {
        return operatorName(node) + u'(' + render(binary->left()) + QStringLiteral(", ")
               + render(binary->right()) + u')';
    }
    if (const auto *unary = dynamic_cast<const UnaryExpression *>(node))
        return operatorName(node) + u'(' + render(unary->operand()) + u')';
    if (const auto *constant = dynamic_cast<const ConstantExpression *>(node))
        return renderValue(constant->value());
    if (const auto *identifier = dynamic_cast<const IdentifierExpression *>(node))
        return identifier->name();
    if (const auto *scoped = dynamic_cast<const ScopedIdentifierExpression *>(node)) {
        return QStringLiteral("Scoped(") + (scoped->isGlobal() ? QStringLiteral("::") : QString())
               + scoped->names().join(QStringLiteral("::")) + u')';
    }
    if (const auto *reg = dynamic_cast<const RegisterExpression *>(node))
        return u'@' + reg->name();
    if (const auto *address = dynamic_cast<const AddressofExpression *>(node))
        return QStringLiteral("Addressof(") + render(address->operand()) + u')';
    if (const auto *cast = dynamic_cast<const CastExpression *>(node)) {
        return QStringLiteral("Cast(") + renderType(cast->type()) + QStringLiteral(", ")
               + render(cast->operand()) + u')';
    }
    if (const auto *size = dynamic_cast<const SizeofExpression *>(node)) {
        return QStringLiteral("Sizeof(")
               + (size->type() ? renderType(size->type()) : render(size->operand())) + u')';
    }
    if (const auto *line = dynamic_cast<const AddressofLineExpression *>(node))
        return QStringLiteral("AddressofLine(\"%1\", %2)").arg(line->fileName()).arg(line->line());
    if (const auto *call = dynamic_cast<const CallExpression *>(node)) {
        QString text = QStringLiteral("Call(") + render(call->function());
        for (const std::unique_ptr<Expression> &argument : call->arguments())
            text += QStringLiteral(", ") + render(argument.get());
        return text + u')';
    }
    return QStringLiteral("?");
}

TEST(ExpressionParser, BuildsTreesByPrecedenceAndForm)
{
    struct Row
    {
        const char *input;
        const char *tree;
    };
    const Row rows[] = {
        // literals
        {"  7  ", "7"},
        {"0x", "0"},
        {"0b", "0"},
        {"010", "8"},
        {"0b101", "5"},
        {"0x10UL", "16"},
        {"0X10", "0"},
        {"1e5", "1"},
        {"1 2", "1"},
        {"1.5", "1.5f"},
        {"\"abc\"", "\"abc\""},
        {"\"\"", "\"\""},
        // unary
        {"-5", "Negate(5)"},
        {"- -5", "Negate(Negate(5))"},
        {"+5", "5"},
        {"~!x", "BitNot(Not(x))"},
        {"&x", "Addressof(x)"},
        {"*p", "Index(p, 0u16)"},
        {"-x[1]", "Negate(Index(x, 1))"},
        {"++x", "Assign(x, Plus(x, 1))"},
        {"--5", "Assign(5, Minus(5, 1))"},
        // binary levels
        {"1 + 2 * 3", "Plus(1, Multiply(2, 3))"},
        {"2 - 1 - 1", "Minus(Minus(2, 1), 1)"},
        {"6 / 3 % 2", "Mod(Divide(6, 3), 2)"},
        {"1 << 2 + 1", "Lshift(1, Plus(2, 1))"},
        {"a >> 1 < 2", "Lt(Rshift(a, 1), 2)"},
        {"a < b == c > d", "Eq(Lt(a, b), Gt(c, d))"},
        {"a <= b != c >= d", "Ne(Le(a, b), Ge(c, d))"},
        {"x & 1 == 0", "BitAnd(x, Eq(1, 0))"},
        {"a | b ^ c & d", "BitOr(a, BitXor(b, BitAnd(c, d)))"},
        {"a || b && c | d", "LogicalOr(a, LogicalAnd(b, BitOr(c, d)))"},
        {"a = b || c", "Assign(a, LogicalOr(b, c))"},
        {"a = b = c", "Assign(Assign(a, b), c)"},
        {"(1 + 2) * 3", "Multiply(Plus(1, 2), 3)"},
        // compound assignments copy their left side
        {"a += 1", "Assign(a, Plus(a, 1))"},
        {"a -= 1", "Assign(a, Minus(a, 1))"},
        {"a *= 1", "Assign(a, Multiply(a, 1))"},
        {"a /= 1", "Assign(a, Divide(a, 1))"},
        {"a %= 1", "Assign(a, Mod(a, 1))"},
        {"a <<= 1", "Assign(a, Lshift(a, 1))"},
        {"a >>= 1", "Assign(a, Rshift(a, 1))"},
        {"a &= 1", "Assign(a, BitAnd(a, 1))"},
        {"a ^= 1", "Assign(a, BitXor(a, 1))"},
        {"a[1].b |= 2", "Assign(Dot(Index(a, 1), b), BitOr(Dot(Index(a, 1), b), 2))"},
        {"a += b = 1", "Assign(a, Plus(a, Assign(b, 1)))"},
        // names
        {"FLASH", "FLASH"},
        {"::a", "Scoped(::a)"},
        {"a::b::c", "Scoped(a::b::c)"},
        {"::a::b", "Scoped(::a::b)"},
        {"@r0", "@r0"},
        {"@", "@"},
        // postfix
        {"a[1][2]", "Index(Index(a, 1), 2)"},
        {"a.b->c", "Dot(Dot(a, b), c)"},
        {"a.b::c", "Dot(a, Scoped(b::c))"},
        {"x++", "Assign(x, Plus(x, 1))"},
        {"a.b--", "Assign(Dot(a, b), Minus(Dot(a, b), 1))"},
        {"f()", "Call(f)"},
        {"f(a+b)", "Call(f, a, b)"},
        {"f(1, -2 3,)(4)", "Call(Call(f, 1, Negate(2), 3), 4)"},
        // sizeof, addressof, casts
        {"sizeof x + 1", "Sizeof(Plus(x, 1))"},
        {"sizeof(x) + 1", "Plus(Sizeof(x), 1)"},
        {"sizeof(unsigned long int)", "Sizeof(unsigned long int)"},
        {"sizeof(struct)", "Sizeof(struct)"},
        {"addressof(\"main.c\", 12)", "AddressofLine(\"main.c\", 12)"},
        {"(x)", "x"},
        {"(int)-1", "Cast(int, Negate(1))"},
        {"(const volatile char)x.y", "Cast(const volatile char, Dot(x, y))"},
        {"(unsigned long*)p", "Cast(unsigned long*, p)"},
        {"(char*[4]*)p", "Cast(char*[4]*, p)"},
        {"(struct s*)p", "Cast(struct s{}*, p)"},
        {"(struct {int a; char *b; struct t c;})x",
         "Cast(struct {int a;char* b;struct t{} c;}, x)"},
        {"(register 4 {en:1:0; mode:0x2:1;})x", "Cast(register 4{en:1:0;mode:2:1;}, x)"},
    };
    SimpleExpressionParser parser;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        try {
            const std::unique_ptr<Expression> tree = parser.parse(QString::fromUtf8(row.input));
            EXPECT_EQ(render(tree.get()), QString::fromUtf8(row.tree));
        } catch (const ParserException &exception) {
            ADD_FAILURE() << "ParserException: " << exception.message().toStdString();
        }
    }
}

TEST(ExpressionParser, EmptyTextGivesNoTree)
{
    SimpleExpressionParser parser;
    EXPECT_EQ(parser.parse(QString()), nullptr);
    EXPECT_EQ(parser.parse(QStringLiteral("")), nullptr);
}

TEST(ExpressionParser, SyntaxErrorsThrowTheirMessage)
{
    struct Row
    {
        const char *input;
        const char *message;
    };
    const Row rows[] = {
        {" ", "expression expected"},
        {"1 +", "expression expected"},
        {"-", "expression expected"},
        {")", "expression expected"},
        {"f(1", "expression expected"},
        {"f(,)", "expression expected"},
        {"#", "unrecognised token: #"},
        {"1 #", "unrecognised token: #"},
        {"1 + \"abc", "unrecognised token: \"abc"},
        {"1 >>> 2", "operator not supported"},
        {"a >>>= 2", "operator not supported"},
        {"a ? b : c", "operator not supported"},
        {"1, 2", "operator not supported"},
        {"a ? (b : c", "')' expected"},
        {"1 >>> (2", "')' expected"},
        {"(1", "')' expected"},
        {"(int", "')' expected"},
        {"sizeof(x", "')' expected"},
        {"sizeof(int", "')' expected"},
        {"sizeof(int*)", "')' expected"},
        {"sizeof(struct x)", "')' expected"},
        {"a[1", "expected ']'"},
        {"(int[1)x", "']' expected"},
        {"addressof \"a\"", "'(' expected"},
        {"addressof(main.c, 12)", "string expected"},
        {"addressof(\"a\" 1)", "',' expected"},
        {"addressof(\"a\", 0x1)", "int expected"},
        {"addressof(\"a\", 1", "')' expected"},
        {"::1", "identifier expected"},
        {"a.1", "identifier expected"},
        {"a::", "identifier expected after '::'"},
        {"::a::(", "identifier expected after '::'"},
        {"(a+b) += 1", "cannot duplicate expression"},
        {"(a+b)++", "cannot duplicate expression"},
        {"++-a", "cannot duplicate expression"},
        {"a[1+2]++", "cannot duplicate expression"},
        {"f(x)--", "cannot duplicate expression"},
        {"x++ ++", "cannot duplicate expression"},
        {"a = b += 1", "cannot duplicate expression"},
        {"(a+b) += (1", "')' expected"},
        {"(struct)x", "struct parse error"},
        {"(struct {x y;})1", "struct parse error"},
        {"(struct {int;})1", "fieldname expected"},
        {"(struct {int a})1", "';' expected"},
        {"(register x)1", "size expected"},
        {"(register 4 x)1", "'{' expected"},
        {"(register 4 {1})1", "fieldname expected"},
        {"(register 4 {a 1})1", "bitsize expected"},
        {"(register 4 {a:x})1", "integer must follow ':'"},
        {"(register 4 {a:1;})1", "bitoffset expected"},
        {"(register 4 {a:1:y})1", "integer must follow ':'"},
        {"(register 4 {a:1:0})1", "';' expected"},
    };
    SimpleExpressionParser parser;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        try {
            parser.parse(QString::fromUtf8(row.input));
            ADD_FAILURE() << "parsed without error";
        } catch (const ParserException &exception) {
            EXPECT_EQ(exception.message(), QString::fromUtf8(row.message));
        }
    }
}

// Nesting beyond the bound fails cleanly; nesting just inside it parses, evaluates and is
// destroyed without exhausting the stack.
TEST(ExpressionParser, NestingIsBounded)
{
    const int tooDeep = 100000;
    const QString one = QStringLiteral("1");
    const QString rows[] = {
        QString(tooDeep, u'(') + one + QString(tooDeep, u')'),
        QString(tooDeep, u'(') + one,
        QString(tooDeep, u'-') + one,
        QStringLiteral("- ").repeated(tooDeep) + one,
        QString(tooDeep, u'!') + one,
        QString(tooDeep, u'~') + one,
        QString(tooDeep, u'*') + one,
        QStringLiteral("1+").repeated(tooDeep) + one,
        QStringLiteral("a") + QStringLiteral("[0]").repeated(tooDeep),
        QStringLiteral("a") + QStringLiteral(".b").repeated(tooDeep),
        QStringLiteral("f") + QStringLiteral("(1)").repeated(tooDeep),
        QStringLiteral("(int") + QString(tooDeep, u'*') + QStringLiteral(")1"),
        QStringLiteral("(") + QStringLiteral("struct {").repeated(tooDeep),
        QStringLiteral("a[").repeated(tooDeep),
        QStringLiteral("sizeof(").repeated(tooDeep),
    };
    SimpleExpressionParser parser;
    for (const QString &row : rows) {
        SCOPED_TRACE(row.left(20).toStdString());
        try {
            parser.parse(row);
            ADD_FAILURE() << "parsed without error";
        } catch (const ParserException &exception) {
            EXPECT_EQ(exception.message(), QStringLiteral("expression nested too deeply"));
        }
        bool ok = true;
        EXPECT_EQ(evaluateNumber(parser, row, ok), 0);
        EXPECT_FALSE(ok);
    }

    struct Row
    {
        QString input;
        int64_t value;
    };
    const int deepest = kMaxExpressionDepth - 10;
    const Row fits[] = {
        {QString(deepest / 2, u'(') + one + QString(deepest / 2, u')'), 1},
        {QStringLiteral("- ").repeated(deepest) + one, deepest % 2 == 0 ? 1 : -1},
        {QStringLiteral("1+").repeated(deepest) + one, deepest + 1},
    };
    for (const Row &row : fits) {
        SCOPED_TRACE(row.input.left(20).toStdString());
        bool ok = false;
        EXPECT_EQ(evaluateNumber(parser, row.input, ok), row.value);
        EXPECT_TRUE(ok);
    }
}

} // namespace
} // namespace ldweave
