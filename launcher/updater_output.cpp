#include "updater_output.h"

namespace {

// The updater's own words (src/torvikupdate.cpp).
constexpr std::string_view FPGA_HEADING = "Updating FPGA.";
constexpr std::string_view MCU_HEADING = "Updating MCU.";
constexpr std::string_view DONE = " done.";
constexpr std::string_view FAILED = " failed.";
constexpr std::string_view RESTARTING = "Restarting...";
constexpr std::string_view NOT_FOUND = "No Torvik found.";

bool startsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

}  // namespace

void UpdaterOutput::feed(std::string_view chunk, std::uint32_t ms,
                         std::vector<OutputEntry>& entries) {
    for (char byte : chunk) {
        take(byte, ms, entries);
    }
}

void UpdaterOutput::finish(std::uint32_t ms, std::vector<OutputEntry>& entries) {
    endline(ms, entries);
}

void UpdaterOutput::take(char byte, std::uint32_t ms, std::vector<OutputEntry>& entries) {
    // The updater ends its lines with CR LF on Windows; a line is what lies
    // before the LF.
    if (byte == '\r') {
        return;
    }
    if (byte == '\n') {
        endline(ms, entries);
        return;
    }
    // A dot is a confirmed block only between a heading and its end; it comes
    // out at once, so that the bar moves with the device.
    if (in_phase_ && held_.empty() && byte == '.') {
        add(OutputEntry::Kind::DOT, ms, entries);
        return;
    }
    held_ += byte;
    if (in_phase_) {
        if (held_ == DONE || held_ == FAILED) {
            add(held_ == DONE ? OutputEntry::Kind::DONE : OutputEntry::Kind::FAILED, ms, entries);
            in_phase_ = false;
        } else if (!startsWith(DONE, held_) && !startsWith(FAILED, held_)) {
            // Something else in the line of dots: from here on it is only text.
            in_phase_ = false;
        }
        return;
    }
    // A heading is a whole line so far; the dots follow it on the same line.
    if (held_ == FPGA_HEADING || held_ == MCU_HEADING) {
        image_ = held_ == FPGA_HEADING ? Image::FPGA : Image::MCU;
        add(OutputEntry::Kind::HEADING, ms, entries);
        in_phase_ = true;
    }
}

void UpdaterOutput::endline(std::uint32_t ms, std::vector<OutputEntry>& entries) {
    in_phase_ = false;
    if (held_.empty()) {
        return;
    }
    if (held_ == RESTARTING) {
        add(OutputEntry::Kind::RESTARTING, ms, entries);
    } else if (startsWith(held_, NOT_FOUND)) {
        add(OutputEntry::Kind::NOT_FOUND, ms, entries);
    } else {
        add(OutputEntry::Kind::UNPARSED, ms, entries);
    }
}

void UpdaterOutput::add(OutputEntry::Kind kind, std::uint32_t ms,
                        std::vector<OutputEntry>& entries) {
    entries.push_back({kind, image_, kind == OutputEntry::Kind::DOT ? "." : held_, ms});
    held_.clear();
}
