#include "xml/text_bytes.h"

#include <QByteArray>

namespace ldweave {

QString fromBytes(const std::string &bytes)
{
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

std::string toBytes(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

} // namespace ldweave
