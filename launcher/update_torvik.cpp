// Update Torvik.exe: the program a Windows user double-clicks. torvikupdate.exe
// must not wait for a key (scripts rely on it ending by itself), so started
// from Explorer its window would close before anyone could read it. This
// runs torvikupdate.exe from its own folder, lets its output through as it
// comes, says in one line what its status means, and keeps a window that it
// owns open until Enter, for at most ENTER_WAIT_MS. Its status is the updater's.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr wchar_t UPDATER_NAME[] = L"torvikupdate.exe";
// Long enough to read the result and press Enter; a console nobody sits at
// (a remote session left open) still ends.
constexpr DWORD ENTER_WAIT_MS = 10 * 60 * 1000;
// Windows' longest path, and so the longest module path there can be.
constexpr std::size_t LONGEST_PATH = 32768;
// torvikupdate.exe itself never ends with 1.
constexpr DWORD EXIT_NOT_STARTED = 1;

constexpr char PROMPT[] = "Press Enter to close this window.";

// Plain bytes with the updater's own CRLF line ends: the same in a console
// window and in a file the output is redirected to.
void say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)),
              &written, nullptr);
}

// The full path of torvikupdate.exe beside this program, from this
// program's own module path: never the current folder, never the search path.
std::wstring updater_path() {
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
        // Truncated: the path is longer than the buffer.
        if (path.size() >= LONGEST_PATH) {
            return {};
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L'\\') + 1) + UPDATER_NAME;
}

#ifdef TORVIK_LAUNCHER_TEST_SEAM
// The test build only: Wine gives no console a test could own, so the tests
// say whether this program owns one, and how long to wait for Enter.
bool test_setting(const char* name, DWORD& value) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return false;
    }
    value = static_cast<DWORD>(std::strtoul(text, nullptr, 10));
    return true;
}
#endif

// Started from Explorer, Windows makes a console for this program alone;
// started from cmd or PowerShell, the shell is on the console's list too.
// A redirected input or output is a script's: no prompt then either.
bool owns_its_console() {
#ifdef TORVIK_LAUNCHER_TEST_SEAM
    DWORD owns = 0;
    if (test_setting("TORVIK_LAUNCHER_OWNS_CONSOLE", owns)) {
        return owns != 0;
    }
#endif
    DWORD processes[2];
    DWORD mode = 0;
    return GetConsoleProcessList(processes, 2) == 1 &&
           GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) &&
           GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}

DWORD enter_wait_ms() {
#ifdef TORVIK_LAUNCHER_TEST_SEAM
    DWORD wait = 0;
    if (test_setting("TORVIK_LAUNCHER_WAIT_MS", wait)) {
        return wait;
    }
#endif
    return ENTER_WAIT_MS;
}

// A console's input in its usual line mode returns from ReadFile only once
// Enter is pressed; input at its end (closed, or a file) returns at once.
DWORD WINAPI read_a_line(void*) {
    char byte = 0;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) && got == 1 &&
           byte != '\n') {
    }
    return 0;
}

// ReadFile has no time-out, so it reads on a thread of its own; one still
// reading when the wait ends ends with the process.
void wait_for_enter(DWORD wait_ms) {
    HANDLE reader = CreateThread(nullptr, 0, read_a_line, nullptr, 0, nullptr);
    if (reader != nullptr) {
        WaitForSingleObject(reader, wait_ms);
        CloseHandle(reader);
    }
}

// Ctrl+C reaches every program on the console: the updater ends, and this
// one stays to say so.
BOOL WINAPI outlive_ctrl_c(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

// Runs the updater with this program's own streams and sets its status;
// returns 0, or the error that kept it from starting. The handles are made
// inheritable: a redirected stream is only passed on to the child that way.
DWORD run_updater(const std::wstring& updater, DWORD& status) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE stream : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        SetHandleInformation(stream, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    // A path cannot hold a quote, so quoting it whole is enough; CreateProcessW
    // may write into the command line, hence a copy of its own.
    std::wstring command_line = L"\"" + updater + L"\"";
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(updater.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return GetLastError();
    }
    CloseHandle(process.hThread);
    SetConsoleCtrlHandler(outlive_ctrl_c, TRUE);
    WaitForSingleObject(process.hProcess, INFINITE);
    SetConsoleCtrlHandler(outlive_ctrl_c, FALSE);
    if (!GetExitCodeProcess(process.hProcess, &status)) {
        status = EXIT_NOT_STARTED;
    }
    CloseHandle(process.hProcess);
    return ERROR_SUCCESS;
}

// The line that follows the updater's output: what its status means, and
// what to do.
void explain(DWORD status) {
    switch (status) {
        case 0:
            say("The Torvik is updated and restarts with its new firmware. Nothing more to "
                "do.\r\n");
            break;
        case 2:
            say("No Torvik in bootloader mode was found: switch it off, connect USB while "
                "switching "
                "it on, then start this program again.\r\n");
            break;
        case 3:
            say("The update failed: try another USB cable or port, put the Torvik into bootloader "
                "mode again, then start this program again.\r\n");
            break;
        default: {
            char line[160];
            std::snprintf(line, sizeof line,
                          "torvikupdate.exe stopped with status %lu: start this program again; if "
                          "that happens again, see README.txt.\r\n",
                          static_cast<unsigned long>(status));
            say(line);
        }
    }
}

}  // namespace

int main() {
    const bool prompt = owns_its_console();
    const std::wstring updater = updater_path();
    DWORD status = EXIT_NOT_STARTED;
    const DWORD error = updater.empty() ? GetLastError() : run_updater(updater, status);
    if (error != ERROR_SUCCESS) {
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            say("torvikupdate.exe is not in this program's folder: unpack the whole zip into one "
                "folder and start this program there.\r\n");
        } else {
            char line[120];
            std::snprintf(line, sizeof line,
                          "Windows could not start torvikupdate.exe (error %lu).\r\n",
                          static_cast<unsigned long>(error));
            say(line);
        }
        status = EXIT_NOT_STARTED;
    } else {
        explain(status);
    }
    if (prompt) {
        // Enter pressed while the update ran is no answer to a question not
        // yet asked. (Input that is no console is left as it is.)
        FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
        say(PROMPT);
        wait_for_enter(enter_wait_ms());
    }
    return static_cast<int>(status);
}
