#include "flow/flash_protocol.h"

#include <tinyxml2.h>

namespace tavrin {

namespace {

std::string EscapeAngles(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string BuildFlashRequest(const std::string& name, const std::vector<std::string>& args) {
    std::string request = "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>";
    for (const std::string& arg : args) {
        request += "<string>" + EscapeAngles(arg) + "</string>";
    }
    return request + "</arguments></invoke>";
}

std::string FlashRequestName(const std::string& request) {
    tinyxml2::XMLDocument doc;
    doc.Parse(request.data(), request.size());
    const tinyxml2::XMLElement* root = doc.Error() ? nullptr : doc.RootElement();
    const char* name = root != nullptr ? root->Attribute("name") : nullptr;
    return name != nullptr ? name : "";
}

std::string FormatSysMemReply(std::uint64_t totalBytes, std::uint64_t availableBytes) {
    // Whole mebibytes, as 32-bit numbers printed signed.
    const auto total = static_cast<std::int32_t>(static_cast<std::uint32_t>(totalBytes >> 20));
    const auto available =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(availableBytes >> 20));
    return "<string>" + std::to_string(total) + "," + std::to_string(available) + "</string>";
}

bool IsFlashVersionSupported(std::int32_t version) {
    return version >= kRequiredFlashVersion;
}

}  // namespace tavrin
