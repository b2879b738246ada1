// The running process, as other processes see it.
#pragma once

#include <cstdint>

namespace tavrin {

std::uint32_t CurrentProcessId();

}  // namespace tavrin
