#include "net/wait_limit.h"

#include <algorithm>
#include <utility>

namespace tavrin {

namespace {

thread_local const WaitLimit* t_limit = nullptr;

long long MsUntil(WaitLimit::Clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(at - WaitLimit::Clock::now())
        .count();
}

}  // namespace

WaitLimit::WaitLimit(std::optional<Clock::time_point> deadline, std::function<bool()> stopped)
    : m_deadline(deadline), m_stopped(std::move(stopped)), m_previous(t_limit) {
    t_limit = this;
}

WaitLimit::~WaitLimit() {
    t_limit = m_previous;
}

bool WaitLimit::Reached() {
    const WaitLimit* limit = t_limit;
    return limit != nullptr && ((limit->m_deadline && Clock::now() >= *limit->m_deadline) ||
                                (limit->m_stopped && limit->m_stopped()));
}

int WaitInSlices(int timeoutMs, const std::function<int(int sliceMs)>& wait) {
    const WaitLimit* limit = t_limit;
    const auto end = WaitLimit::Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (WaitLimit::Reached()) {
            return 0;
        }
        long long slice = timeoutMs < 0 ? -1 : std::max<long long>(MsUntil(end), 0);
        if (limit != nullptr && limit->m_deadline) {
            const long long left = std::max<long long>(MsUntil(*limit->m_deadline), 0);
            slice = slice < 0 ? left : std::min(slice, left);
        }
        if (limit != nullptr && limit->m_stopped) {
            slice = slice < 0 ? WaitLimit::kStopCheckMs
                              : std::min<long long>(slice, WaitLimit::kStopCheckMs);
        }
        const int result = wait(static_cast<int>(slice));
        if (result != 0) {
            return result;
        }
        if (timeoutMs >= 0 && WaitLimit::Clock::now() >= end) {
            return 0;
        }
    }
}

}  // namespace tavrin
