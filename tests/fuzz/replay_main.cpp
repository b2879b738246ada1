// Runs a fuzz target once over each file given, and over every file inside each folder
// given, so ordinary test runs (with or without sanitizers) replay the corpora without
// libFuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool Run(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // A buffer of exactly the input's size, as libFuzzer passes: AddressSanitizer then sees
    // any read past the end.
    const auto input = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), input.get());
    LLVMFuzzerTestOneInput(input.get(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        std::error_code error;
        if (!fs::is_directory(arg, error)) {
            inputs.push_back(arg);
            continue;
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(arg, error)) {
            if (entry.is_regular_file(error)) {
                inputs.push_back(entry.path());
            }
        }
        if (error) {
            std::fprintf(stderr, "cannot list %s\n", arg.string().c_str());
            return 1;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    std::size_t ran = 0;
    for (const fs::path& input : inputs) {
        if (!Run(input)) {
            return 1;
        }
        ++ran;
    }
    std::printf("%zu inputs ran\n", ran);
    // No input at all means a missing or misnamed corpus, not a pass.
    return ran > 0 ? 0 : 1;
}
