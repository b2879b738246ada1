#include <unistd.h>

#include "platform/process.h"

namespace tavrin {

std::uint32_t CurrentProcessId() {
    return static_cast<std::uint32_t>(getpid());
}

}  // namespace tavrin
