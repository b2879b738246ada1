// What one attempt of a request, or one step of it, comes to.
#pragma once

namespace tavrin {

// 0 success, 1 a failure that may pass on another attempt, 2 stopped (request) or redirect
// (header), 3 a failure that would repeat, 4 not found.
enum RequestResult : int {
    kRequestOk = 0,
    kRequestRetry = 1,
    kRequestStoppedOrRedirect = 2,
    kRequestFailed = 3,
    kRequestNotFound = 4,
};

}  // namespace tavrin
