#!/usr/bin/env bash
# Gammu (Debian's package, unmodified) drives modemsim as a phone: identify, send with a status
# report asked for, read the loopback copy back, delete everything.
. "$(dirname "$0")/common.sh" "$1"
need gammu socat

start_modemsim demo
printf '[gammu]\ndevice = %s\nconnection = at\n' "$WORK/modem" >"$WORK/gammurc"
run() {
    echo "\$ gammu $*" >&2
    timeout 60 gammu -c "$WORK/gammurc" "$@" 2>&1 | tee /dev/stderr
}

out=$(run identify)
expect_in "Manufacturer         : Vantrel" "$out"
expect_in "IMEI                 : 356938035643809" "$out"
expect_in "SIM IMSI             : 204049876543210" "$out"

out=$(run sendsms TEXT +15550100 -report -text "hello from gammu")
expect_in "OK, message reference=0" "$out"
[ "$(counter accepted)" = 1 ] || fail "modemsim accepted $(counter accepted) messages"

# The demo's loopback number sends the text back two seconds after acceptance.
wait_until 5 "the loopback copy came" received
out=$(run getallsms)
expect_in 'Remote number        : "+15550100"' "$out"
expect_in "hello from gammu" "$out"
expect_in "1 SMS parts in 1 SMS sequences" "$out"

run deleteallsms 1 >/dev/null
out=$(run getallsms)
expect_in "0 SMS parts in 0 SMS sequences" "$out"
[ -z "$(ctl list | grep -v '^OK$' || true)" ] || fail "messages left: $(ctl list)"
echo "gammu: identify, sendsms -report, getallsms, deleteallsms passed"
