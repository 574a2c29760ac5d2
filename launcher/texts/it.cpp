// The window's texts in Italian.
#include "texts.h"

extern const Language ITALIAN = {
    "it-IT",
    0x10,
    {},
    " ",
    {
        {Text::TRY_AGAIN_BUTTON, "Riprova"},
        {Text::DETAILS_BUTTON, "Dettagli"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "Apri cartella del log"},
        {Text::CANCEL_BUTTON, "Annulla"},
        {Text::CLOSE_BUTTON, "Chiudi"},
        {Text::BOOTLOADER_STEPS,
         "1. Scollega il Torvik dall’alimentazione e dall’USB.\n"
         "2. Collega il cavo USB mentre accendi il Torvik."},
        {Text::STARTS_BY_ITSELF,
         "L’aggiornamento parte da solo appena il Torvik è in modalità bootloader."},
        {Text::WAITING_HEADLINE, "Collega il Torvik in modalità bootloader"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "Il Torvik sta usando il suo firmware normale"},
        {Text::NORMAL_FIRMWARE_MESSAGE, "Per l’aggiornamento deve essere in modalità bootloader:"},
        {Text::SEVERAL_HEADLINE, "Più di un Torvik è in modalità bootloader"},
        {Text::SEVERAL_MESSAGE,
         "{count} Torvik sono in modalità bootloader. Lascia collegato solo quello da "
         "aggiornare: l’aggiornamento partirà da solo."},
        {Text::GAVE_UP_HEADLINE, "Nessun Torvik trovato"},
        {Text::GAVE_UP_MESSAGE,
         "In {minutes} minuti non è comparso nessun Torvik in modalità bootloader."},
        {Text::AGAIN_INTO_BOOTLOADER, "Rimetti il Torvik in modalità bootloader:"},
        {Text::THEN_TRY_AGAIN, "Poi fai clic su «{try_again}»."},
        {Text::ANOTHER_UPDATE_HEADLINE, "È in corso un altro aggiornamento"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "Su questo PC è in corso un altro aggiornamento del Torvik. Questo aggiornamento "
         "partirà da solo quando l’altro sarà finito."},
        {Text::UPDATING_HEADLINE, "Aggiornamento del Torvik in corso"},
        {Text::WRITING_PHASE, "Scrittura dell’immagine {image}: blocco {block} di {total}"},
        {Text::RESTARTING_PHASE, "Riavvio del Torvik"},
        {Text::SECONDS_LEFT, "Circa {seconds} secondi rimanenti"},
        {Text::MINUTES_LEFT, "Circa {minutes} minuti rimanenti"},
        {Text::WARNING, "Non scollegare il Torvik."},
        {Text::STOP_QUESTION,
         "Interrompere l’aggiornamento?\n\nSe lo interrompi, il Torvik resta in modalità "
         "bootloader con il firmware scritto solo in parte. Se avvii di nuovo l’aggiornamento, "
         "viene completato."},
        {Text::UPDATED_HEADLINE, "Il Torvik è aggiornato"},
        {Text::NOT_FOUND_HEADLINE, "Il Torvik non è stato trovato"},
        {Text::FAILED_HEADLINE, "L’aggiornamento non è riuscito"},
        {Text::UNEXPECTED_HEADLINE, "Il programma di aggiornamento si è interrotto all’improvviso"},
        {Text::NOT_STARTED_HEADLINE, "Impossibile avviare il programma di aggiornamento"},
        {Text::STOPPED_HEADLINE, "L’aggiornamento è stato interrotto"},
        {Text::UPDATED_MESSAGE, "Il Torvik si riavvia con il nuovo firmware. Non devi fare altro."},
        {Text::NOT_FOUND_MESSAGE,
         "Il programma di aggiornamento non ha trovato nessun Torvik in modalità bootloader."},
        {Text::FAILED_AT_BLOCK, "L’immagine {image} non è riuscita al blocco {block} di {total}."},
        {Text::FAILED_BLOCK_UNNAMED, "Un blocco del firmware non è stato confermato."},
        {Text::FAILED_ADVICE,
         "Il Torvik non è stato riavviato. Prova un altro cavo o un’altra porta USB, rimetti il "
         "Torvik in modalità bootloader, poi fai clic su «{try_again}»: l’aggiornamento "
         "ricomincia da capo."},
        {Text::OUTPUT_BROKE_OFF, "L’output del programma si è interrotto."},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe è terminato con lo stato {status}. Fai clic su «{try_again}». Se "
         "succede di nuovo, invia il log all’assistenza."},
        {Text::UPDATER_MISSING_MESSAGE,
         "torvikupdate.exe non è nella cartella di questo programma. Estrai tutto il file zip "
         "in un’unica cartella e avvia Update Torvik.exe da lì."},
        {Text::START_FAILED_MESSAGE,
         "Windows non è riuscito ad avviare torvikupdate.exe: {reason} (errore {error})."},
        {Text::STOPPED_MESSAGE,
         "Il Torvik resta in modalità bootloader. Avvia di nuovo l’aggiornamento "
         "(«{try_again}») per completarlo."},
        {Text::UNPARSED_NOTE,
         "Una parte di questo output non è stata compresa; il risultato si basa sullo stato di "
         "uscita del programma di aggiornamento."},
        {Text::LOG_FAILED_NOTE, "Impossibile scrivere il log: {reason}"},
        {Text::FIRMWARE_LINE,
         "Firmware {version}: immagine FPGA di {fpga_bytes} byte (SHA-256 {fpga_sha256}), "
         "immagine MCU di {mcu_bytes} byte (SHA-256 {mcu_sha256})"},
    },
};
