// What passes between the launcher and the game movie: ExternalInterface requests in their
// XML form, the memory reply, and the player version test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// "<invoke name="NAME" returntype="xml"><arguments>...</arguments></invoke>". The name goes
// in as it is; in each argument only '<' and '>' are escaped.
std::string BuildFlashRequest(const std::string& name, const std::vector<std::string>& args);

// The "name" attribute of a request's root element; empty when there is none or the text is
// not XML at all.
std::string FlashRequestName(const std::string& request);

// The reply to "GetSysMem": "<string>TOTAL,FREE</string>" in whole mebibytes.
std::string FormatSysMemReply(std::uint64_t totalBytes, std::uint64_t availableBytes);

// Flash versions are packed as major << 16 | minor << 8 | revision; the game needs 11.5.
inline constexpr std::int32_t kRequiredFlashVersion = 0x000B0500;
bool IsFlashVersionSupported(std::int32_t version);

}  // namespace tavrin
