// The window's texts in English, the language every other table follows:
// the same placeholders, the same words for the same things.
#include "texts.h"

extern const Language ENGLISH = {
    "en-US",
    0x09,
    {},
    " ",
    {
        {Text::TRY_AGAIN_BUTTON, "Try again"},
        {Text::DETAILS_BUTTON, "Details"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "Open log folder"},
        {Text::CANCEL_BUTTON, "Cancel"},
        {Text::CLOSE_BUTTON, "Close"},
        {Text::BOOTLOADER_STEPS,
         "1. Disconnect the Torvik from power and from USB.\n"
         "2. Connect the USB cable while you switch the Torvik on."},
        {Text::STARTS_BY_ITSELF,
         "The update starts by itself as soon as the Torvik is there in bootloader mode."},
        {Text::WAITING_HEADLINE, "Connect the Torvik in bootloader mode"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "The Torvik is running its normal firmware"},
        {Text::NORMAL_FIRMWARE_MESSAGE, "The update needs it in bootloader mode:"},
        {Text::SEVERAL_HEADLINE, "More than one Torvik is in bootloader mode"},
        {Text::SEVERAL_MESSAGE,
         "{count} Torviks are in bootloader mode. Leave only the one to update connected: the "
         "update starts by itself then."},
        {Text::GAVE_UP_HEADLINE, "No Torvik was found"},
        {Text::GAVE_UP_MESSAGE, "No Torvik came in bootloader mode in {minutes} minutes."},
        {Text::AGAIN_INTO_BOOTLOADER, "Put the Torvik into bootloader mode again:"},
        {Text::THEN_TRY_AGAIN, "Then click {try_again}."},
        {Text::ANOTHER_UPDATE_HEADLINE, "Another update is running"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "Another Torvik update is running on this PC. This update starts by itself once that "
         "one has ended."},
        {Text::UPDATING_HEADLINE, "Updating the Torvik"},
        {Text::WRITING_PHASE, "Writing the {image} image: block {block} of {total}"},
        {Text::RESTARTING_PHASE, "Restarting the Torvik"},
        {Text::SECONDS_LEFT, "About {seconds} seconds left"},
        {Text::MINUTES_LEFT, "About {minutes} minutes left"},
        {Text::WARNING, "Do not disconnect the Torvik."},
        {Text::STOP_QUESTION,
         "Stop the update?\n\nStopping leaves the Torvik in bootloader mode with its firmware not "
         "completely written. Starting the update again finishes it."},
        {Text::UPDATED_HEADLINE, "The Torvik is updated"},
        {Text::NOT_FOUND_HEADLINE, "The Torvik was not found"},
        {Text::FAILED_HEADLINE, "The update failed"},
        {Text::UNEXPECTED_HEADLINE, "The updater stopped unexpectedly"},
        {Text::NOT_STARTED_HEADLINE, "The updater could not be started"},
        {Text::STOPPED_HEADLINE, "The update was stopped"},
        {Text::UPDATED_MESSAGE, "The Torvik restarts with its new firmware. Nothing more to do."},
        {Text::NOT_FOUND_MESSAGE, "The updater found no Torvik in bootloader mode."},
        {Text::FAILED_AT_BLOCK, "The {image} image failed at block {block} of {total}."},
        {Text::FAILED_BLOCK_UNNAMED, "A block of firmware was not confirmed."},
        {Text::FAILED_ADVICE,
         "The Torvik was not restarted. Try another USB cable or port, put the Torvik into "
         "bootloader mode again, then click {try_again}: the update starts over."},
        {Text::OUTPUT_BROKE_OFF, "Its output broke off."},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe ended with status {status}. Click {try_again}; if this happens again, "
         "send the log to support."},
        {Text::UPDATER_MISSING_MESSAGE,
         "torvikupdate.exe is not in this program's folder: unpack the whole zip into one folder "
         "and start Update Torvik.exe there."},
        {Text::START_FAILED_MESSAGE,
         "Windows could not start torvikupdate.exe: {reason} (error {error})."},
        {Text::STOPPED_MESSAGE,
         "The Torvik stays in bootloader mode. Starting the update again ({try_again}) finishes "
         "it."},
        {Text::UNPARSED_NOTE,
         "Some of this output was not understood; the verdict comes from the updater's exit "
         "status."},
        {Text::LOG_FAILED_NOTE, "The log could not be written: {reason}"},
        {Text::FIRMWARE_LINE,
         "Firmware {version}: FPGA image {fpga_bytes} bytes (SHA-256 {fpga_sha256}), MCU image "
         "{mcu_bytes} bytes (SHA-256 {mcu_sha256})"},
    },
};
