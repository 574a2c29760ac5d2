#include "window_state.h"

#include <algorithm>

#include "protocol/reports.h"
#include "torvikupdate.h"

namespace {

// Enough of a SHA-256 to tell builds apart at a glance; the log has it whole.
constexpr std::size_t SHORT_SHA256_LENGTH = 16;
constexpr char LINE_END[] = "\r\n";

int blocksfor(std::uint64_t stream_bytes) {
    return static_cast<int>((stream_bytes + BLOCK_SIZE - 1) / BLOCK_SIZE);
}

const char* imagename(Image image) {
    return image == Image::MCU ? "MCU" : "FPGA";
}

std::string filled(const Language& language, Text id, const Fills& fills) {
    return fill(textof(language, id), fills);
}

// Rounded up, so that the estimate errs on the long side: to 5 seconds
// under a minute, to whole minutes above.
std::string roundedtime(const Language& language, Millis ms) {
    const Millis seconds = (ms + 999) / 1000;
    if (seconds <= 60) {
        return filled(language, Text::SECONDS_LEFT,
                      {{"seconds", std::to_string(std::max<Millis>(5, (seconds + 4) / 5 * 5))}});
    }
    return filled(language, Text::MINUTES_LEFT, {{"minutes", std::to_string((seconds + 59) / 60)}});
}

Text headlineid(Verdict verdict) {
    switch (verdict) {
        case Verdict::UPDATED:
            return Text::UPDATED_HEADLINE;
        case Verdict::NOT_FOUND:
            return Text::NOT_FOUND_HEADLINE;
        case Verdict::FAILED:
            return Text::FAILED_HEADLINE;
        case Verdict::UNEXPECTED:
            return Text::UNEXPECTED_HEADLINE;
        case Verdict::NOT_STARTED:
            return Text::NOT_STARTED_HEADLINE;
        case Verdict::STOPPED:
            break;
    }
    return Text::STOPPED_HEADLINE;
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

std::string timeleft(const Language& language, int confirmed, int total, Millis first_block_ms,
                     Millis last_block_ms) {
    if (confirmed < BLOCKS_BEFORE_TIME_LEFT) {
        return "";
    }
    // The pace since the first block: opening the device is not in it.
    const Millis per_block = (last_block_ms - first_block_ms) / (confirmed - 1);
    return roundedtime(language, per_block * static_cast<Millis>(std::max(0, total - confirmed)));
}

std::string headlinefor(Verdict verdict, const Language& language) {
    return textof(language, headlineid(verdict));
}

std::string firmwaretext(const Language& language, const std::string& version,
                         std::uint32_t fpga_length, const std::string& fpga_sha256,
                         std::uint32_t mcu_length, const std::string& mcu_sha256) {
    return filled(language, Text::FIRMWARE_LINE,
                  {{"version", version},
                   {"fpga_bytes", std::to_string(fpga_length)},
                   {"fpga_sha256", fpga_sha256.substr(0, SHORT_SHA256_LENGTH)},
                   {"mcu_bytes", std::to_string(mcu_length)},
                   {"mcu_sha256", mcu_sha256.substr(0, SHORT_SHA256_LENGTH)}});
}

WindowState::WindowState(BlockCounts blocks, const Language& language)
    : blocks_(blocks), language_(&language) {}

std::string WindowState::text(Text id, const Fills& fills) const {
    // Every text may name the Try again button: its label, as the button has it.
    Fills all = fills;
    all.emplace_back("try_again", textof(*language_, Text::TRY_AGAIN_BUTTON));
    return filled(*language_, id, all);
}

std::string WindowState::sentences(std::initializer_list<std::string> texts) const {
    std::string joined;
    for (const std::string& sentence : texts) {
        if (!joined.empty() && !sentence.empty()) {
            joined += language_->sentence_gap;
        }
        joined += sentence;
    }
    return joined;
}

// "Put the Torvik into bootloader mode again:", the steps, "Then click Try again."
std::string WindowState::againintobootloader() const {
    return text(Text::AGAIN_INTO_BOOTLOADER) + LINE_END + text(Text::BOOTLOADER_STEPS) + LINE_END +
           text(Text::THEN_TRY_AGAIN);
}

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
        return text(Text::RESTARTING_PHASE);
    }
    if (image_ == Image::NONE) {
        return "";
    }
    const bool mcu = image_ == Image::MCU;
    const int total = mcu ? blocks_.mcu : blocks_.fpga;
    const int block = std::min((mcu ? confirmed_mcu_ : confirmed_fpga_) + 1, total);
    return text(Text::WRITING_PHASE, {{"image", imagename(image_)},
                                      {"block", std::to_string(block)},
                                      {"total", std::to_string(total)}});
}

std::string WindowState::verdictmessage() const {
    switch (verdict_) {
        case Verdict::UPDATED:
            return text(Text::UPDATED_MESSAGE);
        case Verdict::NOT_FOUND:
            return text(Text::NOT_FOUND_MESSAGE) + LINE_END + againintobootloader();
        case Verdict::FAILED: {
            std::string where = text(Text::FAILED_BLOCK_UNNAMED);
            if (failed_image_ != Image::NONE) {
                const bool mcu = failed_image_ == Image::MCU;
                where =
                    text(Text::FAILED_AT_BLOCK,
                         {{"image", imagename(failed_image_)},
                          {"block", std::to_string((mcu ? confirmed_mcu_ : confirmed_fpga_) + 1)},
                          {"total", std::to_string(mcu ? blocks_.mcu : blocks_.fpga)}});
            }
            return sentences({where, text(Text::FAILED_ADVICE)});
        }
        case Verdict::UNEXPECTED:
            return sentences(
                {end_.pipe_broke ? text(Text::OUTPUT_BROKE_OFF) : "",
                 text(Text::UNEXPECTED_MESSAGE, {{"status", std::to_string(end_.status)}})});
        case Verdict::NOT_STARTED:
            if (end_.start_error_text.empty()) {
                return text(Text::UPDATER_MISSING_MESSAGE);
            }
            return text(Text::START_FAILED_MESSAGE, {{"reason", end_.start_error_text},
                                                     {"error", std::to_string(end_.start_error)}});
        case Verdict::STOPPED:
            break;
    }
    return text(Text::STOPPED_MESSAGE);
}

View WindowState::view() const {
    View view;
    view.cancel_label = text(Text::CLOSE_BUTTON);
    const std::string waiting_steps =
        text(Text::BOOTLOADER_STEPS) + LINE_END + text(Text::STARTS_BY_ITSELF);
    switch (screen_) {
        case Screen::WAITING:
            view.cancel_label = text(Text::CANCEL_BUTTON);
            if (other_updaters_ > 0) {
                view.headline = text(Text::ANOTHER_UPDATE_HEADLINE);
                view.message = text(Text::ANOTHER_UPDATE_MESSAGE);
                break;
            }
            switch (decide(survey_)) {
                case SurveyDecision::SEVERAL:
                    view.headline = text(Text::SEVERAL_HEADLINE);
                    view.message = text(Text::SEVERAL_MESSAGE,
                                        {{"count", std::to_string(survey_.in_bootloader)}});
                    break;
                case SurveyDecision::NORMAL_FIRMWARE:
                    view.headline = text(Text::NORMAL_FIRMWARE_HEADLINE);
                    view.message = text(Text::NORMAL_FIRMWARE_MESSAGE) + LINE_END + waiting_steps;
                    break;
                default:
                    view.headline = text(Text::WAITING_HEADLINE);
                    view.message = waiting_steps;
            }
            break;
        case Screen::GAVE_UP:
            view.headline = text(Text::GAVE_UP_HEADLINE);
            view.message =
                text(Text::GAVE_UP_MESSAGE, {{"minutes", std::to_string(WAIT_LIMIT / 60000)}}) +
                LINE_END + againintobootloader();
            view.show_try_again = true;
            view.default_button = DefaultButton::TRY_AGAIN_BUTTON;
            break;
        case Screen::UPDATING:
            view.cancel_label = text(Text::CANCEL_BUTTON);
            view.headline = text(Text::UPDATING_HEADLINE);
            view.phase = phasetext();
            view.time_left =
                restarting_ ? ""
                            : timeleft(*language_, confirmed_fpga_ + confirmed_mcu_,
                                       blocks_.fpga + blocks_.mcu, first_block_ms_, last_block_ms_);
            view.warning = text(Text::WARNING);
            break;
        case Screen::ENDED:
            view.headline = headlinefor(verdict_, *language_);
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
