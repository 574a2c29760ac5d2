#include "window_state.h"

#include <algorithm>

#include "protocol/reports.h"
#include "torvikupdate.h"

namespace {

constexpr char BOOTLOADER_STEPS[] =
    "1. Disconnect the Torvik from power and from USB.\r\n"
    "2. Connect the USB cable while you switch the Torvik on.\r\n";
constexpr char STARTS_BY_ITSELF[] =
    "The update starts by itself as soon as the Torvik is there in bootloader mode.";
constexpr char TRY_AGAIN_AFTER_STEPS[] =
    "Put the Torvik into bootloader mode again:\r\n"
    "1. Disconnect the Torvik from power and from USB.\r\n"
    "2. Connect the USB cable while you switch the Torvik on.\r\n"
    "Then click Try again.";
// While another torvikupdate.exe runs in the session.
constexpr char ANOTHER_UPDATE_HEADLINE[] = "Another update is running";
constexpr char ANOTHER_UPDATE_MESSAGE[] =
    "Another Torvik update is running on this PC. This update starts by itself once that one "
    "has ended.";

// Enough of a SHA-256 to tell builds apart at a glance; the log has it whole.
constexpr std::size_t SHORT_SHA256_LENGTH = 16;

int blocksfor(std::uint64_t stream_bytes) {
    return static_cast<int>((stream_bytes + BLOCK_SIZE - 1) / BLOCK_SIZE);
}

const char* imagename(Image image) {
    return image == Image::MCU ? "MCU" : "FPGA";
}

// Rounded up, so that the estimate errs on the long side: to 5 seconds
// under a minute, to whole minutes above.
std::string roundedtime(Millis ms) {
    const Millis seconds = (ms + 999) / 1000;
    if (seconds <= 60) {
        return "About " + std::to_string(std::max<Millis>(5, (seconds + 4) / 5 * 5)) +
               " seconds left";
    }
    return "About " + std::to_string((seconds + 59) / 60) + " minutes left";
}

}  // namespace

BlockCounts blocksfor(std::uint32_t fpga_length, std::uint32_t mcu_length) {
    return {blocksfor(std::uint64_t{fpga_length} + FPGA_LENGTH_FIELD_SIZE), blocksfor(mcu_length)};
}

SurveyDecision decide(const TorvikSurvey& survey) {
    if (survey.in_bootloader == 1) {
        return SurveyDecision::START;
    }
    if (survey.in_bootloader > 1) {
        return SurveyDecision::SEVERAL;
    }
    return survey.in_normal_firmware > 0 ? SurveyDecision::NORMAL_FIRMWARE
                                         : SurveyDecision::NO_TORVIK;
}

Verdict verdictfor(const RunEnd& end) {
    if (!end.started) {
        return Verdict::NOT_STARTED;
    }
    // An updater that ended by itself while the user was asked keeps its
    // own status: stopping it came too late to change anything.
    if (end.stopped_by_user && end.status != 0) {
        return Verdict::STOPPED;
    }
    // Output cut off is no proof of success, whatever the status says.
    if (end.pipe_broke) {
        return Verdict::UNEXPECTED;
    }
    switch (end.status) {
        case 0:
            return Verdict::UPDATED;
        case EXIT_NO_DEVICE:
            return Verdict::NOT_FOUND;
        case EXIT_BLOCK_FAILED:
            return Verdict::FAILED;
        default:
            return Verdict::UNEXPECTED;
    }
}

std::string timeleft(int confirmed, int total, Millis first_block_ms, Millis last_block_ms) {
    if (confirmed < BLOCKS_BEFORE_TIME_LEFT) {
        return "";
    }
    // The pace since the first block: opening the device is not in it.
    const Millis per_block = (last_block_ms - first_block_ms) / (confirmed - 1);
    return roundedtime(per_block * static_cast<Millis>(std::max(0, total - confirmed)));
}

std::string headlinefor(Verdict verdict) {
    switch (verdict) {
        case Verdict::UPDATED:
            return "The Torvik is updated";
        case Verdict::NOT_FOUND:
            return "The Torvik was not found";
        case Verdict::FAILED:
            return "The update failed";
        case Verdict::UNEXPECTED:
            return "The updater stopped unexpectedly";
        case Verdict::NOT_STARTED:
            return "The updater could not be started";
        case Verdict::STOPPED:
            break;
    }
    return "The update was stopped";
}

std::string firmwaretext(const std::string& version, std::uint32_t fpga_length,
                         const std::string& fpga_sha256, std::uint32_t mcu_length,
                         const std::string& mcu_sha256) {
    return "Firmware " + version + ": FPGA image " + std::to_string(fpga_length) +
           " bytes (SHA-256 " + fpga_sha256.substr(0, SHORT_SHA256_LENGTH) + "), MCU image " +
           std::to_string(mcu_length) + " bytes (SHA-256 " +
           mcu_sha256.substr(0, SHORT_SHA256_LENGTH) + ")";
}

WindowState::WindowState(BlockCounts blocks) : blocks_(blocks) {}

void WindowState::startwaiting(Millis now) {
    screen_ = Screen::WAITING;
    waiting_since_ = now;
    survey_ = {};
    forgetrun();
    other_updaters_ = 0;
}

bool WindowState::surveyed(const TorvikSurvey& survey) {
    survey_ = survey;
    return screen_ == Screen::WAITING && other_updaters_ == 0 &&
           decide(survey) == SurveyDecision::START;
}

void WindowState::otherupdaters(int running, Millis now) {
    if (screen_ != Screen::WAITING) {
        return;
    }
    if (running == 0 && other_updaters_ > 0) {
        startwaiting(now);
    }
    other_updaters_ = running;
}

bool WindowState::givesup(Millis now) {
    if (screen_ == Screen::WAITING && other_updaters_ == 0 && now - waiting_since_ >= WAIT_LIMIT) {
        screen_ = Screen::GAVE_UP;
    }
    return screen_ == Screen::GAVE_UP;
}

void WindowState::updaterstarted() {
    screen_ = Screen::UPDATING;
    forgetrun();
}

void WindowState::forgetrun() {
    image_ = failed_image_ = Image::NONE;
    confirmed_fpga_ = confirmed_mcu_ = 0;
    first_block_ms_ = last_block_ms_ = 0;
    restarting_ = unparsed_ = false;
    end_ = {};
    verdict_ = Verdict::UPDATED;
}

void WindowState::output(const OutputEntry& entry) {
    switch (entry.kind) {
        case OutputEntry::Kind::HEADING:
            image_ = entry.image;
            break;
        case OutputEntry::Kind::DOT:
            if (confirmed_fpga_ + confirmed_mcu_ == 0) {
                first_block_ms_ = entry.ms;
            }
            last_block_ms_ = entry.ms;
            ++(entry.image == Image::MCU ? confirmed_mcu_ : confirmed_fpga_);
            break;
        case OutputEntry::Kind::FAILED:
            failed_image_ = entry.image;
            break;
        case OutputEntry::Kind::RESTARTING:
            restarting_ = true;
            break;
        case OutputEntry::Kind::UNPARSED:
            unparsed_ = true;
            break;
        case OutputEntry::Kind::DONE:
        case OutputEntry::Kind::NOT_FOUND:
            break;
    }
}

void WindowState::ended(const RunEnd& end) {
    end_ = end;
    verdict_ = verdictfor(end);
    screen_ = Screen::ENDED;
}

bool WindowState::keepsawake() const {
    return screen_ == Screen::UPDATING;
}

int WindowState::exitstatus() const {
    if (screen_ != Screen::ENDED) {
        return EXIT_NO_DEVICE;
    }
    switch (verdict_) {
        case Verdict::NOT_STARTED:
            return EXIT_NOT_STARTED;
        case Verdict::STOPPED:
            return EXIT_STOPPED;
        default:
            return static_cast<int>(end_.status);
    }
}

std::string WindowState::phasetext() const {
    if (restarting_) {
        return "Restarting the Torvik";
    }
    if (image_ == Image::NONE) {
        return "";
    }
    const bool mcu = image_ == Image::MCU;
    const int total = mcu ? blocks_.mcu : blocks_.fpga;
    const int block = std::min((mcu ? confirmed_mcu_ : confirmed_fpga_) + 1, total);
    return std::string("Writing the ") + imagename(image_) + " image: block " +
           std::to_string(block) + " of " + std::to_string(total);
}

std::string WindowState::verdictmessage() const {
    switch (verdict_) {
        case Verdict::UPDATED:
            return "The Torvik restarts with its new firmware. Nothing more to do.";
        case Verdict::NOT_FOUND:
            return std::string("The updater found no Torvik in bootloader mode. ") +
                   TRY_AGAIN_AFTER_STEPS;
        case Verdict::FAILED: {
            std::string where = "A block of firmware was not confirmed. ";
            if (failed_image_ != Image::NONE) {
                const bool mcu = failed_image_ == Image::MCU;
                where = std::string("The ") + imagename(failed_image_) + " image failed at block " +
                        std::to_string((mcu ? confirmed_mcu_ : confirmed_fpga_) + 1) + " of " +
                        std::to_string(mcu ? blocks_.mcu : blocks_.fpga) + ". ";
            }
            return where +
                   "The Torvik was not restarted. Try another USB cable or port, put the Torvik "
                   "into bootloader mode again, then click Try again: the update starts over.";
        }
        case Verdict::UNEXPECTED:
            return std::string(end_.pipe_broke ? "Its output broke off; t" : "T") +
                   "orvikupdate.exe ended with status " + std::to_string(end_.status) +
                   ". Click Try again; if this happens again, send the log to support.";
        case Verdict::NOT_STARTED:
            if (end_.start_error_text.empty()) {
                return "torvikupdate.exe is not in this program's folder: unpack the whole zip "
                       "into one folder and start Update Torvik.exe there.";
            }
            return "Windows could not start torvikupdate.exe: " + end_.start_error_text +
                   " (error " + std::to_string(end_.start_error) + ").";
        case Verdict::STOPPED:
            break;
    }
    return "The Torvik stays in bootloader mode. Starting the update again (Try again) "
           "finishes it.";
}

View WindowState::view() const {
    View view;
    view.cancel_label = "Close";
    switch (screen_) {
        case Screen::WAITING:
            view.cancel_label = "Cancel";
            if (other_updaters_ > 0) {
                view.headline = ANOTHER_UPDATE_HEADLINE;
                view.message = ANOTHER_UPDATE_MESSAGE;
                break;
            }
            switch (decide(survey_)) {
                case SurveyDecision::SEVERAL:
                    view.headline = "More than one Torvik is in bootloader mode";
                    view.message = std::to_string(survey_.in_bootloader) +
                                   " Torviks are in bootloader mode. Leave only the one to "
                                   "update connected: the update starts by itself then.";
                    break;
                case SurveyDecision::NORMAL_FIRMWARE:
                    view.headline = "The Torvik is running its normal firmware";
                    view.message = std::string("The update needs it in bootloader mode:\r\n") +
                                   BOOTLOADER_STEPS + STARTS_BY_ITSELF;
                    break;
                default:
                    view.headline = "Connect the Torvik in bootloader mode";
                    view.message = std::string(BOOTLOADER_STEPS) + STARTS_BY_ITSELF;
            }
            break;
        case Screen::GAVE_UP:
            view.headline = "No Torvik was found";
            view.message = "No Torvik came in bootloader mode in " +
                           std::to_string(WAIT_LIMIT / 60000) + " minutes. " +
                           TRY_AGAIN_AFTER_STEPS;
            view.show_try_again = true;
            view.default_button = DefaultButton::TRY_AGAIN_BUTTON;
            break;
        case Screen::UPDATING:
            view.cancel_label = "Cancel";
            view.headline = "Updating the Torvik";
            view.phase = phasetext();
            view.time_left =
                restarting_ ? ""
                            : timeleft(confirmed_fpga_ + confirmed_mcu_, blocks_.fpga + blocks_.mcu,
                                       first_block_ms_, last_block_ms_);
            view.warning = "Do not disconnect the Torvik.";
            break;
        case Screen::ENDED:
            view.headline = headlinefor(verdict_);
            view.message = verdictmessage();
            view.show_try_again = verdict_ != Verdict::UPDATED;
            view.show_run_results = true;
            view.default_button =
                view.show_try_again ? DefaultButton::TRY_AGAIN_BUTTON : DefaultButton::CLOSE_BUTTON;
            break;
    }
    // An end screen keeps the bar where the run left it, red when the
    // update did not get through.
    view.show_progress = screen_ == Screen::UPDATING ||
                         (screen_ == Screen::ENDED && verdict_ != Verdict::NOT_STARTED);
    view.progress_failed = view.show_progress && screen_ == Screen::ENDED && view.show_try_again;
    view.progress = confirmed_fpga_ + confirmed_mcu_;
    view.progress_total = blocks_.fpga + blocks_.mcu;
    return view;
}
