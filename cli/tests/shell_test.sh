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
# One tmux server for the whole test: a session that lasts as long as the test keeps it from
# exiting between the sessions below, where a new session could reach a server still shutting
# down ("server exited unexpectedly").
tmux_ new-session -d -s keeper -x 80 -y 24 "sleep 3600"

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

# A recorded self-test (x, then Enter) and a notice answered with a key replay green: the keys
# reach message 5's key reads and the notice's wait at their times, and the notice is expected.
recording="$record_dir/selftest.txt"
session="${session}s"
tmux_ new-session -d -s "$session" -x 110 -y 30 "$tool shell --record $recording; echo \$? > $status_file"
wait_for "opkit-host shell"
type_line 'message 5'
wait_for "self-test: press keys"
sleep 0.5
key x
wait_for "Key code = 0x78"
sleep 0.3
key Enter
wait_for "message 5 => 0"
type_line '05HELLO'
wait_for "notice waiting for a key"
sleep 0.4
key q
wait_for '05HELLO" => 0'
: > "$status_file"
key F10
for _ in $(seq 1 50); do
    [[ -s $status_file ]] && break
    sleep 0.1
done
grep -q '^at +[0-9]*ms key 120$' "$recording" || fail "self-test: no timed x in $(cat "$recording")"
grep -q '^expect notice M1$' "$recording" || fail "notice: not expected in $(cat "$recording")"
replay=$("$tool" run --strict "$recording") || fail "self-test replay failed: $replay"
[[ $replay != *"pending"* ]] || fail "self-test replay left events pending: $replay"

# SIGHUP (the terminal closed) and SIGINT end the view as SIGTERM does: the terminal is given
# back, the session is recorded up to that point, and the status is 128 + the signal.
for signal in HUP INT; do
    recording="$record_dir/$signal.txt"
    session="${session}$signal"
    : > "$status_file"
    tmux_ new-session -d -s "$session" -x 110 -y 30 "$tool shell --record $recording; echo \$? > $status_file; sleep 5"
    wait_for "opkit-host shell"
    type_line 'call TRANMSG switch=off'
    wait_for "result 0"
    pane=$(tmux_ list-panes -t "$session" -F '#{pane_pid}')
    pid=$(pgrep -P "$pane" | head -1)
    kill -"$signal" "$pid"
    for _ in $(seq 1 50); do
        [[ -s $status_file ]] && break
        sleep 0.1
    done
    expected=$((128 + $(kill -l "$signal")))
    [[ "$(cat "$status_file")" == "$expected" ]] || fail "SIG$signal: exit status '$(cat "$status_file")', expected $expected"
    grep -q '^call "10TRANMSG N "$' "$recording" || fail "SIG$signal: the session was not recorded: $(cat "$recording")"
    "$tool" run "$recording" >/dev/null || fail "SIG$signal: the recording does not replay"
    screen | grep -q "opkit-host shell" && fail "SIG$signal: the view was not closed"
    tmux_ kill-session -t "$session"
done
# The terminal itself closed: the recording is there all the same.
recording="$record_dir/closed.txt"
session="${session}c"
tmux_ new-session -d -s "$session" -x 110 -y 30 "$tool shell --record $recording"
wait_for "opkit-host shell"
type_line 'call TRANMSG switch=off'
wait_for "result 0"
tmux_ kill-session -t "$session"
for _ in $(seq 1 50); do
    [[ -s $recording ]] && break
    sleep 0.1
done
grep -q '^call "10TRANMSG N "$' "$recording" || fail "closed terminal: the session was not recorded"

# A recording never overwrites a file that is no recording.
echo "my notes" > "$record_dir/notes.txt"
if "$tool" shell --record "$record_dir/notes.txt" 2>"$record_dir/err"; then
    fail "--record over a file that is no recording did not fail"
fi
grep -q "it exists and is not a recording" "$record_dir/err" || fail "--record notes: $(cat "$record_dir/err")"
[[ "$(cat "$record_dir/notes.txt")" == "my notes" ]] || fail "--record touched notes.txt"

# Without a terminal the view refuses at once, writing nothing.
start=$(date +%s)
if timeout 10 "$tool" shell </dev/null >"$record_dir/out" 2>"$record_dir/err"; then
    fail "shell without a terminal did not fail"
fi
grep -q "shell needs a terminal" "$record_dir/err" || fail "no terminal: $(cat "$record_dir/err")"
[[ ! -s "$record_dir/out" ]] || fail "no terminal: wrote $(od -c "$record_dir/out" | head -3)"
(( $(date +%s) - start < 5 )) || fail "no terminal: took too long"

# A terminal smaller than the frame is told so, not drawn in pieces.
session="${session}small"
tmux_ new-session -d -s "$session" -x 40 -y 15 "$tool shell"
wait_for "The terminal is 40 x 15; the view needs"
key F10
echo "shell test passed"
