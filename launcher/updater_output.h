// What torvikupdate.exe prints, read back as it comes through the pipe.
//
// The updater prints a heading for each image ("Updating FPGA."), a dot for
// each block the Torvik confirmed, then " done." or " failed." and a line
// end; at the end "Restarting...", or the not-found line alone. Its output
// arrives in chunks cut anywhere, so a token split across two chunks is
// held back until the next one says what it is. Anything else is kept as
// "unparsed" text: shown and logged, never taken to mean anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class Image { NONE, FPGA, MCU };

struct OutputEntry {
    enum class Kind { HEADING, DOT, DONE, FAILED, RESTARTING, NOT_FOUND, UNPARSED };
    Kind kind;
    Image image;       // the image being written when the entry came
    std::string text;  // exactly as printed, without the line end
    std::uint32_t ms;  // when the chunk that completed it arrived
};

class UpdaterOutput {
  public:
    // Reads a chunk that arrived `ms` after the updater started and appends
    // an entry for each thing it completes.
    void feed(std::string_view chunk, std::uint32_t ms, std::vector<OutputEntry>& entries);

    // The output has ended: whatever is held back is a line of its own.
    void finish(std::uint32_t ms, std::vector<OutputEntry>& entries);

  private:
    void take(char byte, std::uint32_t ms, std::vector<OutputEntry>& entries);
    void endline(std::uint32_t ms, std::vector<OutputEntry>& entries);
    void add(OutputEntry::Kind kind, std::uint32_t ms, std::vector<OutputEntry>& entries);

    std::string held_;  // text not yet known to be one thing or another
    Image image_ = Image::NONE;
    bool in_phase_ = false;  // between a heading and its " done." / " failed."
};
