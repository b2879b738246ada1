#include <windows.h>

#include <shlobj.h>

#include "platform/font_files.h"

namespace tavrin::platform {

namespace {

std::string FontsFolder() {
    char buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_FONTS, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        return {};
    }
    return buffer;
}

}  // namespace

FontFile FindChineseFont() {
    // The fonts Chinese Windows ships, in the order games look like they were made with.
    static const struct {
        const char* file;
        const char* family;
    } kCandidates[] = {
        {"msyh.ttc", "Microsoft YaHei"}, {"msyh.ttf", "Microsoft YaHei"}, {"simsun.ttc", "SimSun"},
        {"simhei.ttf", "SimHei"},        {"simsun.ttf", "SimSun"},
    };
    const std::string folder = FontsFolder();
    if (folder.empty()) {
        return {};
    }
    for (const auto& candidate : kCandidates) {
        const std::string path = folder + "\\" + candidate.file;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return {path, 0, {candidate.family}};
        }
    }
    return {};
}

}  // namespace tavrin::platform
