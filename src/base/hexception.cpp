#include "base/hexception.h"

#include "base/file_system.h"

namespace ldweave {

// Messages name paths, whose bytes pathToBytes restores; any other text is plain UTF-8.
HException::HException(const QString &message, const QString &detail)
    : m_message(pathToBytes(message).toStdString())
    , m_detail(pathToBytes(detail).toStdString())
{}

HException &HException::at(const QString &position)
{
    m_position = pathToBytes(position).toStdString();
    return *this;
}

} // namespace ldweave
