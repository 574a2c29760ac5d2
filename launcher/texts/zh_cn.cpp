// The window's texts in Simplified Chinese (mainland China and Singapore).
#include "texts.h"

extern const Language CHINESE_SIMPLIFIED = {
    "zh-CN",
    0x04,
    {0x02, 0x04},  // SUBLANG_CHINESE_SIMPLIFIED, SUBLANG_CHINESE_SINGAPORE
    "",
    {
        {Text::TRY_AGAIN_BUTTON, "重试"},
        {Text::DETAILS_BUTTON, "详细信息"},
        {Text::OPEN_LOG_FOLDER_BUTTON, "打开日志文件夹"},
        {Text::CANCEL_BUTTON, "取消"},
        {Text::CLOSE_BUTTON, "关闭"},
        {Text::BOOTLOADER_STEPS,
         "1. 断开 Torvik 的电源和 USB。\n"
         "2. 在打开 Torvik 电源的同时，连接 USB 线。"},
        {Text::STARTS_BY_ITSELF, "一旦检测到处于 Bootloader 模式的 Torvik，更新就会自动开始。"},
        {Text::WAITING_HEADLINE, "请以 Bootloader 模式连接 Torvik"},
        {Text::NORMAL_FIRMWARE_HEADLINE, "Torvik 正在运行普通固件"},
        {Text::NORMAL_FIRMWARE_MESSAGE, "更新需要 Torvik 处于 Bootloader 模式："},
        {Text::SEVERAL_HEADLINE, "有多台 Torvik 处于 Bootloader 模式"},
        {Text::SEVERAL_MESSAGE,
         "有 {count} 台 Torvik 处于 Bootloader 模式。请只让要更新的那一台保持连接，更新就会自动"
         "开始。"},
        {Text::GAVE_UP_HEADLINE, "未找到 Torvik"},
        {Text::GAVE_UP_MESSAGE, "{minutes} 分钟内没有检测到处于 Bootloader 模式的 Torvik。"},
        {Text::AGAIN_INTO_BOOTLOADER, "请再次让 Torvik 进入 Bootloader 模式："},
        {Text::THEN_TRY_AGAIN, "然后点击“{try_again}”。"},
        {Text::ANOTHER_UPDATE_HEADLINE, "另一个更新正在进行"},
        {Text::ANOTHER_UPDATE_MESSAGE,
         "这台电脑上正在进行另一个 Torvik 更新。那个更新结束后，本次更新会自动开始。"},
        {Text::UPDATING_HEADLINE, "正在更新 Torvik"},
        {Text::WRITING_PHASE, "正在写入 {image} 映像：第 {block} 块，共 {total} 块"},
        {Text::RESTARTING_PHASE, "正在重启 Torvik"},
        {Text::SECONDS_LEFT, "大约还剩 {seconds} 秒"},
        {Text::MINUTES_LEFT, "大约还剩 {minutes} 分钟"},
        {Text::WARNING, "请勿断开 Torvik。"},
        {Text::STOP_QUESTION,
         "要停止更新吗？\n\n停止后，Torvik 会停留在 Bootloader 模式，固件没有完全写入。再次开始"
         "更新即可完成。"},
        {Text::UPDATED_HEADLINE, "Torvik 已更新"},
        {Text::NOT_FOUND_HEADLINE, "没有找到 Torvik"},
        {Text::FAILED_HEADLINE, "更新失败"},
        {Text::UNEXPECTED_HEADLINE, "更新程序意外停止"},
        {Text::NOT_STARTED_HEADLINE, "无法启动更新程序"},
        {Text::STOPPED_HEADLINE, "更新已停止"},
        {Text::UPDATED_MESSAGE, "Torvik 会用新固件重新启动。无需再做任何操作。"},
        {Text::NOT_FOUND_MESSAGE, "更新程序没有找到处于 Bootloader 模式的 Torvik。"},
        {Text::FAILED_AT_BLOCK, "{image} 映像在第 {block} 块（共 {total} 块）失败。"},
        {Text::FAILED_BLOCK_UNNAMED, "有一个固件块没有得到确认。"},
        {Text::FAILED_ADVICE,
         "Torvik 没有重新启动。请换一根 USB 线或换一个 USB 端口，再次让 Torvik 进入 Bootloader "
         "模式，然后点击“{try_again}”：更新将从头开始。"},
        {Text::OUTPUT_BROKE_OFF, "更新程序的输出中断了。"},
        {Text::UNEXPECTED_MESSAGE,
         "torvikupdate.exe 以状态 {status} 结束。请点击“{try_again}”；如果再次发生，请把日志"
         "发送给技术支持。"},
        {Text::UPDATER_MISSING_MESSAGE,
         "本程序的文件夹中没有 torvikupdate.exe。请把整个 zip 文件解压到同一个文件夹，然后在那"
         "里启动 Update Torvik.exe。"},
        {Text::START_FAILED_MESSAGE,
         "Windows 无法启动 torvikupdate.exe：{reason}（错误 {error}）。"},
        {Text::STOPPED_MESSAGE,
         "Torvik 停留在 Bootloader 模式。再次开始更新（“{try_again}”）即可完成。"},
        {Text::UNPARSED_NOTE, "部分输出无法识别；结果以更新程序的退出状态为准。"},
        {Text::LOG_FAILED_NOTE, "无法写入日志：{reason}"},
        {Text::FIRMWARE_LINE,
         "固件 {version}：FPGA 映像 {fpga_bytes} 字节（SHA-256 {fpga_sha256}），MCU 映像 "
         "{mcu_bytes} 字节（SHA-256 {mcu_sha256}）"},
    },
};
