#!/bin/bash
# Builds the Debian package: a Release build of the program in build-pkg,
# then CPack. `make package` runs it after installing the build tools; this
# adds what only the package build needs. Prints the package's path.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-pkg

# dpkg-shlibdeps (dpkg-dev) turns the linked libraries into package
# dependencies; CPack finds the executables to inspect with file.
missing=
for p in dpkg-dev file; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    if [ "$(id -u)" = 0 ]; then sudo=; else sudo=sudo; fi
    $sudo apt-get update -q
    # shellcheck disable=SC2086  # one word per package
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi

# The installed program looks for its help page under this prefix too.
# Only the program goes into the package: packaging must not wait for the
# tests and benchmarks to build.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake --build "$build" -j"$(nproc)" --target palu_ftp

rm -f "$build"/palu-ftp_*.deb
(cd "$build" && cpack -G DEB)

deb=$(ls "$build"/palu-ftp_*.deb)
echo
echo "package: $deb"
echo "install: sudo apt-get install $deb"
