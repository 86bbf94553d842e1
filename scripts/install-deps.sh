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
    dpkg-dev desktop-file-utils groff-base devscripts
    gammu smstools socat
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
# console's COM1, and the interop tests run their own smsd in the foreground. Keep it off.
smstools_enabled() {
    compgen -G '/etc/rc[2-5].d/S*smstools' >/dev/null
}
smstools_running() {
    [ -s /run/smstools/smsd.pid ] && kill -0 "$(cat /run/smstools/smsd.pid)" 2>/dev/null
}
if smstools_enabled || smstools_running; then
    echo "install-deps: disabling the smstools service (smsd on /dev/ttyS0)"
    if [ -d /run/systemd/system ]; then
        $sudo systemctl disable --now smstools
    else
        $sudo update-rc.d smstools disable
        if smstools_running; then
            $sudo /etc/init.d/smstools stop
        fi
    fi
fi
