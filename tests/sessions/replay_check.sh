#!/bin/sh
# Replays a recorded session (NAME.session) with the simulated phone and runs the command its heading
# names ("# command: ..."): the program must print what it printed when the session was recorded
# (NAME.out), end with the recorded exit status ("# exit status: N"), and the replay must have had
# an answer for every command it was sent.
# Usage: replay_check.sh PANELGRAB-CLI SESSION-FILE SCRATCH-FOLDER
set -u
cli=$1
session=$2
scratch=$3
expected=${session%.session}.out
command=$(sed -n 's/^# command: //p' "$session")
status=$(sed -n 's/^# exit status: //p' "$session")
mkdir -p "$scratch"
out="$scratch/$(basename "$session").out"
err="$scratch/$(basename "$session").err"
eval "set -- $command"
"$cli" --fast-timing --port "sim:--replay=$session,--replay-timing=fast" "$@" >"$out" 2>"$err"
code=$?
failed=0
if [ "$code" != "$status" ]; then
    echo "exit status $code, recorded $status" >&2
    failed=1
fi
if ! cmp -s "$out" "$expected"; then
    echo "the output differs from $expected" >&2
    failed=1
fi
if grep -q 'replay: no recorded command' "$err"; then
    echo "the replay lacked a command:" >&2
    failed=1
fi
cat "$err" >&2
exit $failed
