#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the screenshots need.
# Idempotent: packages already present are skipped, and apt is not touched when nothing is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-liberation fonts-wqy-zenhei fonts-arphic-uming
    xvfb xauth imagemagick xdotool
    clang-format
    dpkg-dev desktop-file-utils groff-base
    gammu smstools gnokii-cli kannel socat
    gettext
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: everything is present"
else
    echo "install-deps: installing ${missing[*]}"
    $sudo apt-get update -qq
    # Through env, because sudo resets the environment and would drop the variable.
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi

# Debian's smstools starts an smsd daemon on /dev/ttyS0 at boot and on install: that port is the
# console's COM1, and the interop tests run their own smsd in the foreground. Debian's kannel
# starts a bearerbox (admin port 13000, wapbox port 13002) the same way, and the interop tests run
# their own bearerbox and smsbox on free ports. Keep both services off.
service_enabled() {
    compgen -G "/etc/rc[2-5].d/S*$1" >/dev/null
}
service_running() {
    local pidfile
    for pidfile in "${@:2}"; do
        [ -s "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null && return 0
    done
    return 1
}
disable_service() {
    local name=$1
    if service_enabled "$name" || service_running "$@"; then
        echo "install-deps: disabling the $name service"
        if [ -d /run/systemd/system ]; then
            $sudo systemctl disable --now "$name"
        else
            $sudo update-rc.d "$name" disable
            if service_running "$@"; then
                $sudo "/etc/init.d/$name" stop
            fi
        fi
    fi
}
disable_service smstools /run/smstools/smsd.pid
disable_service kannel /run/kannel/kannel_bearerbox.pid /run/kannel/kannel_smsbox.pid \
    /run/kannel/kannel_wapbox.pid
