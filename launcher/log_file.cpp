#include "log_file.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

#include "run_log.h"
#include "win32_text.h"

namespace {

// %LOCALAPPDATA%\Torvik\Logs, made where missing.
DWORD makefolder(std::wstring& folder) {
    PWSTR local = nullptr;
    const HRESULT found =
        SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &local);
    if (FAILED(found)) {
        CoTaskMemFree(local);
        return ERROR_PATH_NOT_FOUND;
    }
    folder = local;
    CoTaskMemFree(local);
    for (const wchar_t* part : {L"\\Torvik", L"\\Logs"}) {
        folder += part;
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return GetLastError();
        }
    }
    return ERROR_SUCCESS;
}

// Keeps the newest logs, the one just made among them.
void pruneoldlogs(const std::wstring& folder, const std::wstring& made) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\update-*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        names.push_back(utf8text(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const std::string& name : logstodelete(names)) {
        const std::wstring path = folder + L"\\" + widetext(name);
        if (path != made) {
            DeleteFileW(path.c_str());
        }
    }
}

}  // namespace

LogFile::~LogFile() {
    close();
}

void LogFile::forget() {
    close();
    path_.clear();
    error_.clear();
}

bool LogFile::create() {
    forget();
    const DWORD folder_error = makefolder(folder_);
    if (folder_error != ERROR_SUCCESS) {
        fail("its folder could not be made", folder_error);
        return false;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    for (int attempt = 1; attempt <= MOST_RUNS_A_SECOND; ++attempt) {
        const std::wstring path = folder_ + L"\\" +
                                  widetext(logname(now.wYear, now.wMonth, now.wDay, now.wHour,
                                                   now.wMinute, now.wSecond, attempt));
        file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) {
            path_ = path;
            pruneoldlogs(folder_, path_);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    fail("it could not be created", GetLastError());
    return false;
}

void LogFile::write(const std::string& text) {
    if (file_ == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    if (!WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        fail("writing to it failed", GetLastError());
    }
}

void LogFile::close() {
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

void LogFile::fail(const char* what, DWORD error) {
    if (error_.empty()) {
        error_ = std::string(what) + ": " + windowserror(error);
    }
    close();
}
