// torvik-hidraw-floor [WRITES] [MS]: the floor under torvik-sim --hidraw.
// A child process makes WRITES (default 9253) blocking 64-byte writes
// straight to a FUSE-served hidraw node whose device holds each for MS
// (default 1) ms, with no backend and no program in between; the summary
// line says how long they took. What a run through the backend takes beyond
// this is the backend's and the program's.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "hidraw_node.h"

namespace {

constexpr int DEFAULT_WRITES = 9253;
constexpr sim::Millis DEFAULT_HOLD_MS = 1;
constexpr int EXIT_USAGE = 64;
constexpr int EXIT_UNAVAILABLE = 69;

// Takes every report after the same hold and never answers.
class HoldingDevice : public sim::Device {
  public:
    explicit HoldingDevice(sim::Millis hold) : hold_(hold) {}
    std::optional<sim::Millis> writestarted(const sim::Report&) override {
        return hold_;
    }
    void reporttaken(const sim::Report&, sim::Millis) override {}

  private:
    sim::Millis hold_;
};

// The child's whole life: only calls that are safe after fork() in a
// process with threads.
[[noreturn]] void writeall(const std::string& path, int writes) {
    const int descriptor = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    std::array<char, 64> report{};
    for (int i = 0; i < writes && descriptor >= 0; ++i) {
        if (write(descriptor, report.data(), report.size()) !=
            static_cast<ssize_t>(report.size())) {
            _exit(1);
        }
    }
    _exit(descriptor >= 0 ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
    const int writes = argc > 1 ? std::atoi(argv[1]) : DEFAULT_WRITES;
    const sim::Millis hold = argc > 2 ? std::atoi(argv[2]) : DEFAULT_HOLD_MS;
    if (argc > 3 || writes <= 0 || hold < 0) {
        std::fputs("usage: torvik-hidraw-floor [WRITES] [MS]\n", stderr);
        return EXIT_USAGE;
    }
    std::string mountpoint =
        (std::filesystem::temp_directory_path() / "torvik-floor-XXXXXX").string();
    if (mkdtemp(mountpoint.data()) == nullptr) {
        std::perror("torvik-hidraw-floor: mkdtemp");
        return EXIT_UNAVAILABLE;
    }
    HidrawNodes nodes(nullptr);
    nodes.add("hidraw0", std::make_shared<HoldingDevice>(hold));
    std::string error;
    if (!nodes.mount(mountpoint, error)) {
        std::fprintf(stderr, "torvik-hidraw-floor: %s\n", error.c_str());
        rmdir(mountpoint.c_str());
        return EXIT_UNAVAILABLE;
    }
    const std::string node = mountpoint + "/hidraw0";
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        writeall(node, writes);
    }
    int status = 1;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const auto elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started);
    nodes.unmount();
    rmdir(mountpoint.c_str());
    std::fprintf(stderr, "elapsed=%.0f writes=%d\n", elapsed.count(), nodes.writes());
    return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
