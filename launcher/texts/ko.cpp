// The window's texts in Korean. A button is named as "[label] 버튼", so that
// the particle after it never depends on the label's last sound.
#include "texts.h"

extern const Language KOREAN = {
    "ko-KR",
    0x12,
    {},
    " ",
    {
        {Text::TRY_AGAIN_BUTTON, "다시 시도"},
        {Text::DETAILS_BUTTON, "자세히"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "로그 폴더 열기"},
        {Text::CANCEL_BUTTON, "취소"},
        {Text::CLOSE_BUTTON, "닫기"},
        {Text::BOOTLOADER_STEPS,
         "1. Torvik에서 전원과 USB를 분리하세요.\n"
         "2. Torvik의 전원을 켜면서 USB 케이블을 연결하세요."},
        {Text::STARTS_BY_ITSELF,
         "Torvik이 부트로더 모드로 연결되면 업데이트가 자동으로 시작됩니다."},
        {Text::WAITING_HEADLINE, "Torvik을 부트로더 모드로 연결하세요"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "Torvik이 일반 펌웨어로 실행 중입니다"},
        {Text::NORMAL_FIRMWARE_MESSAGE, "업데이트하려면 부트로더 모드여야 합니다:"},
        {Text::SEVERAL_HEADLINE, "부트로더 모드인 Torvik이 둘 이상입니다"},
        {Text::SEVERAL_MESSAGE,
         "부트로더 모드인 Torvik이 {count}대 있습니다. 업데이트할 Torvik 하나만 연결해 두세요. "
         "그러면 업데이트가 자동으로 시작됩니다."},
        {Text::GAVE_UP_HEADLINE, "Torvik을 찾지 못했습니다"},
        {Text::GAVE_UP_MESSAGE, "{minutes}분 동안 부트로더 모드인 Torvik이 연결되지 않았습니다."},
        {Text::AGAIN_INTO_BOOTLOADER, "Torvik을 다시 부트로더 모드로 전환하세요:"},
        {Text::THEN_TRY_AGAIN, "그런 다음 [{try_again}] 버튼을 클릭하세요."},
        {Text::ANOTHER_UPDATE_HEADLINE, "다른 업데이트가 실행 중입니다"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "이 PC에서 다른 Torvik 업데이트가 실행 중입니다. 그 업데이트가 끝나면 이 업데이트가 "
         "자동으로 시작됩니다."},
        {Text::UPDATING_HEADLINE, "Torvik 업데이트 중"},
        {Text::WRITING_PHASE, "{image} 이미지 쓰는 중: 블록 {block}/{total}"},
        {Text::RESTARTING_PHASE, "Torvik 다시 시작 중"},
        {Text::SECONDS_LEFT, "약 {seconds}초 남음"},
        {Text::MINUTES_LEFT, "약 {minutes}분 남음"},
        {Text::WARNING, "Torvik을 분리하지 마세요."},
        {Text::STOP_QUESTION,
         "업데이트를 중지할까요?\n\n중지하면 Torvik은 펌웨어가 다 쓰이지 않은 채 부트로더 모드에 "
         "남습니다. 업데이트를 다시 시작하면 마무리됩니다."},
        {Text::UPDATED_HEADLINE, "Torvik이 업데이트되었습니다"},
        {Text::NOT_FOUND_HEADLINE, "Torvik을 찾을 수 없습니다"},
        {Text::FAILED_HEADLINE, "업데이트에 실패했습니다"},
        {Text::UNEXPECTED_HEADLINE, "업데이트 프로그램이 예기치 않게 중지되었습니다"},
        {Text::NOT_STARTED_HEADLINE, "업데이트 프로그램을 시작할 수 없습니다"},
        {Text::STOPPED_HEADLINE, "업데이트가 중지되었습니다"},
        {Text::UPDATED_MESSAGE, "Torvik이 새 펌웨어로 다시 시작됩니다. 더 하실 일은 없습니다."},
        {Text::NOT_FOUND_MESSAGE, "업데이트 프로그램이 부트로더 모드인 Torvik을 찾지 못했습니다."},
        {Text::FAILED_AT_BLOCK, "{image} 이미지의 블록 {block}/{total}에서 실패했습니다."},
        {Text::FAILED_BLOCK_UNNAMED, "펌웨어 블록 하나가 확인되지 않았습니다."},
        {Text::FAILED_ADVICE,
         "Torvik은 다시 시작되지 않았습니다. 다른 USB 케이블이나 포트를 사용하고, Torvik을 다시 "
         "부트로더 모드로 전환한 다음 [{try_again}] 버튼을 클릭하세요. 업데이트가 처음부터 다시 "
         "시작됩니다."},
        {Text::OUTPUT_BROKE_OFF, "업데이트 프로그램의 출력이 중간에 끊겼습니다."},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe가 종료되었습니다(종료 코드 {status}). [{try_again}] 버튼을 "
         "클릭하세요. 같은 일이 다시 생기면 로그를 지원팀에 보내 주세요."},
        {Text::UPDATER_MISSING_MESSAGE,
         "이 프로그램의 폴더에 torvikupdate.exe가 없습니다. zip 파일 전체를 한 폴더에 압축 "
         "해제하고 그 폴더에서 Update Torvik.exe를 실행하세요."},
        {Text::START_FAILED_MESSAGE,
         "Windows에서 torvikupdate.exe를 시작할 수 없습니다: {reason} (오류 {error})"},
        {Text::STOPPED_MESSAGE,
         "Torvik은 부트로더 모드에 남아 있습니다. 업데이트를 다시 시작하면([{try_again}]) "
         "마무리됩니다."},
        {Text::UNPARSED_NOTE,
         "이 출력의 일부를 이해하지 못했습니다. 결과는 업데이트 프로그램의 종료 코드에 "
         "따릅니다."},
        {Text::LOG_FAILED_NOTE, "로그를 쓸 수 없습니다: {reason}"},
        {Text::FIRMWARE_LINE,
         "펌웨어 {version}: FPGA 이미지 {fpga_bytes}바이트(SHA-256 {fpga_sha256}), MCU 이미지 "
         "{mcu_bytes}바이트(SHA-256 {mcu_sha256})"},
    },
};
