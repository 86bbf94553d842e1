#!/usr/bin/env bash
# gnokii-cli (Debian's package, unmodified, its generic AT driver) drives modemsim as a phone:
# identify, send with a status report asked for, read the loopback copy back, delete it. Once on
# the demo and once on huawei-e173, whose ^RSSI comes between a command and its answer now and
# then: gnokii takes the first line after the echo as the answer, so it would read the message's
# location as empty if that happened before every reply.
. "$(dirname "$0")/common.sh" "$1"
need gnokii socat

# gnokii's own files (its error log) stay in the temporary folder.
export XDG_CONFIG_HOME=$WORK XDG_CACHE_HOME=$WORK
cat >"$WORK/gnokiirc" <<CONF
[global]
port = $WORK/modem
model = AT
connection = serial
use_locking = no
serial_baudrate = 115200
CONF
run() {
    echo "\$ gnokii $*" >&2
    timeout 60 gnokii --config "$WORK/gnokiirc" "$@" 2>&1 | tee /dev/stderr
}
# gnokii leaves +CNMI at 0, so the report the network sends has nowhere to go: the modem counts
# it as dropped, which shows that gnokii asked for it.
reported() { [ "$(counter reports_dropped)" = 1 ]; }

session() {
    local scenario=$1 manufacturer=$2 imei=$3
    start_modemsim "$scenario"
    out=$(run --identify)
    expect_in "Manufacturer : $manufacturer" "$out"
    expect_in "IMEI         : $imei" "$out"

    out=$(echo "hello from gnokii on $scenario" | run --sendsms +15550100 -r)
    expect_in "Send succeeded with reference 0" "$out"
    [ "$(counter accepted)" = 1 ] || fail "modemsim accepted $(counter accepted) messages"

    wait_until 10 "the loopback copy did not arrive" received
    out=$(run --getsms SM 1)
    expect_in "Sender: +15550100" "$out"
    expect_in "hello from gnokii on $scenario" "$out"
    wait_until 10 "no status report was asked for" reported

    out=$(run --deletesms SM 1)
    expect_in "Deleted SMS (location 1 from memory SM)" "$out"
    [ -z "$(ctl list | grep -v '^OK$' || true)" ] || fail "messages left: $(ctl list)"
    echo "gnokii on $scenario: identify, sendsms -r, getsms, deletesms passed"
    stop_modemsim
}

session demo Vantrel 356938035643809
session huawei-e173 huawei 355189041234567
# The trace of that last session: a ^RSSI followed by more of a reply, not alone on the line.
grep -qF '^RSSI:16\r\n\r\n' "$WORK/trace" || fail "no ^RSSI came inside a reply on huawei-e173"
