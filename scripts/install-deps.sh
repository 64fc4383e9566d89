#!/usr/bin/env bash
# Installs what ldweave needs on Debian 12, as root. Idempotent: prints one line per package it
# installs and nothing when everything is present.
#
# usage: scripts/install-deps.sh [tool|all]
#   tool  what building the tools needs ("make demo")
#   all   also what the tests, sanitizers, fuzzing and benchmarks need ("make test"; the default)
#
# Run by any other user it installs nothing: it names the missing packages and what each is for,
# and fails only when the build itself needs one, as tests whose programs are missing are skipped.
set -euo pipefail

profile=${1:-all}
case "$profile" in
    tool | all) ;;
    *)
        echo "usage: $0 [tool|all]" >&2
        exit 2
        ;;
esac

# One group per line: what the packages are for, a colon, the packages. The build needs every
# package of the required groups; the optional ones serve single tests and make targets.
required_groups=(
    "building ldweave: g++ cmake make qt6-base-dev"
    "building ldweave-size (reading ELF files): libelf-dev pkgconf"
)
optional_groups=()
if [ "$profile" = all ]; then
    required_groups+=("the unit tests and the test drivers: googletest libgtest-dev python3")
    optional_groups=(
        "the CMake package test (C firmware, ARM cross gcc, Ninja): gcc-arm-none-eabi ninja-build"
        "the toolchain tests (cross ld): binutils-arm-none-eabi binutils-riscv64-unknown-elf"
        "booting the example boards in the emulator: qemu-system-arm qemu-system-misc"
        "the C and C++ runtime tests (with the ARM cross gcc above): libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib picolibc-arm-none-eabi gcc-riscv64-unknown-elf picolibc-riscv64-unknown-elf"
        "make fuzz (clang and its fuzzer runtime): clang-14 libclang-rt-14-dev"
        "reading the manual page: man-db"
        "the benchmarks and their instruction counts: libbenchmark-dev libxml2-utils valgrind"
    )
fi

if ! command -v dpkg-query >/dev/null; then
    echo "install-deps: not a Debian system; install the packages named in $0 yourself" >&2
    exit 0
fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# Fills "missing" with the packages of the given groups that are not installed, and "reasons"
# with one line per group that lacks any: the packages, then what they are for.
missing=()
reasons=()
find_missing() {
    local group package lacking
    for group in "$@"; do
        lacking=()
        for package in ${group#*: }; do
            installed "$package" || lacking+=("$package")
        done
        [ ${#lacking[@]} -eq 0 ] && continue
        missing+=("${lacking[@]}")
        reasons+=("install-deps:   ${lacking[*]}: ${group%%: *}")
    done
}

find_missing "${required_groups[@]}"
required_reasons=("${reasons[@]}")
reasons=()
find_missing "${optional_groups[@]}"
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    if [ ${#required_reasons[@]} -ne 0 ]; then
        echo "install-deps: missing packages that the build needs:" >&2
        printf '%s\n' "${required_reasons[@]}" >&2
    fi
    if [ ${#reasons[@]} -ne 0 ]; then
        echo "install-deps: missing optional packages (tests that need them are skipped):" >&2
        printf '%s\n' "${reasons[@]}" >&2
    fi
    echo "install-deps: to install them, run as root: scripts/install-deps.sh $profile" >&2
    [ ${#required_reasons[@]} -eq 0 ] || exit 1
    exit 0
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
for package in "${missing[@]}"; do
    echo "install-deps: installing $package"
    apt-get install -y -qq --no-install-recommends "$package" >/dev/null
done
