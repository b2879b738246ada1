#include "ui/login_rules.h"

#include "platform/codepage.h"

namespace tavrin {

namespace {
// Chromium's net error codes for "this address does not exist".
constexpr int kErrFileNotFound = -6;
constexpr int kErrNameNotResolved = -105;
}  // namespace

bool IsVerifiedAddress(const std::string& address, const std::string& szVerify) {
    return !szVerify.empty() && address.find(szVerify) != std::string::npos;
}

std::string BuildAreaPageUrl(const std::string& areaUrl, std::int64_t secondsSince1970) {
    const bool hasQuery = !areaUrl.empty() && FindFirstMbChar(areaUrl, '?') != std::string::npos;
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

bool InLayerDragBand(int clientY) { return clientY >= 1 && clientY <= 99; }

}  // namespace tavrin
