#include "platform/console.h"

namespace tavrin::platform {

void UseStartingConsole() {}

}  // namespace tavrin::platform
