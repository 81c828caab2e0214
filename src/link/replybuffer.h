#pragma once

#include <QByteArrayView>
#include <array>
#include <cstring>

// The bytes of the last single receive on the command connection, read by every parser as a
// NUL-terminated byte string. It keeps its content until the next receive, even after the
// connection has closed.
class ReplyBuffer
{
public:
    static constexpr std::size_t Size = 2048;
    // One receive fills at most this much, so the terminator always stays.
    static constexpr std::size_t ReceiveLimit = Size - 1;

    void clear() { bytes.fill(0); }
    char* data() { return bytes.data(); }
    const char* data() const { return bytes.data(); }

    // The content up to the first zero byte.
    QByteArrayView text() const { return QByteArrayView(bytes.data(), std::strlen(bytes.data())); }
    // Byte-exact, case-sensitive search in text().
    bool contains(const char* marker) const { return std::strstr(bytes.data(), marker) != nullptr; }

private:
    std::array<char, Size> bytes{};
};
