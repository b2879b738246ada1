// The socket reader: a ring of received bytes, handed out as bytes, lines or pieces.
#include <algorithm>
#include <cstring>
#include <vector>

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

int ReaderFill(SocketReader* reader, int timeoutMs) {
    const int room = reader->size - reader->count;
    std::vector<char> scratch(static_cast<std::size_t>(room) + 1, '\0');
    const long got = RecvWithTimeout(reader->socket, scratch.data(), room, timeoutMs);
    for (long i = 0; i < got; ++i) {
        reader->data[reader->writePosition] = static_cast<unsigned char>(scratch[i]);
        reader->writePosition = (reader->writePosition + 1) % reader->size;
    }
    if (got > 0) {
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
    if (reader->count == 0 && ReaderFill(reader, timeoutMs) <= 0) {
        return 0;
    }
    const int n = std::min(reader->count, kReaderSize);
    for (int i = 0; i < n; ++i) {
        buffer[i] = static_cast<char>(reader->data[reader->readPosition]);
        reader->readPosition = (reader->readPosition + 1) % reader->size;
    }
    reader->count -= n;
    return n;
}

}  // namespace tavrin
