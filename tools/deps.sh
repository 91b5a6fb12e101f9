#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need,
# when any is missing. Run as root on Debian 12.
set -eu
# Installed without recommends, so every package a step uses is named here,
# also what pkg-config files require (wimlib.pc: libxml-2.0, libntfs-3g, fuse).
build="cmake ninja-build pkg-config"
host="clang libclang-rt-14-dev libwim-dev libxml2-dev ntfs-3g-dev libfuse-dev zlib1g-dev libgtest-dev"
cross="g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest"
wine="wine wine64 xvfb x11-utils xdotool imagemagick fonts-inter"
release_and_bench="osslsigncode openssl nsis"
# The signing test's token: softhsm2 holds its key, opensc's pkcs11-tool makes
# the key inside it, libengine-pkcs11-openssl lets openssl and osslsigncode use it.
token="softhsm2 opensc libengine-pkcs11-openssl"
packages="$build $host $cross $wine $release_and_bench $token"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -ne 0 ]; then
    echo "deps.sh: run as root to install the packages above" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
