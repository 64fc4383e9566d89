// Most attribute values are plain ASCII, for which Latin-1 and UTF-8 agree byte for byte. Such
// texts take the direct Latin-1 conversion; the general local 8-bit codec, which sets up a
// decoder for every call, is kept for texts that hold other bytes.
#include "xml/text_bytes.h"

#include <QByteArray>

#include <algorithm>

namespace ldweave {

QString fromBytes(const std::string &bytes)
{
    const auto isAscii = [](char byte) { return static_cast<unsigned char>(byte) < 0x80; };
    if (std::all_of(bytes.begin(), bytes.end(), isAscii))
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

std::string toBytes(const QString &text)
{
    const QChar *begin = text.constData();
    const QChar *end = begin + text.size();
    if (std::all_of(begin, end, [](QChar c) { return c.unicode() < 0x80; })) {
        std::string bytes(size_t(text.size()), '\0');
        std::transform(begin, end, bytes.begin(), [](QChar c) { return char(c.unicode()); });
        return bytes;
    }
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

} // namespace ldweave
