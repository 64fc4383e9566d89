#!/usr/bin/env bash
# Installs what ldweave needs on Debian 12, as root. Idempotent: prints one line per package it
# installs and nothing when everything is present.
#
# usage: scripts/install-deps.sh [tool|all]
#   tool  what building the tool needs ("make demo")
#   all   also what the tests, sanitizers, fuzzing and benchmarks need ("make test"; the default)
set -euo pipefail

profile=${1:-all}
case "$profile" in
    tool | all) ;;
    *)
        echo "usage: $0 [tool|all]" >&2
        exit 2
        ;;
esac

# One group per line: what the packages are for, a colon, the packages.
tool_groups=(
    "building ldweave: g++ cmake make qt6-base-dev"
)
test_groups=(
    "the unit tests and the test drivers: googletest libgtest-dev python3"
    "the CMake package test (C firmware, ARM cross gcc, Ninja): gcc-arm-none-eabi ninja-build"
    "linking the examples with the cross ld: binutils-arm-none-eabi binutils-riscv64-unknown-elf"
    "booting the example boards in the emulator: qemu-system-arm qemu-system-misc"
    "make fuzz (clang and its fuzzer runtime): clang-14 libclang-rt-14-dev"
    "reading the manual page: man-db"
    "the benchmarks: libbenchmark-dev libxml2-utils"
)
groups=("${tool_groups[@]}")
[ "$profile" = all ] && groups+=("${test_groups[@]}")

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for group in "${groups[@]}"; do
    for package in ${group#*: }; do
        installed "$package" || missing+=("$package")
    done
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}; run this script as root" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
for package in "${missing[@]}"; do
    echo "install-deps: installing $package"
    apt-get install -y -qq --no-install-recommends "$package" >/dev/null
done
