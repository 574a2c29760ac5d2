// The decisions of "Update Torvik.exe" (launcher/), without its window: the
// reading of the updater's output, what each state shows, the verdicts and
// exit statuses, the log's text, and the survey on the simulated bus.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "run_log.h"
#include "sim_fixture.h"
#include "survey.h"
#include "texts.h"
#include "torvik_config.h"
#include "torvikupdate.h"
#include "updater_output.h"
#include "window_state.h"

namespace {

// The output fed in chunks, each arriving at its time, then ended.
std::vector<OutputEntry> read(const std::vector<std::pair<std::string, std::uint32_t>>& chunks) {
    UpdaterOutput reader;
    std::vector<OutputEntry> entries;
    for (const auto& [chunk, ms] : chunks) {
        reader.feed(chunk, ms, entries);
    }
    reader.finish(99, entries);
    return entries;
}

// The entries as letters: F/M a heading, then in the order of the kinds '.'
// a dot, d done, x failed, r restarting, n not found; an unparsed line as
// <its text>. With `times`, each is followed by its time.
std::string letters(const std::vector<OutputEntry>& entries, bool times = false) {
    std::string text;
    for (const OutputEntry& entry : entries) {
        if (entry.kind == OutputEntry::Kind::UNPARSED) {
            text += '<' + entry.text + '>';
        } else if (entry.kind == OutputEntry::Kind::HEADING) {
            text += entry.image == Image::MCU ? 'M' : 'F';
        } else {
            text += ".dxrn"[static_cast<int>(entry.kind) - 1];
        }
        if (times) {
            text += std::to_string(entry.ms) + ' ';
        }
    }
    return text;
}

// Whatever the pipe cuts where, the same entries come out.
TEST(UpdaterOutput, ReadsTheSameEntriesWhereverTheChunksAreCut) {
    const std::pair<std::string, std::string> cases[] = {
        {"Updating FPGA.... done.\r\nUpdating MCU... done.\r\nRestarting...\r\n", "F...dM..dr"},
        {"Updating FPGA.. done.\nUpdating MCU.. failed.\n", "F.dM.x"},
        {"No Torvik found. Please restart Torvik in bootloader mode.\r\n", "n"},
        // Text among the dots is no dot, and ends the phase.
        {"Updating FPGA..oops. done.\r\nRestarting...\r\n", "F.<oops. done.>r"},
        {"warning: slow\r\nUpdating MCU.\r\n. done.\r\n", "<warning: slow>M<. done.>"},
        // Cut off: what was held back is a line of its own.
        {"Updating MCU... do", "M..< do>"},
        {"Restart", "<Restart>"},
    };
    for (const auto& [output, expected] : cases) {
        for (std::size_t cut = 0; cut <= output.size(); ++cut) {
            const auto entries = read({{output.substr(0, cut), 10}, {output.substr(cut), 20}});
            EXPECT_EQ(letters(entries), expected) << output << " cut at " << cut;
        }
    }
}

TEST(UpdaterOutput, EachEntryHasTheTimeOfTheChunkThatCompletedIt) {
    const auto entries =
        read({{"Updating FP", 5}, {"GA.", 7}, {".", 20}, {". do", 35}, {"ne.\r\n", 40}});
    EXPECT_EQ(letters(entries, true), "F7 .20 .35 d40 ");
}

// The window's state while the updater has printed `output`.
WindowState updating(const std::string& output) {
    WindowState state({252, 5});
    state.updaterstarted();
    for (const OutputEntry& entry : read({{output, 10}})) {
        state.output(entry);
    }
    return state;
}

RunEnd ended(std::uint32_t status, bool pipe_broke = false, bool by_user = false) {
    return {true, 0, "", status, pipe_broke, by_user};
}

// One verdict per status; output never makes a success, and the exit
// status is the updater's except where the window has its own.
TEST(WindowState, VerdictAndExitStatusComeFromTheStatusAlone) {
    const std::string complete = "Updating FPGA. done.\r\nUpdating MCU. done.\r\nRestarting...\r\n";
    const std::tuple<RunEnd, std::string, std::string, int> cases[] = {
        {ended(0), complete, "The Torvik is updated", 0},
        {ended(2), "No Torvik found.\r\n", "The Torvik was not found", 2},
        {ended(3), "Updating FPGA. failed.\r\n", "The update failed", 3},
        {ended(5), complete, "The updater stopped unexpectedly", 5},
        {ended(0, true), complete, "The updater stopped unexpectedly", 0},
        {ended(1, false, true), "Updating FPGA..", "The update was stopped", 4},
        // The updater ended by itself before the stop reached it.
        {ended(0, false, true), complete, "The Torvik is updated", 0},
        {RunEnd{false, 2, "", 0, false, false}, "", "The updater could not be started", 1},
    };
    for (const auto& [end, output, headline, exit_status] : cases) {
        WindowState state = updating(output);
        state.ended(end);
        EXPECT_EQ(state.view().headline, headline) << output;
        EXPECT_EQ(state.exitstatus(), exit_status) << headline;
    }
}

TEST(WindowState, NamesThePhaseBlockAndTheImageThatFailed) {
    const std::string fpga = "Updating FPGA." + std::string(37, '.');
    EXPECT_EQ(updating(fpga).view().phase, "Writing the FPGA image: block 38 of 252");
    const std::string written = fpga + std::string(215, '.');
    EXPECT_EQ(updating(written).view().phase, "Writing the FPGA image: block 252 of 252");

    WindowState failed = updating(written + " done.\r\nUpdating MCU... failed.\r\n");
    failed.ended(ended(3));
    EXPECT_EQ(failed.view().message.substr(0, 38), "The MCU image failed at block 3 of 5. ");
    EXPECT_EQ(failed.view().progress, 254);
}

TEST(WindowState, BlocksOfTheImagesCountTheFpgaLengthField) {
    EXPECT_EQ(blocksfor(2044, 2048).fpga, 1);
    EXPECT_EQ(blocksfor(2045, 2049).fpga, 2);
    EXPECT_EQ(blocksfor(2045, 2049).mcu, 2);
}

TEST(WindowState, TimeLeftOnceFiveBlocksHaveGoneRoundedUp) {
    const std::tuple<int, Millis, Millis, std::string> cases[] = {
        {4, 0, 300, ""},
        {5, 1000, 1400, "About 30 seconds left"},  // 252 blocks of 100 ms
        {5, 0, 952, "About 60 seconds left"},      // 238 ms a block: 59.976 s
        {5, 0, 968, "About 2 minutes left"},       // 242 ms a block: 60.984 s
    };
    for (const auto& [confirmed, first, last, expected] : cases) {
        EXPECT_EQ(timeleft(english(), confirmed, 257, first, last), expected)
            << confirmed << " blocks, " << first << " to " << last;
    }
}

// Ten minutes on a clock that is passed in; closed while waiting, the
// window ends as the updater does when it finds no Torvik.
TEST(WindowState, StopsWaitingAfterTenMinutesAndClosesAsNoTorvikFound) {
    WindowState state({252, 5});
    state.startwaiting(5000);
    EXPECT_FALSE(state.givesup(5000 + 600'000 - 1));
    EXPECT_EQ(state.exitstatus(), EXIT_NO_DEVICE);
    EXPECT_TRUE(state.givesup(5000 + 600'000));
    EXPECT_EQ(state.view().headline, "No Torvik was found");
}

// What the window shows while waiting, or "starts" when the update starts.
TEST(WindowState, StartsOnlyWithExactlyOneTorvikInBootloaderMode) {
    const std::pair<TorvikSurvey, std::string> cases[] = {
        {{0, 0, {}}, "Connect the Torvik in bootloader mode"},
        {{0, 2, {}}, "The Torvik is running its normal firmware"},
        {{3, 0, {}}, "More than one Torvik is in bootloader mode: 3 Torviks are in"},
        {{1, 3, {}}, "starts"},
    };
    for (const auto& [survey, expected] : cases) {
        WindowState state({252, 5});
        state.startwaiting(0);
        const bool starts = state.surveyed(survey);
        const View view = state.view();
        const std::string shows = starts ? "starts" : view.headline + ": " + view.message;
        EXPECT_EQ(shows.substr(0, expected.size()), expected);
    }
}

// Every table has every text, with the placeholders of English: a text
// missing, or one without a number that English puts in, fails here.
TEST(Texts, EveryLanguageHasEveryTextWithEnglishPlaceholders) {
    for (const Language* language : languages()) {
        for (std::size_t id = 0; id < TEXT_COUNT; ++id) {
            const Text text = static_cast<Text>(id);
            const std::string translated = textof(*language, text);
            EXPECT_FALSE(translated.empty()) << language->tag << " lacks text " << id;
            auto theirs = placeholders(translated);
            auto ours = placeholders(textof(english(), text));
            std::sort(theirs.begin(), theirs.end());
            std::sort(ours.begin(), ours.end());
            EXPECT_EQ(theirs, ours) << language->tag << " text " << id << ": " << translated;
        }
    }
}

// Windows' language identifiers to tables: the primary language decides,
// Chinese by its script; anything else is English.
TEST(Texts, ChoosesTheTableForTheDisplayLanguage) {
    const std::pair<std::uint16_t, std::string> cases[] = {
        {0x0409, "en-US"}, {0x0809, "en-US"}, {0x0407, "de-DE"}, {0x0C07, "de-DE"},
        {0x040C, "fr-FR"}, {0x0C0C, "fr-FR"}, {0x0C0A, "es-ES"}, {0x080A, "es-ES"},
        {0x0410, "it-IT"}, {0x0416, "pt-BR"}, {0x0816, "pt-BR"}, {0x0415, "pl-PL"},
        {0x0411, "ja-JP"}, {0x0804, "zh-CN"}, {0x1004, "zh-CN"}, {0x0404, "en-US"},
        {0x0C04, "en-US"}, {0x0412, "ko-KR"}, {0x0419, "en-US"}, {0x0000, "en-US"},
    };
    for (const auto& [langid, tag] : cases) {
        EXPECT_EQ(languagefor(langid).tag, tag) << std::hex << langid;
    }
}

// Values go where each language puts them; a value is never searched for
// placeholders again.
TEST(Texts, FillsPlaceholdersInTheLanguagesOrder) {
    EXPECT_EQ(fill("{block} of {total}, {block}", {{"block", "3"}, {"total", "{block}"}}),
              "3 of {block}, 3");
    WindowState german({252, 5}, languagefor(0x0407));
    german.updaterstarted();
    for (const OutputEntry& entry : read({{"Updating MCU..", 10}})) {
        german.output(entry);
    }
    EXPECT_EQ(german.view().phase, "Das MCU-Image wird geschrieben: Block 2 von 5");
    german.ended(ended(3));
    EXPECT_EQ(german.view().headline, "Das Update ist fehlgeschlagen");
    // The button named as it is labelled.
    EXPECT_NE(german.view().message.find("„Erneut versuchen“"), std::string::npos);
    EXPECT_EQ(headlinefor(german.verdict()), "The update failed");
}

TEST(RunLog, EntriesAndEndingAsSupportReadsThem) {
    const OutputEntry dot{OutputEntry::Kind::DOT, Image::FPGA, ".", 1234};
    const OutputEntry odd{OutputEntry::Kind::UNPARSED, Image::NONE, "caf\xc3\xa9\tok", 7};
    EXPECT_EQ(logentry(dot), "   1234 ms  .\r\n");
    EXPECT_EQ(logentry(odd), "      7 ms  caf???ok\r\n");
    EXPECT_EQ(logending(ended(3), Verdict::FAILED), "Status: 3\r\nVerdict: The update failed\r\n");
    LogFacts facts;
    facts.language = "de-DE";  // the window's, while the log stays English
    EXPECT_NE(logheader(facts).find("\r\nLanguage: de-DE\r\n"), std::string::npos);
    EXPECT_EQ(logname(2024, 3, 5, 7, 8, 9, 1), "update-20240305-070809.log");
    EXPECT_EQ(logname(2024, 3, 5, 7, 8, 9, 2), "update-20240305-070809-2.log");
}

// The newest LOGS_KEPT stay, a later run in the same second counting as
// newer; other files are never touched.
TEST(RunLog, DeletesAllButTheNewestLogs) {
    std::vector<std::string> names = {"notes.txt", "update-20240101-000000-2.log"};
    for (int day = 10; day < 9 + static_cast<int>(LOGS_KEPT); ++day) {
        names.push_back(logname(2024, 1, day, 0, 0, 0, 1));
    }
    names.push_back("update-20240101-000000.log");
    EXPECT_EQ(logstodelete(names), (std::vector<std::string>{"update-20240101-000000.log"}));
}

using Survey = SimBusTest;

TEST_F(Survey, CountsTorviksByModeAndNamesTheFirstInBootloaderMode) {
    // Path, vendor, whether it opens, and its string 4 (the bootloader's marker).
    const std::tuple<const char*, std::uint16_t, bool, const char16_t*> interfaces[] = {
        {"keyboard", TORVIK_VENDOR_ID, false, u""},
        {"other vendor", TORVIK_VENDOR_ID ^ 1, true, u"FW"},
        {"normal", TORVIK_VENDOR_ID, true, u"Torvik"},
        {"first", TORVIK_VENDOR_ID, true, u"FW-BOOT"},
        {"second", TORVIK_VENDOR_ID, true, u"FW-BOOT"},
    };
    for (const auto& [path, vendor_id, can_open, string4] : interfaces) {
        sim::Interface torvik{path};
        torvik.vendor_id = vendor_id;
        torvik.can_open = can_open;
        torvik.product_id = TORVIK_PRODUCT_ID;
        torvik.version = 0x0100;
        torvik.string4 = string4;
        bus().add(torvik);
    }

    const TorvikSurvey found = surveytorviks(TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID);
    EXPECT_EQ(found.in_bootloader, 2);
    EXPECT_EQ(found.in_normal_firmware, 1);
    EXPECT_EQ(found.first_in_bootloader.path, "first");
    EXPECT_EQ(found.first_in_bootloader.version, 0x0100);
    EXPECT_EQ(bus().accounting().handles_opened, bus().accounting().handles_closed);
}

}  // namespace
