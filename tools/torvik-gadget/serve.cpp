#include "serve.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>

namespace {

using devicecore::Millis;

Millis nowms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Acknowledgement {
    Millis due;
    std::uint8_t report[devicecore::REPORT_BYTES];
};

uint8_t* storageslot(void* context, std::uint16_t block_number) {
    auto& block = (*static_cast<StoredBlocks*>(context))[block_number];
    block.resize(devicecore::BLOCK_BYTES);
    return block.data();
}

const uint8_t* storagefind(const void* context, std::uint16_t block_number) {
    const auto& blocks = *static_cast<const StoredBlocks*>(context);
    const auto found = blocks.find(block_number);
    return found == blocks.end() ? nullptr : found->second.data();
}

class Device {
  public:
    Device(int hidg, const ServeSettings& settings, void (*unplug)(), StoredBlocks& stored)
        : hidg_(hidg), settings_(settings), unplug_(unplug) {
        core_.start(settings.faults, blockstorage(stored));
    }

    // One round: send what is due, wait for the node or the next due time,
    // then take what came. False when a signal ended the wait (or the wait
    // failed: then serving cannot go on either).
    bool step(const sigset_t& waiting_mask) {
        sendacknowledgement(nowms());
        pollfd node{hidg_, pollevents(), 0};
        const Millis timeout = waitms(nowms());
        timespec wait{static_cast<time_t>(timeout / 1000),
                      static_cast<long>(timeout % 1000) * 1000000};
        const int ready = ppoll(&node, 1, timeout < 0 ? nullptr : &wait, &waiting_mask);
        if (ready < 0) {
            return false;
        }
        const Millis now = nowms();
        if (node.revents & POLLOUT) {
            delivered(now);
        }
        if (node.revents & POLLIN) {
            takereport(now);
        }
        return true;
    }

    ServeCounts counts() const {
        ServeCounts counts = counts_;
        counts.restarted = core_.restarted();
        return counts;
    }

  private:
    short pollevents() const {
        if (gone_) {
            return 0;
        }
        return static_cast<short>((stalled(nowms()) ? 0 : POLLIN) | (in_flight_ ? POLLOUT : 0));
    }

    bool stalled(Millis now) const {
        return stall_until_ > now;
    }

    // How long to wait for the node: until the stall ends or the next
    // acknowledgement is due, -1 for as long as it takes.
    Millis waitms(Millis now) const {
        Millis until = -1;
        if (stalled(now)) {
            until = stall_until_;
        }
        if (!gone_ && !in_flight_ && !queue_.empty() && (until < 0 || queue_.front().due < until)) {
            until = queue_.front().due;
        }
        return until < 0 ? -1 : std::max<Millis>(until - now, 0);
    }

    void sendacknowledgement(Millis now) {
        if (gone_ || in_flight_ || queue_.empty() || queue_.front().due > now) {
            return;
        }
        // The wire has no report ID: the 63 bytes after it.
        if (write(hidg_, queue_.front().report + 1, devicecore::REPORT_DATA_BYTES) ==
            static_cast<ssize_t>(devicecore::REPORT_DATA_BYTES)) {
            in_flight_ = true;
        } else {
            queue_.pop_front();  // the host is not there to take it
        }
    }

    void delivered(Millis now) {
        in_flight_ = false;
        ++counts_.delivered;
        counts_.last_ms = now;
        core_.delivered(queue_.front().report);
        queue_.pop_front();
        unplug_on_next_report_ = core_.unplugged();
    }

    void takereport(Millis now) {
        std::uint8_t report[devicecore::REPORT_BYTES] = {};
        if (read(hidg_, report + 1, devicecore::REPORT_DATA_BYTES) <= 0) {
            return;
        }
        ++counts_.taken;
        if (counts_.first_ms < 0) {
            counts_.first_ms = now;
        }
        counts_.last_ms = now;
        if (unplug_on_next_report_) {
            // The host sends again only after reading the acknowledgement
            // (or giving up on it): now the cable can go without taking
            // that acknowledgement with it.
            gone_ = true;
            unplug_();
            return;
        }
        if (counts_.taken == settings_.stall_after) {
            stall_until_ = now + settings_.stall_ms;
        }
        if (!settings_.bootloader) {
            return;
        }
        const devicecore::Outcome outcome = core_.take(report, now);
        if (outcome.acknowledge) {
            queueacknowledgement(outcome);
        }
    }

    // In the order they fall due; a late one may come after later blocks'.
    void queueacknowledgement(const devicecore::Outcome& outcome) {
        Acknowledgement acknowledgement{outcome.acknowledge_at, {}};
        std::copy(std::begin(outcome.acknowledgement), std::end(outcome.acknowledgement),
                  acknowledgement.report);
        // The one in flight stays first.
        auto from = queue_.begin() + (in_flight_ ? 1 : 0);
        auto place = std::upper_bound(
            from, queue_.end(), acknowledgement.due,
            [](Millis due, const Acknowledgement& queued) { return due < queued.due; });
        queue_.insert(place, acknowledgement);
    }

    int hidg_;
    const ServeSettings& settings_;
    void (*unplug_)();
    devicecore::Bootloader core_;
    std::deque<Acknowledgement> queue_;
    bool in_flight_ = false;  // the front of the queue is written, its write not yet completed
    bool unplug_on_next_report_ = false;
    bool gone_ = false;
    Millis stall_until_ = 0;
    ServeCounts counts_;
};

}  // namespace

devicecore::BlockStorage blockstorage(StoredBlocks& stored) {
    return {&stored, storageslot, storagefind};
}

ServeCounts serve(int hidg, const ServeSettings& settings, const sigset_t& waiting_mask,
                  void (*unplug)(), StoredBlocks& stored) {
    Device device(hidg, settings, unplug, stored);
    while (device.step(waiting_mask)) {
    }
    return device.counts();
}
