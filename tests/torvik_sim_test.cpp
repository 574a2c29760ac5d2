// torvik-sim run as a child process, as a user runs it: its output, exit
// status and summary, the images it stores, and the reports on the wire,
// checked against the protocol rebuilt here from the image files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// ---- running the child -----------------------------------------------------------

Bytes readfile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string readtext(const fs::path& path) {
    const Bytes bytes = readfile(path);
    return std::string(bytes.begin(), bytes.end());
}

struct Outputs {
    std::string out;
    std::string err;
    int status = -1;  // the exit status; -1 when the child did not exit normally
};

// A hung updater must not hang the suite: a run gets this long in real time
// (a whole update takes well under a second).
constexpr auto RUN_LIMIT = std::chrono::seconds(30);

bool waitfor(pid_t child, int& wait_status) {
    const auto deadline = std::chrono::steady_clock::now() + RUN_LIMIT;
    pid_t ended = 0;
    while ((ended = waitpid(child, &wait_status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &wait_status, 0);
        ADD_FAILURE() << "torvik-sim was still running after " << RUN_LIMIT.count()
                      << " s and has been stopped";
        return false;
    }
    return ended == child;
}

class TorvikSim : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "torvik-sim-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // Runs torvik-sim with `args`; its output goes through files, so that
    // neither stream can block the other.
    Outputs sim(const std::vector<std::string>& args) {
        const std::string out = (dir / "stdout").string();
        const std::string err = (dir / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<std::string> all{TORVIK_SIM_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);

        Outputs result;
        pid_t child = 0;
        const int spawned =
            posix_spawn(&child, TORVIK_SIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0) << "cannot start " << TORVIK_SIM_PATH;
        int wait_status = 0;
        if (spawned == 0 && waitfor(child, wait_status) && WIFEXITED(wait_status)) {
            result.status = WEXITSTATUS(wait_status);
        }
        result.out = readtext(out);
        result.err = readtext(err);
        return result;
    }

    fs::path dir;
};

// The summary line, which must be all that a run writes to stderr.
struct Summary {
    long elapsed = -1;
    long writes = -1;
    long reads = -1;
    std::string restarted;
};

Summary summaryof(const Outputs& run) {
    static const std::regex line("elapsed=(\\d+) writes=(\\d+) reads=(\\d+) restarted=(yes|no)\n");
    std::smatch match;
    Summary summary;
    if (std::regex_match(run.err, match, line)) {
        summary = {std::stol(match[1]), std::stol(match[2]), std::stol(match[3]), match[4]};
    } else {
        ADD_FAILURE() << "stderr holds more or less than the summary line:\n" << run.err;
    }
    return summary;
}

// ---- what the user sees ------------------------------------------------------------

const Bytes FPGA = readfile(FPGA_IMAGE_PATH);
const Bytes MCU = readfile(MCU_IMAGE_PATH);
// The FPGA stream is the image behind its 4-byte length.
const std::size_t FPGA_BLOCKS = (FPGA.size() + 4 + 2047) / 2048;
const std::size_t MCU_BLOCKS = MCU.size() / 2048;

std::string dots(std::size_t count) {
    return std::string(count, '.');
}

const std::string NOT_FOUND =
    "No Torvik found. Please restart Torvik in bootloader mode (connect USB during power on).\n";
const std::string FPGA_DONE = "Updating FPGA." + dots(FPGA_BLOCKS) + " done.\n";
const std::string UPDATED =
    FPGA_DONE + "Updating MCU." + dots(MCU_BLOCKS) + " done.\n" + "Restarting...\n";

struct Outcome {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    int status;
};

const Outcome OUTCOMES[] = {
    {"CleanRun_Updates", {}, UPDATED, 0},
    {"NoDevice_NotFound", {"--device=none"}, NOT_FOUND, 2},
    {"DeviceRunningItsFirmware_NotFound", {"--device=normal"}, NOT_FOUND, 2},
    {"McuBlock6NeverAnswered_FailsAfterTwoMcuDots",
     {"--no-ack=6"},
     FPGA_DONE + "Updating MCU." + dots(2) + " failed.\n",
     3},
    {"FirstFpgaBlockNeverAnswered_FailsWithoutADot",
     {"--no-ack=0x1000"},
     "Updating FPGA. failed.\n",
     3},
    {"FirstChunkNeverWritten_FailsWithoutADot",
     {"--stall-write=0x1000:0"},
     "Updating FPGA. failed.\n",
     3},
    {"UnpluggedAfterBlock0x1010_FailsAfter17Dots",
     {"--unplug-after=0x1010"},
     "Updating FPGA." + dots(17) + " failed.\n",
     3},
    {"AnswersAfter2500ms_StillUpdates", {"--ack-delay=2500"}, UPDATED, 0},
    {"FirstAnswerForBlock0x1001IsThePreviousBlocks_StillUpdates",
     {"--wrong-ack=0x1001:1"},
     UPDATED,
     0},
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
    *out << outcome.name;
}

class TorvikSimOutcomes : public TorvikSim, public ::testing::WithParamInterface<Outcome> {};

TEST_P(TorvikSimOutcomes, PrintExactlyThisAndExitWithThisStatus) {
    const Outcome& expected = GetParam();
    const Outputs run = sim(expected.args);
    EXPECT_EQ(run.out, expected.out);
    EXPECT_EQ(run.status, expected.status);
    EXPECT_EQ(summaryof(run).restarted, expected.status == 0 ? "yes" : "no");
}

INSTANTIATE_TEST_SUITE_P(TorvikSim, TorvikSimOutcomes, ::testing::ValuesIn(OUTCOMES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TorvikSim, ACleanRunSendsEachBlockOnceAndWaitsOnlyForTheStaleInputCheck) {
    const Summary summary = summaryof(sim({}));
    const long blocks = static_cast<long>(FPGA_BLOCKS + MCU_BLOCKS);
    EXPECT_EQ(summary.writes, blocks * 36 + 1) << "36 chunks a block and the restart report";
    EXPECT_EQ(summary.reads, 2 * blocks) << "the stale input check and the acknowledgement";
    EXPECT_EQ(summary.elapsed, blocks) << "the check's read is cancelled, 1 ms a block";
}

// An acknowledgement that comes after all three reads have given up stays
// queued; it may cost one more attempt, never the update.
TEST_F(TorvikSim, LateAcknowledgementsCostAtMostOneAttemptEach) {
    const std::vector<std::vector<std::string>> late_blocks = {
        {"0x1000"}, {"0x1000", "0x1010", "0x1020"}, {"0x1000", "0x1001", "0x1002", "0x1003"}};
    const long clean_writes = static_cast<long>(FPGA_BLOCKS + MCU_BLOCKS) * 36 + 1;
    for (const auto& blocks : late_blocks) {
        std::vector<std::string> args;
        for (const std::string& block : blocks) {
            args.push_back("--late-ack=" + block + ":6500");
        }
        const Outputs run = sim(args);
        EXPECT_EQ(run.out, UPDATED) << ::testing::PrintToString(args);
        EXPECT_EQ(run.status, 0) << ::testing::PrintToString(args);
        EXPECT_LE(summaryof(run).writes, clean_writes + 36 * static_cast<long>(blocks.size()))
            << ::testing::PrintToString(args);
    }
}

TEST_F(TorvikSim, AFirstChunkThatNeverCompletesCostsFourAttemptsOfThreeWrites) {
    const Summary summary = summaryof(sim({"--stall-write=0x1000:0"}));
    EXPECT_EQ(summary.writes, 4 * 3);
    EXPECT_EQ(summary.reads, 4) << "only the stale input checks";
    EXPECT_GE(summary.elapsed, 4 * 3 * 200);
    EXPECT_LE(summary.elapsed, 4 * 3 * 200 + 100) << "200 ms a try and the cancels' latency";
}

TEST_F(TorvikSim, AnUnknownOptionGetsTheUsageOnStderrAndStatus64) {
    const Outputs run = sim({"--device=none", "--frobnicate"});
    EXPECT_EQ(run.status, 64);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("'--frobnicate'"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("usage: torvik-sim"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("elapsed="), std::string::npos) << "nothing was run";
}

TEST_F(TorvikSim, SavedImagesEqualTheImageFilesByteForByte) {
    ASSERT_EQ(sim({"--save=" + dir.string()}).status, 0);
    EXPECT_TRUE(readfile(dir / "fpga.bin") == FPGA) << "fpga.bin differs";
    EXPECT_TRUE(readfile(dir / "mcu.bin") == MCU) << "mcu.bin differs";
}

// ---- the reports on the wire ---------------------------------------------------------

using Report = std::array<std::uint8_t, 64>;

struct Wire {
    char direction;  // '>' to the device, '<' from it
    Report report;
};

std::vector<Wire> readtrace(const fs::path& path) {
    std::vector<Wire> trace;
    std::istringstream lines(readtext(path));
    for (std::string line; std::getline(lines, line);) {
        Wire wire{'?', {}};
        if (line.size() == 2 + 128 && (line[0] == '>' || line[0] == '<') && line[1] == ' ') {
            wire.direction = line[0];
            for (std::size_t i = 0; i < 64; ++i) {
                wire.report[i] =
                    static_cast<std::uint8_t>(std::stoul(line.substr(2 + 2 * i, 2), nullptr, 16));
            }
        }
        trace.push_back(wire);
    }
    return trace;
}

// The block checksum: a 16-bit shift-and-add over the block in which each
// byte's position takes part.
unsigned checksum(const std::uint8_t* block) {
    unsigned sum = 0;
    for (unsigned position = 0; position < 2048; ++position) {
        const unsigned mixed =
            (sum & 0x8000) ? (sum ^ position) << 1 : ((sum ^ (0xFFFF & ~position)) << 1) + 1;
        sum = (mixed + block[position]) & 0xFFFF;
    }
    return sum;
}

// One complete sending of a block, and the block number the device answers.
struct Sending {
    unsigned block;
    Bytes data;  // 2,048 bytes
    unsigned answered;
};

Report marked(char second, unsigned block) {
    Report report{};
    report[1] = 'F';
    report[2] = static_cast<std::uint8_t>(second);
    report[3] = static_cast<std::uint8_t>(block & 0xFF);
    report[4] = static_cast<std::uint8_t>(block >> 8);
    return report;
}

std::vector<Wire> expectedtrace(const std::vector<Sending>& sendings) {
    std::vector<Wire> trace;
    for (const Sending& sending : sendings) {
        Bytes frame = sending.data;
        const unsigned sum = checksum(frame.data());
        frame.insert(frame.end(), {std::uint8_t(sum & 0xFF), std::uint8_t(sum >> 8), 0, 0});
        for (std::size_t chunk = 0; chunk < 36; ++chunk) {
            Report report = marked('*', sending.block);
            report[5] = static_cast<std::uint8_t>(chunk);
            std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(chunk * 57), 57,
                        report.begin() + 6);
            trace.push_back({'>', report});
        }
        trace.push_back({'<', marked('+', sending.answered)});
    }
    Report restart = marked('*', 'G');
    restart[5] = 0xFF;
    trace.push_back({'>', restart});
    return trace;
}

// Every block of both images, each sent once and acknowledged.
std::vector<Sending> cleanplan() {
    const std::uint32_t length = static_cast<std::uint32_t>(FPGA.size());
    Bytes stream{std::uint8_t(length >> 24), std::uint8_t(length >> 16), std::uint8_t(length >> 8),
                 std::uint8_t(length)};
    stream.insert(stream.end(), FPGA.begin(), FPGA.end());
    stream.resize(FPGA_BLOCKS * 2048, 0);
    std::vector<Sending> plan;
    auto add = [&plan](const Bytes& image, unsigned first, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto from = image.begin() + static_cast<std::ptrdiff_t>(i * 2048);
            const unsigned block = first + static_cast<unsigned>(i);
            plan.push_back({block, Bytes(from, from + 2048), block});
        }
    };
    add(stream, 0x1000, FPGA_BLOCKS);
    add(MCU, 4, MCU_BLOCKS);
    return plan;
}

std::string hex(const Report& report) {
    std::ostringstream text;
    text << std::hex;
    for (std::uint8_t byte : report) {
        text << byte / 16 << byte % 16;
    }
    return text.str();
}

// "" when the trace is as expected; else where it first differs. Of the
// device's answers only the marker and block number (bytes 1 to 4) count.
std::string firstdifference(const std::vector<Wire>& actual, const std::vector<Wire>& expected) {
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        if (i >= actual.size() || i >= expected.size()) {
            return "line " + std::to_string(i + 1) + ": the trace has " +
                   std::to_string(actual.size()) + " lines, not " + std::to_string(expected.size());
        }
        const Wire& a = actual[i];
        const Wire& e = expected[i];
        const bool same =
            a.direction == e.direction &&
            (e.direction == '>'
                 ? a.report == e.report
                 : std::equal(e.report.begin() + 1, e.report.begin() + 5, a.report.begin() + 1));
        if (!same) {
            return "line " + std::to_string(i + 1) + ":\n  expected " + e.direction + ' ' +
                   hex(e.report) + "\n  got      " + a.direction + ' ' + hex(a.report);
        }
    }
    return "";
}

TEST_F(TorvikSim, ACleanRunsTraceIsEveryBlocksChunksAndAcknowledgementThenTheRestart) {
    const fs::path trace = dir / "trace.txt";
    ASSERT_EQ(sim({"--trace=" + trace.string()}).status, 0);
    EXPECT_EQ(firstdifference(readtrace(trace), expectedtrace(cleanplan())), "");
}

TEST_F(TorvikSim, AfterAWrongAcknowledgementTheTraceShowsTheBlockSentAgainWhole) {
    std::vector<Sending> plan = cleanplan();
    Sending wrong = plan[1];  // block 0x1001, answered as block 0x1000
    wrong.answered = 0x1000;
    plan.insert(plan.begin() + 1, wrong);

    const fs::path trace = dir / "trace.txt";
    ASSERT_EQ(sim({"--wrong-ack=0x1001:1", "--trace=" + trace.string()}).status, 0);
    EXPECT_EQ(firstdifference(readtrace(trace), expectedtrace(plan)), "");
}

}  // namespace
