// What "Update Torvik.exe" asks of the Windows session it runs in: to be
// its one window, whether another torvikupdate.exe is at the Torvik, and
// that the PC stays awake while the Torvik is written. Two updaters at one
// Torvik interleave their reports and both fail; a PC that sleeps mid-update
// leaves the Torvik half written.
#pragma once

#include <windows.h>

// Makes this the session's one window. False when another "Update
// Torvik.exe" is open in the session: that one is brought to the front,
// and this one is to end.
bool claimwindow();

// How many processes of this program name (any folder, any case) run in
// this session.
int runningupdaters(const wchar_t* updater_name);

// Keeps Windows from putting the PC to sleep for being idle, or lets it
// again. For the calling thread, until it says otherwise or ends.
void keepawake(bool awake);
