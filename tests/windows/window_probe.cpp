// window-probe: drives "Update Torvik.exe" from outside, as a user would,
// for the Windows suite's window cases and scripts/window-pictures. It runs
// in the window's Wine prefix, finds the window by its title, reads its
// controls (WM_GETTEXT, PBM_GETPOS, PBM_GETRANGE) and presses its buttons
// (BM_CLICK), step by step:
//
//   window-probe STEP...
//     start PATH          start the window program (its working folder not its own)
//     text ID PATTERN     wait until control ID reads PATTERN ('*' matches any text)
//     empty ID            wait until control ID has no text
//     bar POS RANGE       wait until the progress bar stands at POS of 0..RANGE
//     steady MS           what the waits since the last action (or steady) saw holds
//                         for MS more
//     click ID            press button ID
//     key escape|return   press a key in the window
//     close               close the window (its close box)
//     answer yes|no PATTERN  the window's question reads PATTERN: answer it
//     run COMMAND         run a program (a Windows command line) to its end, status 0;
//                         say how long it ran
//     within MS           the next wait must end within MS of the last run's end (or
//                         the start)
//     limit MS            the time limit of every following wait (default 60000)
//     print ID            print "ID: " and control ID's text on a line of its own
//     await FILE          wait until FILE exists (a script's sign that it is done:
//                         scripts/window-pictures took its picture)
//     no-process NAME     no process of that name runs now
//     lifetime NAME       wait for a process of that name to start and end; say how
//                         long it ran (scripts/benchmark)
//     exit STATUS         wait for the window's program to end, with STATUS
//
// Status 0 when every step passed; 1 at the first that did not, after
// printing what it saw. Messages that the window's thread must handle while it
// may sit in a modal loop (a click that asks a question) are posted, never
// sent, and every sent message has a time limit, so the probe never hangs on
// the window.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
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

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

// '*' matches any run of characters; everything else itself.
bool matches(const wchar_t* pattern, const wchar_t* text) {
    if (*pattern == L'*') {
        return matches(pattern + 1, text) || (*text != 0 && matches(pattern, text + 1));
    }
    return *pattern == *text && (*text == 0 || matches(pattern + 1, text + 1));
}

bool asked(HWND window, UINT message, WPARAM wparam, DWORD_PTR& result) {
    return SendMessageTimeoutW(window, message, wparam, 0, SMTO_ABORTIFHUNG, ANSWER_TIMEOUT_MS,
                               &result) != 0;
}

std::wstring textof(HWND control) {
    DWORD_PTR length = 0;
    if (control == nullptr || !asked(control, WM_GETTEXTLENGTH, 0, length)) {
        return control == nullptr ? L"<no control>" : L"<no answer>";
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                            SMTO_ABORTIFHUNG, ANSWER_TIMEOUT_MS, &copied) == 0) {
        return L"<no answer>";
    }
    text.resize(copied);
    return text;
}

struct Probe {
    PROCESS_INFORMATION started{};
    HWND window = nullptr;
    HANDLE process = nullptr;  // the window's program
    DWORD limit_ms = 60000;
    ULONGLONG last_run = 0;
    DWORD within_ms = 0;  // 0: no bound from the last run
    // The conditions waited for since the last action or `steady`, for `steady`.
    std::vector<std::function<bool(std::string&)>> seen;
};

Probe probe;

// The window: a top-level "Update Torvik" with the headline control (the
// question the window asks has the same title), of the started program if
// this probe started it.
BOOL CALLBACK takewindow(HWND candidate, LPARAM) {
    wchar_t title[64] = {};
    GetWindowTextW(candidate, title, 64);
    DWORD pid = 0;
    GetWindowThreadProcessId(candidate, &pid);
    if (std::wstring(title) != TORVIK_WINDOW_TITLE ||
        GetDlgItem(candidate, IDC_HEADLINE) == nullptr ||
        (probe.started.hProcess != nullptr && pid != probe.started.dwProcessId)) {
        return TRUE;
    }
    probe.window = candidate;
    probe.process = probe.started.hProcess != nullptr
                        ? probe.started.hProcess
                        : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    return FALSE;
}

HWND findwindow() {
    if (probe.window == nullptr || !IsWindow(probe.window)) {
        probe.window = nullptr;
        EnumWindows(takewindow, 0);
    }
    return probe.window;
}

// The question the window asks: a message box it owns.
HWND question = nullptr;
BOOL CALLBACK takequestion(HWND candidate, LPARAM) {
    wchar_t type[16] = {};
    GetClassNameW(candidate, type, 16);
    if (std::wstring(type) == L"#32770" && GetWindow(candidate, GW_OWNER) == probe.window &&
        IsWindowVisible(candidate)) {
        question = candidate;
        return FALSE;
    }
    return TRUE;
}

// All the texts of the question's controls, one after another.
BOOL CALLBACK addtext(HWND control, LPARAM all) {
    *reinterpret_cast<std::wstring*>(all) += textof(control) + L"\n";
    return TRUE;
}

void showwindow() {
    if (findwindow() == nullptr) {
        std::puts("  (no window)");
        return;
    }
    for (int id : SHOWN_CONTROLS) {
        const HWND control = GetDlgItem(probe.window, id);
        RECT at = {};
        GetWindowRect(control, &at);
        std::printf("  control %d%s at %ldx%ld+%ld+%ld: '%s'\n", id,
                    IsWindowVisible(control) ? "" : " (hidden)", at.right - at.left,
                    at.bottom - at.top, at.left, at.top, narrow(textof(control)).c_str());
    }
}

// Waits until `condition` holds, within the time limit (or the bound after
// the last run); `condition` says what it saw.
bool waitfor(const std::function<bool(std::string&)>& condition) {
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG deadline =
        probe.within_ms != 0 ? probe.last_run + probe.within_ms : start + probe.limit_ms;
    const DWORD bound = probe.within_ms;
    probe.within_ms = 0;
    std::string seen;
    for (;;) {
        if (condition(seen)) {
            probe.seen.push_back(condition);
            if (bound != 0) {
                std::printf("  reached %llu ms after the run\n", GetTickCount64() - probe.last_run);
            }
            return true;
        }
        if (GetTickCount64() >= deadline) {
            std::printf("  waited %llu ms; %s\n", GetTickCount64() - start, seen.c_str());
            return false;
        }
        Sleep(POLL_MS);
    }
}

bool steady(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    std::string seen;
    while (GetTickCount64() < end) {
        for (const auto& condition : probe.seen) {
            if (!condition(seen)) {
                std::printf("  changed: %s\n", seen.c_str());
                return false;
            }
        }
        Sleep(POLL_MS);
    }
    probe.seen.clear();
    return true;
}

bool textis(int id, const std::wstring& pattern) {
    return waitfor([id, pattern](std::string& seen) {
        if (findwindow() == nullptr) {
            seen = "no window";
            return false;
        }
        const HWND control = GetDlgItem(probe.window, id);
        const std::wstring text = textof(control);
        // A text the user cannot see is not shown, whatever the control holds.
        RECT area = {};
        const bool hidden =
            !pattern.empty() &&
            (!IsWindowVisible(control) || !GetClientRect(control, &area) || IsRectEmpty(&area));
        seen = "control " + std::to_string(id) + (hidden ? " (hidden)" : "") + " reads '" +
               narrow(text) + "', expected '" + narrow(pattern) + "'";
        return !hidden && matches(pattern.c_str(), text.c_str());
    });
}

bool barat(long position, long range) {
    return waitfor([position, range](std::string& seen) {
        DWORD_PTR at = 0, low = 1, high = 0;
        const HWND bar = findwindow() != nullptr ? GetDlgItem(probe.window, IDC_PROGRESS) : nullptr;
        if (bar == nullptr || !asked(bar, PBM_GETPOS, 0, at) ||
            !asked(bar, PBM_GETRANGE, TRUE, low) || !asked(bar, PBM_GETRANGE, FALSE, high)) {
            seen = "no progress bar";
            return false;
        }
        seen = "the bar stands at " + std::to_string(at) + " of " + std::to_string(low) + ".." +
               std::to_string(high) + ", expected " + std::to_string(position) + " of 0.." +
               std::to_string(range);
        return static_cast<long>(at) == position && low == 0 && static_cast<long>(high) == range;
    });
}

// Actions: what the waits saw before no longer needs to hold.
bool post(HWND target, UINT message, WPARAM wparam, LPARAM lparam = 0) {
    probe.seen.clear();
    return target != nullptr && PostMessageW(target, message, wparam, lparam);
}

// The window, waited for: a program's first look may come before it is made.
bool havewindow() {
    return waitfor([](std::string& seen) {
        seen = "no window";
        return findwindow() != nullptr;
    });
}

bool click(int id) {
    return havewindow() && post(GetDlgItem(probe.window, id), BM_CLICK, 0);
}

bool answer(bool yes, const std::wstring& pattern) {
    question = nullptr;
    auto texts = std::make_shared<std::wstring>();
    const bool asked_it = waitfor([texts](std::string& seen) {
        question = nullptr;
        if (findwindow() != nullptr) {
            EnumWindows(takequestion, 0);
        }
        seen = "no question from the window";
        if (question == nullptr) {
            return false;
        }
        texts->clear();
        EnumChildWindows(question, addtext, reinterpret_cast<LPARAM>(texts.get()));
        return true;
    });
    if (!asked_it) {
        return false;
    }
    const std::wstring all = L"*" + pattern + L"*";
    if (!matches(all.c_str(), texts->c_str())) {
        std::printf("  the question reads '%s', expected '%s'\n", narrow(*texts).c_str(),
                    narrow(pattern).c_str());
        return false;
    }
    return post(GetDlgItem(question, yes ? IDYES : IDNO), BM_CLICK, 0);
}

// Says how long an ended process ran, from its creation to its end by the
// system's clock (the same measure whoever started it), and the processor
// time it used.
void saytimes(const std::string& what, HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) {
        return;
    }
    const auto ms = [](const FILETIME& time) {
        return ((ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime) / 10000;
    };
    std::printf("  %s ran %llu ms, cpu %llu ms\n", what.c_str(), ms(ended) - ms(created),
                ms(kernel) + ms(user));
}

bool runprogram(std::wstring command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION run{};
    probe.seen.clear();
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &run)) {
        std::printf("  cannot start it: error %lu\n", GetLastError());
        return false;
    }
    DWORD status = 1;
    const bool ended = WaitForSingleObject(run.hProcess, probe.limit_ms) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(run.hProcess, &status);
    probe.last_run = GetTickCount64();
    if (ended) {
        saytimes("the program", run.hProcess);
    }
    CloseHandle(run.hThread);
    CloseHandle(run.hProcess);
    if (!ended || status != 0) {
        std::printf("  %s\n", ended ? ("status " + std::to_string(status)).c_str() : "did not end");
    }
    return ended && status == 0;
}

bool start(const std::wstring& path) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + path + L"\"";
    probe.seen.clear();
    if (!CreateProcessW(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &probe.started)) {
        std::printf("  cannot start it: error %lu\n", GetLastError());
        return false;
    }
    probe.last_run = GetTickCount64();
    return true;
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

bool noprocess(const std::wstring& name) {
    const bool found = processid(name) != 0;
    if (found) {
        std::printf("  %s runs\n", narrow(name).c_str());
    }
    return !found;
}

// Waits for a process of that name to start and to end, and says how long it ran.
bool lifetime(const std::wstring& name) {
    auto process = std::make_shared<HANDLE>(nullptr);
    const bool started = waitfor([name, process](std::string& seen) {
        seen = narrow(name) + " does not run";
        const DWORD id = processid(name);
        *process = id != 0 ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)
                           : nullptr;
        return *process != nullptr;
    });
    probe.seen.clear();
    if (!started || WaitForSingleObject(*process, probe.limit_ms) != WAIT_OBJECT_0) {
        std::printf("  %s did not %s\n", narrow(name).c_str(), started ? "end" : "start");
        return false;
    }
    saytimes(narrow(name), *process);
    CloseHandle(*process);
    return true;
}

bool exited(DWORD expected) {
    if (probe.started.hProcess == nullptr) {
        findwindow();
    } else {
        probe.process = probe.started.hProcess;
    }
    if (probe.process == nullptr) {
        std::puts("  no window program to wait for");
        return false;
    }
    DWORD status = 0;
    if (WaitForSingleObject(probe.process, probe.limit_ms) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(probe.process, &status)) {
        std::puts("  the window's program did not end");
        return false;
    }
    saytimes("the window", probe.process);
    if (status != expected) {
        std::printf("  the window's program ended with status %lu\n", status);
    }
    return status == expected;
}

// One step and its arguments, and how many arguments it takes.
struct Step {
    const wchar_t* name;
    int arguments;
    std::function<bool(wchar_t** arguments)> run;
};

long number(const wchar_t* text) {
    return std::wcstol(text, nullptr, 0);
}

const Step STEPS[] = {
    {L"start", 1, [](wchar_t** a) { return start(a[0]); }},
    {L"text", 2, [](wchar_t** a) { return textis(number(a[0]), a[1]); }},
    {L"empty", 1, [](wchar_t** a) { return textis(number(a[0]), L""); }},
    {L"bar", 2, [](wchar_t** a) { return barat(number(a[0]), number(a[1])); }},
    {L"steady", 1, [](wchar_t** a) { return steady(number(a[0])); }},
    {L"click", 1, [](wchar_t** a) { return click(number(a[0])); }},
    {L"key", 1,
     [](wchar_t** a) {
         const std::wstring key = a[0];
         return (key == L"escape" || key == L"return") && havewindow() &&
                post(probe.window, WM_KEYDOWN, key == L"escape" ? VK_ESCAPE : VK_RETURN);
     }},
    {L"close", 0, [](wchar_t**) { return havewindow() && post(probe.window, WM_CLOSE, 0); }},
    {L"answer", 2, [](wchar_t** a) { return answer(std::wstring(a[0]) == L"yes", a[1]); }},
    {L"run", 1, [](wchar_t** a) { return runprogram(a[0]); }},
    {L"within", 1,
     [](wchar_t** a) {
         probe.within_ms = number(a[0]);
         return probe.within_ms != 0;
     }},
    {L"limit", 1,
     [](wchar_t** a) {
         probe.limit_ms = number(a[0]);
         return probe.limit_ms != 0;
     }},
    {L"print", 1,
     [](wchar_t** a) {
         if (!havewindow()) {
             return false;
         }
         std::printf("%ls: %s\n", a[0],
                     narrow(textof(GetDlgItem(probe.window, number(a[0])))).c_str());
         return true;
     }},
    {L"await", 1,
     [](wchar_t** a) {
         const std::wstring file = a[0];
         return waitfor([file](std::string& seen) {
             seen = "no file " + narrow(file);
             return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
         });
     }},
    {L"no-process", 1, [](wchar_t** a) { return noprocess(a[0]); }},
    {L"lifetime", 1, [](wchar_t** a) { return lifetime(a[0]); }},
    {L"exit", 1, [](wchar_t** a) { return exited(number(a[0])); }},
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
            std::printf("window-probe: unknown step or missing argument at '%s'\n",
                        narrow(argv[i]).c_str());
            return EXIT_USAGE;
        }
        if (!step->run(argv + i + 1)) {
            std::string words;
            for (int k = i; k <= i + step->arguments; ++k) {
                words += " " + narrow(argv[k]);
            }
            std::printf("window-probe: step%s failed; the window showed:\n", words.c_str());
            showwindow();
            return EXIT_FAILED;
        }
        i += 1 + step->arguments;
    }
    return 0;
}
