#define FUSE_USE_VERSION 31
#include "hidraw_node.h"

#include <fuse.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace {

// The kernel gives an interrupt OUT transfer this long before the write fails.
constexpr sim::Millis USB_TIMEOUT_MS = 5000;
// A sleep can end this much late; the rest of a hold is spun, so that a
// device that takes 1 ms per report takes 1 ms and not 1.06.
constexpr auto SPIN_TIME = std::chrono::microseconds(200);

using Clock = std::chrono::steady_clock;

HidrawNodes& nodes() {
    return *static_cast<HidrawNodes*>(fuse_get_context()->private_data);
}

std::string nameof(const char* path) {
    return path[0] == '/' ? path + 1 : path;
}

// Holds the calling thread until `deadline`, to the microsecond.
void holduntil(Clock::time_point deadline) {
    static thread_local const bool exact_timers = prctl(PR_SET_TIMERSLACK, 1UL) == 0;
    (void)exact_timers;
    const auto wake = std::chrono::duration_cast<std::chrono::nanoseconds>(
        (deadline - SPIN_TIME).time_since_epoch());
    if (wake.count() > 0 && Clock::now() < deadline - SPIN_TIME) {
        timespec until = {static_cast<time_t>(wake.count() / 1000000000),
                          static_cast<long>(wake.count() % 1000000000)};
        // steady_clock is CLOCK_MONOTONIC.
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }
    while (Clock::now() < deadline) {
    }
}

int fsgetattr(const char* path, struct stat* status, fuse_file_info*) {
    return nodes().getattr(nameof(path), status);
}

int fsreaddir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags) {
    for (const std::string& name : nodes().names()) {
        fill(buffer, name.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    }
    return 0;
}

int fsopen(const char* path, fuse_file_info* file) {
    struct stat status;
    if (nodes().getattr(nameof(path), &status) != 0 || !S_ISREG(status.st_mode)) {
        return -ENOENT;
    }
    // Every read and write goes to the device as it is made, as on a
    // character device: no page cache, no offsets.
    file->direct_io = 1;
    file->nonseekable = 1;
    return 0;
}

int fsread(const char* path, char* buffer, size_t size, off_t, fuse_file_info*) {
    return nodes().read(nameof(path), buffer, size);
}

int fswrite(const char* path, const char* buffer, size_t size, off_t, fuse_file_info*) {
    return nodes().write(nameof(path), buffer, size);
}

int fspoll(const char* path, fuse_file_info*, fuse_pollhandle* handle, unsigned* events) {
    return nodes().poll(nameof(path), handle, events);
}

}  // namespace

HidrawNodes::HidrawNodes(WireHook on_wire) : on_wire_(std::move(on_wire)) {}

HidrawNodes::~HidrawNodes() {
    unmount();
}

void HidrawNodes::add(const std::string& name, std::shared_ptr<sim::Device> device) {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_[name].device = std::move(device);
}

sim::Millis HidrawNodes::now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
}

int HidrawNodes::writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

int HidrawNodes::reads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
}

std::vector<std::string> HidrawNodes::names() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [name, node] : nodes_) {
        names.push_back(name);
    }
    return names;
}

HidrawNodes::Node* HidrawNodes::find(const std::string& name) {
    auto found = nodes_.find(name);
    return found == nodes_.end() ? nullptr : &found->second;
}

bool HidrawNodes::readable(const sim::Device& device) const {
    return !device.to_host.empty() && device.to_host.front().ready_at <= now();
}

int HidrawNodes::getattr(const std::string& name, struct stat* status) {
    std::memset(status, 0, sizeof *status);
    status->st_uid = getuid();
    status->st_gid = getgid();
    if (name.empty()) {
        status->st_mode = S_IFDIR | 0755;
        status->st_nlink = 2;
        return 0;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (find(name) == nullptr) {
        return -ENOENT;
    }
    status->st_mode = S_IFREG | 0600;
    status->st_nlink = 1;
    return 0;
}

// hidraw gives one input report per read, without the report ID byte for a
// device without numbered reports, and fails once the device is gone.
int HidrawNodes::read(const std::string& name, char* buffer, std::size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++reads_;
    Node* node = find(name);
    if (node == nullptr) {
        return -ENOENT;
    }
    sim::Device* device = node->device.get();
    if (device != nullptr && device->unplugged()) {
        return -ENODEV;
    }
    if (device == nullptr || !readable(*device)) {
        return -EAGAIN;  // the backend opens its nodes non-blocking
    }
    const sim::Report report = device->to_host.front().report;
    device->to_host.pop_front();
    device->reportdelivered(report);
    if (on_wire_) {
        on_wire_('<', report);
    }
    if (device->unplugged()) {
        changed_.notify_all();  // a waiting poll(2) learns it now
    }
    const std::size_t length = std::min(size, report.size() - 1);
    std::memcpy(buffer, report.data() + 1, length);
    return static_cast<int>(length);
}

// A hidraw write returns once the device has taken the report, or fails
// after the USB time-out.
int HidrawNodes::write(const std::string& name, const char* buffer, std::size_t size) {
    const Clock::time_point started = Clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    ++writes_;
    Node* node = find(name);
    if (node == nullptr) {
        return -ENOENT;
    }
    std::shared_ptr<sim::Device> device = node->device;
    if (device != nullptr && device->unplugged()) {
        return -ENODEV;
    }
    sim::Report report{};
    std::memcpy(report.data(), buffer, std::min(size, report.size()));
    const std::optional<sim::Millis> takes =
        device != nullptr ? device->writestarted(report) : std::nullopt;
    lock.unlock();
    holduntil(started + std::chrono::milliseconds(takes.value_or(USB_TIMEOUT_MS)));
    if (!takes) {
        return -ETIMEDOUT;
    }
    lock.lock();
    const std::size_t queued = device->to_host.size();
    device->reporttaken(report, now());
    if (on_wire_) {
        on_wire_('>', report);
    }
    // Only an answer is news for a waiting poll(2); waking the notifier for
    // every report would cost each write a thread switch.
    if (device->to_host.size() != queued) {
        changed_.notify_all();
    }
    return static_cast<int>(size);
}

int HidrawNodes::poll(const std::string& name, fuse_pollhandle* handle, unsigned* events) {
    std::lock_guard<std::mutex> lock(mutex_);
    Node* node = find(name);
    if (node == nullptr) {
        if (handle != nullptr) {
            fuse_pollhandle_destroy(handle);
        }
        return -ENOENT;
    }
    // hidraw is always writable.
    *events = POLLOUT | POLLWRNORM;
    if (const sim::Device* device = node->device.get()) {
        if (readable(*device)) {
            *events |= POLLIN | POLLRDNORM;
        }
        if (device->unplugged()) {
            *events |= POLLERR | POLLHUP;
        }
    }
    if (handle != nullptr) {
        if (node->poll_handle != nullptr) {
            fuse_pollhandle_destroy(node->poll_handle);
        }
        node->poll_handle = handle;
        changed_.notify_all();
    }
    return 0;
}

// Wakes a waiting poll(2) when its device has a report ready or is gone;
// reports become ready at their time, so it also wakes at the next one.
void HidrawNodes::notifyloop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        std::optional<Clock::time_point> next;
        for (auto& [name, node] : nodes_) {
            const sim::Device* device = node.device.get();
            if (node.poll_handle == nullptr || device == nullptr) {
                continue;
            }
            if (device->unplugged() || readable(*device)) {
                fuse_notify_poll(node.poll_handle);
                fuse_pollhandle_destroy(node.poll_handle);
                node.poll_handle = nullptr;
            } else if (!device->to_host.empty()) {
                const auto at =
                    start_ + std::chrono::milliseconds(device->to_host.front().ready_at);
                next = next ? std::min(*next, at) : at;
            }
        }
        if (next) {
            changed_.wait_until(lock, *next);
        } else {
            changed_.wait(lock);
        }
    }
}

bool HidrawNodes::mount(const std::string& mountpoint, std::string& error) {
    static const fuse_operations operations = [] {
        fuse_operations table = {};
        table.getattr = fsgetattr;
        table.readdir = fsreaddir;
        table.open = fsopen;
        table.read = fsread;
        table.write = fswrite;
        table.poll = fspoll;
        return table;
    }();
    char program[] = "torvik-sim";
    char* arguments[] = {program, nullptr};
    fuse_args args = FUSE_ARGS_INIT(1, arguments);
    fuse_ = fuse_new(&args, &operations, sizeof operations, this);
    fuse_opt_free_args(&args);  // fuse_new may have added to them
    if (fuse_ == nullptr) {
        error = "FUSE refused the file system";
        return false;
    }
    if (fuse_mount(fuse_, mountpoint.c_str()) != 0) {
        fuse_destroy(fuse_);
        fuse_ = nullptr;
        error = "cannot mount a FUSE file system on " + mountpoint +
                " (is /dev/fuse there, and may this user mount?)";
        return false;
    }
    loop_ = std::thread([this] { fuse_loop_mt(fuse_, 0); });
    notifier_ = std::thread([this] { notifyloop(); });
    return true;
}

void HidrawNodes::unmount() {
    if (fuse_ == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    notifier_.join();
    fuse_exit(fuse_);
    fuse_unmount(fuse_);
    loop_.join();
    for (auto& [name, node] : nodes_) {
        if (node.poll_handle != nullptr) {
            fuse_pollhandle_destroy(node.poll_handle);
            node.poll_handle = nullptr;
        }
    }
    fuse_destroy(fuse_);
    fuse_ = nullptr;
}
