// HException: the error of the driver, the loaders and the writer. It ends the run; the entry
// point prints its message after "error: ", removes the output file and exits with status 1.
#pragma once

#include <QString>

#include <string>

namespace ldweave {

class HException
{
public:
    explicit HException(std::string message) : m_message(std::move(message)) {}
    explicit HException(const QString &message) : m_message(message.toLocal8Bit().toStdString()) {}

    /// The message as 8-bit text, complete as thrown.
    const std::string &message() const { return m_message; }

private:
    std::string m_message;
};

} // namespace ldweave
