// ScriptStream: the linker script's text on its way to the output. Statements are formatted
// straight into one reserved byte buffer as UTF-8, which is handed to the device in large
// blocks, so no statement is first built as a string of its own.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringBuilder>
#include <QStringView>

#include <cstddef>

class QIODevice;

namespace ldweave {

class ScriptStream
{
public:
    /// Text written goes to device in blocks of about kBlockSize bytes and at flush(). Without
    /// a device everything is kept for text().
    explicit ScriptStream(QIODevice *device = nullptr);
    ScriptStream(const ScriptStream &) = delete;
    ScriptStream &operator=(const ScriptStream &) = delete;
    ~ScriptStream();

    ScriptStream &operator<<(QStringView text);
    ScriptStream &operator<<(const QString &text) { return *this << QStringView(text); }
    /// Text of the program's own, ASCII.
    ScriptStream &operator<<(QLatin1StringView text);
    ScriptStream &operator<<(const char *text) { return *this << QLatin1StringView(text); }
    ScriptStream &operator<<(char c)
    {
        *room(1) = c;
        ++m_size;
        return *this;
    }
    /// A "%" concatenation: its pieces are copied into a scratch line reused from call to call
    /// and the line is encoded in one go, so nothing is allocated per line.
    template <typename A, typename B> ScriptStream &operator<<(const QStringBuilder<A, B> &text)
    {
        using Concatenable = QConcatenable<QStringBuilder<A, B>>;
        const qsizetype length = Concatenable::size(text);
        if (m_line.size() < length)
            m_line.resize(length);
        QChar *const start = m_line.data();
        QChar *end = start;
        Concatenable::appendTo(text, end);
        return *this << QStringView(start, end - start);
    }

    /// Hands everything buffered to the device; does nothing without one.
    void flush();
    /// Everything written, when there is no device.
    QByteArray text() const { return m_buffer.left(m_size); }

    /// Bytes buffered before the device gets them.
    static constexpr qsizetype kBlockSize = qsizetype(256) * 1024;

private:
    /// Room for count more bytes at the end of the buffer.
    char *room(qsizetype count)
    {
        return m_size + count <= m_capacity ? m_data + m_size : makeRoom(count);
    }
    /// Flushes or grows the buffer so that count more bytes fit.
    char *makeRoom(qsizetype count);

    QIODevice *m_device; ///< not owned: the output, alive as long as the stream; may be null
    /// The buffer; its size is the capacity, and only the first m_size bytes hold text. Its
    /// other bytes are never initialised, so pages a short script never reaches cost nothing.
    QByteArray m_buffer;
    char *m_data = nullptr; ///< not owned: m_buffer's bytes
    qsizetype m_capacity = 0;
    qsizetype m_size = 0;
    QString m_line; ///< scratch for one concatenation; only grows
};

} // namespace ldweave
