#!/usr/bin/env bash
# The Windows release as a person gets it, under Wine: the zip unzipped into a scratch folder and
# run from there, in a Wine prefix of the test's own, on X servers of its own, with the
# tone-coded test assets. The window, the keys and the sound are the end-to-end suite's own
# scripts (tests/e2e, E2E_SDL=windows); the fatal failures are checked here, where Windows shows
# them: one error box of jukebox.exe's (its arguments read from Wine's relay trace), a line on
# standard error of jukebox-console.exe's. Last, the installer beside the zip: installed
# silently, started as its Start-menu shortcut says, and uninstalled again without a trace.
#
#   usage: windows_test.sh ZIP BUILD_DIR   (the installer beside ZIP; BUILD_DIR: a Linux build,
#                                           for the test assets and the X helpers)
zip=$(realpath "${1:?usage: windows_test.sh ZIP BUILD_DIR}")
build=$(realpath "${2:?usage: windows_test.sh ZIP BUILD_DIR}")
here=$(cd "$(dirname "$0")" && pwd)
work=$build/windows-test
export E2E_ASSETS=$build/test-assets E2E_TOOLS=$build/tests/e2e E2E_SDL=windows
export JUKEBOX=$work/jukebox E2E_WORK=$work/main
rm -rf "$work"
mkdir -p "$work"
# shellcheck source=../e2e/harness.sh
source "$here/../e2e/harness.sh"

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" WINEDEBUG=-all
unset WINEPATH

# --- the zip -----------------------------------------------------------------------------------

unzip -q "$zip" -d "$work/unzipped" || bail "unzip $zip"
folders=("$work"/unzipped/*)
check_eq "the zip holds one folder, named for the release" "${zip##*/}" "${folders[0]##*/}-win64.zip"
folder=${folders[0]}
for file in jukebox.exe jukebox-console.exe README.txt LICENSE data/b.png data/images/icon.bmp \
    data/bgm1.ogg licences/SOURCES.txt; do
    [[ -f $folder/$file ]] || fail "the folder holds $file"
done

# program_facts FILE: what Explorer reads of a program: its subsystem, the types of resource it
# carries (3 icon, e icon group, 10 version information) and its product version.
program_facts() {
    local dump
    dump=$(x86_64-w64-mingw32-objdump -p "$1")
    echo "$(sed -n 's/^Subsystem[[:space:]]*[0-9]*[[:space:]]*//p' <<<"$dump")" \
        "$(sed -n 's/^0[0-9a-f]*   Entry: ID: 0x0*\([0-9a-f]*\),.*/\1/p' <<<"$dump" | tr '\n' ' ')" \
        "$(strings -el -n 3 "$1" | grep -A1 -x ProductVersion | tail -n 1)"
}
version=${folder##*/jukebox-}
check_eq "jukebox.exe is windowed and carries its icon and version" \
    "(Windows GUI) 3 e 10  $version" "$(program_facts "$folder/jukebox.exe")"
check_eq "jukebox-console.exe is a console program and carries its icon and version" \
    "(Windows CUI) 3 e 10  $version" "$(program_facts "$folder/jukebox-console.exe")"

# imports FILE: the DLLs FILE names, in lower case.
imports() {
    x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | tr '[:upper:]' '[:lower:]'
}
# The DLLs shipped are exactly those the programs need, one import leading to the next; the
# others they name are Windows' own.
needed=() queue=("$folder/jukebox.exe" "$folder/jukebox-console.exe")
while ((${#queue[@]})); do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for dll in $(imports "$file"); do
        path=$(find "$folder" -maxdepth 1 -iname "$dll" -print -quit)
        [[ -n $path && " ${needed[*]} " != *" $dll "* ]] || continue
        needed+=("$dll")
        queue+=("$path")
    done
done
shipped=$(cd "$folder" && ls -- *.dll | tr '[:upper:]' '[:lower:]' | sort | tr '\n' ' ')
check_eq "the DLLs shipped are those the programs need" "$shipped" \
    "$(printf '%s\n' "${needed[@]}" | sort | tr '\n' ' ')"

# Each program and DLL asks Windows for ASLR, high-entropy ASLR and DEP: DllCharacteristics
# 0x40 (dynamic base), 0x20 (high-entropy addresses) and 0x100 (NX compatible).
for file in "$folder"/*.exe "$folder"/*.dll; do
    flags=$(x86_64-w64-mingw32-objdump -p "$file" | awk '$1 == "DllCharacteristics" { print $2 }')
    check "${file##*/}: ASLR, high-entropy ASLR and DEP (DllCharacteristics ${flags:-none})" \
        test "$((0x${flags:-0} & 0x160))" -eq "$((0x160))"
done

# --- the Wine prefix ---------------------------------------------------------------------------

# Made once for the whole test. The relay trace shows the calls of MessageBoxA alone.
{
    "$wine" wineboot --init &&
        "$wine" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d user32.MessageBoxA /f &&
        "${wine%/*}/wineserver" --kill && "${wine%/*}/wineserver" --wait
} >"$work/prefix.log" 2>&1 || {
    tail "$work/prefix.log"
    bail "a Wine prefix was made"
}

# The programs as the folder has them, started by the harness from a run directory of test
# assets, as a shortcut whose working folder holds data\ would.
for program in jukebox jukebox-console; do
    printf '#!/bin/sh\nexec %q %q "$@"\n' "$wine" "$folder/$program.exe" >"$work/$program"
    chmod +x "$work/$program"
done
# Where the program's own code lies (each module's ImageBase and size), for the harness to tell a
# fault of the program's from one inside Wine's own DLLs (wine_fault).
E2E_WINDOWS_MODULES=$(for file in "$folder"/*.exe "$folder"/*.dll; do
    x86_64-w64-mingw32-objdump -p "$file" | awk '$1 == "ImageBase" { base = $2 } $1 == "SizeOfImage" { size = $2 } END { print base ":" size }'
done | tr '\n' ' ')
export E2E_WINDOWS_MODULES

# --- the window, the keys, the sound -----------------------------------------------------------

for script in window keys sound; do
    E2E_WORK=$work/$script bash "$here/../e2e/$script.sh" | sed "s/^\(not \)\{0,1\}ok - /&$script: /" \
        >"$work/$script.out"
    status=${PIPESTATUS[0]}
    grep -v '^# windows: ' "$work/$script.out"
    check "$script: every check passed under Wine" test "$status" -eq 0
done

# --- broken files ------------------------------------------------------------------------------

# The reproducers and a few mutants of each asset through the console program: it plays each or
# reports it, never a crash or a hang.
E2E_WORK=$work/corpus E2E_MUTANTS=3 JUKEBOX=$work/jukebox-console bash "$here/../e2e/corpus.sh" |
    sed "s/^\(not \)\{0,1\}ok - /&corpus: /" >"$work/corpus.out"
status=${PIPESTATUS[0]}
grep -v '^# windows: ' "$work/corpus.out"
check "corpus: every check passed under Wine" test "$status" -eq 0

# --- fatal failures ----------------------------------------------------------------------------

start_x
export WINEDEBUG=-all,+relay

# relay_boxes: the MessageBoxA calls the run made, one line each: text, title, style, as Wine's
# relay trace prints them (control characters escaped as \n).
relay_boxes() {
    sed -n 's/^[0-9a-f]*:Call user32\.MessageBoxA(\([0-9a-f]*\),[0-9a-f]* \(".*"\),[0-9a-f]* \(".*"\),\([0-9a-f]*\)) ret=.*/\1 \2 \3 \4/p' \
        "$JUKEBOX_RUN/stderr"
}

# failing RUN KEY [NAME=VALUE...]: starts the jukebox (JUKEBOX) in RUN with the given environment
# (by default SDL's dummy sound output) and, unless KEY is "-", presses KEY once its window is
# there.
failing() {
    local run=$1 key=$2
    shift 2
    launch "$run" SDL_AUDIODRIVER=dummy "$@"
    if [[ $key != - ]]; then
        find_window && focus_window || {
            fail "the jukebox starts before $key is pressed"
            return 1
        }
        press "$key" 0.3
    fi
}

# box_failure DESCRIPTION FUNCTION DETAIL KEY SPOIL [NAME=VALUE...]: the windowed program, its data
# spoilt by the command SPOIL (run in the run directory), fails with one box of the report, after
# its window has gone. Wine's own process may end by SIGSEGV after the box was asked for and
# before it shows (README, Known issues): the case then runs once more.
box_failure() {
    local what=$1 text run attempt box
    text=$(printf 'user error (%s\\nSDL message: %s)\\n' "$2" "$3")
    for attempt in 1 2; do
        run=$(fresh_data)
        (cd "$run" && eval "$5")
        JUKEBOX=$work/jukebox failing "$run" "$4" "${@:6}" || return
        box=$(timeout 20 xdotool search --sync --onlyvisible --name '^jukebox\.exe$' 2>/dev/null | head -n 1)
        [[ -z $box ]] || break
        wait_exit 5
        if ((attempt == 1)) && [[ $JUKEBOX_STATUS == 139 && $(relay_boxes) == "$(box_call "$text")" ]]; then
            echo "# $what: wine64 ended by SIGSEGV after the box was asked for: Wine's fault; once more"
            continue
        fi
        fail "$what: an error box appeared"
        echo "# the program's status: $JUKEBOX_STATUS; its boxes: $(relay_boxes)"
        echo "# it printed last: $(grep -v ':Ret ' "$JUKEBOX_RUN/stderr" | tail -n 3 | tr '\n' '|')"
        [[ $JUKEBOX_STATUS != running ]] || kill "$JUKEBOX_PID"
        return
    done
    check_eq "$what: one MessageBoxA(NULL, the report, \"jukebox.exe\", MB_OK|MB_ICONERROR|MB_TASKMODAL)" \
        "$(box_call "$text")" "$(relay_boxes)"
    check "$what: the jukebox's window has gone before the box" \
        test -z "$(xwininfo -root -tree | grep -F '"ジュークボックス"')"
    check "$what: the program waits for the box" running
    JUKEBOX_WINDOW=$box
    focus_window && press Return
    wait_exit 10
    check_eq "$what: Return ends it with status 1" 1 "$JUKEBOX_STATUS"
    [[ $JUKEBOX_STATUS != running ]] || kill "$JUKEBOX_PID"
}
# box_call TEXT: the relay trace's line of the one box the report should make.
box_call() {
    echo "00000000 \"$1\" \"jukebox.exe\" 00002010"
}

# console_failure DESCRIPTION FUNCTION DETAIL KEY SPOIL [NAME=VALUE...]: the console program reports
# the same failure on standard error (its lines ending in CR LF, as Windows text output does), and
# ends by itself: no box holds it. Wine's trace is off here, since it would run into the report.
console_failure() {
    local what="console: $1" run
    run=$(fresh_data)
    (cd "$run" && eval "$5")
    JUKEBOX=$work/jukebox-console failing "$run" "$4" WINEDEBUG=-all "${@:6}" || return
    wait_exit 10
    wine_fault "$what" 1
    check_eq "$what: it ends by itself, with status 1" 1 "$JUKEBOX_STATUS"
    [[ $JUKEBOX_STATUS != running ]] || kill "$JUKEBOX_PID"
    check_eq "$what: the report on standard error" \
        "$(printf 'jukebox-console.exe: user error (%s\nSDL message: %s)' "$2" "$3")" \
        "$(library_notices "$JUKEBOX_RUN/stderr")"
}

failures=(
    "icon missing|IMG_Load|Couldn't open data/images/icon.bmp|-|rm data/images/icon.bmp"
    "picture missing|IMG_Load|Couldn't open data/b.png|-|rm data/b.png"
    "track missing|Mix_LoadMUS|Couldn't open 'data/bgm1.ogg'|1|rm data/bgm1.ogg"
    "effect missing|Mix_LoadWAV|Couldn't open data/s0.wav|s|rm data/s0.wav"
    "effect broken|Mix_LoadWAV|Couldn't load data/s0.wav: Invalid block alignment|s|cp $here/../corpus/effect-ima-adpcm-block-align-0.wav data/s0.wav"
    "picture broken|IMG_Load|Couldn't load data/b.png: PNG chunk runs past the end of the file|-|cp $here/../corpus/picture-png-ancillary-chunk-past-end.png data/b.png"
)
for entry in "${failures[@]}"; do
    IFS='|' read -r what function detail key spoil <<<"$entry"
    box_failure "$what" "$function" "$detail" "$key" "$spoil"
    console_failure "$what" "$function" "$detail" "$key" "$spoil"
done
# No sound device: an output SDL does not have.
box_failure "no sound device" Mix_OpenAudio "No SDL error" - : SDL_AUDIODRIVER=bogus
console_failure "no sound device" Mix_OpenAudio "No SDL error" - : SDL_AUDIODRIVER=bogus

# A normal quit shows no box.
launch "$(fresh_data)" SDL_AUDIODRIVER=dummy
find_window && focus_window && chord Alt_L F4
wait_exit 10
check_eq "a normal quit: exit status" 0 "$JUKEBOX_STATUS"
check_eq "a normal quit: no box" "" "$(relay_boxes)"
export WINEDEBUG=-all

# --- the installer -----------------------------------------------------------------------------

setup=${zip%-win64.zip}-setup.exe
installed="$WINEPREFIX/drive_c/Program Files/Jukebox"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Jukebox"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Jukebox'
timeout 60 "$wine" "$setup" /S >"$work/setup.log" 2>&1
check_eq "setup /S: exit status" 0 "$?"
check_eq "setup /S: Program Files\Jukebox holds the release folder and the uninstaller" "uninstall.exe" \
    "$(diff -r "$folder" "$installed" | sed -n "s|^Only in $installed: ||p")$(diff -rq "$folder" "$installed" | grep -v '^Only in .*: uninstall\.exe$')"
check "setup /S: the Start menu has the shortcut" test -f "$menu/Jukebox.lnk"
registered() {
    "$wine" reg query "$uninstall_key" /v UninstallString >/dev/null 2>&1
}
check "setup /S: an uninstaller is registered" registered

# The shortcut starts the installed program in its own folder, so that it finds data\: read as
# Explorer reads it, then started that way (SDL's dummy sound output standing in for a device).
check_eq "the shortcut: its target and working folder" \
    "$(printf 'C:\\Program Files\\Jukebox\\jukebox.exe\nC:\\Program Files\\Jukebox')" \
    "$(python3 "$here/lnk_target.py" "$menu/Jukebox.lnk")"
(cd "$installed" && exec env SDL_AUDIODRIVER=dummy "$wine" 'C:\Program Files\Jukebox\jukebox.exe' \
    >"$work/shortcut.out" 2>&1) &
JUKEBOX_PID=$!
JUKEBOX_RUN=$work
e2e_pids+=("$JUKEBOX_PID")
if find_window && focus_window; then
    check "the shortcut: the jukebox shows its installed picture" shows "$installed/data/b.png"
    chord Alt_L F4
    wait_exit 10
    check_eq "the shortcut: Alt+F4 ends it with status 0" 0 "$JUKEBOX_STATUS"
else
    fail "the shortcut starts the jukebox"
fi

# The uninstaller runs on as a copy of itself, so its end shows in what it removes.
timeout 60 "$wine" "$installed/uninstall.exe" /S >"$work/uninstall.log" 2>&1
for _ in $(seq 100); do
    [[ -e $installed || -e $menu ]] || break
    sleep 0.2
done
check_eq "uninstall /S: nothing is left of the installation" "" \
    "$(find "$installed" "$menu" 2>/dev/null | tr '\n' ' ')"
check_eq "uninstall /S: the uninstaller is no longer registered" false "$(registered && echo true || echo false)"
finish
