// torvikupdate.exe run by the window: its output (stdout and stderr) goes
// to a pipe that a thread of its own reads, so that the window never waits
// for the updater. The thread hands each chunk over with the time it came
// and tells the window by message; the window takes the chunks when it
// gets to them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct OutputChunk {
    std::string bytes;
    std::uint32_t ms;  // since the updater started
};

class UpdaterProcess {
  public:
    UpdaterProcess() = default;
    UpdaterProcess(const UpdaterProcess&) = delete;
    UpdaterProcess& operator=(const UpdaterProcess&) = delete;
    ~UpdaterProcess();

    // Starts `program` with no window of its own. The reader posts
    // `chunk_message` to `window` after each chunk, and `ended_message` once
    // the output has ended and the updater with it. Returns ERROR_SUCCESS
    // or the Windows error that kept it from starting.
    DWORD start(const std::wstring& program, HWND window, UINT chunk_message, UINT ended_message);

    // The chunks that came since the last call.
    std::vector<OutputChunk> takechunks();

    // Ends the updater; `ended_message` follows as for any end. False when
    // it had already ended by itself.
    bool stop();

    // After `ended_message`: its exit status, whether its output broke off,
    // and when the output ended. Closes everything.
    void finish(std::uint32_t& status, bool& pipe_broke, std::uint32_t& end_ms);

    bool running() const {
        return process_ != nullptr;
    }

  private:
    static DWORD WINAPI readoutput(void* self);
    std::uint32_t elapsedms() const;

    HANDLE process_ = nullptr;
    HANDLE reader_ = nullptr;
    HANDLE pipe_ = nullptr;
    HWND window_ = nullptr;
    UINT chunk_message_ = 0;
    UINT ended_message_ = 0;
    LARGE_INTEGER started_ = {};
    // Shared with the reader thread.
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<OutputChunk> chunks_;
    // Written by the reader before it posts `ended_message`.
    bool pipe_broke_ = false;
    std::uint32_t end_ms_ = 0;
};
