// The text of the log each run leaves for support, and which old logs go.
// Plain ASCII with CR LF line ends, so that any editor on any system shows
// it; log_file.cpp writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "survey.h"
#include "updater_output.h"
#include "window_state.h"

// Logs kept in the folder, the newest; older ones are deleted.
constexpr std::size_t LOGS_KEPT = 20;
// Runs within one second get -2, -3, ...; past this many something else is
// wrong with the folder.
constexpr int MOST_RUNS_A_SECOND = 100;

struct LogFacts {
    std::string window_version;
    std::uint32_t fpga_length = 0;
    std::string fpga_sha256;
    std::uint32_t mcu_length = 0;
    std::string mcu_sha256;
    std::string windows_version;
    FoundDevice device;
    std::string updater_path;
    std::string language;  // of the window's texts: "de-DE"
};

// The text as ASCII: anything else becomes '?'.
std::string ascii(std::string_view text);

std::string logheader(const LogFacts& facts);
// One line per entry: a dot, a heading or a line of the updater's output,
// after the milliseconds since the updater started.
std::string logentry(const OutputEntry& entry);
std::string logending(const RunEnd& end, Verdict verdict);

// "update-YYYYMMDD-HHMMSS.log", with "-2", "-3", ... for a later run in the
// same second.
std::string logname(int year, int month, int day, int hour, int minute, int second, int attempt);

// Of these file names, the logs to delete so that the newest LOGS_KEPT stay.
// Names of any other form are left alone.
std::vector<std::string> logstodelete(std::vector<std::string> names);
