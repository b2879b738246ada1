#include "game/swf_info.h"

#include <zlib.h>

#include <string>

namespace tavrin {

namespace {

// The header fields, the stage rectangle (17 bytes at most), rate and count, and the first
// tag with FileAttributes fit well within this much of the body.
constexpr std::size_t kBodyBytesRead = 1024;
constexpr int kFileAttributesTag = 69;

bool Fail(std::string* error, const char* why) {
    if (error != nullptr) {
        *error = why;
    }
    return false;
}

// Inflates the start of a zlib stream; what it gives before the input ends is kept.
std::string InflateStart(std::string_view compressed, std::size_t wanted) {
    std::string out(wanted, '\0');
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return {};
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&stream, Z_SYNC_FLUSH);
    out.resize(rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR ? stream.total_out : 0);
    inflateEnd(&stream);
    return out;
}

// Bits from the most significant down, as SWF packs its rectangles.
class BitReader {
public:
    explicit BitReader(std::string_view bytes) : m_bytes(bytes) {}

    bool Read(int count, std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (m_bit / 8 >= m_bytes.size()) {
                return false;
            }
            const auto byte = static_cast<unsigned char>(m_bytes[m_bit / 8]);
            value = (value << 1) | ((byte >> (7 - m_bit % 8)) & 1u);
            ++m_bit;
        }
        return true;
    }
    bool ReadSigned(int count, std::int32_t& value) {
        std::uint32_t raw = 0;
        if (!Read(count, raw)) {
            return false;
        }
        const bool negative = count > 0 && (raw >> (count - 1)) & 1u;
        value = negative ? static_cast<std::int32_t>(raw | (~0u << (count - 1)))
                         : static_cast<std::int32_t>(raw);
        return true;
    }
    // The next whole byte's position.
    std::size_t AlignedByte() const { return (m_bit + 7) / 8; }

private:
    std::string_view m_bytes;
    std::size_t m_bit = 0;
};

unsigned Byte(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

unsigned Le16(std::string_view bytes, std::size_t at) {
    return Byte(bytes, at) | Byte(bytes, at + 1) << 8;
}

// The body after the 8-byte file header: stage, rate, count and the first tag.
bool ReadBody(std::string_view body, SwfInfo& out, std::string* error) {
    BitReader bits(body);
    std::uint32_t size = 0;
    std::int32_t edges[4] = {};
    if (!bits.Read(5, size)) {
        return Fail(error, "the movie ends before its stage");
    }
    for (std::int32_t& edge : edges) {
        if (!bits.ReadSigned(static_cast<int>(size), edge)) {
            return Fail(error, "the movie ends before its stage");
        }
    }
    const std::size_t at = bits.AlignedByte();
    if (body.size() < at + 4) {
        return Fail(error, "the movie ends before its frame rate");
    }
    constexpr double kTwips = 20.0;
    out.stageWidth = (static_cast<double>(edges[1]) - edges[0]) / kTwips;
    out.stageHeight = (static_cast<double>(edges[3]) - edges[2]) / kTwips;
    out.frameRate = Byte(body, at + 1) + Byte(body, at) / 256.0;
    out.frameCount = static_cast<int>(Le16(body, at + 2));
    out.bodyRead = true;
    // From version 8 on the first tag is FileAttributes; without it the player runs the
    // movie as ActionScript 1 or 2.
    out.script = SwfInfo::Script::kAs1Or2;
    const std::size_t tag = at + 4;
    if (body.size() >= tag + 2 && static_cast<int>(Le16(body, tag) >> 6) == kFileAttributesTag) {
        const std::size_t length = Le16(body, tag) & 0x3F;
        const std::size_t flags = tag + (length == 0x3F ? 6 : 2);
        if (body.size() > flags) {
            out.script =
                (Byte(body, flags) & 0x08) != 0 ? SwfInfo::Script::kAs3 : SwfInfo::Script::kAs1Or2;
            out.usesNetwork = (Byte(body, flags) & 0x01) != 0;
        }
    }
    return true;
}

}  // namespace

bool ReadSwfInfo(std::string_view bytes, SwfInfo& out, std::string* error) {
    if (bytes.size() < 8) {
        return Fail(error, "too short for a Flash movie");
    }
    const std::string_view signature = bytes.substr(0, 3);
    SwfInfo info;
    if (signature == "FWS") {
        info.compression = SwfInfo::Compression::kNone;
    } else if (signature == "CWS") {
        info.compression = SwfInfo::Compression::kZlib;
    } else if (signature == "ZWS") {
        info.compression = SwfInfo::Compression::kLzma;
    } else {
        return Fail(error, "not a Flash movie (no FWS, CWS or ZWS at its start)");
    }
    info.version = static_cast<int>(Byte(bytes, 3));
    info.fileLength = Byte(bytes, 4) | Byte(bytes, 5) << 8 | Byte(bytes, 6) << 16 |
                      static_cast<std::uint32_t>(Byte(bytes, 7)) << 24;
    if (info.compression == SwfInfo::Compression::kLzma) {
        out = info;  // the body is LZMA, which is not unpacked here
        return true;
    }
    const std::string body = info.compression == SwfInfo::Compression::kZlib
                                 ? InflateStart(bytes.substr(8), kBodyBytesRead)
                                 : std::string(bytes.substr(8, kBodyBytesRead));
    if (!ReadBody(body, info, error)) {
        return false;
    }
    out = info;
    return true;
}

const char* ScriptName(SwfInfo::Script script) {
    switch (script) {
        case SwfInfo::Script::kAs3:
            return "ActionScript 3";
        case SwfInfo::Script::kAs1Or2:
            return "ActionScript 1/2";
        case SwfInfo::Script::kUnknown:
            break;
    }
    return "unknown";
}

const char* CompressionName(SwfInfo::Compression compression) {
    switch (compression) {
        case SwfInfo::Compression::kZlib:
            return "zlib";
        case SwfInfo::Compression::kLzma:
            return "LZMA";
        case SwfInfo::Compression::kNone:
            break;
    }
    return "none";
}

}  // namespace tavrin
