#!/bin/sh
# What `make install` puts where: cmake --install with a prefix of our own
# under DESTDIR, then the tree is checked file by file (nothing outside
# DESTDIR/PREFIX, the program runnable, the icons drawn right at every size),
# the program answers --help and --version without a display, its manual page
# reads without warnings, and the desktop entry and the AppStream metadata pass
# their validators.
#   test_install.sh BUILD_DIR APP_ID "ICON_SIZES" SOURCE_DIR VERSION
#   test_install.sh --metadata DESKTOP_FILE METAINFO_FILE APP_ID
set -u
fail() { echo "FAILED: $*" >&2; exit 1; }

# The two validators, and that the files name one another by the one id.
check_metadata() {
    desktop=$1 metainfo=$2 id=$3
    command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (Debian: desktop-file-utils)"
    command -v appstreamcli >/dev/null || fail "appstreamcli is missing (Debian: appstream)"
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate $desktop: $out"
    # Hints are advice; anything else it prints is a finding.
    found=$(printf '%s\n' "$out" | grep -v '^$' | grep -v 'hint:' || true)
    [ -z "$found" ] || fail "desktop-file-validate $desktop: $found"
    out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate $metainfo: $out"
    [ "$(basename "$desktop")" = "$id.desktop" ] || fail "the desktop file is $(basename "$desktop"), not $id.desktop"
    [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "the metadata is $(basename "$metainfo")"
    grep -qx "Icon=$id" "$desktop" || fail "$desktop does not name the icon $id"
    grep -qx "Exec=vxstat" "$desktop" || fail "$desktop does not start vxstat"
    grep -q "<id>$id</id>" "$metainfo" || fail "$metainfo has another id"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "$metainfo does not launch $id.desktop"
    grep -q "@[A-Z_]*@" "$metainfo" && fail "$metainfo has an unreplaced @VARIABLE@"
    return 0
}

if [ "${1:-}" = "--metadata" ]; then
    check_metadata "$2" "$3" "$4"
    echo "desktop entry and AppStream metadata valid"
    exit 0
fi

build=$1 id=$2 sizes=$3 source=$4 version=$5
scratch=$(mktemp -d) || fail "no scratch folder"
trap 'rm -rf "$scratch"' EXIT
prefix=/opt/vx-prefix-test
DESTDIR=$scratch/dest cmake --install "$build" --prefix "$prefix" >"$scratch/log" 2>&1 ||
    fail "cmake --install: $(cat "$scratch/log")"

root=$scratch/dest$prefix
# Everything lands below DESTDIR/PREFIX, nowhere else.
outside=$(cd "$scratch/dest" && find . -type f | grep -v "^.$prefix/" || true)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

[ -x "$root/bin/vxstat" ] || fail "no runnable bin/vxstat"
file_type=$(head -c 4 "$root/bin/vxstat" | od -An -c | tr -d ' ')
[ "$file_type" = "177ELF" ] || fail "bin/vxstat is not a program ($file_type)"

expected="bin/vxstat
bin/vxstat-recorder
share/man/man1/vxstat.1.gz
share/man/man8/vxstat-recorder.8.gz
lib/systemd/system/vxstat-recorder.service
share/doc/vxstat/examples/prometheus.yml
share/doc/vxstat/examples/vxstat-rules.yml
share/applications/$id.desktop
share/metainfo/$id.metainfo.xml
share/doc/vxstat/README.md
share/doc/vxstat/copyright
share/doc/vxstat/changelog.gz"
for size in $sizes; do
    expected="$expected
share/icons/hicolor/${size}x${size}/apps/$id.png"
done
got=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
want=$(printf '%s\n' "$expected" | sort)
[ "$got" = "$want" ] || fail "installed files differ from the expected ones:
$(printf '%s\n' "$want" >"$scratch/want"; printf '%s\n' "$got" | diff "$scratch/want" - || true)"

for size in $sizes; do
    python3 "$source/tests/package/check_icons.py" --png "$root/share/icons/hicolor/${size}x${size}/apps/$id.png" \
        "$size" >/dev/null || fail "icon ${size}x${size}: $(python3 "$source/tests/package/check_icons.py" --png \
        "$root/share/icons/hicolor/${size}x${size}/apps/$id.png" "$size")"
done
for f in "$root/share/applications/$id.desktop" "$root/share/metainfo/$id.metainfo.xml"; do
    mode=$(stat -c %a "$f")
    [ "$mode" = 644 ] || fail "$f has mode $mode"
done
# --help and --version from a bare environment: no display, no Qt platform.
for option in --help --version; do
    out=$(env -i PATH=/usr/bin:/bin HOME="$scratch" "$root/bin/vxstat" "$option" 2>"$scratch/err") ||
        fail "vxstat $option without a display: status $?: $(cat "$scratch/err")"
    printf '%s\n' "$out" >"$scratch/out$option"
done
grep -qx "vxstat $version" "$scratch/out--version" || fail "vxstat --version: $(cat "$scratch/out--version")"
# The installed program reads SNMP on its own: an agent that is not there is
# no answer. (Loopback only: the tests run in a private network.)
out=$(env -i PATH=/usr/bin:/bin HOME="$scratch" "$root/bin/vxstat" --interfaces snmp://vxtest@127.0.0.1:9 2>&1)
case $out in
*"no answer from the SNMP agent at 127.0.0.1:9"*) ;;
*) fail "the installed vxstat does not ask the SNMP agent: $out" ;;
esac
zcat "$root/share/man/man1/vxstat.1.gz" >"$scratch/vxstat.1" || fail "the manual page is no gzip file"
grep -q "^\.TH VXSTAT 1 .*\"vxstat $version\"" "$scratch/vxstat.1" || fail "the manual page is not of vxstat $version"
# Every switch the help names is in the manual page, and the other way round.
switches() { grep -o -- '\(^\|[ [|]\)\(--[a-z]*\|/STATS\)' "$1" | tr -d ' [|' | sort -u; }
[ "$(switches "$scratch/out--help")" = "$(sed 's/\\-/-/g' "$scratch/vxstat.1" | switches /dev/stdin)" ] ||
    fail "--help and the manual page name other switches"
# As lintian reads it: no warnings from man, no name or time stamp in the gzip header.
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$scratch/vxstat.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warns about vxstat.1: $warnings"
# The recorder likewise: --help and --version, and its page (section 8) naming the same switches.
for option in --help --version; do
    env -i PATH=/usr/bin:/bin "$root/bin/vxstat-recorder" "$option" >"$scratch/rec$option" 2>"$scratch/err" ||
        fail "vxstat-recorder $option: status $?: $(cat "$scratch/err")"
done
grep -qx "vxstat-recorder $version" "$scratch/rec--version" || fail "vxstat-recorder --version: $(cat "$scratch/rec--version")"
zcat "$root/share/man/man8/vxstat-recorder.8.gz" >"$scratch/vxstat-recorder.8" || fail "the recorder's page is no gzip file"
grep -q "^\.TH VXSTAT-RECORDER 8 .*\"vxstat $version\"" "$scratch/vxstat-recorder.8" ||
    fail "the recorder's manual page is not of vxstat $version"
[ "$(switches "$scratch/rec--help")" = "$(sed 's/\\-/-/g' "$scratch/vxstat-recorder.8" | switches /dev/stdin)" ] ||
    fail "the recorder's --help and manual page name other switches"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$scratch/vxstat-recorder.8" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warns about vxstat-recorder.8: $warnings"
for gz in "$root/share/man/man1/vxstat.1.gz" "$root/share/man/man8/vxstat-recorder.8.gz" \
    "$root/share/doc/vxstat/changelog.gz"; do
    [ "$(od -An -tx1 -j3 -N5 "$gz" | tr -d ' ')" = 0000000000 ] || fail "$gz carries a name or time stamp"
done
check_metadata "$root/share/applications/$id.desktop" "$root/share/metainfo/$id.metainfo.xml" "$id"
echo "install tree under $prefix: $(echo "$got" | wc -l) files, all as expected"
