// The window of "Update Torvik.exe": its title and the identifiers of its
// controls. The window finds its controls by these, and so does the program
// that tests it from outside (GetDlgItem, WM_GETTEXT, PBM_GETPOS, BM_CLICK),
// so they are named once, here.
#pragma once

// The window's title, by which a test finds it (FindWindowW).
#define TORVIK_WINDOW_TITLE L"Update Torvik"
// Its window class: the question before stopping an update is a message box
// with the same title, which FindWindowW(nullptr, title) may find instead.
#define TORVIK_WINDOW_CLASS L"TorvikUpdateWindow"

// Static texts.
#define IDC_HEADLINE 101   // what is happening, or the verdict, in a few words
#define IDC_MESSAGE 102    // what to do: the steps into bootloader mode, or after a verdict
#define IDC_FIRMWARE 103   // what will be written: version, each image's size and short SHA-256
#define IDC_PHASE 105      // "Writing the FPGA image: block 38 of 252", ...
#define IDC_TIME_LEFT 106  // "About 2 minutes left", once a few blocks have gone
#define IDC_WARNING 107    // "Do not disconnect the Torvik." while the updater runs
#define IDC_LOG_NAME 109   // the log's full path, on the end screen

// The progress bar over all blocks of both images: range 0 to the number of
// blocks, position the blocks the device has confirmed.
#define IDC_PROGRESS 104

// The updater's output exactly as it came (a read-only edit control), shown
// by the Details button.
#define IDC_DETAILS_TEXT 108

// Buttons. IDCANCEL (2) is "Cancel" while waiting or updating, "Close" at the end.
#define IDC_TRY_AGAIN 110
#define IDC_DETAILS 111
#define IDC_OPEN_LOG_FOLDER 112
