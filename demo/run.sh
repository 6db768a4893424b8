#!/bin/bash
# Tries the program without an FTP server of one's own: starts a local FTP
# server on 127.0.0.1 with a small sample tree, registers it in a temporary
# profile, then runs the program against that profile. The server stops and
# the temporary files go when the program ends (PALU_DEMO_KEEP=1 keeps them).
#   demo/run.sh <build dir>
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
program=${PALU_DEMO_PROGRAM:-$build/palu_ftp}
setup=$build/demo/palu_demo_setup
# Debian's interpreter: another python3 earlier on PATH may lack the module.
python=/usr/bin/python3
entry=デモサーバー
user=demo
password=demo

for f in "$program" "$setup"; do
    [ -x "$f" ] || { echo "demo: $f is missing; build first (make build)" >&2; exit 1; }
done
if ! "$python" -c 'import pyftpdlib' 2>/dev/null; then
    echo "demo: the FTP server needs python3-pyftpdlib (apt-get install python3-pyftpdlib)" >&2
    exit 1
fi

demo=$(mktemp -d "${TMPDIR:-/tmp}/palu_demo.XXXXXX")
server=
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    if [ -n "$server" ] && kill -0 "$server" 2>/dev/null; then
        kill "$server"
        wait "$server" 2>/dev/null || true
    fi
    if [ -n "${PALU_DEMO_KEEP:-}" ]; then
        echo "demo: kept $demo"
    else
        rm -rf "$demo"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The server's tree: folders, Japanese text, binary files, and an empty
# folder to upload into.
root=$demo/server
mkdir -p "$root"
cp -R "$here/sample/." "$root/"
mkdir -p "$root/images" "$root/data" "$root/upload"
cp "$here/../packaging/icons/palu_ftp-128.png" "$root/images/palu_ftp.png"
"$python" -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 256)' > "$root/data/sample.bin"

# The local side the entry opens on.
local=$demo/local
mkdir -p "$local"
cp -R "$here/local/." "$local/"

free_port() {
    "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Start the server; try another port when one is taken between the probe and
# the server's bind.
port=
for _ in 1 2 3 4 5; do
    try=$(free_port)
    "$python" -m pyftpdlib -i 127.0.0.1 -p "$try" -w -d "$root" -u "$user" -P "$password" \
        >"$demo/server.log" 2>&1 &
    server=$!
    for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$try") 2>/dev/null; then port=$try; break; fi
        kill -0 "$server" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$port" ] && break
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    server=
    grep -q 'Address already in use' "$demo/server.log" || break
done
if [ -z "$port" ]; then
    echo "demo: the FTP server did not start:" >&2
    cat "$demo/server.log" >&2
    exit 1
fi

# A fresh profile holding one registered entry for the server.
export PALU_FTP_HOME=$demo/home XDG_CONFIG_HOME=$demo/config
mkdir -p "$PALU_FTP_HOME" "$XDG_CONFIG_HOME"
"$setup" "$entry" 127.0.0.1 "$port" "$user" "$password" "$local" >/dev/null

echo "デモ用の FTP サーバーを 127.0.0.1:$port で起動しました（ユーザー $user、パスワード $password）。"
echo "メニュー「ｻｰﾊﾞｰ(S)」→「接続(&N)」で「$entry」を選び、「接続(&N)」を押してください。"
echo "Demo FTP server on 127.0.0.1:$port: choose ｻｰﾊﾞｰ(S) > 接続(&N), pick \"$entry\" and press 接続(&N)."
echo "サーバー側 / server side: $root"
echo "ローカル側 / local side:  $local"

status=0
# No session bus: the demo's password stays in its own temporary profile
# instead of moving to the desktop's keyring.
env -u DBUS_SESSION_BUS_ADDRESS "$program" || status=$?
exit "$status"
