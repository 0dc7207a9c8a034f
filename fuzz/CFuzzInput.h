#ifndef CFUZZINPUT_H
#define CFUZZINPUT_H

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// Reads typed values off the front of a fuzz input. A value the input is too
// short for reads as zero bytes, so every input, even an empty one, gives a
// full set of values and the fuzzer never has to learn a minimum length.
// Doubles are taken as raw bit patterns: NaN, infinities, subnormals and
// huge values come out as often as ordinary numbers.
class CFuzzInput
{
public:
    CFuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    size_t remaining() const { return m_size - m_pos; }

    template <typename T> T value()
    {
        static_assert(std::is_trivially_copyable<T>::value, "raw bytes only");
        unsigned char raw[sizeof(T)] = {};
        const size_t n = qMin(sizeof(T), remaining());
        if (n > 0)
            std::memcpy(raw, m_data + m_pos, n);
        m_pos += n;
        T out;
        std::memcpy(&out, raw, sizeof(T));
        return out;
    }

    bool flag() { return (value<quint8>() & 1) != 0; }

    // A length byte, then up to that many bytes (at most maxBytes).
    QByteArray bytes(size_t maxBytes)
    {
        const size_t wanted = qMin<size_t>(value<quint8>(), maxBytes);
        return take(qMin(wanted, remaining()));
    }

    // Everything not read yet.
    QByteArray rest() { return take(remaining()); }

private:
    QByteArray take(size_t n)
    {
        const QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), int(n));
        m_pos += n;
        return out;
    }

    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

#endif // CFUZZINPUT_H
