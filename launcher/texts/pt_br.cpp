// The window's texts in Portuguese as written in Brazil.
#include "texts.h"

extern const Language PORTUGUESE_BRAZIL = {
    "pt-BR",
    0x16,
    {},  // Portugal's too, until it has a table of its own
    " ",
    {
        {Text::TRY_AGAIN_BUTTON, "Tentar novamente"},
        {Text::DETAILS_BUTTON, "Detalhes"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "Abrir pasta do log"},
        {Text::CANCEL_BUTTON, "Cancelar"},
        {Text::CLOSE_BUTTON, "Fechar"},
        {Text::BOOTLOADER_STEPS,
         "1. Desconecte o Torvik da energia e do USB.\n"
         "2. Conecte o cabo USB enquanto liga o Torvik."},
        {Text::STARTS_BY_ITSELF,
         "A atualização começa sozinha assim que o Torvik estiver no modo bootloader."},
        {Text::WAITING_HEADLINE, "Conecte o Torvik no modo bootloader"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "O Torvik está com o firmware normal"},
        {Text::NORMAL_FIRMWARE_MESSAGE,
         "Para a atualização, ele precisa estar no modo bootloader:"},
        {Text::SEVERAL_HEADLINE, "Há mais de um Torvik no modo bootloader"},
        {Text::SEVERAL_MESSAGE,
         "Há {count} Torviks no modo bootloader. Deixe conectado só o que vai ser atualizado: "
         "então a atualização começa sozinha."},
        {Text::GAVE_UP_HEADLINE, "Nenhum Torvik foi encontrado"},
        {Text::GAVE_UP_MESSAGE, "Nenhum Torvik apareceu no modo bootloader em {minutes} minutos."},
        {Text::AGAIN_INTO_BOOTLOADER, "Coloque o Torvik no modo bootloader de novo:"},
        {Text::THEN_TRY_AGAIN, "Depois clique em “{try_again}”."},
        {Text::ANOTHER_UPDATE_HEADLINE, "Outra atualização está em andamento"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "Outra atualização do Torvik está em andamento neste PC. Esta atualização começa "
         "sozinha quando a outra terminar."},
        {Text::UPDATING_HEADLINE, "Atualizando o Torvik"},
        {Text::WRITING_PHASE, "Gravando a imagem {image}: bloco {block} de {total}"},
        {Text::RESTARTING_PHASE, "Reiniciando o Torvik"},
        {Text::SECONDS_LEFT, "Cerca de {seconds} segundos restantes"},
        {Text::MINUTES_LEFT, "Cerca de {minutes} minutos restantes"},
        {Text::WARNING, "Não desconecte o Torvik."},
        {Text::STOP_QUESTION,
         "Interromper a atualização?\n\nSe você interromper, o Torvik fica no modo bootloader "
         "com o firmware gravado só em parte. Iniciar a atualização de novo a conclui."},
        {Text::UPDATED_HEADLINE, "O Torvik está atualizado"},
        {Text::NOT_FOUND_HEADLINE, "O Torvik não foi encontrado"},
        {Text::FAILED_HEADLINE, "A atualização falhou"},
        {Text::UNEXPECTED_HEADLINE, "O programa de atualização parou inesperadamente"},
        {Text::NOT_STARTED_HEADLINE, "Não foi possível iniciar o programa de atualização"},
        {Text::STOPPED_HEADLINE, "A atualização foi interrompida"},
        {Text::UPDATED_MESSAGE,
         "O Torvik reinicia com o novo firmware. Não é preciso fazer mais nada."},
        {Text::NOT_FOUND_MESSAGE,
         "O programa de atualização não encontrou nenhum Torvik no modo bootloader."},
        {Text::FAILED_AT_BLOCK, "A imagem {image} falhou no bloco {block} de {total}."},
        {Text::FAILED_BLOCK_UNNAMED, "Um bloco do firmware não foi confirmado."},
        {Text::FAILED_ADVICE,
         "O Torvik não foi reiniciado. Tente outro cabo ou outra porta USB, coloque o Torvik no "
         "modo bootloader de novo e clique em “{try_again}”: a atualização começa do início."},
        {Text::OUTPUT_BROKE_OFF, "A saída do programa foi interrompida."},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe terminou com o status {status}. Clique em “{try_again}”. Se isso "
         "acontecer de novo, envie o log para o suporte."},
        {Text::UPDATER_MISSING_MESSAGE,
         "torvikupdate.exe não está na pasta deste programa. Extraia o arquivo zip inteiro em "
         "uma pasta e abra o Update Torvik.exe nela."},
        {Text::START_FAILED_MESSAGE,
         "O Windows não conseguiu iniciar o torvikupdate.exe: {reason} (erro {error})."},
        {Text::STOPPED_MESSAGE,
         "O Torvik fica no modo bootloader. Inicie a atualização de novo (“{try_again}”) para "
         "concluí-la."},
        {Text::UNPARSED_NOTE,
         "Parte desta saída não foi entendida; o resultado vem do status de saída do programa "
         "de atualização."},
        {Text::LOG_FAILED_NOTE, "Não foi possível gravar o log: {reason}"},
        {Text::FIRMWARE_LINE,
         "Firmware {version}: imagem FPGA de {fpga_bytes} bytes (SHA-256 {fpga_sha256}), "
         "imagem MCU de {mcu_bytes} bytes (SHA-256 {mcu_sha256})"},
    },
};
