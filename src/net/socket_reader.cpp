// The socket reader: a ring of received bytes, handed out as bytes, lines or pieces.
#include <algorithm>
#include <cstring>

#include "net/socket_transport.h"

namespace tavrin {

namespace {
thread_local int t_lastSocketError = 0;
constexpr int kNoByte = 256;
}  // namespace

int GetLastSocketError() {
    return t_lastSocketError;
}

void SetLastSocketError(int error) {
    t_lastSocketError = error;
}

long SendAll(SocketHandle socket, const char* buffer, long length, int timeoutMs) {
    long sent = 0;
    while (sent < length) {
        const long n = SendWithTimeout(socket, buffer + sent, length - sent, timeoutMs);
        if (n < 0) {
            break;
        }
        sent += n;
    }
    return sent;
}

SocketReader* CreateSocketReader(SocketHandle socket) {
    if (socket == kInvalidSocket) {
        return nullptr;
    }
    auto* reader = new SocketReader;
    reader->socket = socket;
    reader->data = std::make_unique<unsigned char[]>(kReaderSize);  // zero-filled
    return reader;
}

void FreeSocketReader(SocketReader* reader) {
    delete reader;
}

namespace {

long Receive(SocketReader* reader, char* buffer, int length, int timeoutMs) {
    return reader->receive != nullptr
               ? reader->receive(reader->receiveContext, buffer, length, timeoutMs)
               : RecvWithTimeout(reader->socket, buffer, length, timeoutMs);
}

}  // namespace

int ReaderFill(SocketReader* reader, int timeoutMs) {
    // Received straight into the ring's free space up to its end.
    const int room = reader->size - reader->count;
    const int contiguous = std::min(room, reader->size - reader->writePosition);
    char* free = reinterpret_cast<char*>(reader->data.get()) + reader->writePosition;
    const long got = Receive(reader, free, contiguous, timeoutMs);
    if (got > 0) {
        reader->writePosition = (reader->writePosition + static_cast<int>(got)) % reader->size;
        reader->count += static_cast<int>(got);
    }
    return static_cast<int>(got);
}

int ReaderGetByte(SocketReader* reader, int timeoutMs) {
    if (reader->count == 0 && ReaderFill(reader, timeoutMs) <= 0) {
        return kNoByte;
    }
    const int byte = reader->data[reader->readPosition];
    reader->readPosition = (reader->readPosition + 1) % reader->size;
    --reader->count;
    return byte;
}

int ReaderReadLine(SocketReader* reader, char* line, int& status, int timeoutMs) {
    status = 1;
    int stored = 0;
    while (stored < kReaderLineSize - 1) {
        const int byte = ReaderGetByte(reader, timeoutMs);
        if (byte == kNoByte) {
            line[stored] = '\0';
            status = -1;
            return -1;
        }
        if (byte == '\n') {
            if (stored > 0 && line[stored - 1] == '\r') {
                --stored;
            }
            status = 0;
            break;
        }
        line[stored++] = static_cast<char>(byte);
    }
    line[stored] = '\0';
    return 0;
}

int ReaderReadChunk(SocketReader* reader, int timeoutMs, char* buffer) {
    return ReaderReadUpTo(reader, timeoutMs, buffer, kReaderSize);
}

int ReaderReadUpTo(SocketReader* reader, int timeoutMs, char* buffer, int maxBytes) {
    if (maxBytes <= 0) {
        return 0;
    }
    if (reader->count == 0) {
        // Nothing held: straight from the socket into the caller's buffer, as much as it
        // takes. A body moves to its file in large pieces without passing through the ring.
        const long got = Receive(reader, buffer, maxBytes, timeoutMs);
        return got > 0 ? static_cast<int>(got) : 0;
    }
    const int n = std::min(reader->count, maxBytes);
    // At most two pieces: up to the end of the ring, then from its start.
    const int first = std::min(n, reader->size - reader->readPosition);
    std::memcpy(buffer, reader->data.get() + reader->readPosition, static_cast<std::size_t>(first));
    std::memcpy(buffer + first, reader->data.get(), static_cast<std::size_t>(n - first));
    reader->readPosition = (reader->readPosition + n) % reader->size;
    reader->count -= n;
    return n;
}

}  // namespace tavrin
