#!/bin/sh
# `make bench`: installs what the suite needs, builds the benchmark drivers in
# release mode and prints the benchmark table (see bench/suite.py).
# BENCH_BUILD names the build folder (default build-bench).
set -eu
cd "$(dirname "$0")/.."
BUILD=${BENCH_BUILD:-build-bench}

need="vsftpd curl lftp openssl python3-pyftpdlib time cmake g++ qt6-base-dev"
missing=""
for p in $need; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    if [ "$(id -u)" = 0 ]; then SUDO=; else SUDO=sudo; fi
    # Installing vsftpd must not start the system's own server: the suite
    # runs its own with a generated configuration.
    policy=/usr/sbin/policy-rc.d
    added_policy=
    if [ -z "$SUDO" ] && [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' > "$policy" && chmod 755 "$policy" && added_policy=1
    fi
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
    if [ -n "$added_policy" ]; then rm -f "$policy"; fi
fi

if ! grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$BUILD/CMakeCache.txt" 2>/dev/null; then
    cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$BUILD" -j"$(nproc)" --target palu_bench palu_bench_startup

exec /usr/bin/python3 bench/suite.py "$BUILD"
