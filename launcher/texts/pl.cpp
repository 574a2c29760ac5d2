// The window's texts in Polish. Numbers stand where no plural form depends
// on them ("Liczba ...: 3", "min", "s", "B"), since Polish has three.
#include "texts.h"

extern const Language POLISH = {
    "pl-PL",
    0x15,
    {},
    " ",
    {
        {Text::TRY_AGAIN_BUTTON, "Spróbuj ponownie"},
        {Text::DETAILS_BUTTON, "Szczegóły"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "Otwórz folder dziennika"},
        {Text::CANCEL_BUTTON, "Anuluj"},
        {Text::CLOSE_BUTTON, "Zamknij"},
        {Text::BOOTLOADER_STEPS,
         "1. Odłącz Torvik od zasilania i od USB.\n"
         "2. Podłącz kabel USB, jednocześnie włączając Torvik."},
        {Text::STARTS_BY_ITSELF,
         "Aktualizacja rozpocznie się sama, gdy tylko Torvik pojawi się w trybie bootloadera."},
        {Text::WAITING_HEADLINE, "Podłącz Torvik w trybie bootloadera"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "Torvik działa ze zwykłym firmware"},
        {Text::NORMAL_FIRMWARE_MESSAGE, "Do aktualizacji musi być w trybie bootloadera:"},
        {Text::SEVERAL_HEADLINE, "Więcej niż jeden Torvik jest w trybie bootloadera"},
        {Text::SEVERAL_MESSAGE,
         "Liczba urządzeń Torvik w trybie bootloadera: {count}. Pozostaw podłączone tylko to, "
         "które chcesz zaktualizować. Wtedy aktualizacja rozpocznie się sama."},
        {Text::GAVE_UP_HEADLINE, "Nie wykryto żadnego Torvika"},
        {Text::GAVE_UP_MESSAGE,
         "Przez {minutes} min żaden Torvik nie pojawił się w trybie bootloadera."},
        {Text::AGAIN_INTO_BOOTLOADER, "Ponownie przełącz Torvik w tryb bootloadera:"},
        {Text::THEN_TRY_AGAIN, "Następnie kliknij „{try_again}”."},
        {Text::ANOTHER_UPDATE_HEADLINE, "Trwa inna aktualizacja"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "Na tym komputerze trwa inna aktualizacja Torvika. Ta aktualizacja rozpocznie się "
         "sama, gdy tamta się zakończy."},
        {Text::UPDATING_HEADLINE, "Aktualizowanie Torvika"},
        {Text::WRITING_PHASE, "Zapisywanie obrazu {image}: blok {block} z {total}"},
        {Text::RESTARTING_PHASE, "Ponowne uruchamianie Torvika"},
        {Text::SECONDS_LEFT, "Pozostało około {seconds} s"},
        {Text::MINUTES_LEFT, "Pozostało około {minutes} min"},
        {Text::WARNING, "Nie odłączaj Torvika."},
        {Text::STOP_QUESTION,
         "Zatrzymać aktualizację?\n\nPo zatrzymaniu Torvik pozostanie w trybie bootloadera z "
         "niepełnym firmware. Ponowne uruchomienie aktualizacji ją dokończy."},
        {Text::UPDATED_HEADLINE, "Torvik został zaktualizowany"},
        {Text::NOT_FOUND_HEADLINE, "Nie znaleziono Torvika"},
        {Text::FAILED_HEADLINE, "Aktualizacja nie powiodła się"},
        {Text::UNEXPECTED_HEADLINE, "Program aktualizujący nieoczekiwanie się zatrzymał"},
        {Text::NOT_STARTED_HEADLINE, "Nie można uruchomić programu aktualizującego"},
        {Text::STOPPED_HEADLINE, "Aktualizacja została zatrzymana"},
        {Text::UPDATED_MESSAGE,
         "Torvik uruchomi się ponownie z nowym firmware. Nie musisz nic więcej robić."},
        {Text::NOT_FOUND_MESSAGE,
         "Program aktualizujący nie znalazł Torvika w trybie bootloadera."},
        {Text::FAILED_AT_BLOCK, "Zapis obrazu {image} nie powiódł się na bloku {block} z {total}."},
        {Text::FAILED_BLOCK_UNNAMED, "Jeden blok firmware nie został potwierdzony."},
        {Text::FAILED_ADVICE,
         "Torvik nie został uruchomiony ponownie. Użyj innego kabla lub portu USB, ponownie "
         "przełącz Torvik w tryb bootloadera, a potem kliknij „{try_again}”. Aktualizacja "
         "zacznie się od początku."},
        {Text::OUTPUT_BROKE_OFF, "Komunikaty programu aktualizującego urwały się."},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe zakończył działanie z kodem {status}. Kliknij „{try_again}”. Jeśli "
         "to się powtórzy, wyślij dziennik do pomocy technicznej."},
        {Text::UPDATER_MISSING_MESSAGE,
         "W folderze tego programu nie ma pliku torvikupdate.exe. Rozpakuj cały plik zip do "
         "jednego folderu i uruchom tam Update Torvik.exe."},
        {Text::START_FAILED_MESSAGE,
         "System Windows nie mógł uruchomić torvikupdate.exe: {reason} (błąd {error})."},
        {Text::STOPPED_MESSAGE,
         "Torvik pozostaje w trybie bootloadera. Uruchom aktualizację ponownie („{try_again}”), "
         "aby ją dokończyć."},
        {Text::UNPARSED_NOTE,
         "Części tych komunikatów nie udało się zrozumieć. O wyniku decyduje kod wyjścia "
         "programu aktualizującego."},
        {Text::LOG_FAILED_NOTE, "Nie udało się zapisać dziennika: {reason}"},
        {Text::FIRMWARE_LINE,
         "Firmware {version}: obraz FPGA {fpga_bytes} B (SHA-256 {fpga_sha256}), obraz MCU "
         "{mcu_bytes} B (SHA-256 {mcu_sha256})"},
    },
};
