// Most attribute values are plain ASCII, for which Latin-1 and UTF-8 agree byte for byte. Such
// texts take the direct Latin-1 conversion; the general local 8-bit codec, which sets up a
// decoder for every call, is kept for texts that hold other bytes.
#include "xml/text_bytes.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace ldweave {

namespace {

// Whether no byte has its top bit set, looked at eight bytes at a time.
bool isAscii(const char *data, size_t size)
{
    uint64_t seen = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, 8);
        seen |= word;
    }
    for (; i < size; ++i)
        seen |= static_cast<unsigned char>(data[i]);
    return (seen & UINT64_C(0x8080808080808080)) == 0;
}

} // namespace

QString fromBytes(const std::string &bytes)
{
    if (isAscii(bytes.data(), bytes.size()))
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
