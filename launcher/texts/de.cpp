// The window's texts in German.
#include "texts.h"

extern const Language GERMAN = {
    "de-DE",
    0x07,
    {},
    " ",
    {
        {Text::TRY_AGAIN_BUTTON, "Erneut versuchen"},
        {Text::DETAILS_BUTTON, "Details"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "Protokollordner öffnen"},
        {Text::CANCEL_BUTTON, "Abbrechen"},
        {Text::CLOSE_BUTTON, "Schließen"},
        {Text::BOOTLOADER_STEPS,
         "1. Trennen Sie den Torvik von der Stromversorgung und vom USB-Anschluss.\n"
         "2. Schließen Sie das USB-Kabel an, während Sie den Torvik einschalten."},
        {Text::STARTS_BY_ITSELF,
         "Das Update startet von selbst, sobald der Torvik im Bootloader-Modus erkannt wird."},
        {Text::WAITING_HEADLINE, "Schließen Sie den Torvik im Bootloader-Modus an"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "Der Torvik läuft mit seiner normalen Firmware"},
        {Text::NORMAL_FIRMWARE_MESSAGE, "Für das Update muss er im Bootloader-Modus sein:"},
        {Text::SEVERAL_HEADLINE, "Mehr als ein Torvik ist im Bootloader-Modus"},
        {Text::SEVERAL_MESSAGE,
         "{count} Torviks sind im Bootloader-Modus. Lassen Sie nur den Torvik angeschlossen, "
         "der das Update bekommen soll. Dann startet das Update von selbst."},
        {Text::GAVE_UP_HEADLINE, "Es wurde kein Torvik gefunden"},
        {Text::GAVE_UP_MESSAGE,
         "In {minutes} Minuten wurde kein Torvik im Bootloader-Modus erkannt."},
        {Text::AGAIN_INTO_BOOTLOADER, "Versetzen Sie den Torvik erneut in den Bootloader-Modus:"},
        {Text::THEN_TRY_AGAIN, "Klicken Sie dann auf „{try_again}“."},
        {Text::ANOTHER_UPDATE_HEADLINE, "Ein anderes Update läuft"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "Auf diesem PC läuft gerade ein anderes Torvik-Update. Dieses Update startet von "
         "selbst, sobald das andere beendet ist."},
        {Text::UPDATING_HEADLINE, "Der Torvik wird aktualisiert"},
        {Text::WRITING_PHASE, "Das {image}-Image wird geschrieben: Block {block} von {total}"},
        {Text::RESTARTING_PHASE, "Der Torvik wird neu gestartet"},
        {Text::SECONDS_LEFT, "Noch etwa {seconds} Sekunden"},
        {Text::MINUTES_LEFT, "Noch etwa {minutes} Minuten"},
        {Text::WARNING, "Trennen Sie den Torvik nicht vom PC."},
        {Text::STOP_QUESTION,
         "Das Update abbrechen?\n\nDann bleibt der Torvik im Bootloader-Modus, und seine "
         "Firmware ist nicht vollständig geschrieben. Wenn Sie das Update erneut starten, wird "
         "es abgeschlossen."},
        {Text::UPDATED_HEADLINE, "Der Torvik ist aktualisiert"},
        {Text::NOT_FOUND_HEADLINE, "Der Torvik wurde nicht gefunden"},
        {Text::FAILED_HEADLINE, "Das Update ist fehlgeschlagen"},
        {Text::UNEXPECTED_HEADLINE, "Das Update-Programm wurde unerwartet beendet"},
        {Text::NOT_STARTED_HEADLINE, "Das Update-Programm konnte nicht gestartet werden"},
        {Text::STOPPED_HEADLINE, "Das Update wurde abgebrochen"},
        {Text::UPDATED_MESSAGE,
         "Der Torvik startet mit seiner neuen Firmware neu. Sie müssen nichts weiter tun."},
        {Text::NOT_FOUND_MESSAGE,
         "Das Update-Programm hat keinen Torvik im Bootloader-Modus gefunden."},
        {Text::FAILED_AT_BLOCK, "Beim {image}-Image ist Block {block} von {total} fehlgeschlagen."},
        {Text::FAILED_BLOCK_UNNAMED, "Ein Block der Firmware wurde nicht bestätigt."},
        {Text::FAILED_ADVICE,
         "Der Torvik wurde nicht neu gestartet. Versuchen Sie ein anderes USB-Kabel oder einen "
         "anderen USB-Anschluss, versetzen Sie den Torvik erneut in den Bootloader-Modus und "
         "klicken Sie dann auf „{try_again}“. Das Update beginnt dann von vorn."},
        {Text::OUTPUT_BROKE_OFF, "Die Ausgabe des Update-Programms brach ab."},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe wurde mit Status {status} beendet. Klicken Sie auf „{try_again}“. "
         "Wenn das wieder passiert, senden Sie das Protokoll an den Support."},
        {Text::UPDATER_MISSING_MESSAGE,
         "torvikupdate.exe ist nicht im Ordner dieses Programms. Entpacken Sie die ganze "
         "ZIP-Datei in einen Ordner und starten Sie Update Torvik.exe dort."},
        {Text::START_FAILED_MESSAGE,
         "Windows konnte torvikupdate.exe nicht starten: {reason} (Fehler {error})."},
        {Text::STOPPED_MESSAGE,
         "Der Torvik bleibt im Bootloader-Modus. Starten Sie das Update erneut („{try_again}“), "
         "um es abzuschließen."},
        {Text::UNPARSED_NOTE,
         "Ein Teil dieser Ausgabe wurde nicht verstanden. Das Ergebnis richtet sich nach dem "
         "Exit-Status des Update-Programms."},
        {Text::LOG_FAILED_NOTE, "Das Protokoll konnte nicht geschrieben werden: {reason}"},
        {Text::FIRMWARE_LINE,
         "Firmware {version}: FPGA-Image {fpga_bytes} Byte (SHA-256 {fpga_sha256}), MCU-Image "
         "{mcu_bytes} Byte (SHA-256 {mcu_sha256})"},
    },
};
