#include "flow/login_rules.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/codepage.h"

namespace tavrin {

namespace {
// Chromium's net error codes for "this address does not exist".
constexpr int kErrFileNotFound = -6;
constexpr int kErrNameNotResolved = -105;
}  // namespace

bool ParseRoomArgument(const std::string& text, std::int32_t& room) {
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    if (first == std::string::npos) {
        return false;
    }
    double value = 0;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(text.data() + first, end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)) {
        return false;
    }
    // The default rounding mode rounds halves to even, as automation's conversion does.
    const double rounded = std::nearbyint(value);
    if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return false;
    }
    room = static_cast<std::int32_t>(rounded);
    return true;
}

bool IsVerifiedAddress(const std::string& address, const std::string& szVerify) {
    return !szVerify.empty() && address.find(szVerify) != std::string::npos;
}

std::string BuildAreaPageUrl(const std::string& areaUrl, std::int64_t secondsSince1970) {
    const bool hasQuery =
        !areaUrl.empty() && platform::FindFirstMbChar(areaUrl, '?') != std::string::npos;
    const auto stamp = static_cast<std::int32_t>(static_cast<std::uint32_t>(secondsSince1970));
    return areaUrl + (hasQuery ? "&v=" : "?v=") + std::to_string(stamp);
}

NavigationErrorKind ClassifyHttpStatus(int status) {
    return status >= 400 && status <= 505 ? NavigationErrorKind::kPageError
                                          : NavigationErrorKind::kNavigationError;
}

NavigationErrorKind ClassifyEngineError(int chromiumNetError) {
    return chromiumNetError == kErrNameNotResolved || chromiumNetError == kErrFileNotFound
               ? NavigationErrorKind::kPageError
               : NavigationErrorKind::kNavigationError;
}

bool InLayerDragBand(int clientY) {
    return clientY >= 1 && clientY <= 99;
}

}  // namespace tavrin
