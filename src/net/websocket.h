// The WebSocket protocol (RFC 6455) as far as the game relay needs it: the opening handshake
// of a browser's request, and frames both ways. The player page's WebSockets carry a game's
// TCP bytes, so only binary data counts; text messages are ignored as Ruffle ignores them.
// No socket here: the relay and the tests feed bytes in and send what comes out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin {

// A browser's opening request, "GET /path HTTP/1.1" and its fields.
struct WebSocketRequest {
    std::string path;
    std::string key;     // Sec-WebSocket-Key
    std::string origin;  // Origin, as the browser wrote it
};

// The longest opening request taken: browsers send well under 2 KiB.
inline constexpr std::size_t kMaxWebSocketRequestBytes = 8192;

enum class RequestParse { kIncomplete, kComplete, kInvalid };

// Reads an opening request from the start of `bytes`. kComplete sets `out` and `consumed`
// (the bytes of the request, to its empty line); kInvalid says why in `error`: not a GET,
// not HTTP/1.1, no upgrade to websocket, version other than 13, a key that is not 16 bytes
// in base64, or more than kMaxWebSocketRequestBytes without the end.
RequestParse ParseWebSocketRequest(std::string_view bytes, WebSocketRequest& out,
                                   std::size_t& consumed, std::string& error);

// The Sec-WebSocket-Accept value for a key.
std::string WebSocketAccept(std::string_view key);
// The server's whole answer that opens the connection.
std::string WebSocketOpening(std::string_view key);
// An answer that refuses it ("403 Forbidden"), the connection closing after it.
std::string WebSocketRefusal(int status, std::string_view reason);

enum class WebSocketOpcode : std::uint8_t {
    kContinuation = 0x0,
    kText = 0x1,
    kBinary = 0x2,
    kClose = 0x8,
    kPing = 0x9,
    kPong = 0xA,
};

// Close codes the relay uses.
inline constexpr std::uint16_t kCloseNormal = 1000;
inline constexpr std::uint16_t kCloseGoingAway = 1001;
inline constexpr std::uint16_t kCloseProtocolError = 1002;
inline constexpr std::uint16_t kCloseTooMuchData = 1009;
inline constexpr std::uint16_t kCloseServerError = 1011;

// One whole frame. A client's frames are masked (with `maskKey`), a server's are not.
std::string EncodeWebSocketFrame(WebSocketOpcode opcode, std::string_view payload,
                                 bool masked = false, std::uint32_t maskKey = 0);
// A close frame with its code.
std::string EncodeWebSocketClose(std::uint16_t code, bool masked = false,
                                 std::uint32_t maskKey = 0);

// Reads frames as they arrive, in pieces of any size. Binary payload is appended to `data`
// unmasked; a ping sets `pinged` and `ping` (a pong answers the latest); a close frame sets
// `closed`.
// A violation of the protocol (a client frame without mask, a server frame with one, a
// control frame that is fragmented or longer than 125 bytes, reserved bits, an unknown
// opcode, a continuation without a start) sets `error`, after which nothing more is read.
class WebSocketFrameReader {
public:
    explicit WebSocketFrameReader(bool fromClient) : m_bFromClient(fromClient) {}

    struct Output {
        std::string data;
        bool pinged = false;
        std::string ping;
        bool closed = false;
        std::uint16_t closeCode = 0;
        std::string error;
    };

    // Takes all of `bytes` (after a close or an error, ignores them).
    void Feed(std::string_view bytes, Output& out);

private:
    bool ReadHeader(Output& out);
    void TakePayload(std::string_view& bytes, Output& out);
    void EndFrame(Output& out);

    bool m_bFromClient;
    bool m_bDone = false;
    std::string m_header;  // the header bytes of the frame begun
    bool m_bInHeader = true;
    WebSocketOpcode m_opcode = WebSocketOpcode::kBinary;
    bool m_bFinal = true;
    bool m_bMasked = false;
    std::uint8_t m_mask[4] = {};
    std::uint64_t m_remaining = 0;
    std::uint64_t m_offset = 0;  // into the payload, for the mask
    std::string m_control;       // a control frame's payload
    // The message under way: binary, text (dropped), or none.
    enum class Message { kNone, kBinary, kText } m_message = Message::kNone;
};

}  // namespace tavrin
