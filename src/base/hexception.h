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

private:
    std::string m_message;
    std::string m_detail;
};

} // namespace ldweave
