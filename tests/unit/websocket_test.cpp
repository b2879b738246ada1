#include "net/websocket.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

std::string Request(const std::string& fields) {
    return "GET /k/t/abc HTTP/1.1\r\nHost: 127.0.0.1:1\r\n" + fields + "\r\n";
}

const std::string kGoodFields =
    "Upgrade: websocket\r\nConnection: keep-alive, Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
    "Origin: http://127.0.0.1:8080\r\n";

TEST(WebSocketRequest, ReadsABrowsersOpeningAndRefusesWhatIsNotOne) {
    const struct {
        const char* name;
        std::string bytes;
        RequestParse expected;
    } cases[] = {
        {"a browser's", Request(kGoodFields) + "\x81", RequestParse::kComplete},
        {"field names in any case",
         Request("upgrade: WebSocket\r\nconnection: upgrade\r\n"
                 "sec-websocket-key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                 "sec-websocket-version: 13\r\n"),
         RequestParse::kComplete},
        {"not yet whole", Request(kGoodFields).substr(0, 60), RequestParse::kIncomplete},
        {"a POST", "POST /x HTTP/1.1\r\n" + kGoodFields + "\r\n", RequestParse::kInvalid},
        {"HTTP/1.0", "GET /x HTTP/1.0\r\n" + kGoodFields + "\r\n", RequestParse::kInvalid},
        {"no upgrade",
         Request("Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                 "Sec-WebSocket-Version: 13\r\n"),
         RequestParse::kInvalid},
        {"version 8",
         Request("Upgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                 "Sec-WebSocket-Version: 8\r\n"),
         RequestParse::kInvalid},
        {"a short key",
         Request("Upgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: abc=\r\nSec-WebSocket-Version: 13\r\n"),
         RequestParse::kInvalid},
        {"a field without colon", Request(kGoodFields + "junk\r\n"), RequestParse::kInvalid},
        {"endless", "GET /x HTTP/1.1\r\n" + std::string(9000, 'a'), RequestParse::kInvalid},
    };
    for (const auto& c : cases) {
        WebSocketRequest request;
        std::size_t consumed = 0;
        std::string error;
        EXPECT_EQ(ParseWebSocketRequest(c.bytes, request, consumed, error), c.expected) << c.name;
        if (c.expected == RequestParse::kComplete) {
            EXPECT_EQ(request.path, "/k/t/abc") << c.name;
            EXPECT_EQ(c.bytes.substr(consumed), c.bytes.back() == '\x81' ? "\x81" : "") << c.name;
        } else if (c.expected == RequestParse::kInvalid) {
            EXPECT_FALSE(error.empty()) << c.name;
        }
    }
    WebSocketRequest request;
    std::size_t consumed = 0;
    std::string error;
    ParseWebSocketRequest(Request(kGoodFields), request, consumed, error);
    EXPECT_EQ(request.origin, "http://127.0.0.1:8080");
    // The example of RFC 6455, section 1.3.
    EXPECT_EQ(WebSocketAccept(request.key), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

std::string Frame(std::uint8_t first, std::string_view payload, bool masked = true) {
    std::string frame = EncodeWebSocketFrame(WebSocketOpcode::kBinary, payload, masked, 0x01020304);
    frame[0] = static_cast<char>(first);
    return frame;
}

TEST(WebSocketFrames, ReadInAnyPiecesTheyGiveTheBinaryBytesAndTheControlFrames) {
    const std::string big(70000, 'b');                                      // a 64-bit length
    const std::string stream = Frame(0x02, "fragm") + Frame(0x00, "ent") +  // one message
                               Frame(0x89, "are you there") +               // a ping between
                               Frame(0x80, "ed") + Frame(0x81, "text is ignored") +
                               Frame(0x82, std::string("\0\xff", 2)) + Frame(0x82, big) +
                               EncodeWebSocketClose(1001, true, 7) + Frame(0x82, "after close");
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, stream.size()}) {
        WebSocketFrameReader reader(true);
        WebSocketFrameReader::Output out;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            reader.Feed(std::string_view(stream).substr(at, piece), out);
        }
        EXPECT_EQ(out.data, "fragmented" + std::string("\0\xff", 2) + big) << piece;
        EXPECT_TRUE(out.pinged);
        EXPECT_EQ(out.ping, "are you there");
        EXPECT_TRUE(out.closed);
        EXPECT_EQ(out.closeCode, 1001);
        EXPECT_EQ(out.error, "");
    }
}

TEST(WebSocketFrames, AViolationStopsTheReading) {
    const struct {
        const char* name;
        std::string bytes;
        bool fromClient;
    } cases[] = {
        {"a client frame without mask", Frame(0x82, "x", false), true},
        {"a server frame with a mask", Frame(0x82, "x", true), false},
        {"reserved bits", Frame(0xC2, "x"), true},
        {"an unknown opcode", Frame(0x83, "x"), true},
        {"a fragmented ping", Frame(0x09, "x"), true},
        {"a long ping", Frame(0x89, std::string(126, 'p')), true},
        {"a continuation first", Frame(0x80, "x"), true},
        {"a new message inside one", Frame(0x02, "x") + Frame(0x82, "y"), true},
    };
    for (const auto& c : cases) {
        WebSocketFrameReader reader(c.fromClient);
        WebSocketFrameReader::Output out;
        reader.Feed(c.bytes + Frame(0x82, "later", c.fromClient), out);
        EXPECT_FALSE(out.error.empty()) << c.name;
        EXPECT_EQ(out.data.find("later"), std::string::npos) << c.name;
    }
}

}  // namespace
}  // namespace tavrin
