#include "run_log.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr char LINE_END[] = "\r\n";
constexpr std::string_view PREFIX = "update-";
constexpr std::string_view SUFFIX = ".log";
// "YYYYMMDD-HHMMSS"
constexpr std::size_t STAMP_LENGTH = 15;
constexpr std::size_t DATE_LENGTH = 8;  // "YYYYMMDD"

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

std::string line(const std::string& text) {
    return ascii(text) + LINE_END;
}

bool alldigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A log's place in time: its stamp, then the run in that second (1, 2, ...).
// Only the exact names logname() makes are logs: a copy a user made of one
// ("... - Copy.log") or a note named like one is not, and is left alone.
bool logorder(std::string_view name, std::pair<std::string, int>& order) {
    if (name.size() < PREFIX.size() + STAMP_LENGTH + SUFFIX.size() ||
        name.substr(0, PREFIX.size()) != PREFIX ||
        name.substr(name.size() - SUFFIX.size()) != SUFFIX) {
        return false;
    }
    const std::string_view stamp = name.substr(PREFIX.size(), STAMP_LENGTH);
    if (!alldigits(stamp.substr(0, DATE_LENGTH)) || stamp[DATE_LENGTH] != '-' ||
        !alldigits(stamp.substr(DATE_LENGTH + 1))) {
        return false;
    }
    std::string_view run = name.substr(PREFIX.size() + STAMP_LENGTH);
    run.remove_suffix(SUFFIX.size());
    int attempt = 1;
    if (!run.empty()) {
        // "-2", "-3", ...: never "-1", "-02" or more runs than a second has.
        const std::string_view digits = run.substr(1);
        if (run[0] != '-' || !alldigits(digits) || digits[0] == '0') {
            return false;
        }
        attempt = 0;
        for (char digit : digits) {
            attempt = attempt * 10 + (digit - '0');
            if (attempt > MOST_RUNS_A_SECOND) {
                return false;
            }
        }
        if (attempt < 2) {
            return false;
        }
    }
    order = {std::string(stamp), attempt};
    return true;
}

}  // namespace

std::string ascii(std::string_view text) {
    std::string plain(text);
    for (char& c : plain) {
        if (c < ' ' || c > '~') {
            c = '?';
        }
    }
    return plain;
}

std::string logheader(const LogFacts& facts) {
    return line("Update Torvik " + facts.window_version) +
           line("FPGA image: " + std::to_string(facts.fpga_length) + " bytes, SHA-256 " +
                facts.fpga_sha256) +
           line("MCU image: " + std::to_string(facts.mcu_length) + " bytes, SHA-256 " +
                facts.mcu_sha256) +
           line("Windows: " + facts.windows_version) + line("Language: " + facts.language) +
           line("Device: vendor " + hex4(facts.device.vendor_id) + ", product " +
                hex4(facts.device.product_id) + ", version " + hex4(facts.device.version) +
                ", path " + facts.device.path) +
           line("Updater: " + facts.updater_path) + line("Output (ms since the updater started):");
}

std::string logentry(const OutputEntry& entry) {
    char ms[16];
    std::snprintf(ms, sizeof ms, "%7lu ms  ", static_cast<unsigned long>(entry.ms));
    return line(ms + entry.text);
}

std::string logending(const RunEnd& end, Verdict verdict) {
    std::string status = std::to_string(end.status);
    if (!end.started) {
        status = "none, not started (error " + std::to_string(end.start_error) + ")";
    } else if (end.stopped_by_user) {
        status += " (stopped by the user)";
    } else if (end.pipe_broke) {
        status += " (its output broke off)";
    }
    return line("Status: " + status) + line("Verdict: " + headlinefor(verdict));
}

std::string logname(int year, int month, int day, int hour, int minute, int second, int attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "update-%04d%02d%02d-%02d%02d%02d", year, month, day, hour,
                  minute, second);
    return name + (attempt > 1 ? "-" + std::to_string(attempt) : std::string()) +
           std::string(SUFFIX);
}

std::vector<std::string> logstodelete(std::vector<std::string> names) {
    std::vector<std::pair<std::pair<std::string, int>, std::string>> logs;
    for (std::string& name : names) {
        std::pair<std::string, int> order;
        if (logorder(name, order)) {
            logs.emplace_back(order, std::move(name));
        }
    }
    std::vector<std::string> oldest;
    if (logs.size() <= LOGS_KEPT) {
        return oldest;
    }
    std::sort(logs.begin(), logs.end());
    for (std::size_t i = 0; i < logs.size() - LOGS_KEPT; ++i) {
        oldest.push_back(logs[i].second);
    }
    return oldest;
}
