// ASCII, by far the most common text in a script, is narrowed straight into the buffer, sixteen
// or eight characters at a time where SSE2 is available; a piece holding anything else is
// converted whole by Qt's UTF-8 encoder, as a text stream would.
#include "placement/script_stream.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ldweave {

namespace {

// Writes the length characters at in to out as bytes; false (with out partly written) when one
// of them is not ASCII.
bool narrowAscii(const char16_t *in, qsizetype length, char *out)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    if (length >= 8) {
        const __m128i highBits = _mm_set1_epi16(static_cast<short>(0xFF80));
        const auto narrowEight = [&](qsizetype at) {
            const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + at));
            const __m128i ascii
                = _mm_cmpeq_epi16(_mm_and_si128(chars, highBits), _mm_setzero_si128());
            _mm_storel_epi64(reinterpret_cast<__m128i *>(out + at), _mm_packus_epi16(chars, chars));
            return _mm_movemask_epi8(ascii) == 0xFFFF;
        };
        // Sixteen at a time while they last: two loads, one test, one store.
        for (; i + 16 <= length; i += 16) {
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
            const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i + 8));
            const __m128i ascii = _mm_cmpeq_epi16(
                _mm_and_si128(_mm_or_si128(low, high), highBits), _mm_setzero_si128());
            if (_mm_movemask_epi8(ascii) != 0xFFFF)
                return false;
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_packus_epi16(low, high));
        }
        for (; i + 8 <= length; i += 8) {
            if (!narrowEight(i))
                return false;
        }
        // The last few characters go with the seven before them, written a second time.
        return i == length || narrowEight(length - 8);
    }
#endif
    char16_t seen = 0;
    for (; i < length; ++i) {
        seen |= in[i];
        out[i] = static_cast<char>(in[i]);
    }
    return seen < 0x80;
}

} // namespace

ScriptStream::ScriptStream(QIODevice *device)
    : m_device(device)
{
    m_buffer.resize(kBlockSize);
    m_data = m_buffer.data();
    m_capacity = m_buffer.size();
}

ScriptStream::~ScriptStream() = default;

char *ScriptStream::makeRoom(qsizetype count)
{
    flush();
    if (m_size + count > m_capacity) {
        m_buffer.resize(std::max(m_capacity * 2, m_size + count));
        m_data = m_buffer.data();
        m_capacity = m_buffer.size();
    }
    return m_data + m_size;
}

void ScriptStream::flush()
{
    if (!m_device || m_size == 0)
        return;
    m_device->write(m_data, m_size);
    m_size = 0;
}

ScriptStream &ScriptStream::operator<<(QStringView text)
{
    const qsizetype length = text.size();
    if (narrowAscii(text.utf16(), length, room(length))) {
        m_size += length;
    } else {
        const QByteArray encoded = text.toUtf8();
        std::memcpy(room(encoded.size()), encoded.constData(), size_t(encoded.size()));
        m_size += encoded.size();
    }
    return *this;
}

ScriptStream &ScriptStream::operator<<(QLatin1StringView text)
{
    const qsizetype length = text.size();
    std::memcpy(room(length), text.data(), size_t(length));
    m_size += length;
    return *this;
}

} // namespace ldweave
