#include "update/update_fetch.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "app/diagnostics.h"
#include "platform/file_reader.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "update/verification.h"

namespace tavrin {

namespace {

// Every fetch of the check: a failure always, with what the server or the connection said;
// a success at the debug level.
void LogDownload(const DownloadOutcome& outcome, const std::string& url,
                 std::chrono::steady_clock::duration took) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
    if (outcome) {
        DiagnoseDetail("tavrin: update fetch %s: HTTP %d, %lld bytes, %lld ms", url.c_str(),
                       outcome.status, static_cast<long long>(outcome.received),
                       static_cast<long long>(ms));
        return;
    }
    const char* what = outcome.result == DL_STOPPED     ? "stopped"
                       : outcome.result == DL_NOT_FOUND ? "not found"
                                                        : "failed";
    Diagnose("tavrin: update fetch %s %s after %lld ms (%s)", url.c_str(), what,
             static_cast<long long>(ms), outcome.reason.c_str());
}

}  // namespace

// One download of the check within what is left of `deadline`; a failure once it has passed.
// `tooLarge`, when given, says whether it failed for holding more than `maxBytes`.
int DownloadBy(CHttpDownload& d, const std::string& url, const std::string& path,
               std::chrono::steady_clock::time_point deadline, std::uint64_t maxBytes,
               bool* tooLarge) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
        return DL_FAILED;
    }
    d.Options().deadlineMs = static_cast<int>(std::min<long long>(left, INT_MAX));
    d.Options().maxBodyBytes = maxBytes;
    const auto started = std::chrono::steady_clock::now();
    const DownloadOutcome outcome = d.Download(url, path);
    LogDownload(outcome, url, std::chrono::steady_clock::now() - started);
    if (tooLarge != nullptr) {
        *tooLarge = maxBytes != 0 && (static_cast<std::uint64_t>(outcome.total) > maxBytes ||
                                      static_cast<std::uint64_t>(outcome.received) > maxBytes ||
                                      outcome.reason.find("larger than") != std::string::npos ||
                                      outcome.reason.find("too large") != std::string::npos);
    }
    return outcome.result;
}

// True when the file is there and holds more than `limit` bytes.
bool IsLargerThan(const std::string& path, std::uint64_t limit) {
    platform::RandomAccessFile file;
    return file.Open(path) && file.Size() > limit;
}

int VersionOf(const std::string& text) {
    return std::atoi(text.c_str());
}

// The signature, fetched beside the description, must be the key's over the description's
// exact bytes. "" when it is; else why not, with `state` "missing" or "failed".
std::string CheckSignature(CHttpDownload& download, const std::string& address,
                           const std::string& description, const std::string& publicKey,
                           std::chrono::steady_clock::time_point deadline, std::string& state) {
    state = "failed";
    if (!IsSha256Hex(publicKey)) {
        return "the update key is not a key (64 hex digits): \"" + publicKey.substr(0, 80) + "\"";
    }
    const std::string signature = description + ".sig";
    if (DownloadBy(download, SignatureAddress(address), signature, deadline,
                   kMaxFetchedDocumentBytes) != DL_OK) {
        state = "missing";
        return "the update description's signature could not be fetched";
    }
    if (IsLargerThan(signature, kMaxSignatureBytes)) {
        state = "missing";
        return "the update description's signature is larger than 4 KiB";
    }
    std::string bytes;
    std::string signatureText;
    if (platform::ReadWholeFile(description, bytes) &&
        platform::ReadWholeFile(signature, signatureText) &&
        VerifyUpdateSignature(publicKey, bytes, signatureText)) {
        state = "checked";
        return {};
    }
    // sign-update names its key in the description (signedBy): that tells a description
    // edited after signing from one signed with another key.
    const std::string signedBy =
        platform::ReadProfileString("update", "signedBy", "", 128, description);
    if (signedBy.empty()) {
        return "the update description's signature does not verify: it was signed before the "
               "description's last edit, or with another key";
    }
    if (!SameDigest(signedBy, publicKey)) {
        return "the update description was signed with another key (signedBy=" + signedBy +
               ") than this launcher's (" + publicKey + ")";
    }
    return "the update description's signature is for another description: it was signed "
           "before the description's last edit; sign it again";
}

}  // namespace tavrin
