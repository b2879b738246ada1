#include <windows.h>

#include "platform/process.h"

namespace tavrin {

std::uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

}  // namespace tavrin
