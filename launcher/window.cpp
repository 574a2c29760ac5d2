// "Update Torvik.exe": the window a Windows user double-clicks. It waits
// for a Torvik in bootloader mode, runs torvikupdate.exe from its own
// folder, shows the update as the updater reports it, and ends with one
// verdict for the updater's status, with a log of the run for support.
//
// This file is the Win32 side only: controls, fonts, layout, messages and
// timers. What the window shows and decides is in window_state.cpp, the
// reading of the updater's output in updater_output.cpp, the run itself in
// updater_process.cpp.
#include <windows.h>

#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "firmware_images.h"
#include "hid/discovery.h"
#include "log_file.h"
#include "run_log.h"
#include "session.h"
#include "survey.h"
#include "texts.h"
#include "torvik_config.h"
#include "torvikupdate.h"
#include "updater_output.h"
#include "updater_process.h"
#include "win32_text.h"
#include "window_controls.h"
#include "window_firmware.h"
#include "window_state.h"

namespace {

constexpr wchar_t UPDATER_NAME[] = L"torvikupdate.exe";
// Windows' longest path, and so the longest module path there can be.
constexpr DWORD LONGEST_PATH = 32768;

constexpr UINT WM_UPDATER_OUTPUT = WM_APP + 1;
constexpr UINT WM_UPDATER_ENDED = WM_APP + 2;
constexpr UINT WM_SURVEYED = WM_APP + 3;

// The next survey comes this long after the last one ended, and at once
// when a device arrives: an update starts within 2 s of a Torvik appearing
// also where device notifications never come.
constexpr UINT_PTR SURVEY_TIMER = 1;
constexpr UINT SURVEY_INTERVAL_MS = 1000;
// Output is shown as RedrawPace says (window_state.h).
constexpr UINT_PTR REDRAW_TIMER = 2;

// The layout, in pixels at 96 dpi.
constexpr int BASE_DPI = 96;
constexpr int CONTENT_WIDTH = 460;
constexpr int MARGIN = 16;
constexpr int GAP = 8;
constexpr int PROGRESS_HEIGHT = 16;
constexpr int DETAILS_HEIGHT = 150;
constexpr int BUTTON_HEIGHT = 26;
constexpr int BUTTON_MIN_WIDTH = 88;
constexpr int BUTTON_PADDING = 24;

constexpr DWORD WINDOW_STYLE = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Newer than Windows 8, so looked up rather than imported: without them the
// window keeps the system's DPI.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using SystemParametersInfoForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);

template <typename Function>
Function lookup(const wchar_t* library, const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(library), name)));
}

// The controls, in Tab order; the texts first, then the buttons from left
// to right.
struct ControlDefinition {
    int id;
    const wchar_t* window_class;
    DWORD style;
};
constexpr ControlDefinition CONTROLS[] = {
    {IDC_HEADLINE, L"STATIC", SS_LEFT | SS_NOPREFIX},
    {IDC_MESSAGE, L"STATIC", SS_LEFT | SS_NOPREFIX},
    {IDC_PROGRESS, PROGRESS_CLASSW, PBS_SMOOTH},
    {IDC_PHASE, L"STATIC", SS_LEFT | SS_NOPREFIX},
    {IDC_TIME_LEFT, L"STATIC", SS_LEFT | SS_NOPREFIX},
    {IDC_WARNING, L"STATIC", SS_LEFT | SS_NOPREFIX},
    {IDC_FIRMWARE, L"STATIC", SS_LEFT | SS_NOPREFIX},
    {IDC_LOG_NAME, L"STATIC", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS},
    {IDC_DETAILS_TEXT, L"EDIT",
     ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL |
         WS_BORDER | WS_TABSTOP},
    {IDC_DETAILS, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_OPEN_LOG_FOLDER, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_TRY_AGAIN, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP},
};

// The one window and everything it runs.
struct Window {
    HWND handle = nullptr;
    WindowState state{blocksfor(FPGABIN_LENGTH, MCUBIN_LENGTH)};
    UpdaterOutput reader;
    UpdaterProcess updater;
    LogFile log;
    std::wstring updater_path;
    std::string output;  // exactly as it came
    bool stop_asked = false;
    bool close_when_stopped = false;
    RedrawPace redraw;
    bool details_shown = false;
    // A survey runs on a thread of its own: opening every HID interface can
    // take a second on a busy machine, too long for the window to wait.
    HANDLE survey_thread = nullptr;
    bool survey_again = false;  // a device came or went during the survey
    bool kept_awake = false;    // what Windows was last asked (keepawake)
    HWND focus = nullptr;       // the control with the focus when the window was left
    Screen laid_out_screen = Screen::ENDED;
    HDEVNOTIFY notification = nullptr;
    UINT taskbar_created = 0;
    ITaskbarList3* taskbar = nullptr;
    UINT dpi = BASE_DPI;
    HFONT font = nullptr;
    HFONT headline_font = nullptr;
    HFONT bold_font = nullptr;
    int button_strip_top = 0;
};
Window window;

HWND control(int id) {
    return GetDlgItem(window.handle, id);
}

int scaled(int pixels) {
    return MulDiv(pixels, static_cast<int>(window.dpi), BASE_DPI);
}

Millis now() {
    return GetTickCount64();
}

// A text of the window's language, for a control.
std::wstring windowtext(Text id) {
    return widetext(textof(window.state.language(), id));
}

// ---- what the window shows --------------------------------------------------

std::wstring controltext(int id) {
    HWND item = control(id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Only a changed text is set: setting one redraws the control.
bool settext(int id, const std::wstring& text) {
    if (controltext(id) == text) {
        return false;
    }
    SetWindowTextW(control(id), text.c_str());
    return true;
}

std::wstring detailstext() {
    // Byte for byte: the updater prints ASCII, and anything else is shown
    // as the byte it is rather than dropped.
    std::wstring text;
    for (char byte : window.output) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    }
    std::vector<std::string> notes;
    const Language& language = window.state.language();
    if (window.state.unparsedoutput()) {
        notes.push_back(textof(language, Text::UNPARSED_NOTE));
    }
    if (!window.log.error().empty()) {
        notes.push_back(
            fill(textof(language, Text::LOG_FAILED_NOTE), {{"reason", window.log.error()}}));
    }
    for (const std::string& note : notes) {
        if (!text.empty() && text.back() != L'\n') {
            text += L"\r\n";
        }
        text += widetext(note) + L"\r\n";
    }
    return text;
}

void showcontrol(int id, bool shown) {
    ShowWindow(control(id), shown ? SW_SHOWNA : SW_HIDE);
}

// The control's own visibility: IsWindowVisible also asks the window's,
// which is hidden while it is first laid out.
bool shown(int id) {
    return (GetWindowLongW(control(id), GWL_STYLE) & WS_VISIBLE) != 0;
}

// The height of the control's text wrapped at `width`, in its own font.
int textheight(int id, int width) {
    const std::wstring text = controltext(id);
    if (text.empty()) {
        return 0;
    }
    HDC dc = GetDC(window.handle);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control(id), WM_GETFONT, 0, 0)));
    RECT bounds = {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), -1, &bounds,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, previous);
    ReleaseDC(window.handle, dc);
    return bounds.bottom - bounds.top;
}

int lineheight() {
    HDC dc = GetDC(window.handle);
    HGDIOBJ previous = SelectObject(dc, window.font);
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(window.handle, dc);
    return metrics.tmHeight;
}

int buttonwidth(int id) {
    HDC dc = GetDC(window.handle);
    HGDIOBJ previous = SelectObject(dc, window.font);
    const std::wstring text = controltext(id);
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(window.handle, dc);
    return std::max(scaled(BUTTON_MIN_WIDTH), static_cast<int>(size.cx) + scaled(BUTTON_PADDING));
}

// As wide as CONTENT_WIDTH, or as the shown buttons side by side where
// their labels need more: a long label widens the window, never overlaps.
int contentwidth() {
    int buttons = -scaled(GAP);
    for (int id : {IDC_DETAILS, IDC_OPEN_LOG_FOLDER, IDC_TRY_AGAIN, IDCANCEL}) {
        if (shown(id)) {
            buttons += buttonwidth(id) + scaled(GAP);
        }
    }
    return std::max(scaled(CONTENT_WIDTH), buttons);
}

// Stacks the shown texts from the top, each as high as its text wraps to,
// puts the buttons in a strip below, and fits the window around them.
void layout() {
    const int margin = scaled(MARGIN);
    const int gap = scaled(GAP);
    const int width = contentwidth();
    const bool updating = window.state.screen() == Screen::UPDATING;
    int y = margin;
    auto place = [&](int id, int height) {
        if (!shown(id)) {
            return;
        }
        MoveWindow(control(id), margin, y, width, height, TRUE);
        y += height + gap;
    };
    place(IDC_HEADLINE, textheight(IDC_HEADLINE, width));
    place(IDC_MESSAGE, textheight(IDC_MESSAGE, width));
    place(IDC_PROGRESS, scaled(PROGRESS_HEIGHT));
    // While updating, the lines keep their places as texts come and go,
    // unless one wraps.
    for (int id : {IDC_PHASE, IDC_TIME_LEFT, IDC_WARNING}) {
        place(id, std::max(updating ? lineheight() : 0, textheight(id, width)));
    }
    place(IDC_FIRMWARE, textheight(IDC_FIRMWARE, width));
    place(IDC_LOG_NAME, lineheight());
    place(IDC_DETAILS_TEXT, scaled(DETAILS_HEIGHT));

    window.button_strip_top = y - gap + margin;
    const int button_y = window.button_strip_top + scaled(GAP + 2);
    const int button_height = scaled(BUTTON_HEIGHT);
    int left = margin;
    for (int id : {IDC_DETAILS, IDC_OPEN_LOG_FOLDER}) {
        if (shown(id)) {
            MoveWindow(control(id), left, button_y, buttonwidth(id), button_height, TRUE);
            left += buttonwidth(id) + gap;
        }
    }
    int right = margin + width;
    for (int id : {IDCANCEL, IDC_TRY_AGAIN}) {
        if (shown(id)) {
            right -= buttonwidth(id);
            MoveWindow(control(id), right, button_y, buttonwidth(id), button_height, TRUE);
            right -= gap;
        }
    }

    RECT frame = {0, 0, width + 2 * margin, button_y + button_height + scaled(GAP + 2)};
    static const auto adjust_for_dpi =
        lookup<AdjustWindowRectExForDpiFunction>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (adjust_for_dpi != nullptr) {
        adjust_for_dpi(&frame, WINDOW_STYLE, FALSE, 0, window.dpi);
    } else {
        AdjustWindowRectEx(&frame, WINDOW_STYLE, FALSE, 0);
    }
    SetWindowPos(window.handle, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window.handle, nullptr, TRUE);
}

// A text that came since the last layout and needs more lines than its control has.
bool outgrown(int id) {
    RECT area = {};
    GetClientRect(control(id), &area);
    return shown(id) && textheight(id, area.right) > area.bottom;
}

void setdefaultbutton(DefaultButton button) {
    const int default_id = button == DefaultButton::TRY_AGAIN_BUTTON ? IDC_TRY_AGAIN
                           : button == DefaultButton::CLOSE_BUTTON   ? IDCANCEL
                                                                     : 0;
    for (int id : {IDC_DETAILS, IDC_OPEN_LOG_FOLDER, IDC_TRY_AGAIN, IDCANCEL}) {
        SendMessageW(control(id), BM_SETSTYLE, id == default_id ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                     TRUE);
    }
}

int defaultbutton() {
    switch (window.state.view().default_button) {
        case DefaultButton::TRY_AGAIN_BUTTON:
            return IDC_TRY_AGAIN;
        case DefaultButton::CLOSE_BUTTON:
            return IDCANCEL;
        case DefaultButton::NO_DEFAULT:
            break;
    }
    return 0;
}

void showtaskbarprogress(const View& view) {
    if (window.taskbar == nullptr) {
        return;
    }
    const TBPFLAG progress_state = !view.show_progress    ? TBPF_NOPROGRESS
                                   : view.progress_failed ? TBPF_ERROR
                                                          : TBPF_NORMAL;
    window.taskbar->SetProgressState(window.handle, progress_state);
    if (progress_state != TBPF_NOPROGRESS) {
        window.taskbar->SetProgressValue(window.handle, static_cast<ULONGLONG>(view.progress),
                                         static_cast<ULONGLONG>(view.progress_total));
    }
}

// Brings the controls up to date with the state; lays them out again when
// a text that wraps changed or a control came or went.
void render() {
    const View view = window.state.view();
    const bool ended = window.state.screen() == Screen::ENDED;
    bool relayout = window.laid_out_screen != window.state.screen();
    relayout |= settext(IDC_HEADLINE, widetext(view.headline));
    relayout |= settext(IDC_MESSAGE, widetext(view.message));
    settext(IDC_PHASE, widetext(view.phase));
    settext(IDC_TIME_LEFT, widetext(view.time_left));
    settext(IDC_WARNING, widetext(view.warning));
    relayout |= settext(IDC_LOG_NAME, ended ? window.log.path() : L"");
    settext(IDC_DETAILS_TEXT, detailstext());
    settext(IDCANCEL, widetext(view.cancel_label));

    HWND progress = control(IDC_PROGRESS);
    if (SendMessageW(progress, PBM_GETRANGE, FALSE, 0) != view.progress_total) {
        SendMessageW(progress, PBM_SETRANGE32, 0, view.progress_total);
    }
    SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(view.progress), 0);
    SendMessageW(progress, PBM_SETSTATE, view.progress_failed ? PBST_ERROR : PBST_NORMAL, 0);

    const bool updating = window.state.screen() == Screen::UPDATING;
    const struct {
        int id;
        bool shown;
    } visibility[] = {
        {IDC_MESSAGE, !view.message.empty()},
        {IDC_PROGRESS, view.show_progress},
        {IDC_PHASE, updating},
        {IDC_TIME_LEFT, updating},
        {IDC_WARNING, updating},
        {IDC_LOG_NAME, view.show_run_results && !window.log.path().empty()},
        {IDC_DETAILS_TEXT, view.show_run_results && window.details_shown},
        {IDC_DETAILS, view.show_run_results && !controltext(IDC_DETAILS_TEXT).empty()},
        {IDC_OPEN_LOG_FOLDER, view.show_run_results && !window.log.folder().empty()},
        {IDC_TRY_AGAIN, view.show_try_again},
    };
    for (const auto& item : visibility) {
        if (shown(item.id) != item.shown) {
            showcontrol(item.id, item.shown);
            relayout = true;
        }
    }
    for (int id : {IDC_PHASE, IDC_TIME_LEFT, IDC_WARNING}) {
        relayout |= outgrown(id);
    }
    if (relayout) {
        setdefaultbutton(view.default_button);
        layout();
    }
    // A new screen starts at its default button, and focus never stays on a
    // control that went.
    HWND focus = GetFocus();
    if (window.laid_out_screen != window.state.screen() ||
        (focus != nullptr && IsChild(window.handle, focus) && !IsWindowVisible(focus))) {
        SetFocus(control(defaultbutton() != 0 ? defaultbutton() : IDCANCEL));
    }
    window.laid_out_screen = window.state.screen();
    showtaskbarprogress(view);
    if (window.kept_awake != window.state.keepsawake()) {
        window.kept_awake = window.state.keepsawake();
        keepawake(window.kept_awake);
    }
}

// ---- fonts and DPI ----------------------------------------------------------

UINT windowdpi() {
    static const auto get_dpi = lookup<GetDpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
    if (get_dpi != nullptr) {
        return get_dpi(window.handle);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

// The system's message font at the window's DPI: the font of message boxes
// and dialogs, in the user's size.
LOGFONTW messagefont() {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    static const auto for_dpi =
        lookup<SystemParametersInfoForDpiFunction>(L"user32.dll", "SystemParametersInfoForDpi");
    if (for_dpi == nullptr ||
        !for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, window.dpi)) {
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    }
    return metrics.lfMessageFont;
}

void deletefonts() {
    for (HFONT* font : {&window.font, &window.headline_font, &window.bold_font}) {
        if (*font != nullptr) {
            DeleteObject(*font);
            *font = nullptr;
        }
    }
}

// The fonts for the window's DPI, made anew when it changes: the old ones
// go only once no control uses them.
void makefonts() {
    const HFONT old[] = {window.font, window.headline_font, window.bold_font};
    LOGFONTW font = messagefont();
    window.font = CreateFontIndirectW(&font);
    LOGFONTW bold = font;
    bold.lfWeight = FW_BOLD;
    window.bold_font = CreateFontIndirectW(&bold);
    LOGFONTW headline = font;
    headline.lfHeight = MulDiv(font.lfHeight, 3, 2);
    window.headline_font = CreateFontIndirectW(&headline);
    for (const ControlDefinition& definition : CONTROLS) {
        HFONT chosen = definition.id == IDC_HEADLINE  ? window.headline_font
                       : definition.id == IDC_WARNING ? window.bold_font
                                                      : window.font;
        SendMessageW(control(definition.id), WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
    }
    for (HFONT font_before : old) {
        if (font_before != nullptr) {
            DeleteObject(font_before);
        }
    }
}

// ---- the run ------------------------------------------------------------------

// torvikupdate.exe beside this program, by the full path of this program's
// own file: never the current folder, never the search path.
std::wstring updaterpath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= LONGEST_PATH) {
            return {};
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L'\\') + 1) + UPDATER_NAME;
}

std::string windowsversion() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    // RtlGetVersion tells the truth where GetVersionEx answers by the manifest.
    const auto get_version = lookup<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
    if (get_version == nullptr || get_version(&version) != 0) {
        return "unknown";
    }
    return std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) +
           "." + std::to_string(version.dwBuildNumber);
}

void writelogheader(const FoundDevice& device) {
    LogFacts facts;
    facts.window_version = TORVIK_VERSION_STRING;
    facts.fpga_length = FPGABIN_LENGTH;
    facts.fpga_sha256 = FPGA_IMAGE_SHA256;
    facts.mcu_length = MCUBIN_LENGTH;
    facts.mcu_sha256 = MCU_IMAGE_SHA256;
    facts.windows_version = windowsversion();
    facts.device = device;
    facts.updater_path = utf8text(window.updater_path);
    facts.language = window.state.language().tag;
    window.log.write(logheader(facts));
}

void endrun(const RunEnd& end) {
    window.state.ended(end);
    window.log.write(logending(end, window.state.verdict()));
    window.log.close();
    render();
}

void startupdate(const FoundDevice& device) {
    KillTimer(window.handle, SURVEY_TIMER);
    window.stop_asked = false;
    window.state.updaterstarted();
    if (window.log.create()) {
        writelogheader(device);
    }
    const DWORD error = window.updater.start(window.updater_path, window.handle, WM_UPDATER_OUTPUT,
                                             WM_UPDATER_ENDED);
    if (error != ERROR_SUCCESS) {
        RunEnd end;
        end.started = false;
        end.start_error = error;
        // A missing updater has an answer of its own: unpack the whole zip.
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            end.start_error_text = windowserror(error);
        }
        endrun(end);
        return;
    }
    render();
}

void takeoutput() {
    std::vector<OutputEntry> entries;
    for (const OutputChunk& chunk : window.updater.takechunks()) {
        window.output += chunk.bytes;
        window.reader.feed(chunk.bytes, chunk.ms, entries);
    }
    for (const OutputEntry& entry : entries) {
        window.state.output(entry);
        window.log.write(logentry(entry));
    }
}

void updaterended() {
    takeoutput();
    RunEnd end;
    std::uint32_t end_ms = 0;
    window.updater.finish(end.status, end.pipe_broke, end_ms);
    end.stopped_by_user = window.stop_asked;
    std::vector<OutputEntry> entries;
    window.reader.finish(end_ms, entries);
    for (const OutputEntry& entry : entries) {
        window.state.output(entry);
        window.log.write(logentry(entry));
    }
    endrun(end);
    if (window.close_when_stopped) {
        DestroyWindow(window.handle);
    }
}

// What a look while waiting found.
struct Look {
    int other_updaters = 0;
    TorvikSurvey survey;
};

// The Torvik is left alone while another updater runs: even a survey's
// question to it could come between that one's reports. One that starts
// during the survey is seen by the second count.
DWORD WINAPI surveythread(void* handle) {
    auto* found = new Look;
    found->other_updaters = runningupdaters(UPDATER_NAME);
    if (found->other_updaters == 0) {
        found->survey = surveytorviks(TORVIK_VENDOR_ID, TORVIK_PRODUCT_ID);
        found->other_updaters = runningupdaters(UPDATER_NAME);
    }
    if (!PostMessageW(static_cast<HWND>(handle), WM_SURVEYED, 0, reinterpret_cast<LPARAM>(found))) {
        delete found;
    }
    return 0;
}

// Looks for Torviks while waiting, unless a look is under way already.
void survey() {
    KillTimer(window.handle, SURVEY_TIMER);
    if (window.state.screen() != Screen::WAITING) {
        return;
    }
    if (window.state.givesup(now())) {
        render();
        return;
    }
    if (window.survey_thread != nullptr) {
        window.survey_again = true;
        return;
    }
    window.survey_again = false;
    window.survey_thread = CreateThread(nullptr, 0, surveythread, window.handle, 0, nullptr);
    if (window.survey_thread == nullptr) {
        SetTimer(window.handle, SURVEY_TIMER, SURVEY_INTERVAL_MS, nullptr);
    }
}

// Starts the update when no other updater runs and exactly one Torvik is
// in bootloader mode; else says what was found and looks again.
void surveyed(Look* result) {
    const std::unique_ptr<Look> found(result);
    WaitForSingleObject(window.survey_thread, INFINITE);
    CloseHandle(window.survey_thread);
    window.survey_thread = nullptr;
    window.state.otherupdaters(found->other_updaters, now());
    if (window.state.surveyed(found->survey)) {
        startupdate(found->survey.first_in_bootloader);
        return;
    }
    render();
    if (window.survey_again) {
        survey();
    } else if (window.state.screen() == Screen::WAITING) {
        SetTimer(window.handle, SURVEY_TIMER, SURVEY_INTERVAL_MS, nullptr);
    }
}

// Waiting (again): nothing of the last run stays on the screen, neither
// its log nor its output in Details.
void startwaiting() {
    window.state.startwaiting(now());
    window.output.clear();
    window.reader = UpdaterOutput();
    window.log.forget();
    window.details_shown = false;
    // Without the updater there is nothing to wait for.
    if (GetFileAttributesW(window.updater_path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        RunEnd end;
        end.started = false;
        end.start_error = ERROR_FILE_NOT_FOUND;
        window.state.ended(end);
        render();
        return;
    }
    survey();
}

// Close, Esc or Cancel while the updater runs: stopping is the user's
// choice, once told what it means.
void askstop(bool closing) {
    if (window.stop_asked) {
        window.close_when_stopped |= closing;
        return;
    }
    const int answer = MessageBoxW(window.handle, windowtext(Text::STOP_QUESTION).c_str(),
                                   TORVIK_WINDOW_TITLE, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    if (answer != IDYES) {
        return;
    }
    // The update may have ended while the question was open: then its own
    // verdict stands.
    if (window.updater.running() && window.updater.stop()) {
        window.stop_asked = true;
        window.close_when_stopped = closing;
    } else if (window.updater.running()) {
        window.close_when_stopped = closing;
    } else if (closing) {
        DestroyWindow(window.handle);
    }
}

void cancel(bool closing) {
    if (window.state.screen() == Screen::UPDATING) {
        askstop(closing);
    } else {
        DestroyWindow(window.handle);
    }
}

void command(int id) {
    switch (id) {
        case IDCANCEL:
            cancel(false);
            break;
        case IDC_TRY_AGAIN:
            if (window.state.screen() == Screen::ENDED ||
                window.state.screen() == Screen::GAVE_UP) {
                startwaiting();
            }
            break;
        case IDC_DETAILS:
            window.details_shown = !window.details_shown;
            render();
            if (window.details_shown) {
                SetFocus(control(IDC_DETAILS_TEXT));
            }
            break;
        case IDC_OPEN_LOG_FOLDER:
            ShellExecuteW(window.handle, L"open", window.log.folder().c_str(), nullptr, nullptr,
                          SW_SHOWNORMAL);
            break;
        default:
            break;
    }
}

// ---- the window -----------------------------------------------------------------

void createcontrols(HWND parent) {
    for (const ControlDefinition& definition : CONTROLS) {
        const bool starts_shown = definition.id == IDC_HEADLINE || definition.id == IDC_FIRMWARE ||
                                  definition.id == IDCANCEL;
        CreateWindowExW(0, definition.window_class, L"",
                        WS_CHILD | definition.style | (starts_shown ? WS_VISIBLE : 0), 0, 0, 0, 0,
                        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(definition.id)),
                        nullptr, nullptr);
    }
    SetWindowTextW(control(IDC_DETAILS), windowtext(Text::DETAILS_BUTTON).c_str());
    SetWindowTextW(control(IDC_OPEN_LOG_FOLDER), windowtext(Text::OPEN_LOG_FOLDER_BUTTON).c_str());
    SetWindowTextW(control(IDC_TRY_AGAIN), windowtext(Text::TRY_AGAIN_BUTTON).c_str());
    SetWindowTextW(
        control(IDC_FIRMWARE),
        widetext(firmwaretext(window.state.language(), TORVIK_VERSION_STRING, FPGABIN_LENGTH,
                              FPGA_IMAGE_SHA256, MCUBIN_LENGTH, MCU_IMAGE_SHA256))
            .c_str());
    SendMessageW(control(IDC_DETAILS_TEXT), EM_SETLIMITTEXT, 0, 0);
}

// Device arrivals of the HID class wake the survey at once.
void registerdevicenotification() {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    window.notification =
        RegisterDeviceNotificationW(window.handle, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void paintbackground(HDC dc) {
    RECT client;
    GetClientRect(window.handle, &client);
    RECT content = client;
    content.bottom = window.button_strip_top;
    FillRect(dc, &content, GetSysColorBrush(COLOR_WINDOW));
    RECT strip = client;
    strip.top = window.button_strip_top;
    FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
}

void dpichanged(UINT dpi, const RECT& suggested) {
    window.dpi = dpi;
    makefonts();
    SetWindowPos(window.handle, nullptr, suggested.left, suggested.top,
                 suggested.right - suggested.left, suggested.bottom - suggested.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    layout();
}

LRESULT CALLBACK windowprocedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == window.taskbar_created && message != 0) {
        if (window.taskbar == nullptr &&
            FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_ITaskbarList3,
                                    reinterpret_cast<void**>(&window.taskbar)))) {
            window.taskbar = nullptr;
        }
        if (window.taskbar != nullptr) {
            window.taskbar->HrInit();
            showtaskbarprogress(window.state.view());
        }
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            command(LOWORD(wparam));
            return 0;
        case DM_GETDEFID: {
            const int id = defaultbutton();
            return id != 0 ? MAKELRESULT(id, DC_HASDEFID) : 0;
        }
        case WM_TIMER:
            if (wparam == SURVEY_TIMER) {
                survey();
            } else if (wparam == REDRAW_TIMER) {
                KillTimer(handle, REDRAW_TIMER);
                window.redraw.redrawn();
                render();
            }
            return 0;
        case WM_DEVICECHANGE:
            if (wparam == DBT_DEVICEARRIVAL || wparam == DBT_DEVICEREMOVECOMPLETE ||
                wparam == DBT_DEVNODES_CHANGED) {
                survey();
            }
            return TRUE;
        case WM_UPDATER_OUTPUT:
            takeoutput();
            if (window.redraw.outputcame()) {
                SetTimer(handle, REDRAW_TIMER, REDRAW_INTERVAL_MS, nullptr);
            }
            return 0;
        case WM_UPDATER_ENDED:
            updaterended();
            return 0;
        case WM_SURVEYED:
            surveyed(reinterpret_cast<Look*>(lparam));
            return 0;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wparam);
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        case WM_ERASEBKGND:
            paintbackground(reinterpret_cast<HDC>(wparam));
            return TRUE;
        case WM_DPICHANGED:
            dpichanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
            return 0;
        case WM_ACTIVATE:
            // A window that is no dialog does not give the focus back to
            // its control by itself.
            if (LOWORD(wparam) == WA_INACTIVE) {
                window.focus = GetFocus();
            } else if (window.focus != nullptr && IsWindowVisible(window.focus)) {
                SetFocus(window.focus);
            } else {
                SetFocus(control(defaultbutton() != 0 ? defaultbutton() : IDCANCEL));
            }
            return 0;
        case WM_CLOSE:
            cancel(true);
            return 0;
        case WM_QUERYENDSESSION:
            // Windows shutting down mid-update would end the updater as
            // stopping does: the user is asked to wait instead.
            return window.state.screen() != Screen::UPDATING;
        case WM_DESTROY:
            KillTimer(handle, SURVEY_TIMER);
            KillTimer(handle, REDRAW_TIMER);
            if (window.notification != nullptr) {
                UnregisterDeviceNotification(window.notification);
            }
            if (window.taskbar != nullptr) {
                window.taskbar->Release();
                window.taskbar = nullptr;
            }
            PostQuitMessage(window.state.exitstatus());
            return 0;
        default:
            return DefWindowProcW(handle, message, wparam, lparam);
    }
}

// Puts the window in the middle of the screen it opens on.
void centre() {
    RECT frame;
    GetWindowRect(window.handle, &frame);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window.handle, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(window.handle, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 3, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool createwindow(HINSTANCE instance, int show) {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = windowprocedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    window_class.lpszClassName = TORVIK_WINDOW_CLASS;
    if (RegisterClassExW(&window_class) == 0) {
        return false;
    }
    window.handle =
        CreateWindowExW(0, TORVIK_WINDOW_CLASS, TORVIK_WINDOW_TITLE, WINDOW_STYLE, CW_USEDEFAULT,
                        CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, nullptr);
    if (window.handle == nullptr) {
        return false;
    }
    window.dpi = windowdpi();
    createcontrols(window.handle);
    makefonts();
    render();
    centre();
    ShowWindow(window.handle, show);
    UpdateWindow(window.handle);
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    // Any DLL loaded from here on comes from the system directory, never
    // from the folder the program was started from (often Downloads).
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!claimwindow()) {
        return EXIT_ALREADY_OPEN;
    }
    const INITCOMMONCONTROLSEX controls = {sizeof controls,
                                           ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The taskbar button's progress is a COM object of the shell.
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    window.taskbar_created = RegisterWindowMessageW(L"TaskbarButtonCreated");
    window.updater_path = updaterpath();
    // The display language's texts, or English.
    window.state = WindowState(blocksfor(FPGABIN_LENGTH, MCUBIN_LENGTH),
                               languagefor(GetUserDefaultUILanguage()));

    int status = EXIT_NOT_STARTED;
    if (createwindow(instance, show)) {
        registerdevicenotification();
        startwaiting();
        MSG message;
        BOOL got;
        while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
            // Tab, Enter and Esc, as in a dialog.
            if (!IsDialogMessageW(window.handle, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        status = got == 0 ? static_cast<int>(message.wParam) : window.state.exitstatus();
    }
    deletefonts();
    if (com) {
        CoUninitialize();
    }
    return status;
}
