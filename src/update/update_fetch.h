// The update check's fetches: each within what is left of the check's deadline, logged for
// operators, and the description's signature fetched and checked beside it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "net/http_download.h"

namespace tavrin {

// No real description or signature comes near these sizes: a larger one is not the
// service's, and reading it whole would hand the launcher's memory to whoever sent it.
inline constexpr std::uint64_t kMaxDescriptionBytes = 64 * 1024;
inline constexpr std::uint64_t kMaxSignatureBytes = 4 * 1024;
// What the downloads may take on disk before the size is judged: enough to say that a
// document is too large, little enough that a hostile one costs nothing.
inline constexpr std::uint32_t kMaxFetchedDocumentBytes = 1024 * 1024;

// One download of the check within what is left of `deadline`; a failure once it has passed.
// `tooLarge`, when given, says whether it failed for holding more than `maxBytes`.
int DownloadBy(CHttpDownload& d, const std::string& url, const std::string& path,
               std::chrono::steady_clock::time_point deadline, std::uint64_t maxBytes = 0,
               bool* tooLarge = nullptr);

// True when the file is there and holds more than `limit` bytes.
bool IsLargerThan(const std::string& path, std::uint64_t limit);

// The leading digits of a version number; 0 without any.
int VersionOf(const std::string& text);

// The signature, fetched beside the description, must be the key's over the description's
// exact bytes. "" when it is; else why not, with `state` "missing" or "failed".
std::string CheckSignature(CHttpDownload& download, const std::string& address,
                           const std::string& description, const std::string& publicKey,
                           std::chrono::steady_clock::time_point deadline, std::string& state);

}  // namespace tavrin
