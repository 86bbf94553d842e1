#!/usr/bin/env bash
# Gammu (Debian's package, unmodified) on built-in personalities: identify, send with a status
# report asked for, read the loopback copy back, delete it.
# Usage: gammu_personalities.sh <modemsim program> <folder of the scenario files> <name>...
. "$(dirname "$0")/common.sh" "$1"
need gammu socat
SCENARIOS=$2
shift 2
[ $# -gt 0 ] || fail "no personality named"

run() {
    echo "\$ gammu $*" >&2
    timeout 60 gammu -c "$WORK/gammurc" "$@" 2>&1 | tee /dev/stderr
}

for name in "$@"; do
    file=$SCENARIOS/$name.scenario
    [ -f "$file" ] || fail "no personality $name"
    started=$SECONDS
    start_modemsim "$name"
    # As with a real modem after power-up, the client comes a few seconds later: past the boot
    # silence and the SMS stack start (simcom-a7670e: 3.5 s).
    sleep 4
    # A modem that answers its first commands one command late (ublox-sara-g450) loses gammu,
    # which takes the first answer it gets: as TinyGSM does, "AT" is written until the modem is
    # in step, then the client starts.
    lagging=$(awk '$1 == "set" && $2 == "lagging_replies" { print $3 }' "$file")
    for _ in $(seq "${lagging:-0}"); do
        printf 'AT\r' | socat -t 0.3 - "$WORK/modem,raw,echo=0" >/dev/null
    done
    printf '[gammu]\ndevice = %s\nconnection = at\n' "$WORK/modem" >"$WORK/gammurc"

    out=$(run identify)
    expect_in "IMEI                 :" "$out"
    out=$(run sendsms TEXT +15550100 -report -text "hello from gammu to $name")
    expect_in "OK, message reference=" "$out"
    wait_until 10 "the loopback copy on $name came" received
    out=$(run getallsms)
    expect_in "hello from gammu to $name" "$out"
    run deleteallsms 1 >/dev/null

    stop_modemsim
    echo "gammu: $name passed in $((SECONDS - started)) s"
done
echo "gammu: identify, sendsms -report, getallsms, deleteallsms passed on $*"
