// What the window of "Update Torvik.exe" shows, and why: waiting for a
// Torvik, the update as the updater reports it, and the verdict from its
// exit status. Plain C++ with no clock of its own (the time is always
// passed in) and no Windows calls, so that every decision can be tested
// natively with the constants the program uses.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "survey.h"
#include "texts.h"
#include "updater_output.h"

// Times are milliseconds of a monotonic clock.
using Millis = std::uint64_t;

// How long the window waits for a Torvik in bootloader mode before it stops
// looking and offers to try again.
constexpr Millis WAIT_LIMIT = 10 * 60 * 1000;
// The time left is shown once this many blocks have been confirmed: the
// first ones include opening the device, and one block says little.
constexpr int BLOCKS_BEFORE_TIME_LEFT = 5;

// The window's own exit statuses. Otherwise it ends with the status of the
// updater's last run, or, closed while waiting, with the updater's own
// status for no Torvik found.
constexpr int EXIT_NOT_STARTED = 1;   // torvikupdate.exe missing or not started
constexpr int EXIT_STOPPED = 4;       // the user stopped the update mid-way
constexpr int EXIT_ALREADY_OPEN = 5;  // another window was open: it was brought to the front

// Output is shown at most this often (about 30 times a second), so that a
// fast device does not keep the window redrawing, and at least this often
// while output keeps coming: the first output after a redraw starts the
// timer, and later output never starts it again before it fires.
constexpr unsigned REDRAW_INTERVAL_MS = 33;
class RedrawPace {
  public:
    // Output came: true when the redraw timer is to be started now.
    bool outputcame() {
        const bool start = !pending_;
        pending_ = true;
        return start;
    }
    // The timer fired: the window redraws.
    void redrawn() {
        pending_ = false;
    }

  private:
    bool pending_ = false;
};

struct BlockCounts {
    int fpga;
    int mcu;
};

// Blocks the updater writes for images of these lengths: the FPGA stream
// carries its length field first; both end with a block cut short.
BlockCounts blocksfor(std::uint32_t fpga_length, std::uint32_t mcu_length);

enum class SurveyDecision { START, NO_TORVIK, NORMAL_FIRMWARE, SEVERAL };
SurveyDecision decide(const TorvikSurvey& survey);

// How the updater's run ended, as the process and its pipe tell it.
struct RunEnd {
    bool started = true;
    std::uint32_t start_error = 0;  // when not started: the Windows error
    std::string start_error_text;   // and what Windows calls it
    std::uint32_t status = 0;       // the exit status
    bool pipe_broke = false;        // the output could not be read to its end
    bool stopped_by_user = false;   // the window ended it, as the user asked
};

enum class Verdict { UPDATED, NOT_FOUND, FAILED, UNEXPECTED, NOT_STARTED, STOPPED };
Verdict verdictfor(const RunEnd& end);

// "About 3 minutes left", or "" while too few blocks have gone.
std::string timeleft(const Language& language, int confirmed, int total, Millis first_block_ms,
                     Millis last_block_ms);

enum class Screen { WAITING, GAVE_UP, UPDATING, ENDED };

// Which button Enter presses, if any.
enum class DefaultButton { NO_DEFAULT, TRY_AGAIN_BUTTON, CLOSE_BUTTON };

// Everything the window shows; empty texts hide their controls.
struct View {
    std::string headline;
    std::string message;
    std::string phase;
    std::string time_left;
    std::string warning;
    std::string cancel_label;
    bool show_progress = false;
    bool progress_failed = false;  // red, in the window and on the taskbar
    int progress = 0;
    int progress_total = 0;
    bool show_try_again = false;
    bool show_run_results = false;  // Details, the log's name and its folder
    DefaultButton default_button = DefaultButton::NO_DEFAULT;
};

class WindowState {
  public:
    explicit WindowState(BlockCounts blocks, const Language& language = english());

    // Waiting (again) from `now`: the survey decides what comes next.
    void startwaiting(Millis now);
    // A survey while waiting; true when the update is to start now.
    bool surveyed(const TorvikSurvey& survey);
    // Called while waiting: true once the wait limit has passed, when the
    // window stops waiting.
    bool givesup(Millis now);
    // The other torvikupdate.exe processes running in the session, counted
    // while waiting. While one runs the window neither starts nor gives up,
    // and its wait starts over from `now` once none runs: the Torvik may be
    // left in bootloader mode for this window's own update.
    void otherupdaters(int running, Millis now);

    void updaterstarted();
    void output(const OutputEntry& entry);
    void ended(const RunEnd& end);

    Screen screen() const {
        return screen_;
    }
    Verdict verdict() const {
        return verdict_;
    }
    View view() const;
    // The window's exit status if it closed now.
    int exitstatus() const;
    bool unparsedoutput() const {
        return unparsed_;
    }
    // Whether Windows is to keep the PC from sleeping: while the Torvik is
    // written, and only then.
    bool keepsawake() const;
    const Language& language() const {
        return *language_;
    }

  private:
    // What the last run left: a new wait or run starts without it.
    void forgetrun();
    std::string text(Text id, const Fills& fills = {}) const;
    std::string sentences(std::initializer_list<std::string> texts) const;
    std::string againintobootloader() const;
    std::string phasetext() const;
    std::string verdictmessage() const;

    BlockCounts blocks_;
    const Language* language_;
    Screen screen_ = Screen::WAITING;
    Millis waiting_since_ = 0;
    TorvikSurvey survey_;
    int other_updaters_ = 0;
    // The run, from the updater's output.
    Image image_ = Image::NONE;
    Image failed_image_ = Image::NONE;
    int confirmed_fpga_ = 0;
    int confirmed_mcu_ = 0;
    Millis first_block_ms_ = 0;
    Millis last_block_ms_ = 0;
    bool restarting_ = false;
    bool unparsed_ = false;
    RunEnd end_;
    Verdict verdict_ = Verdict::UPDATED;
};

// The headline of a verdict; in English, the log's last line.
std::string headlinefor(Verdict verdict, const Language& language = english());

// What the window says it will write: the version, and each image's size
// and the start of its SHA-256, as FIRMWARE.txt has them in full.
std::string firmwaretext(const Language& language, const std::string& version,
                         std::uint32_t fpga_length, const std::string& fpga_sha256,
                         std::uint32_t mcu_length, const std::string& mcu_sha256);
