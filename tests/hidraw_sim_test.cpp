// Whole updates through torvik-sim --hidraw: the updater linked with the
// Linux backend, against the simulated Torvik behind FUSE-served hidraw
// nodes, in real time. The same runs without --hidraw are the reference.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string readtext(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct SimRun {
    std::string out;
    std::string err;
    int status = -1;
};

class HidrawSim : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "torvik-hidraw-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    SimRun sim(const std::string& options) {
        const std::string command = std::string(TORVIK_SIM_PATH) + " " + options + " >" +
                                    (dir / "out").string() + " 2>" + (dir / "err").string();
        const int status = std::system(command.c_str());
        SimRun run;
        run.out = readtext(dir / "out");
        run.err = readtext(dir / "err");
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    fs::path dir;
};

TEST_F(HidrawSim, UpdatesAsOnTheSimulatedBusReportForReport) {
    const SimRun reference = sim("--trace=" + (dir / "bus.trace").string());
    const SimRun run = sim("--hidraw --save=" + (dir / "stored").string() +
                           " --trace=" + (dir / "hidraw.trace").string());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, reference.out);
    EXPECT_NE(run.err.find(" restarted=yes\n"), std::string::npos) << run.err;
    EXPECT_EQ(readtext(dir / "hidraw.trace"), readtext(dir / "bus.trace"));
    EXPECT_EQ(readtext(dir / "stored/fpga.bin"), readtext(FPGA_IMAGE_PATH));
    EXPECT_EQ(readtext(dir / "stored/mcu.bin"), readtext(MCU_IMAGE_PATH));
}

// Once the device is gone every read and write fails at once, without
// reaching the node: the 17 blocks' 36 chunks are all the writes it saw.
TEST_F(HidrawSim, UnpluggedDeviceFailsTheNextBlock) {
    const SimRun run = sim("--hidraw --unplug-after=0x1010");
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(run.out, "Updating FPGA." + std::string(17, '.') + " failed.\n");
    EXPECT_NE(run.err.find(" writes=612 "), std::string::npos) << run.err;
}

TEST_F(HidrawSim, FindsNoTorvikWhereThereIsNone) {
    const SimRun run = sim("--hidraw --device=none");
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.out,
              "No Torvik found. Please restart Torvik in bootloader mode (connect USB during "
              "power on).\n");
}

}  // namespace
