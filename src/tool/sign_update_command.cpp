// tavrin-tool sign-update: an update description signed with an Ed25519 key.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/file_system.h"
#include "platform/profile.h"
#include "tool/tool_options.h"
#include "update/update_packages.h"
#include "update/update_worker.h"

namespace tavrin::tool {

const char* const kSignUpdateHelp =
    "  sign-update  sign an update description (update.ini) with the Ed25519 private\n"
    "           key in PEM file KEY (openssl genpkey -algorithm ed25519 -out KEY):\n"
    "           writes DESCRIPTION.sig and prints the public key for updateKey in\n"
    "           config.ini or the build option TAVRIN_UPDATE_PUBLIC_KEY. A package size\n"
    "           (GameSize, updateSize) the launcher would refuse is refused here too\n";

namespace {

// The description with `signedBy=KEY` in its [update] section: put in place of one there,
// else right after the section's header, in the file's own line ending.
std::string WithSignedBy(const std::string& description, const std::string& publicKey) {
    const std::string eol = description.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string line = "signedBy=" + publicKey;
    std::string out;
    bool inUpdate = false;
    bool placed = false;
    std::size_t at = 0;
    while (at < description.size()) {
        std::size_t end = description.find('\n', at);
        end = end == std::string::npos ? description.size() : end + 1;
        std::string current = description.substr(at, end - at);
        std::string bare = current;
        while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) {
            bare.pop_back();
        }
        if (!bare.empty() && bare[0] == '[') {
            inUpdate = bare == "[update]";
        } else if (inUpdate && bare.rfind("signedBy=", 0) == 0) {
            current = placed ? "" : line + eol;
            placed = true;
        }
        out += current;
        if (bare == "[update]" && !placed &&
            description.find("\nsignedBy=", at) == std::string::npos) {
            out += line + eol;
            placed = true;
        }
        at = end;
    }
    return out;
}

}  // namespace

int RunSignUpdate(const Args& args) {
    Args paths;
    if (!ParseArguments(args, {}, 2, paths)) {
        return kExitUsage;
    }
    std::string key;
    std::string description;
    if (!tavrin::platform::ReadWholeFile(paths[0], key) ||
        !tavrin::platform::ReadWholeFile(paths[1], description)) {
        std::fprintf(stderr, "tavrin-tool: cannot read %s or %s\n", paths[0].c_str(),
                     paths[1].c_str());
        return kExitFailed;
    }
    // What the launcher would refuse is not signed; a package without a declared size is
    // bounded by the launcher's default, which is said.
    for (const char* key : {"GameSize", "updateSize"}) {
        const std::string size =
            tavrin::platform::ReadProfileString("update", key, "", 64, paths[1]);
        std::uint64_t bytes = 0;
        if (!size.empty() && !tavrin::ParsePackageSize(size, bytes)) {
            std::fprintf(stderr, "tavrin-tool: %s: %s=%s is not a byte count from 1 to %llu\n",
                         paths[1].c_str(), key, size.c_str(),
                         static_cast<unsigned long long>(tavrin::kLargestPackageBytes));
            return kExitFailed;
        }
        if (size.empty()) {
            std::fprintf(stderr,
                         "tavrin-tool: note: no %s: the launcher takes that package up to %llu "
                         "bytes\n",
                         key, static_cast<unsigned long long>(tavrin::kDefaultPackageBytes));
        }
    }
    std::string signature;
    std::string publicKey;
    std::string error;
    if (!tavrin::SignUpdateDescription(key, description, signature, publicKey, error)) {
        std::fprintf(stderr, "tavrin-tool: %s: %s\n", paths[0].c_str(), error.c_str());
        return kExitFailed;
    }
    // The description names the key it is signed with, so that a launcher whose signature
    // check fails can tell an edit after signing from another key.
    const std::string named = WithSignedBy(description, publicKey);
    if (named != description) {
        std::ofstream rewritten(paths[1], std::ios::binary | std::ios::trunc);
        rewritten << named;
        if (!rewritten.flush()) {
            std::fprintf(stderr, "tavrin-tool: cannot write %s\n", paths[1].c_str());
            return kExitFailed;
        }
        description = named;
        tavrin::SignUpdateDescription(key, description, signature, publicKey, error);
    }
    const std::string out = paths[1] + ".sig";
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file << signature << "\n";
    if (!file.flush()) {
        std::fprintf(stderr, "tavrin-tool: cannot write %s\n", out.c_str());
        return kExitFailed;
    }
    std::printf("signature=%s\npublicKey=%s\n", out.c_str(), publicKey.c_str());
    return kExitOk;
}

}  // namespace tavrin::tool
