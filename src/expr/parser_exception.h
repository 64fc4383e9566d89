// ParserException: the one error of the expression subsystem. Lexer, parser and evaluation throw
// it; the evaluation entry points catch it and report "not valid" instead.
#pragma once

#include <QString>

namespace ldweave {

class ParserException
{
public:
    explicit ParserException(const QString &message)
        : m_message(message)
    {}

    /// The message, complete as thrown.
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

} // namespace ldweave
