#!/bin/bash
# Installs the build twice into a temporary folder, once under DESTDIR with the
# configured prefix and once to a different prefix, and checks each install
# the way a desktop and the program itself use it.
#   check-install.sh <cmake> <build dir> <help probe executable>
set -eu
cmake=$1 build=$2 probe=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/palu_install.XXXXXX")
program=
cleanup() {
    if [ -n "$program" ] && kill -0 "$program" 2>/dev/null; then kill "$program"; wait "$program" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL ($where): $*" >&2; failures=$((failures + 1)); }

sizes="16 32 48 64 128 256"

# The PNG header's width and height, as "W H".
png_size() {
    local b
    read -r -a b <<<"$(od -An -tu1 -j16 -N8 "$1" | tr -s ' \n' ' ')"
    echo "$(( (b[0] << 24) + (b[1] << 16) + (b[2] << 8) + b[3] )) $(( (b[4] << 24) + (b[5] << 16) + (b[6] << 8) + b[7] ))"
}

# A key of the [Desktop Entry] group, exactly as written.
desktop_key() {
    sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$(printf '%s' "$2" | sed 's/[][]/\\&/g')"'=//p}' "$1" | head -n1
}

check_tree() {
    local root=$1
    where=$root

    # Exactly these files: anything else (a test program, a library header)
    # would land in users' systems with the package.
    local expected actual
    expected=$( {
        echo bin/palu_ftp
        echo share/applications/palu_ftp.desktop
        echo share/icons/hicolor/scalable/apps/palu_ftp.svg
        for s in $sizes; do echo "share/icons/hicolor/${s}x${s}/apps/palu_ftp.png"; done
        echo share/palu_ftp/palu_ftp.html
    } | sort)
    actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
    [ "$expected" = "$actual" ] || fail "installed files differ from the expected set:
$(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]')"

    [ -x "$root/bin/palu_ftp" ] || fail "bin/palu_ftp is not executable"
    [ -s "$root/share/palu_ftp/palu_ftp.html" ] || fail "help page missing or empty"

    local desktop=$root/share/applications/palu_ftp.desktop
    if [ -f "$desktop" ]; then
        [ "$(desktop_key "$desktop" Type)" = Application ] || fail "desktop entry: Type is not Application"
        [ "$(desktop_key "$desktop" Exec)" = palu_ftp ] || fail "desktop entry: Exec is not palu_ftp"
        [ "$(desktop_key "$desktop" Icon)" = palu_ftp ] || fail "desktop entry: Icon is not palu_ftp"
        [ "$(desktop_key "$desktop" Categories)" = "Network;FileTransfer;" ] ||
            fail "desktop entry: Categories is not Network;FileTransfer;"
        for key in Name 'Name[ja]' Comment 'Comment[ja]' GenericName 'GenericName[ja]'; do
            [ -n "$(desktop_key "$desktop" "$key")" ] || fail "desktop entry: no $key"
        done
        # The Japanese texts must be Japanese, not a copy of the English ones.
        for key in Comment GenericName; do
            desktop_key "$desktop" "${key}[ja]" | LC_ALL=C grep -q $'[\x80-\xff]' ||
                fail "desktop entry: ${key}[ja] is not Japanese"
        done
        if command -v desktop-file-validate >/dev/null; then
            desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the entry"
        fi
    fi

    for s in $sizes; do
        local png=$root/share/icons/hicolor/${s}x${s}/apps/palu_ftp.png
        [ -f "$png" ] || continue
        [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || { fail "$png is not a PNG"; continue; }
        [ "$(png_size "$png")" = "$s $s" ] || fail "$png is $(png_size "$png"), not $s x $s"
    done
    grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/palu_ftp.svg" 2>/dev/null || fail "scalable icon is not an SVG"

    # The help page the program opens, looked up from beside the installed
    # executable: it must be this install's own copy, not the build machine's.
    cp "$probe" "$root/bin/palu_help_probe"
    local found
    found=$("$root/bin/palu_help_probe") || fail "the installed program finds no help page"
    rm -f "$root/bin/palu_help_probe"
    [ "$(readlink -f "$found")" = "$(readlink -f "$root/share/palu_ftp/palu_ftp.html")" ] ||
        fail "help page found at '$found', not in this install"
}

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
[ -n "$prefix" ] || { echo "no CMAKE_INSTALL_PREFIX in $build/CMakeCache.txt" >&2; exit 1; }

DESTDIR=$work/destdir "$cmake" --install "$build" >/dev/null
check_tree "$work/destdir$prefix"

"$cmake" --install "$build" --prefix "$work/moved/opt/palu" >/dev/null
check_tree "$work/moved/opt/palu"

# The installed program starts: with no display but the offscreen one, it
# gets through its start-up to reading its settings (which creates the
# settings file) and is still running then.
where="start-up of $work/moved/opt/palu/bin/palu_ftp"
mkdir -p "$work/home" "$work/config"
: > "$work/home/server.lst"   # a known user: no welcome box
ini=$work/config/PALU_FTP/PALU_FTP.ini
PALU_FTP_HOME=$work/home XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen \
    "$work/moved/opt/palu/bin/palu_ftp" >"$work/program.log" 2>&1 &
program=$!
for _ in $(seq 200); do
    [ -f "$ini" ] && break
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
if [ ! -f "$ini" ]; then
    fail "the program did not start: $(cat "$work/program.log")"
elif ! kill -0 "$program" 2>/dev/null; then
    fail "the program ended during start-up: $(cat "$work/program.log")"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures install check(s) failed" >&2
    exit 1
fi
echo "install layout, help page and start-up: ok"
