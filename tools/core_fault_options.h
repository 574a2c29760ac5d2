// The fault options of the stand-ins that serve the shared device core (the
// virtual Torvik's runner, torvik-gadget): the same names, values and
// meanings as torvik-sim's, filled into devicecore::Faults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "option_values.h"
#include "platform/sim/bootloader_core.h"

namespace optionvalues {

static_assert(ALL == devicecore::ALWAYS, "'all' means every time");

constexpr unsigned long MAX_BLOCK = 0xFFFF;
constexpr unsigned long MAX_MS = 86400000;

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

enum class FaultOption { NOT_ONE, TAKEN, MALFORMED };

// --no-ack, --wrong-ack, --late-ack, --ack-delay and --unplug-after; NOT_ONE
// for any other option name.
inline FaultOption parsecorefault(const std::string& name, const std::string& value,
                                  devicecore::Faults& faults) {
    std::vector<unsigned long> numbers;
    int count = 0;
    bool good = false;
    if (name == "--no-ack" || name == "--wrong-ack") {
        auto& list = name == "--no-ack" ? faults.no_ack : faults.wrong_ack;
        good = parsefields(value, {MAX_BLOCK}, devicecore::ALWAYS, numbers, count) &&
               list.add({static_cast<std::uint16_t>(numbers[0]), count, 0});
    } else if (name == "--late-ack") {
        good = parsefields(value, {MAX_BLOCK, MAX_MS}, 1, numbers, count) &&
               faults.late_ack.add({static_cast<std::uint16_t>(numbers[0]), count,
                                    static_cast<devicecore::Millis>(numbers[1])});
    } else if (name == "--ack-delay") {
        unsigned long ms = 0;
        good = parsenumber(value, MAX_MS, ms);
        faults.ack_delay_ms = static_cast<devicecore::Millis>(ms);
    } else if (name == "--unplug-after") {
        unsigned long block = 0;
        good = faults.unplug = parsenumber(value, MAX_BLOCK, block);
        faults.unplug_after = static_cast<std::uint16_t>(block);
    } else {
        return FaultOption::NOT_ONE;
    }
    return good ? FaultOption::TAKEN : FaultOption::MALFORMED;
}

}  // namespace optionvalues
