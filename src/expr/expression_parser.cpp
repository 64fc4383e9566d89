// The expression grammar: precedence climbing over the binary levels -4 (",") to 9 ("*") and the
// unary and primary forms. Every node is held by a std::unique_ptr from the moment it is built, so
// a syntax error part-way releases everything built so far.
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

/// One parse of one text: the grammar functions over the parser's lexer.
class ParseRun
{
public:
    explicit ParseRun(Lexer &lexer)
        : m_lexer(lexer)
    {}

    std::unique_ptr<Expression> parseExpression() { return parseBinary(kLowestLevel); }

private:
    // parseBinary, parseUnary and parsePrefix recurse up to kMaxExpressionDepth times together.
    // The large functions are marked noinline so that none is inlined into a recursive one:
    // inlined, they made one level of nesting cost kilobytes of stack in the sanitizer build.

    /// Builds a node and refuses a tree higher than kMaxExpressionDepth.
    template <typename Node, typename... Args>
    [[gnu::noinline]] std::unique_ptr<Expression> make(Args &&...args)
    {
        std::unique_ptr<Expression> node = std::make_unique<Node>(std::forward<Args>(args)...);
        if (node->height() > kMaxExpressionDepth)
            throw error("expression nested too deeply");
        return node;
    }

    bool at(TokenKind kind) const { return m_lexer.kind() == kind; }
    void expect(TokenKind kind, const char *message)
    {
        if (!at(kind))
            throw error(message);
        m_lexer.advance();
    }

    std::unique_ptr<Expression> parseBinary(int minLevel);
    [[gnu::noinline]] std::unique_ptr<Expression>
    combine(TokenKind op, std::unique_ptr<Expression> left, std::unique_ptr<Expression> right);
    std::unique_ptr<Expression> parseUnary();
    std::unique_ptr<Expression> parsePrefix();
    [[gnu::noinline]] std::unique_ptr<Expression> parsePrimary();

    Lexer &m_lexer;
    int m_depth = 0; ///< parse functions active now; bounded by kMaxExpressionDepth
};

// Decision: the forms that stand for a program object are refused where the parser meets them:
// names, registers, "::", "sizeof", "addressof", casts, "&", "*", "++", "--", subscripts, member
// accesses and calls, and (in combine) the assignments. Their value could only be an error, and
// every operator evaluates all its operands, so the text is "not valid" either way; refusing them
// early needs no node classes or type names that nothing could use.
ParserException programObjectsNotSupported()
{
    return error("program objects not supported");
}

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
    default:
        // The assignments, ">>>", ">>>=", "?" and ",": recognised, but no node exists for them.
        throw error("operator not supported");
    }
}

// unary ::= prefix
// A postfix operator after it ("[", ".", "->", "(", "++", "--") needs a program object.
std::unique_ptr<Expression> ParseRun::parseUnary()
{
    const DepthGuard guard(m_depth);
    std::unique_ptr<Expression> operand = parsePrefix();
    if (at(TokenKind::LeftBracket) || at(TokenKind::Dot) || at(TokenKind::Arrow)
        || at(TokenKind::LeftParen) || at(TokenKind::Increment) || at(TokenKind::Decrement))
        throw programObjectsNotSupported();
    return operand;
}

// prefix ::= ('~' | '!' | '-' | '+') unary | '(' expression ')' | primary
std::unique_ptr<Expression> ParseRun::parsePrefix()
{
    switch (m_lexer.kind()) {
    case TokenKind::LeftParen: {
        m_lexer.advance();
        std::unique_ptr<Expression> inner = parseExpression();
        expect(TokenKind::RightParen, "')' expected");
        return inner;
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
    default:
        return parsePrimary();
    }
}

// primary ::= integer | float | string
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
    case TokenKind::Identifier:
    case TokenKind::Register:
    case TokenKind::Scope:
    case TokenKind::BitAnd:
    case TokenKind::Multiply:
    case TokenKind::Increment:
    case TokenKind::Decrement:
        throw programObjectsNotSupported();
    default:
        throw error("expression expected");
    }
    m_lexer.advance();
    return primary;
}

} // namespace

SimpleExpressionParser::SimpleExpressionParser()
    : m_lexer(std::make_unique<CStyleLexer>())
{}

SimpleExpressionParser::~SimpleExpressionParser() = default;

std::unique_ptr<Expression> SimpleExpressionParser::parse(const QString &text)
{
    if (text.isEmpty())
        return nullptr;
    m_lexer->setInput(text);
    return ParseRun(*m_lexer).parseExpression();
}

bool SimpleExpressionParser::parsedWholeText() const
{
    return m_lexer->kind() == TokenKind::EndOfInput;
}

} // namespace ldweave
