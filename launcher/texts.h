// The window's texts, one table per language (launcher/texts/*.cpp), and
// the choice of a table for the user's display language. Plain C++: the
// Win32 side only turns a filled text into UTF-16.
//
// A text holds its numbers and names as placeholders, "{block} of {total}",
// so that each language orders its words; fill() puts the values in. "\n"
// ends a line. Adding a language: one file in launcher/texts/ defining its
// Language, and one line in LANGUAGES (texts.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum class Text {
    // The buttons' labels. A text that names a button says {try_again}:
    // the label itself goes in.
    TRY_AGAIN_BUTTON,
    DETAILS_BUTTON,
    OPEN_LOG_FOLDER_BUTTON,
    CANCEL_BUTTON,
    CLOSE_BUTTON,
    // Waiting for a Torvik.
    BOOTLOADER_STEPS,
    STARTS_BY_ITSELF,
    WAITING_HEADLINE,
    NORMAL_FIRMWARE_HEADLINE,
    NORMAL_FIRMWARE_MESSAGE,
    SEVERAL_HEADLINE,
    SEVERAL_MESSAGE,  // {count}
    GAVE_UP_HEADLINE,
    GAVE_UP_MESSAGE,  // {minutes}
    AGAIN_INTO_BOOTLOADER,
    THEN_TRY_AGAIN,  // {try_again}
    ANOTHER_UPDATE_HEADLINE,
    ANOTHER_UPDATE_MESSAGE,
    // Updating.
    UPDATING_HEADLINE,
    WRITING_PHASE,  // {image} {block} {total}
    RESTARTING_PHASE,
    SECONDS_LEFT,  // {seconds}
    MINUTES_LEFT,  // {minutes}
    WARNING,
    STOP_QUESTION,
    // The verdicts.
    UPDATED_HEADLINE,
    NOT_FOUND_HEADLINE,
    FAILED_HEADLINE,
    UNEXPECTED_HEADLINE,
    NOT_STARTED_HEADLINE,
    STOPPED_HEADLINE,
    UPDATED_MESSAGE,
    NOT_FOUND_MESSAGE,
    FAILED_AT_BLOCK,  // {image} {block} {total}
    FAILED_BLOCK_UNNAMED,
    FAILED_ADVICE,  // {try_again}
    OUTPUT_BROKE_OFF,
    UNEXPECTED_MESSAGE,  // {status} {try_again}
    UPDATER_MISSING_MESSAGE,
    START_FAILED_MESSAGE,  // {reason} {error}
    STOPPED_MESSAGE,       // {try_again}
    // Details and the firmware line.
    UNPARSED_NOTE,
    LOG_FAILED_NOTE,  // {reason}
    FIRMWARE_LINE,    // {version} {fpga_bytes} {fpga_sha256} {mcu_bytes} {mcu_sha256}
};
constexpr std::size_t TEXT_COUNT = static_cast<std::size_t>(Text::FIRMWARE_LINE) + 1;

struct TextEntry {
    Text id;
    const char* text;  // UTF-8
};

struct Language {
    const char* tag;  // as the log names it: "de-DE"
    // Windows' language identifier: its primary language, and the
    // sublanguages it is for (none listed: any).
    std::uint16_t primary;
    std::vector<std::uint16_t> sublanguages;
    // What goes between two sentences: a space, or nothing in Japanese and
    // Chinese.
    const char* sentence_gap;
    std::vector<TextEntry> texts;
};

// The languages shipped, English first.
const std::vector<const Language*>& languages();
const Language& english();

// The table for a Windows language identifier (LANGID), else English.
const Language& languagefor(std::uint16_t langid);

// The language's text, or "" where its table lacks it.
std::string textof(const Language& language, Text id);

using Fills = std::vector<std::pair<std::string, std::string>>;
// The text with each "{name}" replaced by its value.
std::string fill(std::string text, const Fills& fills);
// The placeholders of a text, in order: "{block}", "{total}".
std::vector<std::string> placeholders(const std::string& text);
