// torvik-sim run as a child process, as a user runs it, with the built-in
// images: output, exit status, summary line, saved images, trace, and the
// command lines it refuses. The simulated bootloader checks every report it
// takes (order, checksum, padding); a whole run that breaks a platform rule
// adds a line to stderr, which summaryof() refuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes readfile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string readtext(const fs::path& path) {
    const Bytes bytes = readfile(path);
    return std::string(bytes.begin(), bytes.end());
}

struct Outputs {
    std::string out, err;
    int status = -1;  // -1: the child did not exit by itself
};

struct Summary {
    long writes = -1;
    std::string restarted;
};

class TorvikSim : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "torvik-sim-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        fs::remove_all(dir);
    }

    // Arguments are single words. A hung child is stopped after 30 s of real
    // time (a whole run takes well under one).
    Outputs sim(const std::vector<std::string>& args) {
        std::string command = "timeout -s KILL 30 " TORVIK_SIM_PATH;
        for (const std::string& arg : args) {
            command += " '" + arg + "'";
        }
        const int wait_status = std::system(
            (command + " </dev/null >" + (dir / "out").string() + " 2>" + (dir / "err").string())
                .c_str());
        const int status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
        return {readtext(dir / "out"), readtext(dir / "err"), status == 137 ? -1 : status};
    }

    // The summary line, which must be all that a run writes to stderr.
    static Summary summaryof(const Outputs& run) {
        static const std::regex line("elapsed=\\d+ writes=(\\d+) reads=\\d+ restarted=(yes|no)\n");
        std::smatch match;
        if (!std::regex_match(run.err, match, line)) {
            ADD_FAILURE() << "stderr holds more or less than the summary line:\n" << run.err;
            return {};
        }
        return {std::stol(match[1]), match[2]};
    }

    fs::path dir;
};

const Bytes FPGA = readfile(FPGA_IMAGE_PATH);
const Bytes MCU = readfile(MCU_IMAGE_PATH);
// The FPGA stream is the image behind its 4-byte length.
const long FPGA_BLOCKS = static_cast<long>((FPGA.size() + 4 + 2047) / 2048);
const long BLOCKS = FPGA_BLOCKS + static_cast<long>(MCU.size() / 2048);
const long CLEAN_WRITES = BLOCKS * 36 + 1;  // 36 chunks a block and the restart report

std::string dots(long count) {
    return std::string(static_cast<std::size_t>(count), '.');
}

const std::string NOT_FOUND =
    "No Torvik found. Please restart Torvik in bootloader mode (connect USB during power on).\n";
const std::string FPGA_DONE = "Updating FPGA." + dots(FPGA_BLOCKS) + " done.\n";
const std::string UPDATED =
    FPGA_DONE + "Updating MCU." + dots(BLOCKS - FPGA_BLOCKS) + " done.\nRestarting...\n";

struct Outcome {
    const char* name;
    const char* args;  // separated by blanks
    std::string out;
    int status;
    long min_writes, max_writes;
};

const long MCU6 = (FPGA_BLOCKS + 6) * 36;  // the writes up to MCU block 6's last attempt
const long UNPLUGGED = 17 * 36 + 4 * 3;    // 17 blocks, then 4 attempts of 3 failed writes

const Outcome OUTCOMES[] = {
    {"CleanRun_Updates", "", UPDATED, 0, CLEAN_WRITES, CLEAN_WRITES},
    {"NoDevice_NotFound", "--device=none", NOT_FOUND, 2, 0, 0},
    {"DeviceRunningItsFirmware_NotFound", "--device=normal", NOT_FOUND, 2, 0, 0},
    {"McuBlock6NeverAnswered_FailsAfterTwoMcuDots", "--no-ack=6",
     FPGA_DONE + "Updating MCU." + dots(2) + " failed.\n", 3, MCU6, MCU6},
    {"FirstBlockNeverAnswered_FailsWithoutADot", "--no-ack=0X1000:all", "Updating FPGA. failed.\n",
     3, 4 * 36, 4 * 36},
    {"UnpluggedAfterBlock0x1010_FailsAfter17Dots", "--unplug-after=0x1010",
     "Updating FPGA." + dots(17) + " failed.\n", 3, UNPLUGGED, UNPLUGGED},
    // Through the Linux backend, in real time; writes are those that reached
    // the node: once the device is gone, reads and writes fail at once.
    {"Hidraw_NoDevice_NotFound", "--hidraw --device=none", NOT_FOUND, 2, 0, 0},
    {"Hidraw_UnpluggedAfterBlock0x1010_FailsAfter17Dots", "--hidraw --unplug-after=0x1010",
     "Updating FPGA." + dots(17) + " failed.\n", 3, 17 * 36, 17 * 36},
    // The first read gives up after 2 s and is cancelled; the second must
    // still wait for the answer, not take the cancelled one for it.
    {"Hidraw_AnswerAfter2500ms_TakenByTheSecondRead", "--hidraw --late-ack=0x1000:2500", UPDATED, 0,
     CLEAN_WRITES, CLEAN_WRITES},
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
    *out << outcome.name;
}

class TorvikSimOutcomes : public TorvikSim, public ::testing::WithParamInterface<Outcome> {};

TEST_P(TorvikSimOutcomes, PrintExactlyThisAndExitWithThisStatus) {
    const Outcome& expected = GetParam();
    std::istringstream words(expected.args);
    const Outputs run = sim({std::istream_iterator<std::string>(words), {}});
    EXPECT_EQ(run.out, expected.out);
    EXPECT_EQ(run.status, expected.status);
    const Summary summary = summaryof(run);
    EXPECT_EQ(summary.restarted, expected.status == 0 ? "yes" : "no");
    EXPECT_GE(summary.writes, expected.min_writes);
    EXPECT_LE(summary.writes, expected.max_writes);
}

INSTANTIATE_TEST_SUITE_P(TorvikSim, TorvikSimOutcomes, ::testing::ValuesIn(OUTCOMES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TorvikSim, UpdatesThroughTheLinuxBackendReportForReportAsOnTheSimulatedBus) {
    const Outputs reference = sim({"--trace=" + (dir / "bus.trace").string()});
    const fs::path saved = dir / "new" / "dir";  // created
    const Outputs run =
        sim({"--hidraw", "--save=" + saved.string(), "--trace=" + (dir / "hidraw.trace").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, reference.out);
    EXPECT_EQ(summaryof(run).restarted, "yes");
    EXPECT_EQ(readtext(dir / "hidraw.trace"), readtext(dir / "bus.trace"));
    EXPECT_TRUE(readfile(saved / "fpga.bin") == FPGA) << "fpga.bin differs";
    EXPECT_TRUE(readfile(saved / "mcu.bin") == MCU) << "mcu.bin differs";
}

TEST_F(TorvikSim, RefusesMalformedCommandLinesWithTheUsageAndStatus64) {
    // Each field, and the numbers as torvik-gadget reads them too; one a run.
    std::istringstream refused(
        "--bogus extra --device=Bootloader --no-ack= --no-ack=0x1g --no-ack=65536 --no-ack=6:1:2 "
        "--wrong-ack=6:some --stall-write=0x1000 --stall-write=0x1000:36 --ack-delay=1.5 "
        "--late-ack=0x1000 --unplug-after=all --pause-at=Restart --save=");
    for (std::string arg; refused >> arg;) {
        const Outputs run = sim({"--device=none", arg});
        EXPECT_EQ(run.status, 64) << arg;
        EXPECT_EQ(run.out, "") << arg;
        EXPECT_EQ(run.err.find("torvik-sim: unknown or malformed option '" + arg + "'"), 0u)
            << arg << ": " << run.err;
        EXPECT_NE(run.err.find("usage: torvik-sim"), std::string::npos) << arg;
    }
}

// What the user sees, and when: torvik-sim stops itself (--pause-at) as
// the device takes a report, and what its output pipe holds by then must
// already show every heading and dot printed before that report went out.
struct Pause {
    const char* at;
    std::string shown;
};

void PrintTo(const Pause& pause, std::ostream* out) {
    *out << pause.at;
}

// Everything the pipe holds now, without waiting for more.
std::string drain(int pipe_end) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(pipe_end, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

class TorvikSimPauses : public TorvikSim, public ::testing::WithParamInterface<Pause> {};

TEST_P(TorvikSimPauses, OutputThroughAPipeShowsEachDotBeforeTheNextBlockGoesOut) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    const std::string err = (dir / "err").string();
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    posix_spawn_file_actions_addclose(&actions, ends[1]);
    std::string option = std::string("--pause-at=") + GetParam().at;
    char* const argv[] = {const_cast<char*>(TORVIK_SIM_PATH), option.data(), nullptr};
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, TORVIK_SIM_PATH, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);

    // A child that neither stops nor ends is ended by CTest's time limit.
    int wait_status = 0;
    const bool paused = waitpid(child, &wait_status, WUNTRACED) == child && WIFSTOPPED(wait_status);
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    const std::string shown = paused ? drain(ends[0]) : "";
    kill(child, SIGCONT);
    fcntl(ends[0], F_SETFL, 0);
    const std::string rest = drain(ends[0]);
    close(ends[0]);
    if (paused) {
        waitpid(child, &wait_status, 0);
    }
    ASSERT_TRUE(paused) << "torvik-sim never stopped at " << GetParam().at;
    EXPECT_EQ(shown, GetParam().shown);
    EXPECT_EQ(shown + rest, UPDATED);
    EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) << readtext(dir / "err");
}

INSTANTIATE_TEST_SUITE_P(TorvikSim, TorvikSimPauses,
                         ::testing::Values(Pause{"0x1000", "Updating FPGA."},
                                           Pause{"0x1010", "Updating FPGA." + dots(16)},
                                           Pause{"4", FPGA_DONE + "Updating MCU."},
                                           Pause{"restart", UPDATED}),
                         [](const auto& info) { return "PausedAt_" + std::string(info.param.at); });

}  // namespace
