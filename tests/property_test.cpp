// The whole update, torvikupdate() as main calls it, under random fault
// schedules on the simulated bus, with small images (a few blocks each) so
// that a schedule takes microseconds. For every schedule it checks what must
// always hold: status and output shape, what the device stored and whether it
// was told to restart, that a block its faults doom fails and one they leave
// an attempt to spare succeeds, no platform rule broken, nothing pending or
// leaked, and the virtual time within what the waits allow.
//
//   torvik_property [COUNT [START]]   COUNT schedules (default 100000), the
//                                     k-th from start value START + k
// A failure names the schedule's start value: `torvik_property 1 VALUE`
// repeats it alone.
//
// The updater ends statuses 2 and 3 through exit(); this program is linked
// with --wrap=exit, and __wrap_exit jumps back to the schedule's start. Only
// the updater's plain frames lie between, with nothing to destroy.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <csetjmp>
#include <cstdio>
#include <iostream>
#include <random>
#include <sstream>

#include <unistd.h>

#include "firmware_images.h"
#include "platform/sim/torvik.h"
#include "torvik_config.h"
#include "torvikupdate.h"

namespace {
std::jmp_buf run_end;
volatile int exit_status = 0;
}  // namespace

extern "C" [[noreturn]] void __wrap_exit(int status) {
    exit_status = status;
    std::longjmp(run_end, 1);
}

namespace {

using sim::Millis;
constexpr int ATTEMPTS = 4, TRIES = 3, CHUNKS = 36, UNBOUNDED = 1000;
constexpr int ALWAYS = sim::Faults::ALWAYS;
constexpr Millis READ_WAIT = 2000, WRITE_WAIT = 200;
constexpr int NO_DEVICE = 2, BLOCK_FAILED = 3;  // the exit statuses
const int FPGA_BLOCKS = static_cast<int>((FPGABIN_LENGTH + 4 + 2047) / 2048);
const int BLOCKS = FPGA_BLOCKS + static_cast<int>(MCUBIN_LENGTH / 2048);

std::uint16_t blocknumber(int index) {
    return static_cast<std::uint16_t>(index < FPGA_BLOCKS ? 0x1000 + index
                                                          : 4 + index - FPGA_BLOCKS);
}

// The engine's sequence is fixed by the standard, so a start value gives the
// same schedule everywhere (std's distributions are not fixed: none is used).
class Random {
  public:
    explicit Random(std::uint64_t start) : engine_(start) {}
    int below(int bound) {
        return static_cast<int>(engine_() % static_cast<std::uint64_t>(bound));
    }
    bool chance(int percent) {
        return below(100) < percent;
    }
    template <typename T>
    T pick(std::initializer_list<T> values) {
        return values.begin()[below(static_cast<int>(values.size()))];
    }

  private:
    std::mt19937_64 engine_;
};

enum class Verdict { MUST_SUCCEED, EITHER, MUST_FAIL };

struct Schedule {
    sim::Faults faults;
    Millis latency = 1;  // of a cancel
    int races_lost = 0, cancel_errors = 0;
    int failing_event = -1;  // the CreateEventA call: a block's index, BLOCKS the restart's
    std::vector<sim::Interface> interfaces;  // the HID interfaces, the Torvik among them
    int torvik = 0;
    bool no_set = false, no_memory = false;
    bool found = false;  // whether the search must find the Torvik
    std::vector<Verdict> verdicts;
    std::ostringstream text;

    // The reads of an attempt end this long after its last chunk; an
    // acknowledgement that comes later is late.
    Millis readwindow() const {
        return TRIES * READ_WAIT + (TRIES - 1) * latency;
    }
};

// What one block's faults can do, in attempts spoiled.
struct Effect {
    int own = 0;       // attempts of the block itself
    int floating = 0;  // attempts of each later block (see draw())
    int unanswered = 0;
    bool doomed = false;
    bool late = false;
};

// Late by about a read's wait: before, on and after each read's end or in
// the cancel's latency, or anywhere up to 9 s.
Millis drawdelay(Random& random, Millis latency) {
    const int read = 1 + random.below(TRIES);
    return random.chance(30)
               ? random.below(9000)
               : read * READ_WAIT + (read - 1 + random.below(2)) * latency + random.below(3) - 1;
}

void drawfault(Random& random, int kind, int index, Schedule& schedule, Effect& effect) {
    sim::Faults& faults = schedule.faults;
    const std::uint16_t block = blocknumber(index);
    const int count = random.pick({1, 2, 3, 3, 4, ALWAYS});
    const int spoils = count == ALWAYS ? UNBOUNDED : count;
    std::ostream& text = schedule.text << " block " << std::hex << block << std::dec << ": ";
    if (kind <= 2) {  // each of the first `count` sendings answered wrongly or not at all
        effect.unanswered += spoils;
        effect.own += spoils;
        // Another block's number: the previous one, or one that differs only in the high byte.
        const auto as = static_cast<std::uint16_t>(block ^ (0x100 << random.below(8)));
        if (kind == 0) {
            faults.no_ack[block] = count;
        } else if (kind == 1) {
            faults.wrong_ack[block] = count;
        } else {
            faults.foreign_ack[block] = {as, count};
        }
        text << (kind == 0   ? "no"
                 : kind == 1 ? "previous block's"
                             : "foreign")
             << " ack x" << count;
    } else if (kind <= 4) {
        const Millis ms = drawdelay(random, schedule.latency);
        faults.late_ack[block] = {ms, count};
        effect.late = true;
        // One that comes before the next attempt's discard is discarded.
        effect.own += ms > schedule.readwindow() ? spoils : 0;
        effect.floating += ms > schedule.readwindow() + schedule.latency ? spoils : 0;
        text << "ack " << ms << " ms late x" << count;
    } else if (kind == 5) {
        const int stalls = random.pick({1, 2, 3, 5, 6, 9, 11, 12, ALWAYS});
        const auto chunk = static_cast<std::uint8_t>(random.below(CHUNKS));
        faults.stalled_writes.push_back({block, chunk, stalls});
        effect.own += stalls == ALWAYS ? UNBOUNDED : stalls / TRIES;  // three to spoil one
        // A lost race lets a stalled write through.
        effect.doomed |= (stalls == ALWAYS || stalls >= ATTEMPTS * TRIES) && !schedule.races_lost;
        text << "chunk " << int{chunk} << " stalls x" << stalls;
    } else if (kind == 6 && !faults.unplug_after && !faults.unplug_at) {
        const bool mid_block = random.chance(50);
        const auto chunk = static_cast<std::uint8_t>(random.below(CHUNKS));
        if (mid_block) {
            faults.unplug_at = sim::Faults::Chunk{block, chunk};
        } else {
            faults.unplug_after = block;
        }
        effect.doomed |= mid_block;
        text << "unplugged " << (mid_block ? "at chunk " + std::to_string(chunk) : "after");
    } else if (kind == 7 && schedule.failing_event < 0) {
        schedule.failing_event = index;
        effect.doomed = true;
        text << "no event";
    }
}

// The interfaces the search walks: the Torvik, sometimes gone part of the
// way, among others that must not match, some of which end the search.
void drawsearch(Random& random, Schedule& schedule) {
    const int before = random.below(4), count = before + 1 + random.below(3);
    std::optional<int> found;  // as the search is to walk them
    schedule.text << "; interfaces";
    for (int index = 0; index < count; ++index) {
        sim::Interface interface { "\\\\?\\hid#interface" + std::to_string(index) };
        interface.vendor_id = TORVIK_VENDOR_ID;
        interface.product_id = TORVIK_PRODUCT_ID;
        interface.version = static_cast<std::uint16_t>(random.below(0x10000));
        // The marker is the low bytes of the first two code units.
        interface.string4 = random.chance(50) ? u"FW-BOOT" : std::u16string{0x146, 0x2057};
        // 0 the Torvik; 1 to 6 are passed over, 7 to 9 end the search.
        const int decoy = random.below(20);
        const int kind = index == before && random.chance(95) ? 0
                         : decoy < 18                         ? 1 + decoy / 3
                                                              : 7 + random.below(3);
        interface.can_open = kind != 1;
        interface.vendor_id ^= kind == 2 ? 0x100 : 0;
        interface.product_id ^= kind == 3 ? 1 : 0;
        // Kind 4: a first code unit other than 'F', before a second one that is 'W' or not.
        const std::u16string unmarked = index % 2 == 0 ? u"Torvik 2.3" : u"fW-BOOT";
        interface.string4 = kind == 4 ? unmarked : kind == 5 ? u"F" : interface.string4;
        if (kind == 6) {
            interface.string4.reset();
        }
        interface.detail_readable = kind != 7;
        interface.size_reported = kind != 8;
        interface.attributes_readable = kind != 9;
        schedule.text << ' ' << kind;
        schedule.interfaces.push_back(interface);
        if (!found && (kind == 0 || kind >= 7)) {
            found = kind == 0 ? index : -1;
        }
    }
    schedule.torvik = found.value_or(-1);
    schedule.found = schedule.torvik >= 0 && !schedule.no_set && !schedule.no_memory;
}

void drawglobals(Random& random, Schedule& schedule) {
    sim::Faults& faults = schedule.faults;
    schedule.latency = random.chance(60) ? 1 : random.pick<Millis>({0, 2, 50, 199, 200, 1999});
    schedule.races_lost = random.chance(85) ? 0 : 1 + random.below(3);
    schedule.cancel_errors = random.chance(90) ? 0 : 1 + random.below(2);
    faults.write_ms = random.chance(85) ? 0 : random.pick<Millis>({1, 199, 200, 201, 500});
    faults.ack_delay_ms = random.chance(85)   ? 0
                          : random.chance(80) ? random.below(6000)
                                              : drawdelay(random, schedule.latency);
    schedule.no_set = random.chance(1);
    schedule.no_memory = random.chance(1);
    schedule.failing_event = random.chance(97) ? -1 : BLOCKS;
    schedule.text << "cancel latency " << schedule.latency << " ms, races lost "
                  << schedule.races_lost << ", cancels ending in an error "
                  << schedule.cancel_errors << ", writes " << faults.write_ms << " ms, acks "
                  << faults.ack_delay_ms << " ms, no set " << schedule.no_set << ", no memory "
                  << schedule.no_memory << ", no restart event "
                  << (schedule.failing_event == BLOCKS);
}

// Draws a schedule and what it allows for each block: it must succeed when
// the attempts its faults can spoil leave one to spare, and fail when none of
// its attempts can be confirmed.
void draw(std::uint64_t start_value, Schedule& schedule) {
    Random random(start_value);
    drawglobals(random, schedule);
    drawsearch(random, schedule);
    const sim::Faults& faults = schedule.faults;
    // An acknowledgement that its own block's reads did not take is read by a
    // later attempt, whose own then stays over in turn: each such one can
    // cost every later block an attempt. A lost race or a cancel ending with
    // an error spoils an attempt and can leave its acknowledgement over.
    int floating = faults.ack_delay_ms > schedule.readwindow()
                       ? UNBOUNDED
                       : 2 * (schedule.races_lost + schedule.cancel_errors);
    bool unplugged = false;
    for (int index = 0; index < BLOCKS; ++index) {
        Effect effect;
        const int fault_count = random.pick({0, 0, 0, 0, 1, 1, 2});
        const int first_kind = random.below(8);
        for (int fault = 0; fault < fault_count; ++fault) {  // of different kinds
            drawfault(random, (first_kind + fault * (1 + random.below(7))) % 8, index, schedule,
                      effect);
        }
        const std::uint16_t block = blocknumber(index);
        // A late acknowledgement naming another block, or one that others
        // can shift in time, can land anywhere.
        if (effect.late &&
            (floating || faults.wrong_ack.count(block) || faults.foreign_ack.count(block))) {
            effect.floating = effect.own;
        }
        const bool doomed = effect.doomed || unplugged || effect.unanswered >= ATTEMPTS ||
                            faults.write_ms > WRITE_WAIT;
        // The block's first acknowledgement read unplugs the device; a
        // stale one may be read by the block's own discard.
        const bool unplugs = faults.unplug_after == block;
        schedule.verdicts.push_back(doomed ? Verdict::MUST_FAIL
                                    : effect.own + floating < ATTEMPTS &&
                                            !(unplugs && (effect.late || floating))
                                        ? Verdict::MUST_SUCCEED
                                        : Verdict::EITHER);
        unplugged |= unplugs || (faults.unplug_at && faults.unplug_at->block == block);
        floating = std::min(UNBOUNDED, floating + effect.floating);
    }
}

void layout(const Schedule& schedule, std::shared_ptr<sim::Bootloader> device) {
    sim::Bus& bus = sim::bus();
    bus.reset();
    bus.cancel_latency_ms = schedule.latency;
    bus.cancels_that_lose_the_race = schedule.races_lost;
    bus.cancels_ending_with_an_error = schedule.cancel_errors;
    bus.failing_event_creations = {schedule.failing_event};
    bus.set_cannot_be_built = schedule.no_set;
    bus.allocation_fails = schedule.no_memory;
    for (std::size_t index = 0; index < schedule.interfaces.size(); ++index) {
        sim::Interface interface = schedule.interfaces[index];
        if (static_cast<int>(index) == schedule.torvik) {
            interface.device = device;
        }
        bus.add(interface);
    }
}

std::string output;

// Runs the update as main does; returns its status, its output in `output`.
int runupdate() {
    output.clear();
    FILE* const console = stdout;
    auto capture = [](void*, const char* text, size_t size) {
        output.append(text, size);
        return static_cast<ssize_t>(size);
    };
    stdout = fopencookie(nullptr, "w", {nullptr, capture, nullptr, nullptr});
    int status = 0;
    if (setjmp(run_end) == 0) {
        status = torvikupdate();
    } else {
        status = exit_status;
    }
    std::fclose(stdout);
    stdout = console;
    return status;
}

std::string dots(int count) {
    return std::string(static_cast<std::size_t>(std::max(count, 0)), '.');
}

// The output a run that confirmed `confirmed` blocks may print.
std::string shape(int status, int confirmed) {
    const std::string fpga = "Updating FPGA." + dots(std::min(confirmed, FPGA_BLOCKS));
    const std::string mcu = " done.\nUpdating MCU." + dots(confirmed - FPGA_BLOCKS);
    if (status == 0) {
        return fpga + mcu + " done.\nRestarting...\n";
    }
    return (confirmed < FPGA_BLOCKS ? fpga : fpga + mcu) + " failed.\n";
}

using Bytes = std::vector<std::uint8_t>;

// The FPGA blocks as they must be stored: the length field, the image, and
// zeros to the end of the last block.
Bytes fpgastream() {
    Bytes stream(static_cast<std::size_t>(FPGA_BLOCKS) * BLOCK_SIZE, 0);
    for (std::size_t i = 0; i < 4; ++i) {
        stream[i] = static_cast<std::uint8_t>(FPGABIN_LENGTH >> (8 * (3 - i)));
    }
    std::copy(fpgabin, fpgabin + FPGABIN_LENGTH, stream.begin() + 4);
    return stream;
}

// The blocks stored from 0x1000 on, in order: a gap shortens the stream.
Bytes storedfpgastream(const sim::Bootloader& device) {
    Bytes stream;
    for (auto at = device.stored().lower_bound(blocknumber(0)); at != device.stored().end(); ++at) {
        stream.insert(stream.end(), at->second.begin(), at->second.end());
    }
    return stream;
}

// What the run broke; "" if nothing.
std::string check(const Schedule& schedule, int status, const sim::Bootloader& device) {
    const sim::Bus& bus = sim::bus();
    const sim::Accounting& done = bus.accounting();
    const auto block = [](int index) { return "block " + std::to_string(index); };
    if ((status == NO_DEVICE) == schedule.found) {
        return "status 2 if and only if the search fails";
    }
    for (const sim::Accounting::StringRead& read : done.string4_reads) {
        const auto& read_from = *std::find_if(
            schedule.interfaces.begin(), schedule.interfaces.end(),
            [&](const sim::Interface& interface) { return interface.path == read.path; });
        if (read.buffer_size != 8 || read_from.vendor_id != TORVIK_VENDOR_ID ||
            read_from.product_id != TORVIK_PRODUCT_ID) {
            return "the marker read from another device, or into other than 8 bytes";
        }
    }
    // The progress dots: the output's dots but those of its words.
    const int confirmed = static_cast<int>(std::count(output.begin(), output.end(), '.')) -
                          (output.find("MCU") != std::string::npos ? 4 : 2) - (status == 0 ? 3 : 0);
    if (status == NO_DEVICE) {
        if (output !=
            "No Torvik found. Please restart Torvik in bootloader mode (connect USB "
            "during power on).\n") {
            return "output of a failed search";
        }
    } else if ((status != 0 && status != BLOCK_FAILED) ||
               (status == BLOCK_FAILED && confirmed >= BLOCKS) || confirmed < 0 ||
               output != shape(status, confirmed)) {
        return "status and output not of an allowed shape";
    }
    for (int index = 0; index < confirmed && status != NO_DEVICE; ++index) {
        if (schedule.verdicts[index] == Verdict::MUST_FAIL) {
            return block(index) + " confirmed, though no attempt of it could be";
        }
        if (!device.acknowledged().count(blocknumber(index))) {
            return block(index) + " has a dot but its acknowledgement was never read";
        }
    }
    if (status == BLOCK_FAILED && schedule.verdicts[confirmed] == Verdict::MUST_SUCCEED) {
        return block(confirmed) + " failed with an attempt to spare";
    }
    if (device.badframes() != 0 || device.malformed() != 0) {
        return "a frame with a wrong checksum or a report with a byte out of place";
    }
    for (int index = 0; index < BLOCKS; ++index) {
        if (device.sendings(blocknumber(index)) > ATTEMPTS) {
            return block(index) + " sent more than four times";
        }
    }
    if (status == 0 && (storedfpgastream(device) != fpgastream() ||
                        device.mcuimage() != Bytes(mcubin, mcubin + MCUBIN_LENGTH) ||
                        device.stored().size() != static_cast<std::size_t>(BLOCKS))) {
        return "status 0, but the device did not store exactly the images";
    }
    // A run that ends 0 sends the restart report, unless it has no event for it.
    if (device.restarted() !=
        (status == 0 && !device.unplugged() && schedule.failing_event != BLOCKS)) {
        return "told the device to restart, or not, against the status";
    }
    if (!bus.violations().empty()) {
        return "platform rule broken: " + bus.violations().front();
    }
    if (bus.pendingoperations() != 0 || done.sets_built != done.sets_destroyed ||
        done.records_allocated != done.records_freed || done.events_created != done.events_closed) {
        return "an operation, set, record or event left behind";
    }
    // Status 3 ends the process with the device open; the system closes it.
    if (bus.openpaths().size() != (status == BLOCK_FAILED ? 1u : 0u)) {
        return std::to_string(bus.openpaths().size()) + " device handle(s) open at the end";
    }
    const Millis latency = schedule.latency;
    const Millis attempt =
        latency + CHUNKS * TRIES * (WRITE_WAIT + latency) + TRIES * (READ_WAIT + latency);
    const Millis worst = (confirmed + 1) * ATTEMPTS * attempt + TRIES * (WRITE_WAIT + latency);
    if (bus.now() > worst) {
        return "virtual time " + std::to_string(bus.now()) + " ms, beyond the worst case " +
               std::to_string(worst) + " ms";
    }
    return "";
}

// A schedule takes microseconds (a millisecond under the sanitizers); one
// that has not ended after this long never will, as when a phase loops.
constexpr unsigned SCHEDULE_LIMIT_S = 10;
// Names the running schedule; written out by a signal handler, so ready beforehand.
char hung_text[128];
int hung_length = 0;

void schedulehung(int) {
    static_cast<void>(write(STDOUT_FILENO, hung_text, static_cast<std::size_t>(hung_length)));
    _exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 0) : 100000;
    const std::uint64_t first = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 1;
    std::uint64_t statuses[4] = {};
    std::signal(SIGALRM, schedulehung);
    const auto started = std::chrono::steady_clock::now();
    for (std::uint64_t k = 0; k < count; ++k) {
        hung_length = std::snprintf(hung_text, sizeof hung_text,
                                    "property test: a schedule did not end in time; repeat it "
                                    "alone with start value %llu\n",
                                    static_cast<unsigned long long>(first + k));
        alarm(SCHEDULE_LIMIT_S);
        Schedule schedule;
        draw(first + k, schedule);
        const auto device = std::make_shared<sim::Bootloader>(schedule.faults);
        layout(schedule, device);
        const int status = runupdate();
        const std::string broken = check(schedule, status, *device);
        if (!broken.empty()) {
            std::cout << "property test: schedule " << k + 1 << " (start value " << first + k
                      << ") broke: " << broken << "\n  schedule: " << schedule.text.str()
                      << "\n  status " << status << ", output:\n"
                      << output << "  repeat it: " << argv[0] << " 1 " << first + k << "\n";
            return 1;
        }
        ++statuses[status & 3];
        if ((k + 1) % 1000000 == 0) {
            std::cerr << "property test: " << k + 1 << " schedules\n";
        }
    }
    alarm(0);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
    std::cout << "property test: " << count << " schedules from start value " << first
              << "; statuses 0: " << statuses[0] << ", 2: " << statuses[2] << ", 3: " << statuses[3]
              << "; " << seconds.count() << " s, "
              << static_cast<long>(count / std::max(seconds.count(), 1e-9)) << " schedules/s\n";
    return 0;
}
