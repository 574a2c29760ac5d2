# Runs "Update Torvik.exe" under Wine in an X server of its own against the
# virtual Torvik, driven from outside by window-probe (tests/windows), and
# checks what it showed, its exit status, its log and what the device counted.
#   cmake -DRUN=run-under-wine.sh -DX_SERVER=in-x-server.sh -DBUILD_DIR=DIR -DWINDOW=FILE
#         -DUPDATER=FILE -DPROBE=FILE -DPREFIX=DIR -DOUTPUT_DIR=DIR -DFPGA_IMAGE=FILE
#         -DMCU_IMAGE=FILE -DVERSION=X.Y.Z -DCASE=NAME -P check_window.cmake
# BUILD_DIR is the 64-bit build tree with the virtual Torvik; WINDOW and
# UPDATER the programs to run, of that build or of a 32-bit one, PROBE of the
# same build as WINDOW. The window runs from a folder named as a second
# download, with a decoy torvikupdate.exe in the folder it is started in:
# the updater beside it is the only one it may run. The cases are below.

foreach(variable IN ITEMS RUN X_SERVER BUILD_DIR WINDOW UPDATER PROBE PREFIX OUTPUT_DIR
                          FPGA_IMAGE MCU_IMAGE VERSION CASE)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()

# Wine shows the Unix root as drive Z:.
function(windowspath path out_var)
    string(REPLACE "/" "\\" path "Z:${path}")
    set(${out_var} "${path}" PARENT_SCOPE)
endfunction()

set(folder "${OUTPUT_DIR}/torvikupdate-1.0.0-win64 (1)")
file(REMOVE_RECURSE "${OUTPUT_DIR}")
file(MAKE_DIRECTORY "${folder}")
file(COPY "${WINDOW}" DESTINATION "${folder}")
get_filename_component(window_name "${WINDOW}" NAME)
windowspath("${folder}/${window_name}" window)
if(CASE STREQUAL "updater_missing")
    configure_file("${UPDATER}" "${OUTPUT_DIR}/torvikupdate.exe" COPYONLY)
else()
    file(COPY "${UPDATER}" DESTINATION "${folder}")
endif()
set(tools "${BUILD_DIR}/tools/virtual-torvik")
windowspath("${tools}/virtual-torvik-control.exe" control)
windowspath("${tools}/virtual-torvik-install.exe" install)
windowspath("${tools}/virtual-torvik.inf" inf)
windowspath("${tools}/virtual-torvik-collection.inf" collection_inf)

# What the window shows, from the images built in: one block per dot, the
# FPGA stream with its 4-byte length first.
file(SIZE "${FPGA_IMAGE}" fpga_size)
file(SIZE "${MCU_IMAGE}" mcu_size)
file(SHA256 "${FPGA_IMAGE}" fpga_sha256)
file(SHA256 "${MCU_IMAGE}" mcu_sha256)
math(EXPR fpga_blocks "(${fpga_size} + 4 + 2047) / 2048")
math(EXPR mcu_blocks "${mcu_size} / 2048")
math(EXPR blocks "${fpga_blocks} + ${mcu_blocks}")
string(SUBSTRING "${fpga_sha256}" 0 16 fpga_short)
string(SUBSTRING "${mcu_sha256}" 0 16 mcu_short)
string(REPEAT "." ${fpga_blocks} fpga_dots)
string(REPEAT "." ${mcu_blocks} mcu_dots)

# Control IDs (launcher/window_controls.h).
set(HEADLINE 101)
set(MESSAGE 102)
set(FIRMWARE 103)
set(PHASE 105)
set(TIME_LEFT 106)
set(WARNING 107)
set(DETAILS_TEXT 108)
set(LOG_NAME 109)
set(PROGRESS 104)
set(TRY_AGAIN 110)
set(DETAILS 111)
set(CANCEL 2)
windowspath("${folder}/torvikupdate.exe" updater)

set(old_logs "%LOCALAPPDATA%\\Torvik\\Logs")
set(user_copy "update-20000101-000010-2 - Copy.log")
set(user_note "update-notes-for-suppor.log")

set(updating text ${HEADLINE} "Updating the Torvik" text ${WARNING} "Do not disconnect the Torvik.")
set(updated limit 120000 text ${HEADLINE} "The Torvik is updated" bar ${blocks} ${blocks}
    empty ${WARNING} text ${CANCEL} "Close" limit 60000)
set(stopping "*bootloader mode*")

# The shipped languages: the locale that sets Wine's display language, and
# the headline the waiting screen shows in it.
set(languages
    en_US.UTF-8 "Connect the Torvik in bootloader mode"
    de_DE.UTF-8 "Schließen Sie den Torvik im Bootloader-Modus an"
    fr_FR.UTF-8 "Branchez le Torvik en mode bootloader"
    es_ES.UTF-8 "Conecte el Torvik en modo bootloader"
    it_IT.UTF-8 "Collega il Torvik in modalità bootloader"
    pt_BR.UTF-8 "Conecte o Torvik no modo bootloader"
    pl_PL.UTF-8 "Podłącz Torvik w trybie bootloadera"
    ja_JP.UTF-8 "Torvik をブートローダー モードでつないでください"
    zh_CN.UTF-8 "请以 Bootloader 模式连接 Torvik"
    ko_KR.UTF-8 "Torvik을 부트로더 모드로 연결하세요")

# Wine gives a program started by another Wine program its parent's display
# language, so each language's window is started from Unix, by this script,
# with its own LC_ALL: `launch` runs it, `attach` finds the window's program.
# The second copy has no updater beside it: its end screen comes at once.
set(missing_folder "${OUTPUT_DIR}/without the updater")
file(MAKE_DIRECTORY "${missing_folder}")
file(COPY "${WINDOW}" DESTINATION "${missing_folder}")
set(start_script "${OUTPUT_DIR}/start-window.sh")
file(WRITE "${start_script}" "#!/bin/sh
# start-window.sh LOCALE waiting|missing
folder='${folder}'
[ \"$2\" = waiting ] || folder='${missing_folder}'
LANG=$1 LC_ALL=$1 exec wine \"$folder/${window_name}\" </dev/null >/dev/null 2>&1
")
function(languagesteps out_var)
    set(steps "")
    set(rest ${languages})
    while(rest)
        list(POP_FRONT rest locale headline)
        list(APPEND steps
            launch "Z:\\bin\\sh ${start_script} ${locale} waiting" attach "${window_name}"
            text ${HEADLINE} "${headline}" layout escape exit 2
            launch "Z:\\bin\\sh ${start_script} ${locale} missing" attach "${window_name}"
            text ${TRY_AGAIN} "*" layout click ${CANCEL} exit 1)
    endwhile()
    set(${out_var} ${steps} PARENT_SCOPE)
endfunction()

# The cases: the device's options, the probe's steps, the window's status
# and whether the device was told to restart.
set(options "")
set(restarted yes)
if(CASE STREQUAL "whole_update")
    # Held writes in the FPGA and the MCU image: while they are held the bar
    # and the phase must show exactly the blocks confirmed before.
    set(fpga_held 37)
    set(mcu_held 1)
    math(EXPR fpga_block "0x1000 + ${fpga_held}" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR mcu_block "4 + ${mcu_held}")
    math(EXPR fpga_shown "${fpga_held} + 1")
    math(EXPR mcu_shown "${mcu_held} + 1")
    math(EXPR mcu_bar "${fpga_blocks} + ${mcu_held}")
    set(options --hold-write=${fpga_block}:5:6000 --hold-write=${mcu_block}:5:6000)
    # Logs of earlier runs, more than are kept, and two files of the user's
    # named like logs: the run deletes the oldest logs and nothing else.
    set(steps "")
    foreach(second RANGE 10 33)
        list(APPEND steps touch "${old_logs}\\update-20000101-0000${second}.log")
    endforeach()
    set(steps ${steps} touch "${old_logs}\\${user_copy}" touch "${old_logs}\\${user_note}"
        start "${window}"
        text ${FIRMWARE} "Firmware ${VERSION}: FPGA image ${fpga_size} bytes (SHA-256 ${fpga_short}), MCU image ${mcu_size} bytes (SHA-256 ${mcu_short})"
        ${updating}
        bar ${fpga_held} ${blocks}
        text ${PHASE} "Writing the FPGA image: block ${fpga_shown} of ${fpga_blocks}"
        text ${TIME_LEFT} "About * left"
        end-session refused
        steady 1000
        # Between the held writes the blocks come faster than the window
        # redraws: the bar moves all the same.
        moving 10000 5
        bar ${mcu_bar} ${blocks}
        text ${PHASE} "Writing the MCU image: block ${mcu_shown} of ${mcu_blocks}"
        steady 1000
        ${updated} end-session allowed
        click ${DETAILS} text ${DETAILS_TEXT} "Updating FPGA.${fpga_dots} done.*Updating MCU.${mcu_dots} done.*Restarting...*"
        print ${LOG_NAME}
        enter exit 0)
elseif(CASE STREQUAL "starts_when_normal_firmware_becomes_bootloader")
    # It names the normal firmware and leaves it alone over more than one
    # look; switched to bootloader mode, the update starts within 2 s.
    set(options --device=normal)
    set(steps start "${window}"
        text ${HEADLINE} "The Torvik is running its normal firmware"
        steady 2500
        run "${control} --reset --device=bootloader" within 2000 ${updating}
        ${updated} click ${CANCEL} exit 0)
elseif(CASE STREQUAL "starts_when_a_torvik_appears")
    set(options --device=none)
    set(steps start "${window}"
        text ${HEADLINE} "Connect the Torvik in bootloader mode"
        run "${install} ${inf} ${collection_inf}" within 2000 ${updating}
        ${updated} click ${CANCEL} exit 0)
elseif(CASE STREQUAL "escape_while_waiting_ends_with_status_2")
    set(options --device=none)
    set(restarted no)
    set(steps start "${window}"
        text ${HEADLINE} "Connect the Torvik in bootloader mode"
        escape exit 2)
elseif(CASE STREQUAL "failed_mcu_block_then_try_again")
    # MCU block 6, the third, never acknowledged; then a device whose block
    # 0x1010 goes unanswered once, which holds the second run at block 17:
    # it shows only itself, from an empty bar, and Enter closes at its end.
    set(options --no-ack=6)
    math(EXPR failed_bar "${fpga_blocks} + 2")
    set(steps start "${window}" ${updating}
        limit 120000 text ${HEADLINE} "The update failed" limit 60000
        text ${MESSAGE} "The MCU image failed at block 3 of ${mcu_blocks}.*"
        bar ${failed_bar} ${blocks} end-session allowed
        run "${control} --reset --no-ack=0x1010:1"
        enter ${updating} bar 16 ${blocks}
        text ${PHASE} "Writing the FPGA image: block 17 of ${fpga_blocks}"
        hidden ${LOG_NAME} hidden ${DETAILS} hidden ${TRY_AGAIN}
        ${updated}
        click ${DETAILS} text ${DETAILS_TEXT} "Updating FPGA.${fpga_dots} done.*"
        lacks ${DETAILS_TEXT} "*failed*"
        enter exit 0)
elseif(CASE STREQUAL "stopping_asks_then_ends_the_updater")
    # Block 0x1010 is never acknowledged: the updater sends it four times and
    # waits some 24 s in reads, which its end cancels; time for the steps
    # below however busy the machine is (one unanswered sending, 6 s, was not).
    set(options --no-ack=0x1010:all)
    set(restarted no)
    # Enter answers no. Stopped, the bar stays where it was and Try again is
    # there, as the message says; with the updater gone by then, nothing of
    # the stopped run stays on the screen that says so.
    set(steps start "${window}" ${updating} bar 16 ${blocks}
        close answer enter "${stopping}" end-session refused
        escape answer yes "${stopping}"
        text ${HEADLINE} "The update was stopped" no-process torvikupdate.exe
        text ${TRY_AGAIN} "Try again" bar 16 ${blocks}
        text ${LOG_NAME} "*.log"
        remove "${updater}" enter
        text ${HEADLINE} "The updater could not be started"
        hidden ${LOG_NAME} hidden ${DETAILS} hidden ${PROGRESS}
        click ${CANCEL} exit 1)
elseif(CASE STREQUAL "closing_mid_update_stops_and_closes")
    set(options --no-ack=0x1010:all)
    set(restarted no)
    set(steps start "${window}" ${updating} bar 16 ${blocks}
        close answer yes "${stopping}" exit 4 no-process torvikupdate.exe)
elseif(CASE STREQUAL "languages_at_96_dpi")
    # Every language's waiting screen and end screen laid out; no Torvik.
    set(options --device=none)
    set(restarted no)
    languagesteps(steps)
elseif(CASE STREQUAL "languages_at_192_dpi")
    # The same at 200 %, then a whole update in German: its warning bold,
    # its screens laid out.
    set(options --device=none)
    languagesteps(steps)
    set(steps dpi 192 ${steps}
        launch "Z:\\bin\\sh ${start_script} de_DE.UTF-8 waiting" attach "${window_name}"
        text ${HEADLINE} "Schließen Sie den Torvik im Bootloader-Modus an"
        run "${install} ${inf} ${collection_inf}" text ${WARNING} "*" layout bold ${WARNING}
        limit 120000 text ${HEADLINE} "Der Torvik ist aktualisiert" limit 60000 layout
        click ${CANCEL} exit 0 dpi 96)
elseif(CASE STREQUAL "updater_missing")
    set(restarted no)
    set(steps start "${window}"
        text ${HEADLINE} "The updater could not be started"
        text ${MESSAGE} "*torvikupdate.exe*"
        click ${CANCEL} exit 1)
elseif(CASE STREQUAL "second_window_ends_and_brings_the_first_to_the_front")
    # Started while the first updates (its block 16 held), the second ends at
    # once with its own status and restores the first, minimized before. The
    # device takes one update's reports, and one log is written. Wine's ntdll
    # warns of each SetThreadExecutionState: the PC is kept awake while the
    # first updates, and no longer once it is done.
    windowspath("${OUTPUT_DIR}/stderr" trace)
    math(EXPR writes "${blocks} * 36 + 1")
    set(new_logs 1)
    set(options --hold-write=0x1010:5:6000)
    set(steps env WINEDEBUG -all,warn+ntdll start "${window}" ${updating} bar 16 ${blocks}
        awake "${trace}" yes minimize
        launch "\"${window}\"" within 5000 ends 5 front ${updating}
        ${updated} awake "${trace}" no click ${CANCEL} exit 0)
elseif(CASE STREQUAL "waits_for_another_updater_then_starts_within_2_s")
    # A torvikupdate.exe already at the Torvik, whose first block is not
    # acknowledged twice and then wrongly twice (12 s in all): the window
    # waits, without keeping the PC awake, and once that one has failed, runs
    # its own update: the device takes both updaters' reports, and the window
    # writes one log.
    windowspath("${folder}/torvikupdate.exe" other)
    windowspath("${OUTPUT_DIR}/stderr" trace)
    math(EXPR writes "(${blocks} + 4) * 36 + 1")
    set(new_logs 1)
    set(options --no-ack=0x1000:2 --wrong-ack=0x1000:2)
    set(steps launch "\"${other}\"" env WINEDEBUG -all,warn+ntdll start "${window}"
        text ${HEADLINE} "Another update is running"
        text ${MESSAGE} "Another Torvik update is running on this PC. This update starts by itself once that one has ended."
        awake "${trace}" no steady 1500
        ends 3 within 2000 ${updating} awake "${trace}" yes
        ${updated} awake "${trace}" no click ${CANCEL} exit 0)
else()
    message(FATAL_ERROR "no window case '${CASE}'")
endif()

# The logs that were there before the run: a case with `new_logs` counts
# those that were not.
set(log_glob "${PREFIX}/drive_c/users/*/AppData/Local/Torvik/Logs/update-*.log")
file(GLOB logs_before "${log_glob}")

# Every case starts at 96 dpi, whatever a case before it left.
set(steps dpi 96 ${steps})

windowspath("${PROBE}" probe)
set(stdout_file "${OUTPUT_DIR}/stdout")
set(stderr_file "${OUTPUT_DIR}/stderr")
execute_process(
    # English, and UTF-8 for the probe's arguments and output.
    COMMAND "${CMAKE_COMMAND}" -E env LANG=C.UTF-8 LC_ALL=C.UTF-8
            "${X_SERVER}" "${RUN}" "--build=${BUILD_DIR}" "--exe=${PROBE}" "--prefix=${PREFIX}"
            --x-display ${options} -- ${steps}
    WORKING_DIRECTORY "${OUTPUT_DIR}"
    INPUT_FILE /dev/null
    OUTPUT_FILE "${stdout_file}"
    ERROR_FILE "${stderr_file}"
    RESULT_VARIABLE status
    TIMEOUT 290)
file(READ "${stdout_file}" stdout)
file(READ "${stderr_file}" stderr)

set(failures "")
if(NOT status EQUAL 0)
    string(APPEND failures "the probe's status is ${status}:\n${stdout}")
endif()
if(NOT stderr MATCHES "restarted=${restarted}")
    string(APPEND failures "the device's counts are ${stderr}  expected restarted=${restarted}\n")
endif()
if(DEFINED writes AND NOT stderr MATCHES " writes=${writes} ")
    string(REGEX MATCH "writes=[0-9]+" took "${stderr}")
    string(APPEND failures "the device took ${took}, expected writes=${writes}\n")
endif()
if(DEFINED new_logs)
    file(GLOB logs_after "${log_glob}")
    if(logs_before)
        list(REMOVE_ITEM logs_after ${logs_before})
    endif()
    list(LENGTH logs_after log_count)
    if(NOT log_count EQUAL new_logs)
        string(APPEND failures "${log_count} logs were written (${logs_after}), expected ${new_logs}\n")
    endif()
endif()

# The log the end screen names: the images' hashes as sha256sum has them,
# one timed entry per block, the verdict; plain lines that end in CRLF.
if(stdout MATCHES "${LOG_NAME}: ([A-Za-z]:[^\r\n]*)")
    string(REGEX REPLACE "^[A-Za-z]:" "${PREFIX}/drive_c" log "${CMAKE_MATCH_1}")
    string(REPLACE "\\" "/" log "${log}")
    file(READ "${log}" log_text)  # without the CRs of CRLF: they are counted below
    file(READ "${log}" log_hex HEX)
    string(TOLOWER "${log_text}" lower)
    foreach(hash IN ITEMS ${fpga_sha256} ${mcu_sha256})
        if(NOT lower MATCHES "${hash}")
            string(APPEND failures "the log ${log} does not hold the SHA-256 ${hash}\n")
        endif()
    endforeach()
    string(REGEX MATCHALL "[0-9]+ ms +\\.\n" entries "${log_text}")
    list(LENGTH entries entry_count)
    if(NOT entry_count EQUAL blocks)
        string(APPEND failures "the log ${log} has ${entry_count} timed dots, expected ${blocks}\n")
    endif()
    if(NOT log_text MATCHES "The Torvik is updated")
        string(APPEND failures "the log ${log} does not give the verdict\n")
    endif()
    # In ASCII text a byte's two hex digits never start at an odd place, so
    # the two counts are of line ends.
    string(REGEX MATCHALL "0a" line_ends "${log_hex}")
    string(REGEX MATCHALL "0d0a" crlfs "${log_hex}")
    list(LENGTH line_ends line_end_count)
    list(LENGTH crlfs crlf_count)
    if(NOT line_end_count EQUAL crlf_count)
        string(APPEND failures "the log ${log} has a line that does not end in CRLF\n")
    endif()
elseif(CASE STREQUAL "whole_update")
    string(APPEND failures "the end screen names no log\n")
endif()

# The logs the window keeps: 20 of its names (the planted ones, this run's
# and those of the cases before), the oldest gone, the user's files kept.
if(CASE STREQUAL "whole_update" AND log)
    get_filename_component(log_folder "${log}" DIRECTORY)
    file(GLOB kept RELATIVE "${log_folder}" "${log_folder}/update-*.log")
    list(FILTER kept INCLUDE REGEX "^update-[0-9]+-[0-9]+(-[0-9]+)?\\.log$")
    list(LENGTH kept kept_count)
    if(NOT kept_count EQUAL 20)
        string(APPEND failures "the log folder holds ${kept_count} logs, expected 20: ${kept}\n")
    endif()
    foreach(name IN ITEMS update-20000101-000010.log update-20000101-000014.log)
        if(EXISTS "${log_folder}/${name}")
            string(APPEND failures "the oldest log ${name} was not deleted\n")
        endif()
    endforeach()
    foreach(name IN ITEMS "${user_copy}" "${user_note}")
        if(NOT EXISTS "${log_folder}/${name}")
            string(APPEND failures "the user's file ${name} was deleted\n")
        endif()
    endforeach()
endif()

if(failures)
    message("window case ${CASE} with '${options}':\n${failures}")
    message(FATAL_ERROR "the window did not do as expected")
endif()
# Only the device's counts: a case may have Wine's warnings there too.
string(REGEX MATCH "elapsed=[^\n]*" counts "${stderr}")
message(STATUS "window case ${CASE}: as expected (${counts})")
