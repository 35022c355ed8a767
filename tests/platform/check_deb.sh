#!/usr/bin/env bash
# Checks the .deb as a user gets it: its file list and dependencies, then
# installs it, asks the installed renderer to find the plug-in without
# --plugin (it must come from /usr/lib/vst), and purges the package again.
# Usage: tests/platform/check_deb.sh PACKAGE.deb   (as root: runs dpkg -i, then dpkg -P)
set -euo pipefail
deb=$1
fail() { echo "check_deb: $*" >&2; exit 1; }

echo "== $deb"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
echo "$files"
expected=$'./usr/bin/kavro-render\n./usr/lib/vst/Kavro.so'
[[ "$files" == "$expected" ]] || fail "file list differs from: ${expected//$'\n'/ }"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libsndfile1; do
    [[ ",$depends" == *", $lib"* || ",$depends" == *",$lib"* ]] || fail "Depends lacks $lib"
done

package=$(dpkg-deb -f "$deb" Package)
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    fail "$package is already installed here; remove it first (dpkg -r $package)"
fi
dpkg -i "$deb" >/dev/null
trap 'dpkg -P "$package" >/dev/null' EXIT

# A plain environment: no VST_PATH/LXVST_PATH and a HOME without ~/.vst, so
# only the system folder can answer.
home=$(mktemp -d)
info=$(cd / && env -i PATH=/usr/bin:/bin HOME="$home" kavro-render --info 2>&1) || {
    echo "$info"
    rmdir "$home"
    fail "kavro-render --info failed"
}
rmdir "$home"
echo "$info"
# The tool may name the folder relative to itself (/usr/bin/../lib/vst).
found=$(sed -n 's/^plug-in  *//p' <<<"$info")
[[ -n "$found" && $(realpath -m "$found") == /usr/lib/vst/Kavro.so ]] ||
    fail "kavro-render found '$found', not /usr/lib/vst/Kavro.so"
echo "check_deb: ok"
