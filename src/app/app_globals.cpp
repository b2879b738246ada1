#include "app/app_globals.h"

namespace tavrin {

std::string g_strBaseName;

}  // namespace tavrin
