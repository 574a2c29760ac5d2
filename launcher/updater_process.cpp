#include "updater_process.h"

#include <utility>

namespace {

// Larger than anything the updater prints at once; a chunk may hold more
// than one dot when the window is slow to read.
constexpr DWORD CHUNK_SIZE = 4096;
// The exit status given to an updater ended by the window.
constexpr UINT ENDED_BY_THE_WINDOW = 1;

}  // namespace

UpdaterProcess::~UpdaterProcess() {
    if (running()) {
        stop();
        std::uint32_t status = 0;
        bool pipe_broke = false;
        std::uint32_t end_ms = 0;
        finish(status, pipe_broke, end_ms);
    }
}

DWORD UpdaterProcess::start(const std::wstring& program, HWND window, UINT chunk_message,
                            UINT ended_message) {
    window_ = window;
    chunk_message_ = chunk_message;
    ended_message_ = ended_message;
    chunks_.clear();
    pipe_broke_ = false;

    // Only the pipe's write end is passed on: the read end stays here, or
    // the pipe would never end while the updater runs.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE write_end = nullptr;
    if (!CreatePipe(&pipe_, &write_end, &inheritable, 0)) {
        return GetLastError();
    }
    SetHandleInformation(pipe_, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    // A path cannot hold a quote, so quoting it whole is enough; CreateProcessW
    // may write into the command line, hence a copy of its own.
    std::wstring command_line = L"\"" + program + L"\"";
    PROCESS_INFORMATION process = {};
    QueryPerformanceCounter(&started_);
    // CREATE_NO_WINDOW: the updater is a console program, and its console
    // would only flash up beside the window.
    const BOOL created =
        CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    const DWORD error = created ? ERROR_SUCCESS : GetLastError();
    // The updater holds the write end now: once it ends, the pipe ends.
    CloseHandle(write_end);
    if (!created) {
        CloseHandle(pipe_);
        pipe_ = nullptr;
        return error;
    }
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    reader_ = CreateThread(nullptr, 0, readoutput, this, 0, nullptr);
    if (reader_ == nullptr) {
        const DWORD thread_error = GetLastError();
        TerminateProcess(process_, ENDED_BY_THE_WINDOW);
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
        CloseHandle(pipe_);
        process_ = pipe_ = nullptr;
        return thread_error;
    }
    return ERROR_SUCCESS;
}

std::vector<OutputChunk> UpdaterProcess::takechunks() {
    AcquireSRWLockExclusive(&lock_);
    std::vector<OutputChunk> taken;
    taken.swap(chunks_);
    ReleaseSRWLockExclusive(&lock_);
    return taken;
}

bool UpdaterProcess::stop() {
    // TerminateProcess fails on a process that has already ended.
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT &&
           TerminateProcess(process_, ENDED_BY_THE_WINDOW);
}

void UpdaterProcess::finish(std::uint32_t& status, bool& pipe_broke, std::uint32_t& end_ms) {
    WaitForSingleObject(reader_, INFINITE);
    CloseHandle(reader_);
    DWORD exit_code = 0;
    // GetExitCodeProcess cannot fail on a handle of an ended process that
    // may query it; were it to, the status is no success.
    status = GetExitCodeProcess(process_, &exit_code) ? exit_code : ENDED_BY_THE_WINDOW;
    pipe_broke = pipe_broke_;
    end_ms = end_ms_;
    CloseHandle(process_);
    CloseHandle(pipe_);
    process_ = reader_ = pipe_ = nullptr;
}

std::uint32_t UpdaterProcess::elapsedms() const {
    // The performance counter: monotonic, and finer than the tick count's
    // 10 to 16 ms, which would lump a fast device's blocks together.
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::uint32_t>((now.QuadPart - started_.QuadPart) * 1000 /
                                      frequency.QuadPart);
}

DWORD WINAPI UpdaterProcess::readoutput(void* self) {
    auto& updater = *static_cast<UpdaterProcess*>(self);
    char buffer[CHUNK_SIZE];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(updater.pipe_, buffer, CHUNK_SIZE, &got, nullptr)) {
            // The write end closed: the usual end. Anything else leaves the
            // updater writing into a pipe nobody reads, so it is ended.
            if (GetLastError() != ERROR_BROKEN_PIPE) {
                updater.pipe_broke_ = true;
                TerminateProcess(updater.process_, ENDED_BY_THE_WINDOW);
            }
            break;
        }
        OutputChunk chunk{std::string(buffer, got), updater.elapsedms()};
        AcquireSRWLockExclusive(&updater.lock_);
        updater.chunks_.push_back(std::move(chunk));
        ReleaseSRWLockExclusive(&updater.lock_);
        PostMessageW(updater.window_, updater.chunk_message_, 0, 0);
    }
    // The pipe ends when the updater closes its output; the status comes
    // once the process is gone.
    WaitForSingleObject(updater.process_, INFINITE);
    updater.end_ms_ = updater.elapsedms();
    PostMessageW(updater.window_, updater.ended_message_, 0, 0);
    return 0;
}
