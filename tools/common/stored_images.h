// Saving what a device core stored, as the images it holds: for the programs
// that serve the core (the virtual Torvik's control program, torvik-gadget).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "device/bootloader_core.h"

namespace storedimages {

inline bool savefile(const std::string& path, const std::vector<std::uint8_t>& data) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && written;
}

// Writes `prefix`fpga.bin (without the length field) and `prefix`mcu.bin;
// the prefix is a directory that exists, with its separator.
inline bool save(const devicecore::BlockStorage& storage, const std::string& prefix) {
    std::vector<std::uint8_t> fpga(devicecore::fpgaimage(storage, nullptr, 0));
    devicecore::fpgaimage(storage, fpga.data(), fpga.size());
    std::vector<std::uint8_t> mcu(devicecore::mcuimage(storage, nullptr, 0));
    devicecore::mcuimage(storage, mcu.data(), mcu.size());
    return savefile(prefix + "fpga.bin", fpga) && savefile(prefix + "mcu.bin", mcu);
}

}  // namespace storedimages
