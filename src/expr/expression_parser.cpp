// The expression grammar: precedence climbing over the binary levels -4 ("," ) to 9 ("*"), the
// unary, primary and postfix forms, and a small parser of the type names that casts and "sizeof"
// accept. Every node is held by a std::unique_ptr from the moment it is built, so a syntax error
// part-way releases everything built so far.
#include "expr/expression_parser.h"

#include "expr/expression.h"
#include "expr/lexer.h"
#include "expr/parser_exception.h"

namespace ldweave {

namespace {

constexpr int kLowestLevel = -4;

ParserException error(const char *message)
{
    return ParserException(QString::fromLatin1(message));
}

/// Counts one level of parser recursion for as long as it lives.
class DepthGuard
{
public:
    explicit DepthGuard(int &depth)
        : m_depth(depth)
    {
        if (m_depth >= kMaxExpressionDepth)
            throw error("expression nested too deeply");
        ++m_depth;
    }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard &) = delete;
    DepthGuard &operator=(const DepthGuard &) = delete;

private:
    int &m_depth;
};

/// A string token's text without its two quotes.
QString unquoted(QStringView token)
{
    return token.sliced(1, token.size() - 2).toString();
}

bool isSimpleTypeWord(QStringView word)
{
    static const char16_t *const words[]
        = {u"long", u"int", u"short", u"char", u"unsigned", u"signed", u"const", u"volatile"};
    for (const char16_t *simpleWord : words) {
        if (word == QStringView(simpleWord))
            return true;
    }
    return false;
}

/// One parse of one text: the grammar functions over the parser's lexer.
class ParseRun
{
public:
    ParseRun(ExpressionParser &parser, Lexer &lexer)
        : m_parser(parser)
        , m_lexer(lexer)
    {}

    std::unique_ptr<Expression> parseExpression() { return parseBinary(kLowestLevel); }

private:
    // parseBinary, parseUnary (with parsePrefix) and parseTypeName recurse up to
    // kMaxExpressionDepth times together. The large functions are marked noinline so that none
    // is inlined into a recursive one: inlined, they made one level of nesting cost kilobytes of
    // stack in the sanitizer build.
    enum class TypeContext { Cast, Sizeof };

    /// Builds a node of this parser and refuses a tree higher than kMaxExpressionDepth.
    template <typename Node, typename... Args>
    [[gnu::noinline]] std::unique_ptr<Expression> make(Args &&...args)
    {
        std::unique_ptr<Expression> node
            = std::make_unique<Node>(&m_parser, std::forward<Args>(args)...);
        if (node->height() > kMaxExpressionDepth)
            throw error("expression nested too deeply");
        return node;
    }

    template <typename Type, typename... Args>
    [[gnu::noinline]] std::unique_ptr<TypeName> makeType(Args &&...args)
    {
        std::unique_ptr<TypeName> type = std::make_unique<Type>(std::forward<Args>(args)...);
        if (type->height() > kMaxExpressionDepth)
            throw error("expression nested too deeply");
        return type;
    }

    bool at(TokenKind kind) const { return m_lexer.kind() == kind; }
    bool atInteger() const
    {
        return at(TokenKind::DecimalInteger) || at(TokenKind::HexInteger)
               || at(TokenKind::BinaryInteger);
    }
    bool consume(TokenKind kind)
    {
        if (!at(kind))
            return false;
        m_lexer.advance();
        return true;
    }
    void expect(TokenKind kind, const char *message)
    {
        if (!consume(kind))
            throw error(message);
    }

    std::unique_ptr<Expression> parseBinary(int minLevel);
    [[gnu::noinline]] std::unique_ptr<Expression>
    combine(TokenKind op, std::unique_ptr<Expression> left, std::unique_ptr<Expression> right);
    template <typename Node>
    std::unique_ptr<Expression> compoundAssignment(std::unique_ptr<Expression> left,
                                                   std::unique_ptr<Expression> right);
    std::unique_ptr<Expression> step(TokenKind op, std::unique_ptr<Expression> operand);
    std::unique_ptr<Expression> parseUnary();
    std::unique_ptr<Expression> parsePrefix();
    std::unique_ptr<Expression> dereference(std::unique_ptr<Expression> pointer);
    [[gnu::noinline]] std::unique_ptr<Expression> parsePrimary();
    [[gnu::noinline]] std::unique_ptr<Expression>
    parsePostfix(std::unique_ptr<Expression> expression);
    std::unique_ptr<Expression> parseCall(std::unique_ptr<Expression> function);
    std::unique_ptr<Expression> parseIdentifier(bool global);
    std::unique_ptr<Expression> parseSizeof();
    std::unique_ptr<Expression> parseAddressof();
    std::unique_ptr<Expression> parseParenthesised();

    bool startsTypeName(TypeContext context) const;
    [[gnu::noinline]] std::unique_ptr<TypeName> parseTypeName();
    [[gnu::noinline]] std::unique_ptr<TypeName> parseSimpleType();
    [[gnu::noinline]] std::unique_ptr<TypeName> parseStructType();
    [[gnu::noinline]] std::unique_ptr<TypeName> parseRegisterType();
    int64_t parseIntegerAfterColon();

    ExpressionParser &m_parser;
    Lexer &m_lexer;
    int m_depth = 0; ///< parse functions active now; bounded by kMaxExpressionDepth
};

// expression(level) ::= unary | expression(level) operator(level) expression(level + 1)
// Every level is left-associative; climbing by precedence builds the same tree as one function
// per level, with a recursion only as deep as the levels the operators climb.
std::unique_ptr<Expression> ParseRun::parseBinary(int minLevel)
{
    const DepthGuard guard(m_depth);
    std::unique_ptr<Expression> left = parseUnary();
    while (m_lexer.precedence() != kNotBinaryOperator && m_lexer.precedence() >= minLevel) {
        const TokenKind op = m_lexer.kind();
        const int level = m_lexer.precedence();
        m_lexer.advance();
        std::unique_ptr<Expression> right = parseBinary(level + 1);
        left = combine(op, std::move(left), std::move(right));
    }
    return left;
}

std::unique_ptr<Expression> ParseRun::combine(TokenKind op, std::unique_ptr<Expression> left,
                                              std::unique_ptr<Expression> right)
{
    switch (op) {
    case TokenKind::Multiply:
        return make<MultiplyExpression>(std::move(left), std::move(right));
    case TokenKind::Divide:
        return make<DivideExpression>(std::move(left), std::move(right));
    case TokenKind::Mod:
        return make<ModExpression>(std::move(left), std::move(right));
    case TokenKind::Plus:
        return make<PlusExpression>(std::move(left), std::move(right));
    case TokenKind::Minus:
        return make<MinusExpression>(std::move(left), std::move(right));
    case TokenKind::Lshift:
        return make<LshiftExpression>(std::move(left), std::move(right));
    case TokenKind::Rshift:
        return make<RshiftExpression>(std::move(left), std::move(right));
    case TokenKind::Less:
        return make<LtExpression>(std::move(left), std::move(right));
    case TokenKind::LessEqual:
        return make<LeExpression>(std::move(left), std::move(right));
    case TokenKind::Greater:
        return make<GtExpression>(std::move(left), std::move(right));
    case TokenKind::GreaterEqual:
        return make<GeExpression>(std::move(left), std::move(right));
    case TokenKind::Equal:
        return make<EqExpression>(std::move(left), std::move(right));
    case TokenKind::NotEqual:
        return make<NeExpression>(std::move(left), std::move(right));
    case TokenKind::BitAnd:
        return make<BitAndExpression>(std::move(left), std::move(right));
    case TokenKind::BitXor:
        return make<BitXorExpression>(std::move(left), std::move(right));
    case TokenKind::BitOr:
        return make<BitOrExpression>(std::move(left), std::move(right));
    case TokenKind::LogicalAnd:
        return make<LogicalAndExpression>(std::move(left), std::move(right));
    case TokenKind::LogicalOr:
        return make<LogicalOrExpression>(std::move(left), std::move(right));
    case TokenKind::Assign:
        return make<AssignExpression>(std::move(left), std::move(right));
    case TokenKind::PlusAssign:
        return compoundAssignment<PlusExpression>(std::move(left), std::move(right));
    case TokenKind::MinusAssign:
        return compoundAssignment<MinusExpression>(std::move(left), std::move(right));
    case TokenKind::MultiplyAssign:
        return compoundAssignment<MultiplyExpression>(std::move(left), std::move(right));
    case TokenKind::DivideAssign:
        return compoundAssignment<DivideExpression>(std::move(left), std::move(right));
    case TokenKind::ModAssign:
        return compoundAssignment<ModExpression>(std::move(left), std::move(right));
    case TokenKind::LshiftAssign:
        return compoundAssignment<LshiftExpression>(std::move(left), std::move(right));
    case TokenKind::RshiftAssign:
        return compoundAssignment<RshiftExpression>(std::move(left), std::move(right));
    case TokenKind::BitAndAssign:
        return compoundAssignment<BitAndExpression>(std::move(left), std::move(right));
    case TokenKind::BitXorAssign:
        return compoundAssignment<BitXorExpression>(std::move(left), std::move(right));
    case TokenKind::BitOrAssign:
        return compoundAssignment<BitOrExpression>(std::move(left), std::move(right));
    default:
        // ">>>", ">>>=", "?" and ",": recognised, but no node exists for them.
        throw error("operator not supported");
    }
}

// "a op= b" is "a = a op b"; the target is a copy of the left side, so a left side that cannot
// be copied ("(a+b) += 1") fails here with "cannot duplicate expression".
template <typename Node>
std::unique_ptr<Expression> ParseRun::compoundAssignment(std::unique_ptr<Expression> left,
                                                         std::unique_ptr<Expression> right)
{
    std::unique_ptr<Expression> target = left->clone();
    return make<AssignExpression>(std::move(target), make<Node>(std::move(left), std::move(right)));
}

// "++x", "x++" ::= x = x + 1; "--x", "x--" ::= x = x - 1
std::unique_ptr<Expression> ParseRun::step(TokenKind op, std::unique_ptr<Expression> operand)
{
    std::unique_ptr<Expression> target = operand->clone();
    std::unique_ptr<Expression> one = make<IntegerConstantExpression>(int64_t{1});
    std::unique_ptr<Expression> value
        = op == TokenKind::Increment ? make<PlusExpression>(std::move(operand), std::move(one))
                                     : make<MinusExpression>(std::move(operand), std::move(one));
    return make<AssignExpression>(std::move(target), std::move(value));
}

// unary ::= prefix postfix*
std::unique_ptr<Expression> ParseRun::parseUnary()
{
    const DepthGuard guard(m_depth);
    return parsePostfix(parsePrefix());
}

// prefix ::= ('&' | '++' | '--' | '~' | '!' | '-' | '+' | '*') unary | '(' ... ')' | primary
std::unique_ptr<Expression> ParseRun::parsePrefix()
{
    switch (m_lexer.kind()) {
    case TokenKind::BitAnd:
        m_lexer.advance();
        return make<AddressofExpression>(parseUnary());
    case TokenKind::LeftParen:
        return parseParenthesised();
    case TokenKind::Increment:
    case TokenKind::Decrement: {
        const TokenKind op = m_lexer.kind();
        m_lexer.advance();
        return step(op, parseUnary());
    }
    case TokenKind::Tilde:
        m_lexer.advance();
        return make<BitNotExpression>(parseUnary());
    case TokenKind::Not:
        m_lexer.advance();
        return make<LogicalNotExpression>(parseUnary());
    case TokenKind::Minus:
        m_lexer.advance();
        return make<NegateExpression>(parseUnary());
    case TokenKind::Plus:
        m_lexer.advance();
        return parseUnary();
    case TokenKind::Multiply:
        m_lexer.advance();
        return dereference(parseUnary());
    default:
        return parsePrimary();
    }
}

// "*p" reads "p[0]", the index an unsigned 16-bit zero.
std::unique_ptr<Expression> ParseRun::dereference(std::unique_ptr<Expression> pointer)
{
    return make<LeftSquareBracketExpression>(
        std::move(pointer), make<ConstantExpression>(ExprValue::unsignedInteger(0, 2)));
}

// primary ::= integer | float | string | 'sizeof' ... | 'addressof' ... | identifier-expression
//           | register | '::' identifier-expression
std::unique_ptr<Expression> ParseRun::parsePrimary()
{
    std::unique_ptr<Expression> primary;
    switch (m_lexer.kind()) {
    case TokenKind::DecimalInteger:
    case TokenKind::HexInteger:
    case TokenKind::BinaryInteger:
        primary = make<IntegerConstantExpression>(m_lexer.integerValue());
        break;
    case TokenKind::Float:
        primary = make<FloatConstantExpression>(m_lexer.floatValue());
        break;
    case TokenKind::String:
        primary = make<StringConstantExpression>(unquoted(m_lexer.text()));
        break;
    case TokenKind::Register:
        primary = make<RegisterExpression>(m_lexer.text().sliced(1).toString());
        break;
    case TokenKind::Identifier:
        if (m_lexer.textIs(u"sizeof"))
            return parseSizeof();
        if (m_lexer.textIs(u"addressof"))
            return parseAddressof();
        return parseIdentifier(false);
    case TokenKind::Scope:
        m_lexer.advance();
        return parseIdentifier(true);
    default:
        throw error("expression expected");
    }
    m_lexer.advance();
    return primary;
}

// postfix ::= '[' expression ']' | ('.' | '->') identifier-expression | '++' | '--'
//           | '(' unary* ')'
std::unique_ptr<Expression> ParseRun::parsePostfix(std::unique_ptr<Expression> expression)
{
    for (;;) {
        switch (m_lexer.kind()) {
        case TokenKind::LeftBracket: {
            m_lexer.advance();
            std::unique_ptr<Expression> index = parseExpression();
            expect(TokenKind::RightBracket, "expected ']'");
            expression = make<LeftSquareBracketExpression>(std::move(expression), std::move(index));
            break;
        }
        case TokenKind::Dot:
        case TokenKind::Arrow:
            m_lexer.advance();
            expression = make<DotExpression>(std::move(expression), parseIdentifier(false));
            break;
        case TokenKind::Increment:
        case TokenKind::Decrement:
            expression = step(m_lexer.kind(), std::move(expression));
            m_lexer.advance();
            break;
        case TokenKind::LeftParen:
            expression = parseCall(std::move(expression));
            break;
        default:
            return expression;
        }
    }
}

// call ::= '(' (unary ','?)* ')'
// Arguments are unary expressions, so "f(a+b)" has the two arguments "a" and "+b".
std::unique_ptr<Expression> ParseRun::parseCall(std::unique_ptr<Expression> function)
{
    m_lexer.advance();
    std::vector<std::unique_ptr<Expression>> arguments;
    while (!at(TokenKind::RightParen)) {
        arguments.push_back(parseUnary());
        consume(TokenKind::Comma);
    }
    m_lexer.advance();
    return make<CallExpression>(std::move(function), std::move(arguments));
}

// identifier-expression ::= identifier ('::' identifier)*
std::unique_ptr<Expression> ParseRun::parseIdentifier(bool global)
{
    if (!at(TokenKind::Identifier))
        throw error("identifier expected");
    QStringList names(m_lexer.text().toString());
    m_lexer.advance();
    while (consume(TokenKind::Scope)) {
        if (!at(TokenKind::Identifier))
            throw error("identifier expected after '::'");
        names.append(m_lexer.text().toString());
        m_lexer.advance();
    }
    if (!global && names.size() == 1)
        return make<IdentifierExpression>(names.first());
    return make<ScopedIdentifierExpression>(names, global);
}

// sizeof ::= 'sizeof' '(' simple-type ')' | 'sizeof' '(' expression ')' | 'sizeof' expression
std::unique_ptr<Expression> ParseRun::parseSizeof()
{
    m_lexer.advance();
    if (!consume(TokenKind::LeftParen))
        return make<SizeofExpression>(parseExpression());
    if (startsTypeName(TypeContext::Sizeof)) {
        std::unique_ptr<TypeName> type = parseSimpleType();
        expect(TokenKind::RightParen, "')' expected");
        return make<SizeofExpression>(std::move(type));
    }
    std::unique_ptr<Expression> operand = parseExpression();
    expect(TokenKind::RightParen, "')' expected");
    return make<SizeofExpression>(std::move(operand));
}

// addressof ::= 'addressof' '(' string ',' decimal-integer ')'
std::unique_ptr<Expression> ParseRun::parseAddressof()
{
    m_lexer.advance();
    expect(TokenKind::LeftParen, "'(' expected");
    if (!at(TokenKind::String))
        throw error("string expected");
    const QString fileName = unquoted(m_lexer.text());
    m_lexer.advance();
    expect(TokenKind::Comma, "',' expected");
    if (!at(TokenKind::DecimalInteger))
        throw error("int expected");
    const int64_t line = m_lexer.integerValue();
    m_lexer.advance();
    expect(TokenKind::RightParen, "')' expected");
    return make<AddressofLineExpression>(fileName, line);
}

// parenthesised ::= '(' type-name ')' unary | '(' expression ')'
std::unique_ptr<Expression> ParseRun::parseParenthesised()
{
    m_lexer.advance();
    if (startsTypeName(TypeContext::Cast)) {
        std::unique_ptr<TypeName> type = parseTypeName();
        expect(TokenKind::RightParen, "')' expected");
        return make<CastExpression>(std::move(type), parseUnary());
    }
    std::unique_ptr<Expression> inner = parseExpression();
    expect(TokenKind::RightParen, "')' expected");
    return inner;
}

// After "sizeof(" only the simple type words start a type name; in a cast also "struct",
// "register" and the names the parser's type look-up knows (none in this tool, so "(x)" is
// always a parenthesised expression).
bool ParseRun::startsTypeName(TypeContext context) const
{
    if (!at(TokenKind::Identifier))
        return false;
    const QStringView word = m_lexer.text();
    if (isSimpleTypeWord(word))
        return true;
    if (context == TypeContext::Sizeof)
        return false;
    return word == u"struct" || word == u"register" || m_parser.isTypeName(word.toString());
}

// type-name ::= (simple-type | struct-type | register-type | user-type) ('*' | '[' expression ']')*
std::unique_ptr<TypeName> ParseRun::parseTypeName()
{
    const DepthGuard guard(m_depth);
    std::unique_ptr<TypeName> type;
    if (m_lexer.textIs(u"struct")) {
        type = parseStructType();
    } else if (m_lexer.textIs(u"register")) {
        type = parseRegisterType();
    } else if (isSimpleTypeWord(m_lexer.text())) {
        type = parseSimpleType();
    } else {
        type = makeType<UserType>(m_lexer.text().toString());
        m_lexer.advance();
    }
    for (;;) {
        if (consume(TokenKind::Multiply)) {
            type = makeType<PointerType>(std::move(type));
        } else if (consume(TokenKind::LeftBracket)) {
            std::unique_ptr<Expression> length = parseExpression();
            expect(TokenKind::RightBracket, "']' expected");
            type = makeType<ArrayType>(std::move(type), std::move(length));
        } else {
            return type;
        }
    }
}

// simple-type ::= ('long' | 'int' | 'short' | 'char' | 'unsigned' | 'signed' | 'const'
//               | 'volatile')+
std::unique_ptr<TypeName> ParseRun::parseSimpleType()
{
    QStringList words;
    while (at(TokenKind::Identifier) && isSimpleTypeWord(m_lexer.text())) {
        words.append(m_lexer.text().toString());
        m_lexer.advance();
    }
    return makeType<SimpleType>(words);
}

// struct-type ::= 'struct' identifier? ('{' (type-name identifier ';')* '}')?
// with a tag, a body or both.
std::unique_ptr<TypeName> ParseRun::parseStructType()
{
    m_lexer.advance();
    QString tag;
    if (at(TokenKind::Identifier)) {
        tag = m_lexer.text().toString();
        m_lexer.advance();
    }
    std::vector<StructMember> members;
    if (consume(TokenKind::LeftBrace)) {
        while (!consume(TokenKind::RightBrace)) {
            if (!startsTypeName(TypeContext::Cast))
                throw error("struct parse error");
            std::unique_ptr<TypeName> memberType = parseTypeName();
            if (!at(TokenKind::Identifier))
                throw error("fieldname expected");
            members.push_back(StructMember{std::move(memberType), m_lexer.text().toString()});
            m_lexer.advance();
            expect(TokenKind::Semicolon, "';' expected");
        }
    } else if (tag.isEmpty()) {
        throw error("struct parse error");
    }
    return makeType<StructType>(tag, std::move(members));
}

// register-type ::= 'register' integer '{' (identifier ':' integer ':' integer ';')* '}'
// the size in bytes, then per field its name, bit size and bit offset.
std::unique_ptr<TypeName> ParseRun::parseRegisterType()
{
    m_lexer.advance();
    if (!atInteger())
        throw error("size expected");
    const int64_t size = m_lexer.integerValue();
    m_lexer.advance();
    expect(TokenKind::LeftBrace, "'{' expected");
    std::vector<RegisterField> fields;
    while (!consume(TokenKind::RightBrace)) {
        if (!at(TokenKind::Identifier))
            throw error("fieldname expected");
        RegisterField field{m_lexer.text().toString(), 0, 0};
        m_lexer.advance();
        expect(TokenKind::Colon, "bitsize expected");
        field.bitSize = parseIntegerAfterColon();
        expect(TokenKind::Colon, "bitoffset expected");
        field.bitOffset = parseIntegerAfterColon();
        expect(TokenKind::Semicolon, "';' expected");
        fields.push_back(field);
    }
    return makeType<RegisterType>(size, std::move(fields));
}

int64_t ParseRun::parseIntegerAfterColon()
{
    if (!atInteger())
        throw error("integer must follow ':'");
    const int64_t value = m_lexer.integerValue();
    m_lexer.advance();
    return value;
}

} // namespace

ExpressionParser::ExpressionParser(std::unique_ptr<Lexer> lexer)
    : m_lexer(std::move(lexer))
{}

ExpressionParser::~ExpressionParser() = default;

std::unique_ptr<Expression> ExpressionParser::parse(const QString &text)
{
    if (text.isEmpty())
        return nullptr;
    m_lexer->setInput(text);
    return ParseRun(*this, *m_lexer).parseExpression();
}

SimpleExpressionParser::SimpleExpressionParser()
    : ExpressionParser(std::make_unique<CStyleLexer>())
{}

ExprValue SimpleExpressionParser::scopedNameValue(const QStringList &names, bool)
{
    throw ParserException(names.join(QStringLiteral("::")) + QStringLiteral(" symbol not found"));
}

ExprValue SimpleExpressionParser::nameValue(const QString &name)
{
    throw ParserException(name + QStringLiteral(" symbol not found"));
}

ExprValue SimpleExpressionParser::registerValue(const QString &name)
{
    throw ParserException(name + QStringLiteral("unknown register"));
}

bool SimpleExpressionParser::isTypeName(const QString &)
{
    return false;
}

ExprValue SimpleExpressionParser::castValue(const ExprValue &, const TypeName &)
{
    throw error("cannot cast");
}

bool SimpleExpressionParser::isPointer(const ExprValue &)
{
    return false;
}

ExprValue SimpleExpressionParser::objectValue(const ExprValue &)
{
    throw error("cannot dereference");
}

ExprValue SimpleExpressionParser::dereference(const ExprValue &, const ExprValue &)
{
    throw error("cannot dereference");
}

ExprValue SimpleExpressionParser::memberValue(const ExprValue &, const Expression &)
{
    throw error("cannot dereference");
}

ExprValue SimpleExpressionParser::addressOf(const ExprValue &)
{
    throw error("addressof not implemented");
}

ExprValue SimpleExpressionParser::sizeOf(const ExprValue &)
{
    throw error("sizeof expression not implemented");
}

ExprValue SimpleExpressionParser::sizeOfType(const TypeName &)
{
    throw error("sizeof(typename) not implemented");
}

ExprValue SimpleExpressionParser::addressOfLine(const QString &, int64_t)
{
    throw error("addressof not implemented");
}

ExprValue SimpleExpressionParser::pointerArithmetic(const ExprValue &, const ExprValue &)
{
    throw error("addressof not implemented");
}

ExprValue SimpleExpressionParser::assign(const ExprValue &, const ExprValue &)
{
    throw error("this symbol not found");
}

ExprValue SimpleExpressionParser::call(const ExprValue &, const std::vector<ExprValue> &)
{
    throw error("function calling not implemented");
}

} // namespace ldweave
