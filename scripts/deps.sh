#!/usr/bin/env bash
# Installs the Debian packages a build step needs, only those missing.
# Usage: scripts/deps.sh GROUP...   (groups: base fuzz linux32 windows package thirdparty)
set -euo pipefail

packages_for() {
    case "$1" in
        base) echo "cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libsndfile1-dev libcli11-dev" ;;
        fuzz) echo "clang libclang-rt-14-dev" ;;
        linux32) echo "g++-multilib qemu-user googletest" ;;
        windows) echo "g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine64 googletest" ;;
        package) echo "dpkg-dev file" ;;
        thirdparty) echo "dragonfly-reverb-vst" ;;
        *) echo "unknown dependency group: $1" >&2; exit 2 ;;
    esac
}

missing=()
for group in "$@"; do
    for pkg in $(packages_for "$group"); do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
done

if ((${#missing[@]} > 0)); then
    echo "installing: ${missing[*]}"
    sudo_cmd=()
    if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
