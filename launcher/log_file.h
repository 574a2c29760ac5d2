// The log of a run, as a file under the user's local application data:
// %LOCALAPPDATA%\Torvik\Logs\update-YYYYMMDD-HHMMSS.log (run_log.h makes
// its text). A log that cannot be written never stops an update: the
// first failure is kept to be shown, and nothing more is written.
#pragma once

#include <windows.h>

#include <string>

class LogFile {
  public:
    LogFile() = default;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile();

    // Makes a new log named for the local time, after deleting all but the
    // newest logs; false, with error() set, when it cannot.
    bool create();
    void write(const std::string& text);
    void close();
    // Closes the log and forgets it, and why it could not be written.
    void forget();

    const std::wstring& folder() const {
        return folder_;
    }
    // Empty while no log has been made.
    const std::wstring& path() const {
        return path_;
    }
    // Why the log could not be written; empty while it could.
    const std::string& error() const {
        return error_;
    }

  private:
    void fail(const char* what, DWORD error);

    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::wstring folder_;
    std::wstring path_;
    std::string error_;
};
