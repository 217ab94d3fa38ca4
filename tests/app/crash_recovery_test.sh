#!/usr/bin/env bash
# Crash recovery as a user meets it: the real program (offscreen) edits a song, autosaves it
# every second, and is killed with SIGKILL or ends normally; the next start offers (or does not
# offer) the autosaved song. The programs are driven by their hidden test options:
#   --test-hooks STEPS    note, wait-autosave, report, save, quit (after start-up, in order)
#   --test-answers LIST   answers to the recovery questions and the unsaved-changes prompt
#
#   crash_recovery_test.sh POKOPEN POKOPEN_CLI SONG CASE
#   CASE: crash (kill, restart, restore, save), normal-end (nothing is offered afterwards),
#         two-programs (two at once never offer or delete each other's autosave)
set -euo pipefail
pokopen=$1
cli=$2
song=$3
case=$4

work=$(mktemp -d /tmp/pokopen-recovery.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# A copy of the program in a folder of its own keeps its INI file there (autosave every second,
# no sound); the per-user folders, and with them the autosave folder, lie in the scratch home.
mkdir -p "$work/bin" "$work/home"
cp "$pokopen" "$work/bin/pokopen"
printf '[AUTOSAVE]\nInterval=1\n[MIDIOUT]\nDevice=none\n' >"$work/bin/pokopen.ini"
cp "$song" "$work/song.kn2"
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home/config
export XDG_CACHE_HOME=$work/home/cache XDG_RUNTIME_DIR=$work/home/runtime QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
recovery=$XDG_DATA_HOME/pokopen/recovery

fail() {
    echo "FAILED: $*"
    for log in "$work"/*.log; do echo "--- ${log##*/}"; cat "$log"; done
    echo "--- autosave folder"; ls -la "$recovery" 2>/dev/null || true
    exit 1
}
# start NAME ARGS...: the program in the background, its output in NAME.log, its id in pid_NAME.
start() {
    local name=$1
    shift
    "$work/bin/pokopen" "$@" >"$work/$name.log" 2>&1 &
    pids+=($!)
    printf -v "pid_$name" '%s' "$!"
}
# run NAME ARGS...: the program to its end.
run() {
    local name=$1
    shift
    timeout 60 "$work/bin/pokopen" "$@" >"$work/$name.log" 2>&1 || fail "$name ended with status $?"
}
# wait_reports NAME N: until the program has printed N reports.
wait_reports() {
    for _ in $(seq 300); do
        [ "$(grep -c '^rows: ' "$work/$1.log" 2>/dev/null)" -ge "$2" ] && return 0
        sleep 0.1
    done
    fail "$1 printed no report $2"
}
# field NAME KEY [N]: the value of KEY in the program's Nth report (default the last).
field() {
    local values
    values=$(sed -n "s/^$2: //p" "$work/$1.log")
    if [ -n "${3:-}" ]; then sed -n "${3}p" <<<"$values"; else tail -n 1 <<<"$values"; fi
}
expect() { [ "$2" = "$3" ] || fail "$1: expected '$3', got '$2'"; }
autosaves() { find "$recovery" -name '*.recovery' 2>/dev/null | wc -l; }
locks() { find "$recovery" -name '*.lock' 2>/dev/null | wc -l; }
kill9() {
    kill -9 "$1"
    wait "$1" 2>/dev/null || true
}

original_rows=$("$cli" info "$work/song.kn2" | sed -n 's/^rows: //p')

case $case in
crash)
    start first --test-hooks note,wait-autosave,report "$work/song.kn2"
    wait_reports first 1
    edited_rows=$(field first rows)
    [ "$edited_rows" != "$original_rows" ] || fail "the note did not change the song"
    expect "Save after the edit" "$(field first save)" 1
    kill9 "$pid_first"
    expect "autosave files after the crash" "$(autosaves)" 1

    run second --test-answers restore --test-hooks report,save,report,quit "$work/song.kn2"
    expect "questions" "$(field second asked 1)" 1
    grep -q '^question: .*song\.kn2.*20[0-9][0-9]/[0-9][0-9]/[0-9][0-9] ' "$work/second.log" ||
        fail "the question does not name the song and the time"
    expect "restored rows" "$(field second rows 1)" "$edited_rows"
    expect "Save after the restore" "$(field second save 1)" 1
    expect "restored title" "$(field second title 1)" song
    expect "restored path" "$(field second path 1)" "$work/song.kn2"
    expect "Save after Ctrl+S" "$(field second save 2)" 0
    expect "rows in the saved file" "$("$cli" info "$work/song.kn2" | sed -n 's/^rows: //p')" "$edited_rows"
    expect "autosave files after the normal end" "$(autosaves)" 0
    expect "locks after the normal end" "$(locks)" 0
    ;;
normal-end)
    run first --test-answers no --test-hooks note,wait-autosave,report,quit "$work/song.kn2"
    expect "Save after the edit" "$(field first save)" 1
    expect "autosave files after the normal end" "$(autosaves)" 0
    expect "locks after the normal end" "$(locks)" 0
    run second --test-hooks report,quit "$work/song.kn2"
    expect "questions" "$(field second asked)" 0
    expect "rows" "$(field second rows)" "$original_rows"
    ;;
two-programs)
    start a --test-hooks note,wait-autosave,report "$work/song.kn2"
    wait_reports a 1
    start b --test-hooks report,note,wait-autosave,report
    wait_reports b 2
    expect "questions to the second program" "$(field b asked 1)" 0
    expect "autosave files of two programs" "$(autosaves)" 2
    kill9 "$pid_a"

    # One program runs (b), one is gone (a): only a's song is offered; declined, the command
    # line's song opens.
    run c --test-answers later --test-hooks report,quit "$work/song.kn2"
    expect "questions while b runs" "$(field c asked)" 1
    grep -q '^question: .*song\.kn2' "$work/c.log" || fail "a's song was not the one offered"
    expect "song opened after declining" "$(field c path)" "$work/song.kn2"
    expect "Save after declining" "$(field c save)" 0
    expect "autosave files after c" "$(autosaves)" 2
    kill -0 "$pid_b" || fail "b ended"

    # Both gone: offered newest first (b's untitled song, then a's); b's discarded, a's kept.
    kill9 "$pid_b"
    run d --test-answers discard,yes,later --test-hooks report,quit
    expect "questions with both gone" "$(field d asked)" 2
    [ "$(grep '^question: ' "$work/d.log" | head -n 1 | grep -c Notitle)" = 1 ] || fail "b's song did not come first"
    [ "$(grep '^question: ' "$work/d.log" | sed -n 2p | grep -c 'song\.kn2')" = 1 ] || fail "a's song did not come second"
    expect "autosave files left" "$(autosaves)" 1
    expect "locks left" "$(locks)" 0
    ;;
*)
    fail "unknown case $case"
    ;;
esac
echo "crash recovery ($case): passed"
