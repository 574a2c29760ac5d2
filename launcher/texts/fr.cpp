// The window's texts in French. "\u00a0": the no-break space before ":", ";", "?"
// and inside the quotation marks.
#include "texts.h"

extern const Language FRENCH = {
    "fr-FR",
    0x0C,
    {},
    " ",
    {
        {Text::TRY_AGAIN_BUTTON, "Réessayer"},
        {Text::DETAILS_BUTTON, "Détails"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "Ouvrir le dossier du journal"},
        {Text::CANCEL_BUTTON, "Annuler"},
        {Text::CLOSE_BUTTON, "Fermer"},
        {Text::BOOTLOADER_STEPS,
         "1. Débranchez le Torvik de l’alimentation et de l’USB.\n"
         "2. Branchez le câble USB pendant que vous allumez le Torvik."},
        {Text::STARTS_BY_ITSELF,
         "La mise à jour démarre d’elle-même dès que le Torvik est détecté en mode bootloader."},
        {Text::WAITING_HEADLINE, "Branchez le Torvik en mode bootloader"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "Le Torvik fonctionne avec son firmware normal"},
        {Text::NORMAL_FIRMWARE_MESSAGE,
         "Pour la mise à jour, il doit être en mode bootloader\u00a0:"},
        {Text::SEVERAL_HEADLINE, "Plusieurs Torvik sont en mode bootloader"},
        {Text::SEVERAL_MESSAGE,
         "{count} Torvik sont en mode bootloader. Ne laissez branché que celui à mettre à "
         "jour\u00a0: la mise à jour démarrera alors d’elle-même."},
        {Text::GAVE_UP_HEADLINE, "Aucun Torvik n’a été trouvé"},
        {Text::GAVE_UP_MESSAGE,
         "Aucun Torvik en mode bootloader n’a été détecté en {minutes} minutes."},
        {Text::AGAIN_INTO_BOOTLOADER, "Remettez le Torvik en mode bootloader\u00a0:"},
        {Text::THEN_TRY_AGAIN, "Cliquez ensuite sur «\u00a0{try_again}\u00a0»."},
        {Text::ANOTHER_UPDATE_HEADLINE, "Une autre mise à jour est en cours"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "Une autre mise à jour du Torvik est en cours sur ce PC. Cette mise à jour démarrera "
         "d’elle-même une fois l’autre terminée."},
        {Text::UPDATING_HEADLINE, "Mise à jour du Torvik"},
        {Text::WRITING_PHASE, "Écriture de l’image {image}\u00a0: bloc {block} sur {total}"},
        {Text::RESTARTING_PHASE, "Redémarrage du Torvik"},
        {Text::SECONDS_LEFT, "Environ {seconds} secondes restantes"},
        {Text::MINUTES_LEFT, "Environ {minutes} minutes restantes"},
        {Text::WARNING, "Ne débranchez pas le Torvik."},
        {Text::STOP_QUESTION,
         "Arrêter la mise à jour\u00a0?\n\nSi vous l’arrêtez, le Torvik reste en mode "
         "bootloader et son firmware n’est pas entièrement écrit. Relancez la mise à jour pour "
         "la terminer."},
        {Text::UPDATED_HEADLINE, "Le Torvik est à jour"},
        {Text::NOT_FOUND_HEADLINE, "Le Torvik n’a pas été trouvé"},
        {Text::FAILED_HEADLINE, "La mise à jour a échoué"},
        {Text::UNEXPECTED_HEADLINE, "Le programme de mise à jour s’est arrêté sans prévenir"},
        {Text::NOT_STARTED_HEADLINE, "Le programme de mise à jour n’a pas pu démarrer"},
        {Text::STOPPED_HEADLINE, "La mise à jour a été arrêtée"},
        {Text::UPDATED_MESSAGE,
         "Le Torvik redémarre avec son nouveau firmware. Vous n’avez plus rien à faire."},
        {Text::NOT_FOUND_MESSAGE,
         "Le programme de mise à jour n’a trouvé aucun Torvik en mode bootloader."},
        {Text::FAILED_AT_BLOCK, "L’image {image} a échoué au bloc {block} sur {total}."},
        {Text::FAILED_BLOCK_UNNAMED, "Un bloc du firmware n’a pas été confirmé."},
        {Text::FAILED_ADVICE,
         "Le Torvik n’a pas été redémarré. Essayez un autre câble ou port USB, remettez le "
         "Torvik en mode bootloader, puis cliquez sur «\u00a0{try_again}\u00a0»\u00a0: la mise "
         "à jour reprend depuis le début."},
        {Text::OUTPUT_BROKE_OFF, "La sortie du programme s’est interrompue."},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe s’est terminé avec le statut {status}. Cliquez sur "
         "«\u00a0{try_again}\u00a0». Si cela se reproduit, envoyez le journal au support."},
        {Text::UPDATER_MISSING_MESSAGE,
         "torvikupdate.exe n’est pas dans le dossier de ce programme. Décompressez tout le "
         "fichier zip dans un même dossier et lancez Update Torvik.exe depuis ce dossier."},
        {Text::START_FAILED_MESSAGE,
         "Windows n’a pas pu lancer torvikupdate.exe\u00a0: {reason} (erreur {error})."},
        {Text::STOPPED_MESSAGE,
         "Le Torvik reste en mode bootloader. Relancez la mise à jour "
         "(«\u00a0{try_again}\u00a0») pour la terminer."},
        {Text::UNPARSED_NOTE,
         "Une partie de cette sortie n’a pas été comprise\u00a0; le résultat vient du statut de "
         "sortie du programme de mise à jour."},
        {Text::LOG_FAILED_NOTE, "Le journal n’a pas pu être écrit\u00a0: {reason}"},
        {Text::FIRMWARE_LINE,
         "Firmware {version}\u00a0: image FPGA de {fpga_bytes} octets (SHA-256 {fpga_sha256}), "
         "image MCU de {mcu_bytes} octets (SHA-256 {mcu_sha256})"},
    },
};
