#include "net/websocket.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>

#include "net/http_parse.h"

namespace tavrin {

namespace {

constexpr std::string_view kAcceptGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// True when a comma-separated field value holds `token` (case-insensitive).
bool HasToken(std::string_view value, std::string_view token) {
    const std::string lower = Lower(value);
    std::string_view rest = lower;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        if (Trim(rest.substr(0, comma)) == token) {
            return true;
        }
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return false;
}

// 16 bytes in base64 are 22 characters and "==".
bool IsWebSocketKey(std::string_view key) {
    if (key.size() != 24 || key.substr(22) != "==") {
        return false;
    }
    return std::all_of(key.begin(), key.begin() + 22, [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '+' || c == '/';
    });
}

bool IsControl(WebSocketOpcode opcode) {
    return (static_cast<std::uint8_t>(opcode) & 0x8) != 0;
}

}  // namespace

RequestParse ParseWebSocketRequest(std::string_view bytes, WebSocketRequest& out,
                                   std::size_t& consumed, std::string& error) {
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        if (bytes.size() >= kMaxWebSocketRequestBytes) {
            error = "the request is too long";
            return RequestParse::kInvalid;
        }
        return RequestParse::kIncomplete;
    }
    if (end + 4 > kMaxWebSocketRequestBytes) {
        error = "the request is too long";
        return RequestParse::kInvalid;
    }
    std::string_view head = bytes.substr(0, end + 2);
    const std::size_t lineEnd = head.find("\r\n");
    const std::string_view line = head.substr(0, lineEnd);
    head.remove_prefix(lineEnd + 2);
    const std::size_t firstSpace = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    if (line.substr(0, firstSpace) != "GET" || firstSpace == lastSpace ||
        line.substr(lastSpace + 1) != "HTTP/1.1") {
        error = "not a GET request of HTTP/1.1";
        return RequestParse::kInvalid;
    }
    WebSocketRequest request;
    request.path = std::string(line.substr(firstSpace + 1, lastSpace - firstSpace - 1));
    bool upgrade = false;
    bool connectionUpgrade = false;
    bool version13 = false;
    while (!head.empty()) {
        const std::size_t next = head.find("\r\n");
        const std::string_view field = head.substr(0, next);
        head.remove_prefix(next + 2);
        const std::size_t colon = field.find(':');
        if (colon == std::string_view::npos) {
            error = "a field without a colon";
            return RequestParse::kInvalid;
        }
        const std::string name = Lower(Trim(field.substr(0, colon)));
        const std::string_view value = Trim(field.substr(colon + 1));
        if (name == "upgrade") {
            upgrade = HasToken(value, "websocket");
        } else if (name == "connection") {
            connectionUpgrade = HasToken(value, "upgrade");
        } else if (name == "sec-websocket-version") {
            version13 = value == "13";
        } else if (name == "sec-websocket-key") {
            request.key = std::string(value);
        } else if (name == "origin") {
            request.origin = std::string(value);
        }
    }
    if (!upgrade || !connectionUpgrade) {
        error = "not an upgrade to a WebSocket";
    } else if (!version13) {
        error = "not version 13 of the WebSocket protocol";
    } else if (!IsWebSocketKey(request.key)) {
        error = "no valid Sec-WebSocket-Key";
    }
    if (!error.empty()) {
        return RequestParse::kInvalid;
    }
    out = std::move(request);
    consumed = end + 4;
    return RequestParse::kComplete;
}

std::string WebSocketAccept(std::string_view key) {
    const std::string input = std::string(key) + std::string(kAcceptGuid);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest, &length, EVP_sha1(), nullptr) != 1) {
        return {};
    }
    return Base64Encode(std::string(reinterpret_cast<const char*>(digest), length));
}

std::string WebSocketOpening(std::string_view key) {
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           WebSocketAccept(key) + "\r\n\r\n";
}

std::string WebSocketRefusal(int status, std::string_view reason) {
    return "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) +
           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

std::string EncodeWebSocketFrame(WebSocketOpcode opcode, std::string_view payload, bool masked,
                                 std::uint32_t maskKey) {
    std::string frame;
    frame.reserve(payload.size() + 14);
    frame += static_cast<char>(0x80 | static_cast<std::uint8_t>(opcode));
    const char maskBit = masked ? static_cast<char>(0x80) : 0;
    const std::uint64_t size = payload.size();
    if (size < 126) {
        frame += static_cast<char>(maskBit | static_cast<char>(size));
    } else if (size <= 0xFFFF) {
        frame += static_cast<char>(maskBit | 126);
        frame += static_cast<char>(size >> 8);
        frame += static_cast<char>(size & 0xFF);
    } else {
        frame += static_cast<char>(maskBit | 127);
        for (int shift = 56; shift >= 0; shift -= 8) {
            frame += static_cast<char>((size >> shift) & 0xFF);
        }
    }
    if (!masked) {
        frame.append(payload);
        return frame;
    }
    const char mask[4] = {static_cast<char>(maskKey >> 24), static_cast<char>(maskKey >> 16),
                          static_cast<char>(maskKey >> 8), static_cast<char>(maskKey)};
    frame.append(mask, 4);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        frame += static_cast<char>(payload[i] ^ mask[i % 4]);
    }
    return frame;
}

std::string EncodeWebSocketClose(std::uint16_t code, bool masked, std::uint32_t maskKey) {
    const char payload[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    return EncodeWebSocketFrame(WebSocketOpcode::kClose, std::string_view(payload, 2), masked,
                                maskKey);
}

void WebSocketFrameReader::Feed(std::string_view bytes, Output& out) {
    while (!m_bDone && !bytes.empty()) {
        if (m_bInHeader) {
            m_header += bytes.front();
            bytes.remove_prefix(1);
            if (ReadHeader(out) && m_remaining == 0) {
                EndFrame(out);
            }
            continue;
        }
        TakePayload(bytes, out);
        if (m_remaining == 0) {
            EndFrame(out);
        }
    }
}

// True once the header of the frame begun is whole and valid.
bool WebSocketFrameReader::ReadHeader(Output& out) {
    if (m_header.size() < 2) {
        return false;
    }
    const auto byte = [this](std::size_t i) { return static_cast<std::uint8_t>(m_header[i]); };
    const std::uint8_t lengthCode = byte(1) & 0x7F;
    const std::size_t lengthBytes = lengthCode == 126 ? 2 : lengthCode == 127 ? 8 : 0;
    const bool masked = (byte(1) & 0x80) != 0;
    const std::size_t headerSize = 2 + lengthBytes + (masked ? 4 : 0);
    if (m_header.size() < headerSize) {
        return false;
    }
    m_bFinal = (byte(0) & 0x80) != 0;
    m_opcode = static_cast<WebSocketOpcode>(byte(0) & 0x0F);
    std::uint64_t length = lengthCode;
    if (lengthBytes > 0) {
        length = 0;
        for (std::size_t i = 0; i < lengthBytes; ++i) {
            length = (length << 8) | byte(2 + i);
        }
    }
    const std::uint8_t op = static_cast<std::uint8_t>(m_opcode);
    if ((byte(0) & 0x70) != 0) {
        out.error = "reserved bits set";
    } else if (masked != m_bFromClient) {
        out.error = m_bFromClient ? "a client frame without mask" : "a server frame with a mask";
    } else if ((op > 0x2 && op < 0x8) || op > 0xA) {
        out.error = "an unknown opcode";
    } else if (IsControl(m_opcode) && (!m_bFinal || length > 125)) {
        out.error = "a control frame fragmented or longer than 125 bytes";
    } else if (m_opcode == WebSocketOpcode::kContinuation && m_message == Message::kNone) {
        out.error = "a continuation without a message";
    } else if (!IsControl(m_opcode) && m_opcode != WebSocketOpcode::kContinuation &&
               m_message != Message::kNone) {
        out.error = "a new message before the last one ended";
    } else if (lengthBytes == 8 && (length >> 63) != 0) {
        out.error = "a length out of range";
    }
    if (!out.error.empty()) {
        m_bDone = true;
        return false;
    }
    m_bMasked = masked;
    if (masked) {
        for (std::size_t i = 0; i < 4; ++i) {
            m_mask[i] = byte(2 + lengthBytes + i);
        }
    }
    if (m_opcode == WebSocketOpcode::kBinary) {
        m_message = Message::kBinary;
    } else if (m_opcode == WebSocketOpcode::kText) {
        m_message = Message::kText;
    }
    m_remaining = length;
    m_offset = 0;
    m_control.clear();
    m_header.clear();
    m_bInHeader = false;
    return true;
}

void WebSocketFrameReader::TakePayload(std::string_view& bytes, Output& out) {
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_remaining, bytes.size()));
    std::string piece(bytes.substr(0, take));
    bytes.remove_prefix(take);
    m_remaining -= take;
    if (m_bMasked) {
        for (char& c : piece) {
            c = static_cast<char>(c ^ m_mask[m_offset++ % 4]);
        }
    }
    if (IsControl(m_opcode)) {
        m_control += piece;
    } else if (m_message == Message::kBinary) {
        out.data += piece;
    }
}

void WebSocketFrameReader::EndFrame(Output& out) {
    m_bInHeader = true;
    switch (m_opcode) {
        case WebSocketOpcode::kPing:
            out.pinged = true;
            out.ping = m_control;
            break;
        case WebSocketOpcode::kClose:
            out.closed = true;
            out.closeCode =
                m_control.size() >= 2
                    ? static_cast<std::uint16_t>((static_cast<std::uint8_t>(m_control[0]) << 8) |
                                                 static_cast<std::uint8_t>(m_control[1]))
                    : kCloseNormal;
            m_bDone = true;
            break;
        case WebSocketOpcode::kPong:
            break;
        default:
            if (m_bFinal) {
                m_message = Message::kNone;
            }
    }
}

}  // namespace tavrin
