#include "app/app_globals.h"

namespace tavrin {

std::string g_strBaseName;
std::string g_strDataDir;

}  // namespace tavrin
