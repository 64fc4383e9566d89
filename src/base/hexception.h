// HException: the error of the driver, the loaders and the writer. It ends the run; the entry
// point prints its message after "error: ", removes the output file and exits with status 1.
#pragma once

#include <QString>

#include <string>

namespace ldweave {

class HException
{
public:
    explicit HException(std::string message, std::string detail = std::string())
        : m_message(std::move(message))
        , m_detail(std::move(detail))
    {}
    explicit HException(const QString &message, const QString &detail = QString());

    /// The message as 8-bit text, complete as thrown.
    const std::string &message() const { return m_message; }
    /// A second line the entry point prints under -diagnostics, such as "path: reason" for a
    /// file the system refused; empty for none.
    const std::string &detail() const { return m_detail; }
    /// The "file:line" of the element the error is about, which the entry point puts before
    /// the message under -diagnostics; empty for none.
    const std::string &position() const { return m_position; }
    /// The same error about the element at position.
    HException &at(const QString &position);

private:
    std::string m_message;
    std::string m_detail;
    std::string m_position;
};

} // namespace ldweave
