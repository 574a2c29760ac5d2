// The decisions of "Update Torvik.exe" (launcher/), without its window: the
// reading of the updater's output, what each state shows, the verdicts and
// exit statuses, the log's text, and the survey on the simulated bus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_log.h"
#include "sim_fixture.h"
#include "survey.h"
#include "torvik_config.h"
#include "torvikupdate.h"
#include "updater_output.h"
#include "window_state.h"

namespace {

// The entries as letters: F/M a heading, '.' a dot, d done, x failed,
// r restarting, n not found, and an unparsed line as <its text>.
std::string letters(const std::vector<OutputEntry>& entries) {
    std::string text;
    for (const OutputEntry& entry : entries) {
        switch (entry.kind) {
            case OutputEntry::Kind::HEADING:
                text += entry.image == Image::MCU ? 'M' : 'F';
                break;
            case OutputEntry::Kind::DOT:
                text += '.';
                break;
            case OutputEntry::Kind::DONE:
                text += 'd';
                break;
            case OutputEntry::Kind::FAILED:
                text += 'x';
                break;
            case OutputEntry::Kind::RESTARTING:
                text += 'r';
                break;
            case OutputEntry::Kind::NOT_FOUND:
                text += 'n';
                break;
            case OutputEntry::Kind::UNPARSED:
                text += '<' + entry.text + '>';
                break;
        }
    }
    return text;
}

// The output in two chunks split at `cut`, then ended.
std::vector<OutputEntry> read(const std::string& output, std::size_t cut) {
    UpdaterOutput reader;
    std::vector<OutputEntry> entries;
    reader.feed(output.substr(0, cut), 10, entries);
    reader.feed(output.substr(cut), 20, entries);
    reader.finish(30, entries);
    return entries;
}

// Whatever the pipe cuts where, the same entries come out.
TEST(UpdaterOutput, ReadsTheSameEntriesWhereverTheChunksAreCut) {
    const struct {
        std::string output;
        std::string entries;
    } cases[] = {
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
    for (const auto& test : cases) {
        for (std::size_t cut = 0; cut <= test.output.size(); ++cut) {
            EXPECT_EQ(letters(read(test.output, cut)), test.entries)
                << test.output << " cut at " << cut;
        }
    }
}

TEST(UpdaterOutput, EachEntryHasTheTimeOfTheChunkThatCompletedIt) {
    UpdaterOutput reader;
    std::vector<OutputEntry> entries;
    for (const auto& [chunk, ms] :
         {std::pair{"Updating FP", 5}, {"GA.", 7}, {".", 20}, {". do", 35}, {"ne.\r\n", 40}}) {
        reader.feed(chunk, ms, entries);
    }
    std::vector<std::uint32_t> times;
    for (const OutputEntry& entry : entries) {
        times.push_back(entry.ms);
    }
    EXPECT_EQ(letters(entries), "F..d");
    EXPECT_EQ(times, (std::vector<std::uint32_t>{7, 20, 35, 40}));
}

// The window's state after the updater printed `output` and ended so.
WindowState afterrun(const std::string& output, const RunEnd& end) {
    WindowState state({252, 5});
    state.updaterstarted();
    for (const OutputEntry& entry : read(output, output.size() / 2)) {
        state.output(entry);
    }
    state.ended(end);
    return state;
}

RunEnd ended(std::uint32_t status, bool pipe_broke = false, bool by_user = false) {
    RunEnd end;
    end.status = status;
    end.pipe_broke = pipe_broke;
    end.stopped_by_user = by_user;
    return end;
}

// One verdict per status; output never makes a success, and the exit
// status is the updater's except where the window has its own.
TEST(WindowState, VerdictAndExitStatusComeFromTheStatusAlone) {
    const std::string complete = "Updating FPGA. done.\r\nUpdating MCU. done.\r\nRestarting...\r\n";
    RunEnd missing;
    missing.started = false;
    missing.start_error = 2;
    const struct {
        const char* name;
        RunEnd end;
        std::string output;
        const char* headline;
        int exit_status;
    } cases[] = {
        {"0", ended(0), complete, "The Torvik is updated", 0},
        {"2", ended(2), "No Torvik found.\r\n", "The Torvik was not found", 2},
        {"3", ended(3), "Updating FPGA. failed.\r\n", "The update failed", 3},
        {"other", ended(5), complete, "The updater stopped unexpectedly", 5},
        {"killed", ended(1), "Updating FPGA...", "The updater stopped unexpectedly", 1},
        {"pipe broke", ended(0, true), complete, "The updater stopped unexpectedly", 0},
        {"stopped", ended(1, false, true), "Updating FPGA..", "The update was stopped", 4},
        {"stopped too late", ended(0, false, true), complete, "The Torvik is updated", 0},
        {"missing", missing, "", "The updater could not be started", 1},
    };
    for (const auto& test : cases) {
        const WindowState state = afterrun(test.output, test.end);
        EXPECT_EQ(state.view().headline, test.headline) << test.name;
        EXPECT_EQ(state.exitstatus(), test.exit_status) << test.name;
        EXPECT_EQ(state.view().show_try_again, state.verdict() != Verdict::UPDATED) << test.name;
    }
}

TEST(WindowState, NamesThePhaseBlockAndTheImageThatFailed) {
    WindowState state({252, 5});
    state.updaterstarted();
    UpdaterOutput reader;
    std::vector<OutputEntry> entries;
    reader.feed("Updating FPGA." + std::string(37, '.'), 0, entries);
    for (const OutputEntry& entry : entries) {
        state.output(entry);
    }
    EXPECT_EQ(state.view().phase, "Writing the FPGA image: block 38 of 252");
    EXPECT_EQ(state.view().progress, 37);
    EXPECT_EQ(state.view().progress_total, 257);
    entries.clear();
    reader.feed(std::string(215, '.'), 0, entries);
    for (const OutputEntry& entry : entries) {
        state.output(entry);
    }
    EXPECT_EQ(state.view().phase, "Writing the FPGA image: block 252 of 252");

    const WindowState failed =
        afterrun("Updating FPGA." + std::string(252, '.') + " done.\r\nUpdating MCU... failed.\r\n",
                 ended(3));
    EXPECT_EQ(failed.view().message.substr(0, 38), "The MCU image failed at block 3 of 5. ");
    EXPECT_EQ(failed.view().progress, 254);
}

TEST(WindowState, BlocksOfTheImagesCountTheFpgaLengthField) {
    EXPECT_EQ(blocksfor(2044, 2048).fpga, 1);
    EXPECT_EQ(blocksfor(2045, 2049).fpga, 2);
    EXPECT_EQ(blocksfor(2045, 2049).mcu, 2);
}

TEST(WindowState, TimeLeftOnceFiveBlocksHaveGoneRoundedUp) {
    const struct {
        int confirmed;
        Millis first, last;
        const char* expected;
    } cases[] = {
        {4, 0, 300, ""},
        {5, 1000, 1400, "About 30 seconds left"},  // 252 blocks of 100 ms
        {5, 0, 952, "About 60 seconds left"},      // 238 ms a block: 59.976 s
        {5, 0, 968, "About 2 minutes left"},       // 242 ms a block: 60.984 s
    };
    for (const auto& test : cases) {
        EXPECT_EQ(timeleft(test.confirmed, 257, test.first, test.last), test.expected)
            << test.confirmed << " blocks, " << test.first << " to " << test.last;
    }
}

// The real limit, on a clock that is passed in.
TEST(WindowState, StopsWaitingAfterTenMinutesAndClosesAsNoTorvikFound) {
    EXPECT_EQ(WAIT_LIMIT, 10u * 60 * 1000);
    WindowState state({252, 5});
    state.startwaiting(5000);
    EXPECT_FALSE(state.givesup(5000 + WAIT_LIMIT - 1));
    EXPECT_EQ(state.view().headline, "Connect the Torvik in bootloader mode");
    EXPECT_TRUE(state.givesup(5000 + WAIT_LIMIT));
    EXPECT_EQ(state.view().headline, "No Torvik was found");
    EXPECT_TRUE(state.view().show_try_again);
    EXPECT_EQ(state.exitstatus(), EXIT_NO_DEVICE);
}

TEST(WindowState, StartsOnlyWithExactlyOneTorvikInBootloaderMode) {
    const struct {
        int in_bootloader, in_normal_firmware;
        bool starts;
        std::string headline;
    } cases[] = {
        {0, 0, false, "Connect the Torvik in bootloader mode"},
        {0, 2, false, "The Torvik is running its normal firmware"},
        {2, 0, false, "More than one Torvik is in bootloader mode"},
        {1, 3, true, ""},
    };
    for (const auto& test : cases) {
        WindowState state({252, 5});
        state.startwaiting(0);
        TorvikSurvey survey;
        survey.in_bootloader = test.in_bootloader;
        survey.in_normal_firmware = test.in_normal_firmware;
        EXPECT_EQ(state.surveyed(survey), test.starts) << test.headline;
        if (!test.starts) {
            EXPECT_EQ(state.view().headline, test.headline);
        }
    }
    WindowState state({252, 5});
    TorvikSurvey three;
    three.in_bootloader = 3;
    state.surveyed(three);
    EXPECT_EQ(state.view().message.substr(0, 33), "3 Torviks are in bootloader mode.");
}

TEST(RunLog, EntriesAndEndingAsSupportReadsThem) {
    OutputEntry dot{OutputEntry::Kind::DOT, Image::FPGA, ".", 1234};
    OutputEntry odd{OutputEntry::Kind::UNPARSED, Image::NONE, "caf\xc3\xa9\tok", 7};
    EXPECT_EQ(logentry(dot), "   1234 ms  .\r\n");
    EXPECT_EQ(logentry(odd), "      7 ms  caf???ok\r\n");
    EXPECT_EQ(logending(ended(3), Verdict::FAILED), "Status: 3\r\nVerdict: The update failed\r\n");
    EXPECT_EQ(logname(2024, 3, 5, 7, 8, 9, 1), "update-20240305-070809.log");
    EXPECT_EQ(logname(2024, 3, 5, 7, 8, 9, 2), "update-20240305-070809-2.log");
}

// The newest LOGS_KEPT stay, a later run in the same second counting as
// newer; other files are never touched.
TEST(RunLog, DeletesAllButTheNewestLogs) {
    std::vector<std::string> names = {"notes.txt", "update-20240101-000000-2.log"};
    for (int day = 10; day < 10 + static_cast<int>(LOGS_KEPT); ++day) {
        names.push_back(logname(2024, 1, day, 0, 0, 0, 1));
    }
    names.push_back("update-20240101-000000.log");
    EXPECT_EQ(logstodelete(names), (std::vector<std::string>{"update-20240101-000000.log",
                                                             "update-20240101-000000-2.log"}));
}

class Survey : public SimBusTest {
  protected:
    void torvik(const std::string& path, const char16_t* string4, std::uint16_t vendor_id) {
        sim::Interface interface { path };
        interface.vendor_id = vendor_id;
        interface.product_id = TORVIK_PRODUCT_ID;
        interface.version = 0x0100;
        interface.string4 = string4;
        bus().add(interface);
    }
};

TEST_F(Survey, CountsTorviksByModeAndNamesTheFirstInBootloaderMode) {
    sim::Interface keyboard{"keyboard"};
    keyboard.can_open = false;
    bus().add(keyboard);
    torvik("other vendor", u"FW", TORVIK_VENDOR_ID ^ 1);
    torvik("normal", u"Torvik", TORVIK_VENDOR_ID);
    torvik("first", u"FW-BOOT", TORVIK_VENDOR_ID);
    torvik("second", u"FW-BOOT", TORVIK_VENDOR_ID);

    const TorvikSurvey found = surveytorviks(TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID);
    EXPECT_EQ(found.in_bootloader, 2);
    EXPECT_EQ(found.in_normal_firmware, 1);
    EXPECT_EQ(found.first_in_bootloader.path, "first");
    EXPECT_EQ(found.first_in_bootloader.vendor_id, TORVIK_VENDOR_ID);
    EXPECT_EQ(found.first_in_bootloader.version, 0x0100);
    EXPECT_EQ(bus().accounting().handles_opened, bus().accounting().handles_closed);
}

}  // namespace
