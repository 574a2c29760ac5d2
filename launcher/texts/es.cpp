// The window's texts in Spanish (Spain), addressing the user as "usted".
#include "texts.h"

extern const Language SPANISH = {
    "es-ES",
    0x0A,
    {},
    " ",
    {
        {Text::TRY_AGAIN_BUTTON, "Reintentar"},
        {Text::DETAILS_BUTTON, "Detalles"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "Abrir carpeta del registro"},
        {Text::CANCEL_BUTTON, "Cancelar"},
        {Text::CLOSE_BUTTON, "Cerrar"},
        {Text::BOOTLOADER_STEPS,
         "1. Desconecte el Torvik de la corriente y del USB.\n"
         "2. Conecte el cable USB mientras enciende el Torvik."},
        {Text::STARTS_BY_ITSELF,
         "La actualización empieza sola en cuanto el Torvik esté en modo bootloader."},
        {Text::WAITING_HEADLINE, "Conecte el Torvik en modo bootloader"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "El Torvik está usando su firmware normal"},
        {Text::NORMAL_FIRMWARE_MESSAGE, "Para la actualización debe estar en modo bootloader:"},
        {Text::SEVERAL_HEADLINE, "Hay más de un Torvik en modo bootloader"},
        {Text::SEVERAL_MESSAGE,
         "Hay {count} Torvik en modo bootloader. Deje conectado solo el que quiere actualizar: "
         "entonces la actualización empezará sola."},
        {Text::GAVE_UP_HEADLINE, "No se encontró ningún Torvik"},
        {Text::GAVE_UP_MESSAGE,
         "En {minutes} minutos no apareció ningún Torvik en modo bootloader."},
        {Text::AGAIN_INTO_BOOTLOADER, "Vuelva a poner el Torvik en modo bootloader:"},
        {Text::THEN_TRY_AGAIN, "Después haga clic en «{try_again}»."},
        {Text::ANOTHER_UPDATE_HEADLINE, "Hay otra actualización en curso"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "Hay otra actualización del Torvik en curso en este PC. Esta actualización empezará "
         "sola cuando la otra termine."},
        {Text::UPDATING_HEADLINE, "Actualizando el Torvik"},
        {Text::WRITING_PHASE, "Escribiendo la imagen {image}: bloque {block} de {total}"},
        {Text::RESTARTING_PHASE, "Reiniciando el Torvik"},
        {Text::SECONDS_LEFT, "Quedan unos {seconds} segundos"},
        {Text::MINUTES_LEFT, "Quedan unos {minutes} minutos"},
        {Text::WARNING, "No desconecte el Torvik."},
        {Text::STOP_QUESTION,
         "¿Detener la actualización?\n\nSi la detiene, el Torvik se queda en modo bootloader "
         "con su firmware escrito solo en parte. Si vuelve a iniciar la actualización, esta se "
         "completa."},
        {Text::UPDATED_HEADLINE, "El Torvik está actualizado"},
        {Text::NOT_FOUND_HEADLINE, "No se encontró el Torvik"},
        {Text::FAILED_HEADLINE, "La actualización falló"},
        {Text::UNEXPECTED_HEADLINE, "El programa de actualización se detuvo inesperadamente"},
        {Text::NOT_STARTED_HEADLINE, "No se pudo iniciar el programa de actualización"},
        {Text::STOPPED_HEADLINE, "Se detuvo la actualización"},
        {Text::UPDATED_MESSAGE,
         "El Torvik se reinicia con su nuevo firmware. No tiene que hacer nada más."},
        {Text::NOT_FOUND_MESSAGE,
         "El programa de actualización no encontró ningún Torvik en modo bootloader."},
        {Text::FAILED_AT_BLOCK, "La imagen {image} falló en el bloque {block} de {total}."},
        {Text::FAILED_BLOCK_UNNAMED, "Un bloque del firmware no se confirmó."},
        {Text::FAILED_ADVICE,
         "El Torvik no se reinició. Pruebe con otro cable o puerto USB, vuelva a poner el "
         "Torvik en modo bootloader y haga clic en «{try_again}»: la actualización empieza de "
         "nuevo."},
        {Text::OUTPUT_BROKE_OFF, "La salida del programa se interrumpió."},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe terminó con el estado {status}. Haga clic en «{try_again}». Si "
         "vuelve a ocurrir, envíe el registro al soporte técnico."},
        {Text::UPDATER_MISSING_MESSAGE,
         "torvikupdate.exe no está en la carpeta de este programa. Descomprima todo el archivo "
         "zip en una misma carpeta e inicie allí Update Torvik.exe."},
        {Text::START_FAILED_MESSAGE,
         "Windows no pudo iniciar torvikupdate.exe: {reason} (error {error})."},
        {Text::STOPPED_MESSAGE,
         "El Torvik se queda en modo bootloader. Vuelva a iniciar la actualización "
         "(«{try_again}») para completarla."},
        {Text::UNPARSED_NOTE,
         "Parte de esta salida no se entendió; el resultado viene del estado de salida del "
         "programa de actualización."},
        {Text::LOG_FAILED_NOTE, "No se pudo escribir el registro: {reason}"},
        {Text::FIRMWARE_LINE,
         "Firmware {version}: imagen FPGA de {fpga_bytes} bytes (SHA-256 {fpga_sha256}), "
         "imagen MCU de {mcu_bytes} bytes (SHA-256 {mcu_sha256})"},
    },
};
