// The window's texts in Japanese, in the polite form. Buttons are named in
// square brackets, as Windows' own texts name them.
#include "texts.h"

extern const Language JAPANESE = {
    "ja-JP",
    0x11,
    {},
    "",
    {
        {Text::TRY_AGAIN_BUTTON, "再試行"},
        {Text::DETAILS_BUTTON, "詳細"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "ログ フォルダーを開く"},
        {Text::CANCEL_BUTTON, "キャンセル"},
        {Text::CLOSE_BUTTON, "閉じる"},
        {Text::BOOTLOADER_STEPS,
         "1. Torvik を電源と USB から外します。\n"
         "2. Torvik の電源を入れながら、USB ケーブルをつなぎます。"},
        {Text::STARTS_BY_ITSELF,
         "ブートローダー モードの Torvik が見つかると、更新は自動で始まります。"},
        {Text::WAITING_HEADLINE, "Torvik をブートローダー モードでつないでください"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "Torvik は通常のファームウェアで動いています"},
        {Text::NORMAL_FIRMWARE_MESSAGE, "更新するには、ブートローダー モードにしてください:"},
        {Text::SEVERAL_HEADLINE, "ブートローダー モードの Torvik が複数あります"},
        {Text::SEVERAL_MESSAGE,
         "ブートローダー モードの Torvik が {count} 台あります。更新する 1 台だけをつないだまま"
         "にしてください。そうすると、更新は自動で始まります。"},
        {Text::GAVE_UP_HEADLINE, "Torvik が見つかりませんでした"},
        {Text::GAVE_UP_MESSAGE,
         "{minutes} 分待ちましたが、ブートローダー モードの Torvik は見つかりませんでした。"},
        {Text::AGAIN_INTO_BOOTLOADER, "もう一度 Torvik をブートローダー モードにしてください:"},
        {Text::THEN_TRY_AGAIN, "そのあと [{try_again}] をクリックしてください。"},
        {Text::ANOTHER_UPDATE_HEADLINE, "別の更新を実行中です"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "この PC で別の Torvik の更新を実行中です。その更新が終わると、この更新は自動で始まり"
         "ます。"},
        {Text::UPDATING_HEADLINE, "Torvik を更新しています"},
        {Text::WRITING_PHASE, "{image} イメージを書き込んでいます: ブロック {block} / {total}"},
        {Text::RESTARTING_PHASE, "Torvik を再起動しています"},
        {Text::SECONDS_LEFT, "残り約 {seconds} 秒"},
        {Text::MINUTES_LEFT, "残り約 {minutes} 分"},
        {Text::WARNING, "Torvik を外さないでください。"},
        {Text::STOP_QUESTION,
         "更新を中止しますか?\n\n中止すると、Torvik はファームウェアが書き込み途中のまま、ブート"
         "ローダー モードに残ります。もう一度更新を始めると、最後まで書き込まれます。"},
        {Text::UPDATED_HEADLINE, "Torvik を更新しました"},
        {Text::NOT_FOUND_HEADLINE, "Torvik が見つかりません"},
        {Text::FAILED_HEADLINE, "更新に失敗しました"},
        {Text::UNEXPECTED_HEADLINE, "更新プログラムが予期せず止まりました"},
        {Text::NOT_STARTED_HEADLINE, "更新プログラムを起動できませんでした"},
        {Text::STOPPED_HEADLINE, "更新を中止しました"},
        {Text::UPDATED_MESSAGE, "Torvik は新しいファームウェアで再起動します。これで完了です。"},
        {Text::NOT_FOUND_MESSAGE,
         "更新プログラムは、ブートローダー モードの Torvik を見つけられませんでした。"},
        {Text::FAILED_AT_BLOCK, "{image} イメージのブロック {block} / {total} で失敗しました。"},
        {Text::FAILED_BLOCK_UNNAMED, "ファームウェアのブロックが確認されませんでした。"},
        {Text::FAILED_ADVICE,
         "Torvik は再起動されていません。別の USB ケーブルかポートを使い、もう一度 Torvik を"
         "ブートローダー モードにしてから [{try_again}] をクリックしてください。更新は最初から"
         "やり直しになります。"},
        {Text::OUTPUT_BROKE_OFF, "更新プログラムの出力が途中で切れました。"},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe は終了コード {status} で終わりました。[{try_again}] をクリックして"
         "ください。もう一度起きた場合は、ログをサポートに送ってください。"},
        {Text::UPDATER_MISSING_MESSAGE,
         "このプログラムのフォルダーに torvikupdate.exe がありません。zip ファイル全体を 1 つ"
         "のフォルダーに展開し、そこで Update Torvik.exe を起動してください。"},
        {Text::START_FAILED_MESSAGE,
         "Windows は torvikupdate.exe を起動できませんでした: {reason} (エラー {error})。"},
        {Text::STOPPED_MESSAGE,
         "Torvik はブートローダー モードのままです。もう一度更新を始めると ([{try_again}])、"
         "更新が完了します。"},
        {Text::UNPARSED_NOTE,
         "この出力の一部は解釈できませんでした。結果は更新プログラムの終了コードによるもの"
         "です。"},
        {Text::LOG_FAILED_NOTE, "ログを書き込めませんでした: {reason}"},
        {Text::FIRMWARE_LINE,
         "ファームウェア {version}: FPGA イメージ {fpga_bytes} バイト (SHA-256 {fpga_sha256})、"
         "MCU イメージ {mcu_bytes} バイト (SHA-256 {mcu_sha256})"},
    },
};
