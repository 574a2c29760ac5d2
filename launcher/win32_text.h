// Text between the window's plain C++ (UTF-8) and the Windows API (UTF-16).
#pragma once

#include <windows.h>

#include <string>

std::wstring widetext(const std::string& text);
std::string utf8text(const std::wstring& text);

// What Windows calls an error, in the user's language, without its line end.
std::string windowserror(DWORD error);
