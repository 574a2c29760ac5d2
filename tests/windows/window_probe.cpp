// window-probe: drives "Update Torvik.exe" from outside as a user would, for
// cmake/check_window.cmake and scripts/window-pictures, benchmark and
// check-signing. In the window's Wine prefix it runs the STEPs in turn:
//   start PATH | run COMMAND (to its end, status 0) | exit STATUS (the window's)
//   launch COMMAND (not waited for) | ends STATUS (the launched one's; a
//   `within` after it counts from its end) | attach NAME (the window's
//   program, NAME, is that of the next window: one that `launch` started)
//   text ID PATTERN ('*': any text) | lacks ID PATTERN | empty ID | hidden ID
//   bar POS RANGE (shown, of 0..RANGE)
//   moving MS COUNT (the bar takes COUNT positions within MS)
//   steady MS (what the waits since the last action saw holds MS more)
//   click ID | escape | enter | close | end-session allowed|refused
//   answer yes|no|enter PATTERN (the window's question)
//   touch FILE (made empty, with its folders) | remove FILE (%VARIABLES% expanded)
//   within MS (the next wait ends MS after the last start or run at most)
//   limit MS (of every later wait; 60000) | print ID (as "ID: text")
//   await FILE | no-process NAME | lifetime NAME (it starts and ends, status 0)
//   minimize | front (the window is restored and in the foreground)
//   env NAME VALUE (for the programs started after it)
//   awake TRACE yes|no (the window's last SetThreadExecutionState, as Wine's
//   warn+ntdll channel in the file TRACE shows it, keeps the PC awake or not)
//   dpi DPI (of the programs started later) | bold ID (its font)
//   layout (no control outside the window or over another, and no text
//   that needs more room than its control has)
// Each process it waits for is said to have run so many ms (scripts/benchmark
// reads that). Status 0 when every step passed; 1 at the first that did not,
// after printing what it saw. Messages that the window's thread must handle
// while it may sit in a modal loop (a click that asks a question) are posted,
// never sent, and every sent message has a time limit, so the probe never
// hangs on the window.
// Wine has the per-DPI calls of Windows 10, which the window looks up.
#define _WIN32_WINNT 0x0A00
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "window_controls.h"

namespace {

constexpr DWORD POLL_MS = 10;
constexpr UINT ANSWER_TIMEOUT_MS = 5000;  // a window that takes longer to answer is hung
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 64;

// The controls printed when a step fails: what the window showed then.
const int SHOWN_CONTROLS[] = {IDC_HEADLINE, IDC_MESSAGE,  IDC_PHASE,     IDC_TIME_LEFT,
                              IDC_WARNING,  IDC_LOG_NAME, IDC_TRY_AGAIN, IDCANCEL};

// What a wait waits for: true when it holds, else `seen` says what it saw.
using Condition = std::function<bool(std::wstring& seen)>;

PROCESS_INFORMATION started{};   // the window's program
PROCESS_INFORMATION launched{};  // a program beside it
HWND window = nullptr;
DWORD limit_ms = 60000;
ULONGLONG last_run = 0;
DWORD within_ms = 0;          // 0: no bound from the last run
std::vector<Condition> held;  // the waits since the last action, for `steady`

// Printed as UTF-8, so that a failure shows the text in any language.
std::string narrow(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           &out[0], static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return out;
}

// '*' matches any run of characters; everything else itself.
bool matches(const wchar_t* pattern, const wchar_t* text) {
    if (*pattern == L'*') {
        return matches(pattern + 1, text) || (*text != 0 && matches(pattern, text + 1));
    }
    return *pattern == *text && (*text == 0 || matches(pattern + 1, text + 1));
}

bool asked(HWND target, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR& result) {
    return SendMessageTimeoutW(target, message, wparam, lparam, SMTO_ABORTIFHUNG, ANSWER_TIMEOUT_MS,
                               &result) != 0;
}

std::wstring textof(HWND control) {
    DWORD_PTR length = 0;
    if (control == nullptr || !asked(control, WM_GETTEXTLENGTH, 0, 0, length)) {
        return control == nullptr ? L"<no control>" : L"<no answer>";
    }
    std::wstring text(length + 1, L'\0');
    if (!asked(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), length)) {
        return L"<no answer>";
    }
    text.resize(length);
    return text;
}

// The first top-level window of that class for which `wanted` holds.
HWND topwindow(const wchar_t* type, const std::function<bool(HWND)>& wanted) {
    HWND candidate = nullptr;
    do {
        candidate = FindWindowExW(nullptr, candidate, type, nullptr);
    } while (candidate != nullptr && !wanted(candidate));
    return candidate;
}

HWND findwindow() {
    if (!IsWindow(window)) {
        window = topwindow(TORVIK_WINDOW_CLASS, [](HWND candidate) {
            DWORD id = 0;
            GetWindowThreadProcessId(candidate, &id);
            return id == started.dwProcessId;
        });
    }
    return window;
}

void showwindow() {
    for (int id : SHOWN_CONTROLS) {
        const HWND control = GetDlgItem(findwindow(), id);
        std::printf("  control %d%s: '%s'\n", id, IsWindowVisible(control) ? "" : " (hidden)",
                    narrow(textof(control)).c_str());
    }
}

// Waits until `condition` holds, within the time limit or the bound after
// the last run.
bool waitfor(const Condition& condition) {
    const ULONGLONG start = GetTickCount64();
    const DWORD bound = within_ms;
    const ULONGLONG deadline = bound != 0 ? last_run + bound : start + limit_ms;
    within_ms = 0;
    std::wstring seen;
    while (!condition(seen)) {
        if (GetTickCount64() >= deadline) {
            std::printf("  waited %llu ms; %s\n", GetTickCount64() - start, narrow(seen).c_str());
            return false;
        }
        Sleep(POLL_MS);
    }
    held.push_back(condition);
    if (bound != 0) {
        std::printf("  reached %llu ms after the run\n", GetTickCount64() - last_run);
    }
    return true;
}

bool steady(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    std::wstring seen;
    for (; GetTickCount64() < end; Sleep(POLL_MS)) {
        for (const Condition& condition : held) {
            if (!condition(seen)) {
                std::printf("  changed: %s\n", narrow(seen).c_str());
                return false;
            }
        }
    }
    held.clear();
    return true;
}

// The window, waited for: a program's first look may come before it is made.
HWND waitwindow() {
    waitfor([](std::wstring& seen) {
        seen = L"no window";
        return findwindow() != nullptr;
    });
    return window;
}

bool textis(int id, const std::wstring& pattern) {
    return waitfor([id, pattern](std::wstring& seen) {
        const HWND control = GetDlgItem(findwindow(), id);
        // A text the user cannot see is not shown, whatever the control holds.
        RECT area = {};
        const bool hidden =
            !pattern.empty() &&
            (!IsWindowVisible(control) || !GetClientRect(control, &area) || IsRectEmpty(&area));
        const std::wstring text = textof(control);
        seen = L"control " + std::to_wstring(id) + (hidden ? L" (hidden)" : L"") + L" reads '" +
               text + L"', expected '" + pattern + L"'";
        return !hidden && matches(pattern.c_str(), text.c_str());
    });
}

bool hidden(int id) {
    return waitfor([id](std::wstring& seen) {
        seen = L"control " + std::to_wstring(id) + L" is shown";
        return !IsWindowVisible(GetDlgItem(findwindow(), id));
    });
}

bool lacks(int id, const std::wstring& pattern) {
    return waitfor([id, pattern](std::wstring& seen) {
        seen = L"control " + std::to_wstring(id) + L" reads '" +
               textof(GetDlgItem(findwindow(), id)) + L"', which it must not: '" + pattern + L"'";
        return !matches(pattern.c_str(), textof(GetDlgItem(findwindow(), id)).c_str());
    });
}

// The bar's position, or -1 when the user cannot see it: hidden, or no
// bar of 0..`range`.
long long barposition(DWORD_PTR range, std::wstring& seen) {
    const HWND bar = GetDlgItem(findwindow(), IDC_PROGRESS);
    DWORD_PTR at = 0;
    DWORD_PTR low = 1;
    DWORD_PTR high = 0;
    RECT area = {};
    seen = L"no progress bar";
    if (!asked(bar, PBM_GETPOS, 0, 0, at) || !asked(bar, PBM_GETRANGE, TRUE, 0, low) ||
        !asked(bar, PBM_GETRANGE, FALSE, 0, high)) {
        return -1;
    }
    const bool shown = IsWindowVisible(bar) && GetClientRect(bar, &area) && !IsRectEmpty(&area);
    seen = std::wstring(shown ? L"" : L"(hidden) ") + L"the bar stands at " + std::to_wstring(at) +
           L" of " + std::to_wstring(low) + L".." + std::to_wstring(high);
    return shown && low == 0 && high == range ? static_cast<long long>(at) : -1;
}

bool barat(DWORD_PTR position, DWORD_PTR range) {
    return waitfor([position, range](std::wstring& seen) {
        return barposition(range, seen) == static_cast<long long>(position);
    });
}

// The bar moves on its own while blocks come: COUNT positions within MS.
bool moving(DWORD ms, DWORD count) {
    std::vector<DWORD_PTR> positions;
    const ULONGLONG end = GetTickCount64() + ms;
    for (; GetTickCount64() < end && positions.size() < count; Sleep(POLL_MS)) {
        DWORD_PTR at = 0;
        if (asked(GetDlgItem(findwindow(), IDC_PROGRESS), PBM_GETPOS, 0, 0, at) &&
            (positions.empty() || positions.back() != at)) {
            positions.push_back(at);
        }
    }
    std::printf("  the bar took %u positions in %lu ms\n", static_cast<unsigned>(positions.size()),
                ms);
    return positions.size() >= count;
}

// Windows asking whether the session may end: the window's answer.
bool endsession(bool allowed) {
    DWORD_PTR answer = 0;
    if (!asked(findwindow(), WM_QUERYENDSESSION, 0, 0, answer)) {
        return false;
    }
    std::printf("  asked to end the session: %s\n", answer != 0 ? "allowed" : "refused");
    return (answer != 0) == allowed;
}

std::wstring expanded(const wchar_t* pattern) {
    wchar_t path[MAX_PATH];
    return ExpandEnvironmentStringsW(pattern, path, MAX_PATH) != 0 ? path : L"";
}

bool touch(const wchar_t* pattern) {
    std::wstring expansion = expanded(pattern);
    if (expansion.empty()) {
        return false;
    }
    wchar_t* path = &expansion[0];
    for (wchar_t* next = path; (next = wcschr(next + 1, L'\\')) != nullptr;) {
        *next = 0;
        CreateDirectoryW(path, nullptr);
        *next = L'\\';
    }
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    return file != INVALID_HANDLE_VALUE;
}

bool await(const std::wstring& file) {
    return waitfor([file](std::wstring& seen) {
        seen = L"no file " + file;
        return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
    });
}

// An action: what the waits saw before no longer needs to hold.
bool post(HWND target, UINT message, WPARAM wparam) {
    held.clear();
    return target != nullptr && PostMessageW(target, message, wparam, 0);
}

// The question the window asks: a message box it owns.
HWND findquestion() {
    return topwindow(L"#32770", [](HWND candidate) {
        return findwindow() != nullptr && GetWindow(candidate, GW_OWNER) == window &&
               IsWindowVisible(candidate);
    });
}

// The question answered by its button, or by Enter (its default button).
bool answer(const std::wstring& how, const std::wstring& pattern) {
    const bool asked_it = waitfor([pattern](std::wstring& seen) {
        const HWND question = findquestion();
        seen = question == nullptr ? L"no question from the window" : L"the question reads:";
        for (HWND control = GetWindow(question, GW_CHILD); control != nullptr;
             control = GetWindow(control, GW_HWNDNEXT)) {
            seen += L" " + textof(control);
        }
        return question != nullptr && matches((L"*" + pattern + L"*").c_str(), seen.c_str());
    });
    if (how == L"enter") {
        return asked_it && post(findquestion(), WM_KEYDOWN, VK_RETURN);
    }
    return asked_it && post(GetDlgItem(findquestion(), how == L"yes" ? IDYES : IDNO), BM_CLICK, 0);
}

// Waits for `process` to end with status `expected` and says how long it
// ran, from its creation to its end by the system's clock (the same measure
// whoever started it), and the processor time it used.
bool ended(const std::string& what, HANDLE process, DWORD expected) {
    const bool done = waitfor([process](std::wstring& seen) {
        seen = L"it did not end";
        return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    });
    held.clear();
    FILETIME created, end, kernel, user;
    DWORD status = 0;
    if (!done || !GetExitCodeProcess(process, &status) ||
        !GetProcessTimes(process, &created, &end, &kernel, &user)) {
        return false;
    }
    const auto ms = [](const FILETIME& time) {
        return ((ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime) / 10000;
    };
    std::printf("  %s ran %llu ms, cpu %llu ms, status %lu\n", what.c_str(), ms(end) - ms(created),
                ms(kernel) + ms(user), status);
    return status == expected;
}

bool launch(std::wstring command, PROCESS_INFORMATION& process) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    held.clear();
    last_run = GetTickCount64();
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("  cannot start it: error %lu\n", GetLastError());
        return false;
    }
    return true;
}

bool runprogram(const std::wstring& command) {
    PROCESS_INFORMATION run{};
    const bool done = launch(command, run) && ended("the program", run.hProcess, 0);
    last_run = GetTickCount64();
    CloseHandle(run.hThread);
    CloseHandle(run.hProcess);
    return done;
}

// The ID of a running process of that name, 0 for none.
DWORD processid(const std::wstring& name) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && found == 0;
         more = Process32NextW(snapshot, &entry)) {
        found = lstrcmpiW(entry.szExeFile, name.c_str()) == 0 ? entry.th32ProcessID : 0;
    }
    CloseHandle(snapshot);
    return found;
}

bool lifetime(const std::wstring& name) {
    const bool runs = waitfor([name](std::wstring& seen) {
        seen = name + L" does not run";
        return processid(name) != 0;
    });
    const DWORD access = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
    const HANDLE process = runs ? OpenProcess(access, FALSE, processid(name)) : nullptr;
    const bool done = process != nullptr && ended(narrow(name), process, 0);
    CloseHandle(process);
    return done;
}

// Started beside the window, never waited for: a Unix program too
// (Z:\bin\sh ...), which Wine starts but cannot tell the end of.
bool launchbeside(const wchar_t* command) {
    CloseHandle(launched.hThread);
    CloseHandle(launched.hProcess);
    launched = {};
    return launch(command, launched);
}

bool launchedends(DWORD status) {
    const bool done = ended("the program launched", launched.hProcess, status);
    last_run = GetTickCount64();
    return done;
}

bool minimized() {
    return post(waitwindow(), WM_SYSCOMMAND, SC_MINIMIZE) && waitfor([](std::wstring& seen) {
               seen = L"the window is not minimized";
               return IsIconic(findwindow()) != FALSE;
           });
}

bool infront() {
    return waitfor([](std::wstring& seen) {
        seen = L"the window is minimized or not in front";
        return !IsIconic(findwindow()) && GetForegroundWindow() == window;
    });
}

// Wine keeps no PC awake, but its ntdll warns of each SetThreadExecutionState
// call with the state asked for: the last such warning in the trace counts.
bool awake(const std::wstring& trace, bool kept) {
    return waitfor([trace, kept](std::wstring& seen) {
        std::string text;
        if (std::FILE* file = _wfopen(trace.c_str(), L"rb")) {
            for (int c; (c = std::fgetc(file)) != EOF;) {
                text += static_cast<char>(c);
            }
            std::fclose(file);
        }
        const char call[] = "NtSetThreadExecutionState (";
        const std::size_t at = text.rfind(call);
        const DWORD state =
            at == std::string::npos ? 0 : std::strtoul(&text[at + sizeof call - 1], nullptr, 16);
        seen = L"the last execution state asked for is " + std::to_wstring(state);
        return kept ? state == (ES_SYSTEM_REQUIRED | ES_CONTINUOUS)
                    : (state & ES_SYSTEM_REQUIRED) == 0;
    });
}

// The window's program, started by another: the program of the next window
// of the window's class, once the one before has ended. A program started
// from Unix with its own LC_ALL has its own display language; one that a
// Windows program starts takes its parent's. Wine starts a program from
// Unix through a process of the same name that starts the real one, so the
// window says which it is.
bool attach(const std::wstring& name) {
    const DWORD before = started.dwProcessId;
    if (started.hProcess != nullptr) {
        CloseHandle(started.hProcess);
    }
    started = {};
    window = nullptr;
    const bool runs = waitfor([name, before](std::wstring& seen) {
        seen = L"no new window of " + name;
        DWORD id = 0;
        const HWND found = topwindow(TORVIK_WINDOW_CLASS, [before, &id](HWND candidate) {
            GetWindowThreadProcessId(candidate, &id);
            return id != before;
        });
        if (found == nullptr) {
            return false;
        }
        started.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        started.dwProcessId = started.hProcess != nullptr ? id : 0;
        seen = name + L" runs as process " + std::to_wstring(id) + L", which cannot be opened";
        return started.hProcess != nullptr;
    });
    held.clear();
    last_run = GetTickCount64();
    return runs;
}

DWORD number(const wchar_t* text) {
    return std::wcstoul(text, nullptr, 0);
}

bool setting(DWORD& to, const wchar_t* ms) {
    to = number(ms);
    return to != 0;
}

HWND control(const wchar_t* id) {
    return GetDlgItem(waitwindow(), number(id));
}

// The DPI of the programs started later (Windows reads it as a program starts).
bool usedpi(DWORD dpi) {
    HKEY desktop = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &desktop, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool set =
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                       sizeof dpi) == ERROR_SUCCESS;
    RegCloseKey(desktop);
    return set;
}

struct Shown {
    int id;
    HWND handle;
    RECT area;  // in the window's client coordinates
};

std::vector<Shown> shownchildren(HWND parent) {
    std::vector<Shown> found;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT area = {};
        if (IsWindowVisible(child) && GetWindowRect(child, &area) && !IsRectEmpty(&area)) {
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
            found.push_back({GetDlgCtrlID(child), child, area});
        }
    }
    return found;
}

// The font the window gives a control, made here alike: a font handle is
// its program's own (Wine's GDI has no handle another program can read), so
// WM_GETFONT's answer is of no use. The message font at the window's DPI,
// the headline's half as tall again; the warning's bold if `weight` says so.
HFONT rolefont(HWND control, LONG weight) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                    GetDpiForWindow(control))) {
        return nullptr;
    }
    LOGFONTW font = metrics.lfMessageFont;
    if (GetDlgCtrlID(control) == IDC_HEADLINE) {
        font.lfHeight = MulDiv(font.lfHeight, 3, 2);
    }
    font.lfWeight = weight != 0                            ? weight
                    : GetDlgCtrlID(control) == IDC_WARNING ? FW_BOLD
                                                           : font.lfWeight;
    return CreateFontIndirectW(&font);
}

// The room the control's text needs, drawn as the control draws it: in its
// font, at its own width, wrapped at words for a static text, on one line
// for a button.
SIZE needed(HWND control, bool button) {
    const std::wstring text = textof(control);
    RECT client = {};
    GetClientRect(control, &client);
    RECT bounds = {0, 0, client.right, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    const HFONT font = rolefont(control, 0);
    const HGDIOBJ previous = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), -1, &bounds,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (button ? DT_SINGLELINE : DT_WORDBREAK));
    SelectObject(dc, previous);
    DeleteObject(font);
    DeleteDC(dc);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

// What is wrong with the layout, or "": a control outside the window or over
// another, or a text that needs more room than its control has. A path that
// the control shortens with an ellipsis needs none.
std::wstring layoutfault(HWND parent) {
    RECT client = {};
    GetClientRect(parent, &client);
    const std::vector<Shown> shown = shownchildren(parent);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const Shown& one = shown[i];
        RECT outside = {};
        SubtractRect(&outside, &one.area, &client);
        if (!IsRectEmpty(&outside)) {
            return L"control " + std::to_wstring(one.id) + L" reaches out of the window";
        }
        for (std::size_t k = i + 1; k < shown.size(); ++k) {
            RECT common = {};
            if (IntersectRect(&common, &one.area, &shown[k].area)) {
                return L"controls " + std::to_wstring(one.id) + L" and " +
                       std::to_wstring(shown[k].id) + L" overlap";
            }
        }
        wchar_t type[32] = {};
        GetClassNameW(one.handle, type, 32);
        const LONG style = GetWindowLongW(one.handle, GWL_STYLE);
        const bool button = lstrcmpiW(type, L"Button") == 0;
        if ((!button && lstrcmpiW(type, L"Static") != 0) || (style & SS_ELLIPSISMASK) != 0) {
            continue;
        }
        RECT room = {};
        GetClientRect(one.handle, &room);
        // A button's frame and focus rectangle take some of its room.
        const int frame = button ? 2 * GetSystemMetrics(SM_CXEDGE) + 2 : 0;
        const SIZE need = needed(one.handle, button);
        if (need.cx > room.right - frame || need.cy > room.bottom) {
            return L"control " + std::to_wstring(one.id) + L" needs " + std::to_wstring(need.cx) +
                   L"x" + std::to_wstring(need.cy) + L" for '" + textof(one.handle) + L"', has " +
                   std::to_wstring(room.right - frame) + L"x" + std::to_wstring(room.bottom);
        }
    }
    return L"";
}

bool laidout() {
    return waitfor([](std::wstring& seen) {
        seen = layoutfault(waitwindow());
        return seen.empty();
    });
}

// The ink of an area of `dc`: how dark its pixels are, summed (255 a
// black pixel on white).
long long ink(HDC dc, const RECT& area) {
    long long sum = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF pixel = GetPixel(dc, x, y);
            sum += 765 - GetRValue(pixel) - GetGValue(pixel) - GetBValue(pixel);
        }
    }
    return sum / 3;
}

// The ink of the control's text drawn here, in its font of that weight.
long long inkof(HWND control, LONG weight, const RECT& size) {
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, size.right, size.bottom);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ previous_bitmap = SelectObject(dc, bitmap);
    const HFONT font = rolefont(control, weight);
    const HGDIOBJ previous_font = SelectObject(dc, font);
    FillRect(dc, &size, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECT area = size;
    const std::wstring text = textof(control);
    DrawTextW(dc, text.c_str(), -1, &area, DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    const long long drawn = ink(dc, size);
    SelectObject(dc, previous_font);
    SelectObject(dc, previous_bitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return drawn;
}

// The control's text looks bold on the screen: its ink is nearer to that of
// the text drawn bold than drawn in the normal weight. A font whose bold
// draws no heavier fails, as the user sees it.
bool bold(const wchar_t* id) {
    return waitfor([id](std::wstring& seen) {
        const HWND item = control(id);
        RECT area = {};
        GetClientRect(item, &area);
        RECT on_screen = area;
        MapWindowPoints(item, nullptr, reinterpret_cast<POINT*>(&on_screen), 2);
        const HDC screen = GetDC(nullptr);
        const long long shown = ink(screen, on_screen);
        ReleaseDC(nullptr, screen);
        const long long normal = inkof(item, FW_NORMAL, area);
        const long long heavy = inkof(item, FW_BOLD, area);
        seen = L"control " + std::wstring(id) + L" shows ink " + std::to_wstring(shown) +
               L"; its text drawn bold has " + std::to_wstring(heavy) + L", normal " +
               std::to_wstring(normal);
        return heavy > normal && shown - normal > heavy - shown;
    });
}

bool print(const wchar_t* id) {
    std::printf("%ls: %s\n", id, narrow(textof(control(id))).c_str());
    return control(id) != nullptr;
}

// A step: its name, how many arguments it takes and what it does with them.
struct Step {
    const wchar_t* name;
    int arguments;
    bool (*run)(wchar_t** arguments);
};

const Step STEPS[] = {
    {L"start", 1, [](wchar_t** a) { return launch(L"\"" + std::wstring(a[0]) + L"\"", started); }},
    {L"run", 1, [](wchar_t** a) { return runprogram(a[0]); }},
    {L"attach", 1, [](wchar_t** a) { return attach(a[0]); }},
    {L"exit", 1, [](wchar_t** a) { return ended("the window", started.hProcess, number(a[0])); }},
    {L"text", 2, [](wchar_t** a) { return textis(number(a[0]), a[1]); }},
    {L"lacks", 2, [](wchar_t** a) { return lacks(number(a[0]), a[1]); }},
    {L"empty", 1, [](wchar_t** a) { return textis(number(a[0]), L""); }},
    {L"hidden", 1, [](wchar_t** a) { return hidden(number(a[0])); }},
    {L"bar", 2, [](wchar_t** a) { return barat(number(a[0]), number(a[1])); }},
    {L"moving", 2, [](wchar_t** a) { return moving(number(a[0]), number(a[1])); }},
    {L"steady", 1, [](wchar_t** a) { return steady(number(a[0])); }},
    {L"click", 1, [](wchar_t** a) { return post(control(a[0]), BM_CLICK, 0); }},
    {L"escape", 0, [](wchar_t**) { return post(waitwindow(), WM_KEYDOWN, VK_ESCAPE); }},
    {L"enter", 0, [](wchar_t**) { return post(waitwindow(), WM_KEYDOWN, VK_RETURN); }},
    {L"close", 0, [](wchar_t**) { return post(waitwindow(), WM_CLOSE, 0); }},
    {L"end-session", 1, [](wchar_t** a) { return endsession(std::wstring(a[0]) == L"allowed"); }},
    {L"answer", 2, [](wchar_t** a) { return answer(a[0], a[1]); }},
    {L"touch", 1, [](wchar_t** a) { return touch(a[0]); }},
    {L"remove", 1, [](wchar_t** a) { return DeleteFileW(expanded(a[0]).c_str()) != 0; }},
    {L"within", 1, [](wchar_t** a) { return setting(within_ms, a[0]); }},
    {L"limit", 1, [](wchar_t** a) { return setting(limit_ms, a[0]); }},
    {L"print", 1, [](wchar_t** a) { return print(a[0]); }},
    {L"await", 1, [](wchar_t** a) { return await(a[0]); }},
    {L"no-process", 1, [](wchar_t** a) { return processid(a[0]) == 0; }},
    {L"lifetime", 1, [](wchar_t** a) { return lifetime(a[0]); }},
    {L"launch", 1, [](wchar_t** a) { return launchbeside(a[0]); }},
    {L"ends", 1, [](wchar_t** a) { return launchedends(number(a[0])); }},
    {L"minimize", 0, [](wchar_t**) { return minimized(); }},
    {L"front", 0, [](wchar_t**) { return infront(); }},
    {L"env", 2, [](wchar_t** a) { return SetEnvironmentVariableW(a[0], a[1]) != 0; }},
    {L"awake", 2, [](wchar_t** a) { return awake(a[0], std::wstring(a[1]) == L"yes"); }},
    {L"dpi", 1, [](wchar_t** a) { return usedpi(number(a[0])); }},
    {L"layout", 0, [](wchar_t**) { return laidout(); }},
    {L"bold", 1, [](wchar_t** a) { return bold(a[0]); }},
};

const Step* findstep(const std::wstring& name) {
    for (const Step& step : STEPS) {
        if (name == step.name) {
            return &step;
        }
    }
    return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    for (int i = 1; i < argc;) {
        const Step* step = findstep(argv[i]);
        if (step == nullptr || i + step->arguments >= argc) {
            std::printf("window-probe: unknown step or missing argument at '%ls'\n", argv[i]);
            return EXIT_USAGE;
        }
        if (!step->run(argv + i + 1)) {
            std::printf("window-probe: step");
            for (int k = i; k <= i + step->arguments; ++k) {
                std::printf(" %s", narrow(argv[k]).c_str());
            }
            std::printf(" failed; the window showed:\n");
            showwindow();
            return EXIT_FAILED;
        }
        i += 1 + step->arguments;
    }
    return 0;
}
