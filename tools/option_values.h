// The values that fault options take, for torvik-sim and the virtual
// Torvik's control program alike: numbers, counts and colon-separated fields.
#pragma once

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/sim/bootloader_core.h"

namespace optionvalues {

// The device core's bounds: a device that is handed faults from outside
// refuses any beyond what these options set.
// A count that means "every time".
constexpr int ALL = devicecore::ALWAYS;
constexpr unsigned long MAX_COUNT = devicecore::MAX_FAULT_COUNT;
constexpr unsigned long MAX_BLOCK = 0xFFFF;
constexpr unsigned long MAX_MS = devicecore::MAX_FAULT_MS;

// A whole number in [0, maximum], decimal or 0x-hex.
inline bool parsenumber(const std::string& text, unsigned long maximum, unsigned long& value) {
    // strtoul would also take leading blanks and a sign; a number here starts
    // with a digit.
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text.c_str(), &end, hex ? 16 : 10);
    return errno == 0 && *end == '\0' && value <= maximum;
}

// A count of at most MAX_COUNT, or "all" (ALL).
inline bool parsecount(const std::string& text, int& count) {
    if (text == "all") {
        count = ALL;
        return true;
    }
    unsigned long value = 0;
    if (!parsenumber(text, MAX_COUNT, value)) {
        return false;
    }
    count = static_cast<int>(value);
    return true;
}

inline std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t colon; (colon = text.find(':', start)) != std::string::npos;
         start = colon + 1) {
        parts.push_back(text.substr(start, colon - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

// The numbers of a value "A:B[:N]": as many as `maximums` has, each within
// its maximum, then an optional count (`default_count` when left out).
inline bool parsefields(const std::string& text, const std::vector<unsigned long>& maximums,
                        int default_count, std::vector<unsigned long>& numbers, int& count) {
    const auto parts = split(text);
    if (parts.size() < maximums.size() || parts.size() > maximums.size() + 1) {
        return false;
    }
    numbers.assign(maximums.size(), 0);
    for (std::size_t i = 0; i < maximums.size(); ++i) {
        if (!parsenumber(parts[i], maximums[i], numbers[i])) {
            return false;
        }
    }
    count = default_count;
    return parts.size() == maximums.size() || parsecount(parts.back(), count);
}

struct Flag {
    const char* name;
    bool* set;  // made true when the flag is given
};

// Sets the flag of each argument that is one of `flags` and hands each
// other, NAME=VALUE, to `option`, which says whether it took it. False, with
// `error` set, at the first argument that is neither.
template <typename Option>
bool parsearguments(const std::vector<std::string>& args, const std::vector<Flag>& flags,
                    Option option, std::string& error) {
    for (const std::string& arg : args) {
        bool flag = false;
        for (const Flag& candidate : flags) {
            if (arg == candidate.name) {
                *candidate.set = flag = true;
            }
        }
        const std::size_t equals = arg.find('=');
        if (!flag && (equals == std::string::npos ||
                      !option(arg.substr(0, equals), arg.substr(equals + 1)))) {
            error = "unknown or malformed option '" + arg + "'";
            return false;
        }
    }
    return true;
}

}  // namespace optionvalues
