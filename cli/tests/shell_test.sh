#!/usr/bin/env bash
# Drives `opkit-host shell` in tmux, as a person at the keyboard would, and reads the screen
# back: a call and its result, the self-test with its live clock and key codes ending on Enter,
# a V_DELAY that shows its wait and ends on the abort key, a WAIT_UV ended by a variable typed
# on the input line, a notice that waits for a key, and leaving with F10.
set -euo pipefail

tool=${1:?usage: shell_test.sh PATH-TO-opkit-host}
socket="opkit-shell-test-$$"
session="shell$$"
tmux_() { tmux -L "$socket" "$@"; }
cleanup() {
    tmux_ kill-server 2>/dev/null || true
    rm -f "${TMUX_TMPDIR:-/tmp}/tmux-$(id -u)/$socket"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "---- screen ----"
    tmux_ capture-pane -p -t "$session" 2>/dev/null || true
    exit 1
}
screen() { tmux_ capture-pane -p -t "$session"; }
# Waits up to $2 seconds (default 5) for a text on the screen.
wait_for() {
    local tries=$(( ${2:-5} * 10 ))
    for _ in $(seq 1 "$tries"); do
        if screen | grep -qF -- "$1"; then
            return 0
        fi
        sleep 0.1
    done
    fail "did not see: $1"
}
type_line() { tmux_ send-keys -t "$session" -l -- "$1"; tmux_ send-keys -t "$session" Enter; }
key() { tmux_ send-keys -t "$session" "$@"; }
# Row $1 of the emulated screen, as the frame shows it.
row() { screen | grep -E "^ {0,2}$1 \|" | head -1 | cut -c6-45; }

tmux_ new-session -d -s "$session" -x 110 -y 30 "$tool shell"
wait_for "opkit-host shell"
wait_for "(all empty)"

# A call with variables set on the input line.
type_line 'set 3 "12"'
type_line 'set 4 "9"'
wait_for '3 = "12"'
type_line 'call CMP_INT left=3 relation=GE right=4 mode=S'
wait_for "result 1"
type_line 'expect result 1'
wait_for "ok: expect result 1"

# The self-test: labels, the cursor, the clock ticking, key codes, and Enter ending it.
type_line 'message 5'
wait_for "Cursor @5,10"
wait_for "self-test: press keys"
first=$(row 1)
[[ "$first" =~ ^[0-9]{6} ]] || fail "row 1 shows no time: '$first'"
[[ "$(row 2)" =~ ^[0-9]{6} ]] || fail "row 2 shows no date: '$(row 2)'"
sleep 1.3
[[ "$(row 1)" != "$first" ]] || fail "the time on row 1 does not move: '$first'"
key x
wait_for "Key code = 0x78"
key A
wait_for "Key code = 0x41"
key Escape
wait_for "Key code = 0x1B"
[[ "$(row 5)" == "ABCDEFGHIJ"* ]] || fail "row 5: '$(row 5)'"
key Enter
wait_for "Key code = 0xD"
wait_for "message 5 => 0"
wait_for "state  idle"

# V_DELAY shows how long it has left; the abort key ends it early.
type_line 'call V_DELAY count=300'
wait_for "V_DELAY waiting"
wait_for "s left"
key C-a
wait_for "abort key (256) sent"
wait_for "=> 0" 2
wait_for "state  idle"

# WAIT_UV waits for a variable; Ctrl-T gives the input line back, and setting it ends the wait.
type_line 'call WAIT_UV variable=7 timeout=60'
wait_for "WAIT_UV waiting for variable 7"
key C-t
wait_for "input line: directives act on the host now"
type_line 'set 7 "scanned"'
wait_for "result 1"
wait_for '7 = "scanned"'

# A notice waits for any key.
type_line '05HELLO'
wait_for "Bad CCFR(M1):05HELLO"
wait_for "notice waiting for a key"
key q
wait_for "=> 0"
wait_for "state  idle"

# Popup box in reverse video: the frame is drawn and the panel keeps up.
type_line 'call POPUPWN action=open rows=2 frame=reverse'
wait_for "+----------------------+"
type_line 'call POPUPWN action=close'
wait_for "call \"09POPUPWN R\" => 0"

# A bad directive is explained on the status line; F10 leaves.
type_line 'set 0 x'
wait_for "variable must be 1 to 99"
key F10
left=no
for _ in $(seq 1 30); do
    if ! tmux_ has-session -t "$session" 2>/dev/null; then
        left=yes
        break
    fi
    sleep 0.1
done
[[ $left == yes ]] || fail "F10 did not leave the shell"

# SIGTERM closes the view and ends with 128+15, not with the status of failed expectations.
status_file=$(mktemp)
trap 'cleanup; rm -f "$status_file"' EXIT
session="${session}t"
tmux_ new-session -d -s "$session" -x 110 -y 30 "$tool shell; echo \$? > $status_file"
wait_for "opkit-host shell"
pane=$(tmux_ list-panes -t "$session" -F '#{pane_pid}')
pid=$(pgrep -P "$pane" | head -1)
[[ -n $pid ]] || fail "no shell process under the pane"
kill -TERM "$pid"
for _ in $(seq 1 50); do
    [[ -s $status_file ]] && break
    sleep 0.1
done
[[ "$(cat "$status_file")" == 143 ]] || fail "SIGTERM: exit status '$(cat "$status_file")', expected 143"
# A recorded session replays green: the calls with their clock and result, the abort key sent
# during a delay as a timed event, the final variables (TM_DATE's clock texts among them) and
# screen as expectations. A recording that cannot be written fails before the view opens.
record_dir=$(mktemp -d)
trap 'cleanup; rm -f "$status_file"; rm -rf "$record_dir"' EXIT
recording="$record_dir/session.txt"
session="${session}r"
tmux_ new-session -d -s "$session" -x 110 -y 30 "$tool shell --record $recording; echo \$? > $status_file"
wait_for "opkit-host shell"
type_line 'set 3 "12"'
type_line 'call INTMATH left=3 operator=* right=3'
wait_for "result 0"
type_line 'call V_DELAY count=999'
wait_for "V_DELAY waiting"
key C-a
wait_for "abort key (256) sent"
wait_for '999" => 0' 10
type_line 'call TM_DATE hours=24 time_variable=7 style=AMER date_variable=8'
wait_for '8 = "'
type_line '23POPUPWN C     02      R'
wait_for "+---"
: > "$status_file"
key F10
for _ in $(seq 1 50); do
    [[ -s $status_file ]] && break
    sleep 0.1
done
[[ "$(cat "$status_file")" == 0 ]] || fail "--record: exit status '$(cat "$status_file")'"
grep -q '^at +[0-9]*ms key 256$' "$recording" || fail "--record: no timed abort key in $(cat "$recording")"
grep -q '^expect var 7 "' "$recording" || fail "--record: no expectation of variable 7"
grep -q '^expect screen 1 ' "$recording" || fail "--record: no expectation of screen row 1"
replay=$("$tool" run "$recording") || fail "--record: the replay failed: $replay"
[[ $replay == *"4 calls, "*"expectations passed"* ]] || fail "--record: replay said: $replay"
if "$tool" shell --record "$record_dir/missing/session.txt" </dev/null >/dev/null 2>"$record_dir/err"; then
    fail "--record into a missing folder did not fail"
fi
grep -q "cannot write the recording" "$record_dir/err" || fail "--record: $(cat "$record_dir/err")"
echo "shell test passed"
