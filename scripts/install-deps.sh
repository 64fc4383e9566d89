#!/usr/bin/env bash
# Installs what building and testing ldweave needs on Debian 12, as root. Idempotent: prints one
# line per package it installs and nothing when everything is present.
set -euo pipefail

packages=(
    # build and unit tests
    g++ cmake make python3
    googletest libgtest-dev
    qt6-base-dev
    # the real-linker proof: cross binutils and emulators; the ARM cross gcc builds the C
    # firmware of the CMake package test
    binutils-arm-none-eabi binutils-riscv64-unknown-elf gcc-arm-none-eabi
    qemu-system-arm qemu-system-misc
    # fuzzing and sanitizers with clang's runtime
    clang-14 libclang-rt-14-dev
    # build-system integration tests and the man page
    ninja-build man-db
    # benchmarks
    libbenchmark-dev libxml2-utils
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
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
