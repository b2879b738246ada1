#include "platform/installed_program.h"

namespace tavrin::platform {

std::string ProgramFileVersion(const std::string&) {
    return {};
}

int RecordInstalledVersion(const std::string&, const std::string&) {
    return 0;
}

}  // namespace tavrin::platform
