// torvikupdate.exe carries its version, the firmware it writes and a
// manifest that runs it as the invoking user: read back from the built file
// as Windows reads them.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "torvik_config.h"

namespace {

std::vector<char> versioninfo() {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(TORVIKUPDATE_EXE, &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoA(TORVIKUPDATE_EXE, 0, size, info.data())) {
        info.clear();
    }
    return info;
}

std::string versionstring(std::vector<char>& info, const char* name) {
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return "(missing)";
    }
    return std::string(value);
}

// The images' lines of FIRMWARE.txt (checked against sha256sum of the
// images by check_firmware_text.cmake), joined as the Comments carry them.
std::string firmware_lines() {
    std::ifstream text(TORVIK_FIRMWARE_TEXT);
    std::string line;
    std::string joined;
    while (std::getline(text, line)) {
        if (line.find(" image: ") != std::string::npos) {
            joined += (joined.empty() ? "" : "; ") + line;
        }
    }
    return joined;
}

// PowerShell's (Get-Item torvikupdate.exe).VersionInfo shows these, the
// Comments too.
TEST(Resources, VersionResourceNamesTheProductTheProjectVersionAndTheImages) {
    std::vector<char> info = versioninfo();
    ASSERT_FALSE(info.empty()) << "no version resource in " << TORVIKUPDATE_EXE;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const std::string file_version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                     std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                     std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(file_version, TORVIK_VERSION_STRING);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    EXPECT_EQ(versionstring(info, "FileVersion"), TORVIK_VERSION_STRING);
    EXPECT_EQ(versionstring(info, "ProductVersion"), TORVIK_VERSION_STRING);
    EXPECT_EQ(versionstring(info, "ProductName"), "Torvik");
    EXPECT_EQ(versionstring(info, "FileDescription"), "Torvik firmware updater");
    EXPECT_EQ(versionstring(info, "OriginalFilename"), "torvikupdate.exe");
    const std::string lines = firmware_lines();
    ASSERT_NE(lines.find("FPGA image: "), std::string::npos) << "in " << TORVIK_FIRMWARE_TEXT;
    ASSERT_NE(lines.find("MCU image: "), std::string::npos) << "in " << TORVIK_FIRMWARE_TEXT;
    EXPECT_EQ(versionstring(info, "Comments"), lines);
}

TEST(Resources, ManifestRunsAsInvokerAndDeclaresSupportedWindows) {
    HMODULE program = LoadLibraryExA(TORVIKUPDATE_EXE, nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(program, nullptr) << "cannot open " << TORVIKUPDATE_EXE << ": " << GetLastError();
    // The manifest Windows applies at process creation: type 24, ID 1.
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no application manifest";
    HGLOBAL loaded = LoadResource(program, found);
    const char* text = static_cast<const char*>(LockResource(loaded));
    const std::string manifest(text, SizeofResource(program, found));
    FreeLibrary(program);

    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    // Windows 10 and 11 share one identifier.
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"" TORVIK_VERSION_STRING ".0\""), std::string::npos);
}

}  // namespace
