#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the existing build tree, checks what it holds and lints it,
# then unpacks it into a temporary root and starts both programs from there; as root, it also
# installs it with apt without recommendations, starts the window and removes it again.
set -euo pipefail
cpack=$1 build=$2 source=$3 id=$4

work=$(mktemp -d)
pid=
installed=
cleanup() {
    if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
    if [ -n "$installed" ]; then apt-get purge -y -qq klangdorn >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# cpack installs the build tree into its own staging folder; after a build it compiles nothing.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
deb=$(find "$work/out" -maxdepth 1 -name 'klangdorn_*.deb')
[ -f "$deb" ] || fail "no klangdorn_*.deb in $work/out"
echo "package: $(basename "$deb")"

# The control fields: the name, the libraries found by dpkg-shlibdeps and the platform plugins,
# the two recommendations.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = klangdorn ] || fail "package name is '$(field Package)'"
depends=$(field Depends)
for library in libc6 libqt6widgets6 libavcodec libavformat libswresample qt6-qpa-plugins; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
# besweet measures loudness itself; libebur128 is the tests' alone.
! grep -q libebur128 <<<"$depends" || fail "Depends names libebur128, which only the tests use: $depends"
recommends=$(field Recommends)
for recommended in qt6-translations-l10n fonts-liberation xdg-utils; do
    grep -q "$recommended" <<<"$recommends" || fail "Recommends lacks $recommended: $recommends"
done

# Every file in its place, and nothing outside /usr.
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/contents"
expected=(
    ./usr/bin/Klangdorn_d
    ./usr/bin/besweet
    "./usr/share/applications/$id.desktop"
    "./usr/share/metainfo/$id.metainfo.xml"
    ./usr/share/lintian/overrides/klangdorn
    "./usr/share/icons/hicolor/scalable/apps/$id.svg"
    ./usr/share/man/man1/Klangdorn_d.1.gz
    ./usr/share/man/man1/besweet.1.gz
    ./usr/share/man/de/man1/Klangdorn_d.1.gz
    ./usr/share/man/de/man1/besweet.1.gz
    ./usr/share/locale/de/LC_MESSAGES/besweet.mo
    ./usr/share/doc/klangdorn/copyright
    ./usr/share/doc/klangdorn/changelog.gz
)
for size in 16 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done
if grep -v '^\./usr/' "$work/contents" | grep -vqx '\./'; then
    fail "the package installs outside /usr: $(grep -v '^\./usr/' "$work/contents" | grep -vx '\./')"
fi

# Lintian: no error and no warning, and none of its hardening tags, which are only
# informational. One tag is overridden, the false positive its override explains; nothing else.
overridden=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/lintian/overrides/klangdorn | grep -v '^#')
[ "$overridden" = "klangdorn: hardening-no-fortify-functions [usr/bin/Klangdorn_d]" ] ||
    fail "lintian overrides more than its one false positive: $overridden"
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" >"$work/lintian.log" ||
    { cat "$work/lintian.log"; fail "lintian reports the package"; }
if grep -F 'hardening-' "$work/lintian.log"; then
    fail "lintian finds the programs not hardened"
fi

# The programs as installed: stripped, no RPATH, no path of this build tree inside.
root=$work/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
for program in Klangdorn_d besweet; do
    file -b "$bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
    if readelf -d "$bin/$program" | grep -qE 'RPATH|RUNPATH'; then
        fail "$program carries an RPATH"
    fi
done
if grep -rlaF -e "$build" -e "$source" "$root"; then
    fail "the files above name the build or source folder"
fi

# The installed tree as AppStream reads it, and a menu entry that leads to what is installed.
appstreamcli validate-tree --no-net "$root" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log"; fail "appstreamcli rejects the installed tree"; }
desktop=$root/usr/share/applications/$id.desktop
entry() { sed -n "s/^$1=//p" "$desktop"; }
program=$(entry Exec | cut -d' ' -f1)
[ -x "$bin/$program" ] || fail "the menu entry starts '$program', which is not installed"
[ "$(entry Icon)" = "$id" ] || fail "the menu entry's icon is '$(entry Icon)', not $id"
# Qt names the window's class after the program, so a dock matches the window to its entry.
[ "$(entry StartupWMClass)" = "$program" ] ||
    fail "StartupWMClass '$(entry StartupWMClass)' is not the window's class '$program'"

# Every file that names the version names the package's.
version=$(field Version)
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo has no release $version"
latest=$(zcat "$root/usr/share/doc/klangdorn/changelog.gz" | sed -n 1p)
grep -qF "klangdorn ($version)" <<<"$latest" || fail "the changelog's latest entry is '$latest'"
for page in man1/Klangdorn_d man1/besweet de/man1/Klangdorn_d de/man1/besweet; do
    title=$(zcat "$root/usr/share/man/$page.1.gz" | grep '^\.TH ' || true)
    grep -qF "\"Klangdorn $version\"" <<<"$title" ||
        fail "the manual page $page.1 is not for version $version"
done

# besweet lies beside Klangdorn_d, where the transcoder dialog first looks, and runs from there.
[ -x "$bin/besweet" ] || fail "besweet is not beside Klangdorn_d"
said=$("$bin/besweet" --version)
[ "$said" = "besweet $version" ] || fail "besweet --version says '$said'"
# It finds its German catalogue where the package put it, relative to its own folder.
speaks_german() {
    local said
    said=$(LANGUAGE=de LC_ALL=C.UTF-8 "$1" 2>&1 || true)
    [ "$said" = "besweet: keine Argumente; siehe 'besweet --help'" ] ||
        fail "$1 in German says '$said'"
}
speaks_german "$bin/besweet"

# The window starts: its first start stores the resampling choice, which shows the window
# loaded and the event loop ran; SIGTERM closes it again.
window_starts() {
    local program=$1 config=$work/config-$2
    mkdir -p "$config"
    env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen \
        "$program" >"$work/window.log" 2>&1 &
    pid=$!
    local settings=$config/Klangdorn/Klangdorn_d.conf
    for _ in $(seq 300); do
        grep -qs Upsampling "$settings" && break
        kill -0 "$pid" 2>/dev/null || { cat "$work/window.log"; fail "$program ended before its window loaded"; }
        sleep 0.1
    done
    grep -qs Upsampling "$settings" || { cat "$work/window.log"; fail "$program stored no settings within 30 s"; }
    kill -TERM "$pid"
    local status=0
    wait "$pid" || status=$?
    pid=
    # 143: ended by the signal itself, until SIGTERM closes the window as its close box does.
    case $status in
        0 | 143) ;;
        *) cat "$work/window.log"; fail "$program ended with status $status after SIGTERM" ;;
    esac
}
window_starts "$bin/Klangdorn_d" unpacked

# Installed as a user would, without recommendations: the dependencies alone let the window
# open. Only as root, only where no klangdorn is installed already, one test at a time.
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
    echo "not installed with apt: needs root and apt-get"
elif dpkg-query -W -f='${Status}' klangdorn 2>/dev/null | grep -q "install ok installed"; then
    echo "not installed with apt: a klangdorn package is installed on this system already"
else
    exec {lock}>/tmp/klangdorn-package-test.lock
    flock "$lock"
    installed=yes
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        -o DPkg::Lock::Timeout=300 "$deb" >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log"; fail "apt-get install --no-install-recommends of the package failed"; }
    speaks_german /usr/bin/besweet
    window_starts /usr/bin/Klangdorn_d installed
    apt-get purge -y -qq klangdorn >/dev/null 2>&1 || fail "the package cannot be removed"
    installed=
fi
echo "the package installs and both programs run"
