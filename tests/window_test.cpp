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
// <its text>.
std::string letters(const std::vector<OutputEntry>& entries) {
    std::string text;
    for (const OutputEntry& entry : entries) {
        if (entry.kind == OutputEntry::Kind::UNPARSED) {
            text += '<' + entry.text + '>';
        } else if (entry.kind == OutputEntry::Kind::HEADING) {
            text += entry.image == Image::MCU ? 'M' : 'F';
        } else {
            text += ".dxrn"[static_cast<int>(entry.kind) - 1];
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

// The window's state while the updater has printed `output`.
WindowState updating(const std::string& output, const Language& language = english()) {
    WindowState state({252, 5}, language);
    state.updaterstarted();
    for (const OutputEntry& entry : read({{output, 10}})) {
        state.output(entry);
    }
    return state;
}

RunEnd ended(std::uint32_t status, bool pipe_broke = false, bool by_user = false) {
    return {true, 0, "", status, pipe_broke, by_user};
}

// The buttons and the bar as the user sees them: "Try again" when shown,
// the other button's label, the one Enter presses marked '*', then the bar.
std::string controls(const View& view) {
    const auto pressed = [&view](DefaultButton button) {
        return view.default_button == button ? "*" : "";
    };
    std::string text;
    if (view.show_try_again) {
        text += std::string("Try again") + pressed(DefaultButton::TRY_AGAIN_BUTTON) + ", ";
    }
    text += view.cancel_label + pressed(DefaultButton::CLOSE_BUTTON);
    if (view.show_progress) {
        text += ", bar " + std::to_string(view.progress) + "/" +
                std::to_string(view.progress_total) + (view.progress_failed ? " red" : "");
    }
    return text;
}

// One verdict per status; output never makes a success, and the exit
// status is the updater's except where the window has its own. Every end
// keeps the bar where the run left it; only a success closes on Enter. The
// PC is kept awake until the end, whatever the end.
TEST(WindowState, VerdictButtonsAndExitStatusComeFromTheStatusAlone) {
    const std::string complete =
        "Updating FPGA.. done.\r\nUpdating MCU.. done.\r\nRestarting...\r\n";
    const std::tuple<RunEnd, std::string, std::string, std::string, int> cases[] = {
        {ended(0), complete, "The Torvik is updated", "Close*, bar 2/257", 0},
        {ended(2), "No Torvik found.\r\n", "The Torvik was not found",
         "Try again*, Close, bar 0/257 red", 2},
        {ended(3), "Updating FPGA. failed.\r\n", "The update failed",
         "Try again*, Close, bar 0/257 red", 3},
        {ended(5), complete, "The updater stopped unexpectedly", "Try again*, Close, bar 2/257 red",
         5},
        {ended(0, true), complete, "The updater stopped unexpectedly",
         "Try again*, Close, bar 2/257 red", 0},
        {ended(1, false, true), "Updating FPGA..", "The update was stopped",
         "Try again*, Close, bar 1/257 red", 4},
        // The updater ended by itself before the stop reached it.
        {ended(0, false, true), complete, "The Torvik is updated", "Close*, bar 2/257", 0},
        {RunEnd{false, 2, "", 0, false, false}, "", "The updater could not be started",
         "Try again*, Close", 1},
    };
    for (const auto& [end, output, headline, shown, exit_status] : cases) {
        WindowState state = updating(output);
        EXPECT_EQ(controls(state.view()),
                  "Cancel, bar " + std::to_string(state.view().progress) + "/257");
        EXPECT_TRUE(state.keepsawake()) << output;
        state.ended(end);
        EXPECT_EQ(state.view().headline, headline) << output;
        EXPECT_EQ(controls(state.view()), shown) << headline;
        EXPECT_EQ(state.exitstatus(), exit_status) << headline;
        EXPECT_FALSE(state.keepsawake()) << headline;
    }
}

TEST(WindowState, BlocksOfTheImagesCountTheFpgaLengthField) {
    EXPECT_EQ(blocksfor(2044, 2048).fpga, 1);
    EXPECT_EQ(blocksfor(2045, 2049).fpga, 2);
    EXPECT_EQ(blocksfor(2045, 2049).mcu, 2);
}

// The updater's output as the window takes it: chunks at their times.
void feed(WindowState& state, UpdaterOutput& reader, const std::string& chunk, std::uint32_t ms) {
    std::vector<OutputEntry> entries;
    reader.feed(chunk, ms, entries);
    for (const OutputEntry& entry : entries) {
        state.output(entry);
    }
}

// The pace since the first block, which came after the device was opened;
// shown once five blocks have gone, rounded up.
TEST(WindowState, TimeLeftComesFromThePaceSinceTheFirstBlock) {
    const std::tuple<int, std::uint32_t, std::uint32_t, std::string> cases[] = {
        {4, 900, 100, ""},
        {5, 900, 100, "About 30 seconds left"},  // 252 blocks to go at 100 ms
        {9, 900, 100, "About 25 seconds left"},  // 248 at 100 ms: 24.8 s
        {5, 20, 238, "About 60 seconds left"},   // 252 at 238 ms: 59.976 s
        {5, 20, 242, "About 2 minutes left"},    // 252 at 242 ms: 60.984 s
    };
    for (const auto& [dots, first_ms, pace_ms, expected] : cases) {
        WindowState state({252, 5});
        UpdaterOutput reader;
        state.updaterstarted();
        feed(state, reader, "Updating FPGA.", 10);
        for (int dot = 0; dot < dots; ++dot) {
            feed(state, reader, ".", first_ms + static_cast<std::uint32_t>(dot) * pace_ms);
        }
        EXPECT_EQ(state.view().time_left, expected) << dots << " blocks at " << pace_ms << " ms";
    }
}

// Try again after a run that got as far as restarting: the second run
// shows only itself, its bar, phase, counts and time left from zero, and
// names the image and block that failed.
TEST(WindowState, TryAgainStartsAfresh) {
    WindowState state({252, 5});
    UpdaterOutput first;
    state.updaterstarted();
    feed(state, first,
         "Updating FPGA." + std::string(252, '.') + " done.\r\nUpdating MCU..... done.\r\n" +
             "odd\r\nRestarting...\r\n",
         100);
    EXPECT_EQ(state.view().phase, "Restarting the Torvik");
    state.ended(ended(5));
    ASSERT_TRUE(state.unparsedoutput());

    state.startwaiting(60'000);
    EXPECT_EQ(controls(state.view()), "Cancel");
    EXPECT_EQ(state.exitstatus(), EXIT_NO_DEVICE);
    ASSERT_TRUE(state.surveyed({1, 0, {}}));
    UpdaterOutput second;
    state.updaterstarted();
    EXPECT_EQ(state.view().phase, "");
    EXPECT_EQ(controls(state.view()), "Cancel, bar 0/257");
    feed(state, second, "Updating FPGA.", 0);
    for (std::uint32_t dot = 0; dot < 6; ++dot) {
        feed(state, second, ".", 5000 + dot * 100);
    }
    const View view = state.view();
    EXPECT_EQ(view.phase, "Writing the FPGA image: block 7 of 252");
    EXPECT_EQ(view.time_left, "About 30 seconds left");  // 251 blocks to go at 100 ms
    EXPECT_EQ(controls(view), "Cancel, bar 6/257");
    feed(state, second, std::string(246, '.'), 8000);  // all written, not yet done
    EXPECT_EQ(state.view().phase, "Writing the FPGA image: block 252 of 252");
    feed(state, second, " done.\r\nUpdating MCU...", 9000);
    EXPECT_EQ(state.view().phase, "Writing the MCU image: block 3 of 5");
    feed(state, second, " failed.\r\n", 9500);
    state.ended(ended(3));
    EXPECT_EQ(state.view().message.substr(0, 38), "The MCU image failed at block 3 of 5. ");
    EXPECT_EQ(controls(state.view()), "Try again*, Close, bar 254/257 red");
    EXPECT_FALSE(state.unparsedoutput());
}

// Looks while waiting, as the window makes them: at `ms` on a clock that
// is passed in, counting `others` torvikupdate.exe processes, with what the
// survey found. Each says what the window then shows (its buttons, headline
// and message), or "starts".
struct Look {
    Millis ms;
    int others;
    TorvikSurvey survey;
    std::string shows;
};

// Ten minutes, but not while another updater runs. Closed while waiting,
// or once it stopped waiting, the window ends as the updater does when it
// finds no Torvik, whatever the run before ended with; it keeps no PC awake.
TEST(WindowState, StartsWithOneTorvikInBootloaderModeAndNoOtherUpdaterRunning) {
    const std::string another =
        "Cancel: Another update is running: Another Torvik update is running";
    const std::string connect = "Cancel: Connect the Torvik in bootloader mode";
    const std::string gaveup = "Try again*, Close: No Torvik was found";
    const std::vector<Look> runs[] = {
        {{0, 0, {0, 2, {}}, "Cancel: The Torvik is running its normal firmware"},
         {1, 0, {3, 1, {}}, "Cancel: More than one Torvik is in bootloader mode: 3 Torviks are"},
         {WAIT_LIMIT - 1, 0, {}, connect},
         {WAIT_LIMIT, 0, {}, gaveup}},
        {{1000, 1, {1, 0, {}}, another}, {2000, 0, {1, 3, {}}, "starts"}},
        // No giving up while another runs: the ten minutes start at its end.
        {{1000, 2, {}, another},
         {WAIT_LIMIT + 1000, 1, {}, another},
         {WAIT_LIMIT + 2000, 0, {}, connect},
         {2 * WAIT_LIMIT + 1999, 0, {}, connect},
         {2 * WAIT_LIMIT + 2000, 0, {}, gaveup}},
    };
    for (const std::vector<Look>& looks : runs) {
        WindowState state = updating("Updating FPGA.. failed.\r\n");
        state.ended(ended(3));
        state.startwaiting(0);
        for (const Look& look : looks) {
            bool starts = false;
            if (!state.givesup(look.ms)) {
                state.otherupdaters(look.others, look.ms);
                starts = state.surveyed(look.survey);
            }
            const View view = state.view();
            const std::string shows =
                starts ? "starts" : controls(view) + ": " + view.headline + ": " + view.message;
            EXPECT_EQ(shows.substr(0, look.shows.size()), look.shows) << "at " << look.ms;
            EXPECT_EQ(state.exitstatus(), EXIT_NO_DEVICE) << "at " << look.ms;
            EXPECT_FALSE(state.keepsawake()) << "at " << look.ms;
        }
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
    WindowState german = updating("Updating MCU..", languagefor(0x0407));
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
    // English whatever the window's language, for support.
    const LogFacts facts{"1.2",   300,    "f5", 40, "a4", "10.0", {0x1209, 6, 0x100, "p"},
                         "u.exe", "de-DE"};
    EXPECT_EQ(logheader(facts),
              "Update Torvik 1.2\r\nFPGA image: 300 bytes, SHA-256 f5\r\nMCU image: 40 bytes, "
              "SHA-256 a4\r\nWindows: 10.0\r\nLanguage: de-DE\r\nDevice: vendor 0x1209, product "
              "0x0006, version 0x0100, path p\r\nUpdater: u.exe\r\nOutput (ms since the updater "
              "started):\r\n");
    EXPECT_EQ(logname(2024, 3, 5, 7, 8, 9, 1), "update-20240305-070809.log");
    EXPECT_EQ(logname(2024, 3, 5, 7, 8, 9, 2), "update-20240305-070809-2.log");
}

// The newest 20 stay, a later run in the same second counting as newer.
// Only names the window makes are logs: a copy a user made for support,
// or a note named like a log, is never deleted and takes no place.
TEST(RunLog, DeletesAllButTheNewestTwentyLogs) {
    std::vector<std::string> names = {
        "notes.txt",
        "update-20231231-235959 - Copy.log",
        "update-20231231-235959-2 - Copy.log",
        "update-notes-for-suppor.log",
        "update-20231231-23595x.log",
        "update-20231231-235959-1.log",
        "update-20231231-235959-02.log",
        "update-20231231-235959-.log",
        "update-20231231-235959-101.log",
        "update-20231231_235959.log",
        "update-20240101-000000-2.log",
    };
    for (int day = 2; day <= 20; ++day) {
        names.push_back(logname(2024, 1, day, 0, 0, 0, 1));
    }
    names.push_back("update-20240101-000000.log");
    EXPECT_EQ(logstodelete(names), (std::vector<std::string>{"update-20240101-000000.log"}));
    names.push_back("update-20240101-000000-100.log");
    EXPECT_EQ(logstodelete(names), (std::vector<std::string>{"update-20240101-000000.log",
                                                             "update-20240101-000000-2.log"}));
}

using Survey = SimBusTest;

TEST_F(Survey, CountsTorviksByModeAndNamesTheFirstInBootloaderMode) {
    // Path, vendor, product, whether it opens, and its string 4 (the
    // bootloader's marker).
    const std::tuple<const char*, std::uint16_t, std::uint16_t, bool, const char16_t*>
        interfaces[] = {
            {"keyboard", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID, false, u""},
            {"other vendor", TORVIK_VENDOR_ID ^ 1, TORVIK_PRODUCT_ID, true, u"FW"},
            {"other product", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID ^ 1, true, u"FW"},
            {"other product, normal", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID ^ 2, true, u"Torvik"},
            {"normal", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID, true, u"Torvik"},
            {"first", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID, true, u"FW-BOOT"},
            {"second", TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID, true, u"FW-BOOT"},
        };
    for (const auto& [path, vendor_id, product_id, can_open, string4] : interfaces) {
        sim::Interface torvik{path};
        torvik.vendor_id = vendor_id;
        torvik.product_id = product_id;
        torvik.can_open = can_open;
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

// The log names the device's path as far as it fits the survey's 512
// bytes, with the zero that ends it; nothing is written past them (the
// sanitizers' build sees any byte that is).
TEST_F(Survey, KeepsAPathAsLongAsItsBufferAndCutsALongerOne) {
    for (const std::size_t length : {511, 512, 700}) {
        bus().reset();
        sim::Interface torvik{std::string(length - 1, 'p') + 'q'};
        torvik.vendor_id = TORVIK_VENDOR_ID;
        torvik.product_id = TORVIK_PRODUCT_ID;
        torvik.string4 = u"FW";
        bus().add(torvik);
        const std::string path =
            surveytorviks(TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID).first_in_bootloader.path;
        EXPECT_EQ(path, torvik.path.substr(0, 511)) << length;
    }
}

}  // namespace
