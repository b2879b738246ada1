#include "update/config_keys.h"

#include <algorithm>
#include <cctype>

#include "update/verification.h"

namespace tavrin {

namespace {

constexpr const char* kMovableConfigKeys[] = {"configUrl", "updateKey"};
constexpr const char* kSection = "config";

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool SameWord(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// One line of an INI text: a section header, a key and its value, or anything else.
struct IniLine {
    std::string section;  // the header's name, when the line is one
    std::string key;
    std::string value;
    bool isSection = false;
};

IniLine ReadLine(const std::string& raw) {
    IniLine line;
    const std::string text = Trimmed(raw);
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        line.isSection = close != std::string::npos;
        line.section = line.isSection ? Trimmed(text.substr(1, close - 1)) : "";
        return line;
    }
    const std::size_t equals = text.find('=');
    if (!text.empty() && text.front() != ';' && equals != std::string::npos) {
        line.key = Trimmed(text.substr(0, equals));
        line.value = Trimmed(text.substr(equals + 1));
    }
    return line;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start + 1));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

const char* MovableKey(const std::string& key) {
    for (const char* movable : kMovableConfigKeys) {
        if (SameWord(key, movable)) {
            return movable;
        }
    }
    return nullptr;
}

}  // namespace

ConfigValues MovableConfigValues(const std::string& iniText) {
    ConfigValues found;
    bool inConfig = false;
    for (const std::string& raw : SplitLines(iniText)) {
        const IniLine line = ReadLine(raw);
        if (line.isSection) {
            inConfig = SameWord(line.section, kSection);
        } else if (const char* key = inConfig ? MovableKey(line.key) : nullptr) {
            // The first of a key counts, as a profile reader takes it.
            const auto seen = std::find_if(found.begin(), found.end(),
                                           [key](const auto& kv) { return kv.first == key; });
            if (seen == found.end()) {
                found.emplace_back(key, line.value);
            }
        }
    }
    return found;
}

std::string CheckMovableConfigValues(const ConfigValues& values) {
    for (const auto& [key, value] : values) {
        const bool web = value.rfind("http://", 0) == 0 || value.rfind("https://", 0) == 0;
        const bool blank = value.find_first_of(" \t\"") != std::string::npos;
        if (key == "configUrl" && (!web || blank)) {
            return "configUrl \"" + value + "\" is not an http or https address";
        }
        if (key == "updateKey" && !IsSha256Hex(value)) {
            return "updateKey is not 64 hex digits";
        }
    }
    return {};
}

std::string WithConfigValues(const std::string& player, const ConfigValues& values) {
    const std::string end = player.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::vector<std::string> lines = SplitLines(player);
    std::vector<bool> placed(values.size(), false);
    bool inConfig = false;
    std::size_t configEnd = std::string::npos;  // after the [config] section's last key line
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const IniLine line = ReadLine(lines[i]);
        if (line.isSection) {
            inConfig = SameWord(line.section, kSection);
            configEnd = inConfig && configEnd == std::string::npos ? i + 1 : configEnd;
            continue;
        }
        if (!inConfig) {
            continue;
        }
        if (!line.key.empty()) {
            configEnd = i + 1;
        }
        for (std::size_t v = 0; v < values.size(); ++v) {
            if (!placed[v] && SameWord(line.key, values[v].first)) {
                lines[i] = values[v].first + "=" + values[v].second + end;
                placed[v] = true;
            }
        }
    }
    std::vector<std::string> added;
    for (std::size_t v = 0; v < values.size(); ++v) {
        if (!placed[v]) {
            added.push_back(values[v].first + "=" + values[v].second + end);
        }
    }
    if (!lines.empty() && lines.back().back() != '\n') {
        lines.back() += end;
    }
    if (configEnd == std::string::npos && !added.empty()) {
        added.insert(added.begin(), "[" + std::string(kSection) + "]" + end);
        configEnd = lines.size();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(std::min(configEnd, lines.size())),
                 added.begin(), added.end());
    std::string text;
    for (const std::string& line : lines) {
        text += line;
    }
    return text;
}

}  // namespace tavrin
