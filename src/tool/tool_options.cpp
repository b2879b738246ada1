#include "tool/tool_options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace tavrin::tool {

Option Text(const char* name, std::string& field, int* given) {
    return {name, [&field, given](const std::string& value) {
                field = value;
                if (given != nullptr) {
                    *given = 1;
                }
                return true;
            }};
}

bool ParseNumber(const std::string& text, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0';
}

bool ParseDuration(const std::string& text, int& ms) {
    static const std::pair<const char*, long> kUnits[] = {{"ms", 1}, {"s", 1000}, {"m", 60000}};
    long factor = 1;
    std::string digits = text;
    for (const auto& [suffix, unitMs] : kUnits) {
        const std::size_t n = std::strlen(suffix);
        if (text.size() > n && text.compare(text.size() - n, n, suffix) == 0) {
            factor = unitMs;
            digits = text.substr(0, text.size() - n);
            break;
        }
    }
    long value = 0;
    if (!ParseNumber(digits, value) || value < 1 || value > 3600000 / factor) {
        return false;
    }
    ms = static_cast<int>(value * factor);
    return true;
}

Option Duration(const char* name, int& field) {
    return {name, [&field](const std::string& text) { return ParseDuration(text, field); }};
}

Option SecretFromEnvironment(const char* name, std::string& field) {
    return {name, [&field](const std::string& variable) {
                const char* value = std::getenv(variable.c_str());
                field = value != nullptr ? value : "";
                return value != nullptr;
            }};
}

Option SecretFromFile(const char* name, std::string& field) {
    return {name, [&field](const std::string& path) {
                std::ifstream file(path, std::ios::binary);
                if (!file || !std::getline(file, field)) {
                    return false;
                }
                if (!field.empty() && field.back() == '\r') {
                    field.pop_back();  // a file written on Windows
                }
                return true;
            }};
}

bool ParseArguments(const Args& args, const std::vector<Option>& options, std::size_t count,
                    Args& positional) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&arg](const Option& o) { return o.name == arg; });
        if (option == options.end()) {
            if (!options.empty() && arg.rfind("--", 0) == 0) {
                std::fprintf(stderr, "tavrin-tool: unknown option %s\n", arg.c_str());
                return false;
            }
            positional.push_back(arg);
        } else if (option->flag) {
            option->set("");
        } else if (i + 1 >= args.size()) {
            std::fprintf(stderr, "tavrin-tool: missing value for %s\n", arg.c_str());
            return false;
        } else if (!option->set(args[++i])) {
            std::fprintf(stderr, "tavrin-tool: %s needs a valid value\n", arg.c_str());
            return false;
        }
    }
    if (positional.size() != count) {
        PrintUsage(stderr);
        return false;
    }
    return true;
}

void PrintValue(const char* name, const std::string& value) {
    std::printf("%s=%s\n", name, value.c_str());
}

}  // namespace tavrin::tool
