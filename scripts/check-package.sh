#!/usr/bin/env bash
# Builds the Debian package (or takes the one given), checks what it holds and what it depends
# on, installs it, starts the installed program the way a desktop would, from its desktop entry,
# under Xvfb, closes it and removes the package again.
# Usage: scripts/check-package.sh [vividra_VERSION_amd64.deb]   (as root, or with sudo)
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "package: $*" >&2
    exit 1
}

# Other builds on the machine may hold the package manager's lock for a while.
apt=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -q)
[ "$(id -u)" -ne 0 ] && apt=(sudo "${apt[@]}")
log=$(mktemp)
home=$(mktemp -d)
trap 'rm -rf "$log" "$home"' EXIT
# The package manager's chatter is shown only when it fails.
quietly() { "$@" >"$log" 2>&1 || { cat "$log" >&2; return 1; }; }

if [ $# -ge 1 ]; then
    deb=$1
else
    make package
    deb=$(find build/package -maxdepth 1 -name 'vividra_*_amd64.deb' -printf '%T@ %p\n' |
        sort -n | tail -n 1 | cut -d' ' -f2-)
fi
if [ -z "$deb" ] || [ ! -f "$deb" ]; then fail "no package file ${deb:-in build/package}"; fi
deb=$(realpath "$deb")
echo "package: checking $deb"

# What it holds.
listing=$(dpkg-deb -c "$deb")
for f in usr/bin/vividra usr/bin/vividra-fx \
    usr/share/applications/org.vividra.Vividra.desktop \
    usr/share/icons/hicolor/scalable/apps/vividra.svg \
    usr/share/metainfo/org.vividra.Vividra.metainfo.xml \
    usr/share/mime/packages/org.vividra.Vividra.xml \
    usr/share/thumbnailers/vividra.thumbnailer \
    usr/share/vividra/help/index.html; do
    grep -qE " \./$f\$" <<<"$listing" || fail "contents: $f missing"
done
for f in vividra vividra-fx; do
    grep -qE "^-rwxr-xr-x .* \./usr/bin/$f\$" <<<"$listing" || fail "contents: $f not executable"
done
echo "package: contents ($(grep -c '^-' <<<"$listing") files) ok"

# What it needs: the libraries dpkg-shlibdeps found, and the plugins Qt loads by itself.
info=$(dpkg-deb -I "$deb")
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for p in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libtbb12 libheif1 liblcms2-2 libexiv2-27 libzip4 \
    qt6-image-formats-plugins libqt6svg6 libopencv-imgproc406 libopencv-core406; do
    grep -qE "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
grep -qx ' Section: graphics' <<<"$info" || fail "section is not graphics"
echo "package: depends ok ($depends)"

# Leaving the machine as it was found means not replacing a copy someone installed.
if dpkg-query -W -f='${Status}' vividra 2>/dev/null | grep -q 'ok installed'; then
    fail "vividra is already installed; remove it first"
fi
quietly "${apt[@]}" install --simulate --no-install-recommends "$deb" ||
    fail "apt-get install --simulate failed"
echo "package: install --simulate ok"

quietly "${apt[@]}" install -y --no-install-recommends "$deb" || fail "apt-get install failed"
trap '"${apt[@]}" purge -y vividra >/dev/null 2>&1; rm -rf "$log" "$home"' EXIT
echo "package: install ok ($(dpkg-query -W -f='${Version}' vividra))"

desktop=/usr/share/applications/org.vividra.Vividra.desktop
if [ ! -x /usr/bin/vividra ] || [ ! -f "$desktop" ]; then fail "installed files missing"; fi
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    echo "package: desktop entry validates ok"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic /usr/share/metainfo/org.vividra.Vividra.metainfo.xml \
        >/dev/null || fail "appstreamcli validate"
    echo "package: metainfo validates ok"
fi
# The package manager's trigger rebuilds the MIME database from our XML.
if [ -f /usr/share/mime/globs2 ]; then
    grep -q 'application/x-vividra-profile:\*\.clr' /usr/share/mime/globs2 ||
        fail "the profile type is not in the MIME database"
    grep -q 'application/x-vividra:\*\.vividra' /usr/share/mime/globs2 ||
        fail "the work file type is not in the MIME database"
    echo "package: profile and work file MIME types registered ok"
fi

# The desktop's own command, with no files: the field codes go.
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
command=$(sed -E 's/ *%[fFuUk]//g' <<<"$exec_line")
[ -n "$command" ] || fail "no Exec line in $desktop"
# shellcheck disable=SC2016  # expanded by the shell inside Xvfb
session='
    $1 &
    pid=$!
    window=""
    for _ in $(seq 300); do
        window=$(xdotool search --onlyvisible --name "^Vividra\$" | head -n 1) || true
        [ -n "$window" ] && break
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" && status=0 || status=$?
            echo "package: \"$1\" ended with status $status before showing a window" >&2
            exit 1
        fi
        sleep 0.1
    done
    if [ -z "$window" ]; then
        kill "$pid"
        echo "package: no window from \"$1\" within 30 s" >&2
        exit 1
    fi
    echo "package: \"$1\" shows its window ok"
    xdotool windowfocus --sync "$window" key ctrl+q
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        echo "package: the window did not close on Ctrl+Q" >&2
        exit 1
    fi
    wait "$pid" || { echo "package: the program ended with status $?" >&2; exit 1; }
    echo "package: closes on Ctrl+Q ok"
'
status=0
mkdir -m 700 "$home/run"
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/run \
    VIVIDRA_INSTANCE="vividra-check-package-$$" xvfb-run -a -s "-screen 0 1280x800x24" \
    bash -c "$session" session "$command" || status=$?
[ "$status" -eq 0 ] || fail "start from the desktop entry failed"

trap 'rm -rf "$log" "$home"' EXIT
quietly "${apt[@]}" purge -y vividra || fail "apt-get purge failed"
if [ -e /usr/bin/vividra ] || [ -e "$desktop" ]; then fail "files left after removal"; fi
echo "package: removal ok"
