// hidraw device nodes served through FUSE, each backed by a simulated
// device, for torvik-sim --hidraw.
//
// FUSE rather than a socket: a FUSE write returns only when the server
// answers it, so a write blocks until the device takes the report, or fails
// after the kernel's USB time-out when it never does, exactly as a hidraw
// write does. A socket would take the report into its buffer at once. Reads
// give one report each, and poll(2) reports input through FUSE's poll
// notifications. Time is real: the device's clock is milliseconds since the
// node was mounted.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/bus.h"

struct fuse;
struct fuse_pollhandle;

class HidrawNodes {
  public:
    using WireHook = std::function<void(char direction, const sim::Report&)>;

    explicit HidrawNodes(WireHook on_wire);
    ~HidrawNodes();
    HidrawNodes(const HidrawNodes&) = delete;
    HidrawNodes& operator=(const HidrawNodes&) = delete;

    // A node hidrawN; a null device never answers.
    void add(const std::string& name, std::shared_ptr<sim::Device> device);

    // Serves the nodes at `mountpoint` until unmount(); false with `error`
    // set when FUSE cannot mount there.
    bool mount(const std::string& mountpoint, std::string& error);
    void unmount();

    sim::Millis now() const;
    // Write and read requests the nodes received.
    int writes() const;
    int reads() const;

    // The FUSE operations, one for one.
    int getattr(const std::string& name, struct stat* status);
    int read(const std::string& name, char* buffer, std::size_t size);
    int write(const std::string& name, const char* buffer, std::size_t size);
    int poll(const std::string& name, fuse_pollhandle* handle, unsigned* events);
    std::vector<std::string> names() const;

  private:
    struct Node {
        std::shared_ptr<sim::Device> device;
        fuse_pollhandle* poll_handle = nullptr;  // a poll(2) waiting for news
    };
    using Clock = std::chrono::steady_clock;

    Node* find(const std::string& name);
    bool readable(const sim::Device& device) const;
    void notifyloop();

    WireHook on_wire_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Node> nodes_;
    Clock::time_point start_ = Clock::now();
    struct fuse* fuse_ = nullptr;
    std::thread loop_;
    std::thread notifier_;
    bool stopping_ = false;
    int writes_ = 0;
    int reads_ = 0;
};
