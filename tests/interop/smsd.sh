#!/usr/bin/env bash
# smsd (smstools3, Debian's package, unmodified) runs modemsim as its modem in the foreground
# with a temporary configuration: it sends a message asking for a status report, receives the
# loopback copy, the report and a Chinese message, and keeps its modem handler through several
# of its re-initialisations (each check of the modem starts again with ATE0 and
# AT+CMEE=1;+CREG=2). Usage: smsd.sh <modemsim program> [<personality>, default demo]
. "$(dirname "$0")/common.sh" "$1"
need smsd socat

start_modemsim "${2:-demo}"
# Reports stored in SM, where smsd reads messages, as many modems do (oFono at_cdsi_notify).
ctl "set reports_in_sm on" >/dev/null
spool=$WORK/spool
mkdir -p "$spool"/{outgoing,checked,incoming,failed,sent}
cat >"$WORK/smsd.conf" <<CONF
devices = GSM1
outgoing = $spool/outgoing
checked = $spool/checked
incoming = $spool/incoming
failed = $spool/failed
sent = $spool/sent
logfile = $WORK/smsd.log
loglevel = 7
infofile = $WORK/smsd.working
pidfile = $WORK/smsd.pid
delaytime = 1
delaytime_mainprocess = 1
receive_before_send = no

[GSM1]
device = $WORK/modem
incoming = yes
report = yes
baudrate = 115200
# Status reports stored (ds=2) without an indication; smsd finds them when it reads memory.
init = AT+CNMI=0,0,0,2,0
CONF
printf 'To: 15550100\nReport: yes\n\nhello from smsd\n' >"$spool/outgoing/hello"

smsd -t -c"$WORK/smsd.conf" >"$WORK/smsd.out" 2>&1 &
PIDS+=($!)

# Waits for a file in a spool folder holding `text`.
wait_for_file_with() {
    local folder=$1 text=$2 seconds=$3
    for _ in $(seq $((seconds * 10))); do
        grep -rqs -- "$text" "$folder" && return 0
        sleep 0.1
    done
    cat "$WORK/smsd.log" >&2
    fail "no file with '$text' in $folder after $seconds s"
}

wait_for_file_with "$spool/sent" "hello from smsd" 20
[ "$(counter accepted)" = 1 ] || fail "modemsim accepted $(counter accepted) messages"
ctl 'deliver from=+8613814120678 text="你好，smsd"' >/dev/null
wait_for_file_with "$spool/incoming" "hello from smsd" 20
wait_for_file_with "$spool/incoming" "SMS STATUS REPORT" 20
wait_for_file_with "$spool/incoming" "Discharge_timestamp" 1
wait_for_file_with "$spool/incoming" "From: 8613814120678" 20

# The soak: several more re-initialisations, each must reach the memory check again.
before=$(grep -c 'Pre-initializing modem' "$WORK/smsd.log")
for _ in $(seq 150); do
    [ $(($(grep -c 'Pre-initializing modem' "$WORK/smsd.log") - before)) -ge 4 ] && break
    sleep 0.1
done
grep -E 'Stopping|<- .*ERROR' "$WORK/smsd.log" && fail "smsd stopped or the modem refused a command"
[ $(($(grep -c 'Pre-initializing modem' "$WORK/smsd.log") - before)) -ge 4 ] ||
    fail "smsd re-initialised fewer than 4 times in 15 s"
kill -0 "${PIDS[1]}" || fail "smsd exited"
grep -E 'SMS sent|SMS received|Modem is registered' "$WORK/smsd.log" | sort -u -k4 | head -5
echo "smsd: send with a report, receive, $(grep -c 'Pre-initializing modem' "$WORK/smsd.log") initialisations passed"
