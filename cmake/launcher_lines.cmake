# What "Update Torvik.exe" (launcher/) prints after the updater's output, by
# the updater's status, and when the updater is missing: the lines a user
# reads, stated once for the checks that expect them.
set(launcher_line_0
    "The Torvik is updated and restarts with its new firmware. Nothing more to do.\r\n")
set(launcher_line_2
    "No Torvik in bootloader mode was found: switch it off, connect USB while switching it on, then start this program again.\r\n")
set(launcher_line_3
    "The update failed: try another USB cable or port, put the Torvik into bootloader mode again, then start this program again.\r\n")
set(launcher_line_missing
    "torvikupdate.exe is not in this program's folder: unpack the whole zip into one folder and start this program there.\r\n")
set(launcher_prompt "Press Enter to close this window.")
set(no_torvik_line
    "No Torvik found. Please restart Torvik in bootloader mode (connect USB during power on).\r\n")
