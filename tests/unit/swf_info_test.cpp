// What a movie's file says of itself: movies written here field by field, plain and
// compressed, and what is not a movie.
#include "game/swf_info.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace tavrin {
namespace {

// Bits from the most significant down, as SWF packs its rectangles.
struct BitWriter {
    void Put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (bit % 8 == 0) {
                bytes.push_back('\0');
            }
            if ((value >> i) & 1u) {
                bytes.back() = static_cast<char>(bytes.back() | (0x80 >> (bit % 8)));
            }
            ++bit;
        }
    }
    std::string bytes;
    int bit = 0;
};

struct Movie {
    std::string signature = "FWS";
    int version = 10;
    int edges[4] = {0, 800 * 20, 0, 600 * 20};  // twips
    unsigned char rate[2] = {0, 30};            // 8.8 fixed point, fraction first
    int frames = 1;
    int attributes = 0x08 | 0x01;  // ActionScript 3, network; -1: no FileAttributes tag
    bool longTagHeader = false;

    std::string Body() const {
        BitWriter rect;
        constexpr int kBits = 17;
        rect.Put(kBits, 5);
        for (int edge : edges) {
            rect.Put(static_cast<std::uint32_t>(edge) & ((1u << kBits) - 1), kBits);
        }
        std::string body = rect.bytes;
        body += static_cast<char>(rate[0]);
        body += static_cast<char>(rate[1]);
        body += static_cast<char>(frames & 0xFF);
        body += static_cast<char>(frames >> 8);
        if (attributes >= 0) {
            const int code = 69 << 6;
            if (longTagHeader) {
                body += {static_cast<char>((code | 0x3F) & 0xFF),
                         static_cast<char>(code >> 8),
                         4,
                         0,
                         0,
                         0};
            } else {
                body += {static_cast<char>((code | 4) & 0xFF), static_cast<char>(code >> 8)};
            }
            body += {static_cast<char>(attributes), 0, 0, 0};
        }
        body += {0, 0};  // End
        return body;
    }
    std::string File() const {
        const std::string body = Body();
        const std::uint32_t length = static_cast<std::uint32_t>(8 + body.size());
        std::string file = signature + static_cast<char>(version);
        for (int shift = 0; shift < 32; shift += 8) {
            file += static_cast<char>((length >> shift) & 0xFF);
        }
        if (signature != "CWS") {
            return file + body;
        }
        std::vector<Bytef> packed(compressBound(static_cast<uLong>(body.size())));
        uLongf size = static_cast<uLongf>(packed.size());
        compress2(packed.data(), &size, reinterpret_cast<const Bytef*>(body.data()),
                  static_cast<uLong>(body.size()), 9);
        return file + std::string(reinterpret_cast<const char*>(packed.data()), size);
    }
};

TEST(SwfInfo, ReadsFormatStageAndScriptOfPlainAndZlibMovies) {
    Movie as3;
    Movie packed;
    packed.signature = "CWS";
    Movie old;
    old.version = 6;
    old.attributes = -1;
    Movie as2;
    as2.version = 8;
    as2.attributes = 0x01;
    Movie offset;
    offset.edges[0] = -100 * 20;
    offset.edges[1] = 700 * 20;
    offset.rate[0] = 0x80;  // 24.5
    offset.rate[1] = 24;
    offset.frames = 300;
    Movie longHeader;
    longHeader.longTagHeader = true;
    longHeader.signature = "CWS";
    const struct {
        const char* name;
        Movie movie;
        SwfInfo::Compression compression;
        double width, height, rate;
        int frames;
        SwfInfo::Script script;
    } cases[] = {
        {"as3", as3, SwfInfo::Compression::kNone, 800, 600, 30, 1, SwfInfo::Script::kAs3},
        {"zlib", packed, SwfInfo::Compression::kZlib, 800, 600, 30, 1, SwfInfo::Script::kAs3},
        {"version 6", old, SwfInfo::Compression::kNone, 800, 600, 30, 1, SwfInfo::Script::kAs1Or2},
        {"as2 attributes", as2, SwfInfo::Compression::kNone, 800, 600, 30, 1,
         SwfInfo::Script::kAs1Or2},
        {"offset stage", offset, SwfInfo::Compression::kNone, 800, 600, 24.5, 300,
         SwfInfo::Script::kAs3},
        {"long tag header", longHeader, SwfInfo::Compression::kZlib, 800, 600, 30, 1,
         SwfInfo::Script::kAs3},
    };
    for (const auto& c : cases) {
        const std::string file = c.movie.File();
        SwfInfo info;
        std::string error;
        ASSERT_TRUE(ReadSwfInfo(file, info, &error)) << c.name << ": " << error;
        EXPECT_EQ(info.compression, c.compression) << c.name;
        EXPECT_EQ(info.version, c.movie.version) << c.name;
        EXPECT_EQ(info.fileLength, c.movie.Body().size() + 8) << c.name;
        EXPECT_TRUE(info.bodyRead) << c.name;
        EXPECT_DOUBLE_EQ(info.stageWidth, c.width) << c.name;
        EXPECT_DOUBLE_EQ(info.stageHeight, c.height) << c.name;
        EXPECT_DOUBLE_EQ(info.frameRate, c.rate) << c.name;
        EXPECT_EQ(info.frameCount, c.frames) << c.name;
        EXPECT_EQ(info.script, c.script) << c.name;
    }
}

TEST(SwfInfo, LzmaMoviesSayTheirHeaderOnly) {
    const std::string file = std::string("ZWS\x0d\x10\x27\x00\x00", 8) + std::string(40, 'x');
    SwfInfo info;
    ASSERT_TRUE(ReadSwfInfo(file, info));
    EXPECT_EQ(info.compression, SwfInfo::Compression::kLzma);
    EXPECT_EQ(info.version, 13);
    EXPECT_EQ(info.fileLength, 10000u);
    EXPECT_FALSE(info.bodyRead);
    EXPECT_EQ(info.script, SwfInfo::Script::kUnknown);
}

TEST(SwfInfo, WhatIsNoMovieOrIsCutShortIsRefusedWithAReason) {
    const std::string whole = Movie().File();
    Movie packed;
    packed.signature = "CWS";
    const std::string compressed = packed.File();
    const std::string cases[] = {
        "",
        "FWS",
        "GIF89a\x01\x00\x01\x00",
        "<html><body>404</body></html>",
        whole.substr(0, 9),                                 // cut inside the stage
        whole.substr(0, 8 + 11),                            // cut before the frame rate
        compressed.substr(0, 8) + std::string(30, '\x55'),  // no zlib stream
        compressed.substr(0, 8) + compressed.substr(8, 4),  // zlib cut short
    };
    for (const std::string& bytes : cases) {
        SwfInfo info;
        std::string error;
        EXPECT_FALSE(ReadSwfInfo(bytes, info, &error)) << bytes.size();
        EXPECT_FALSE(error.empty()) << bytes.size();
    }
}

}  // namespace
}  // namespace tavrin
