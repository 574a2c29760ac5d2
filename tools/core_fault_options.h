// The fault options of the programs that serve the shared device core (the
// virtual Torvik's control program, torvik-gadget): the same names, values
// and meanings as torvik-sim's, filled into devicecore::Faults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "option_values.h"
#include "platform/sim/bootloader_core.h"

namespace optionvalues {

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
