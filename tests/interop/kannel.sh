#!/usr/bin/env bash
# Kannel (Debian's package, unmodified: bearerbox with its AT driver, modemtype auto, and smsbox)
# runs modemsim as its SMSC, every port on 127.0.0.1 only: a message sent through smsbox's HTTP
# sendsms interface with a delivery report asked for goes out, and the bearerbox access log shows
# it sent, the loopback copy received and the report.
. "$(dirname "$0")/common.sh" "$1"
need bearerbox smsbox socat

start_modemsim demo
free_port admin_port
free_port smsbox_port
free_port sendsms_port
free_port dlr_port # nobody listens: smsbox's callback for the report fails, the log has it
cat >"$WORK/kannel.conf" <<CONF
group = core
admin-port = $admin_port
admin-interface = 127.0.0.1
admin-password = interop
admin-allow-ip = "127.0.0.1"
smsbox-port = $smsbox_port
smsbox-interface = 127.0.0.1
box-allow-ip = "127.0.0.1"
log-file = "$WORK/bearerbox.log"
log-level = 0
access-log = "$WORK/access.log"
dlr-storage = internal

group = smsc
smsc = at
smsc-id = modemsim
modemtype = auto
device = $WORK/modem
speed = 115200
my-number = "+31612345678"

# What modemtype auto falls back to when no detect-string matches (Kannel's modems.conf).
group = modems
id = generic
name = "Generic Modem"

group = smsbox
bearerbox-host = 127.0.0.1
bearerbox-port = $smsbox_port
sendsms-port = $sendsms_port
sendsms-interface = 127.0.0.1
log-file = "$WORK/smsbox.log"
log-level = 0

group = sendsms-user
username = interop
password = interop

# Incoming messages are taken and answered with nothing.
group = sms-service
keyword = default
catch-all = yes
text = "taken"
max-messages = 0
CONF

bearerbox -v 4 "$WORK/kannel.conf" >"$WORK/bearerbox.out" 2>&1 &
PIDS+=($!)
opened() { grep -q 'AT SMSC successfully opened' "$WORK/bearerbox.log" 2>/dev/null; }
wait_until 30 "bearerbox did not open the modem" opened
smsbox -v 4 "$WORK/kannel.conf" >"$WORK/smsbox.out" 2>&1 &
PIDS+=($!)
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$sendsms_port") 2>/dev/null; }
wait_until 20 "smsbox did not open its sendsms port" listening

dlr_url="http%3A%2F%2F127.0.0.1%3A$dlr_port%2Fdlr%3Ftype%3D%25d"
query="username=interop&password=interop&from=%2B31612345678&to=%2B15550100"
query+="&text=hello+from+kannel&dlr-mask=3&dlr-url=$dlr_url"
# Through bash's own socket: smsbox drops a request whose sender half-closes (as socat does).
exec 3<>"/dev/tcp/127.0.0.1/$sendsms_port"
printf 'GET /cgi-bin/sendsms?%s HTTP/1.0\r\n\r\n' "$query" >&3
reply=$(timeout 10 cat <&3 || true)
exec 3<&-
echo "$reply" >&2
expect_in "Accepted for delivery" "$reply"

logged() { grep -q -- "$1" "$WORK/access.log" 2>/dev/null; }
wait_until 30 "the access log shows no message sent" \
    logged 'Sent SMS \[SMSC:modemsim\].*\[to:+15550100\].*\[msg:17:hello from kannel\]'
wait_until 30 "the access log shows no loopback copy" \
    logged 'Receive SMS \[SMSC:modemsim\].*\[from:+15550100\].*\[msg:17:hello from kannel\]'
wait_until 30 "the access log shows no delivery report" \
    logged 'Receive DLR \[SMSC:modemsim\].*\[to:+15550100\].*\[flags:[^]]*:1\]'
[ "$(counter accepted)" = 1 ] || fail "modemsim accepted $(counter accepted) messages"
grep -E 'Sent SMS|Receive (SMS|DLR)' "$WORK/access.log" >&2
echo "kannel: HTTP send with a report, the loopback copy and the report passed"
