#!/usr/bin/env bash
# Lets Ardour's VST scanner, a real host, load the plug-in and checks what it recorded.
# Usage: ardour_scan.sh <path to XeTetraVST.so>
set -euo pipefail

plugin=$(readlink -f "${1:?usage: ardour_scan.sh <XeTetraVST.so>}")
scanner=/usr/lib/ardour7/ardour-vst-scanner
[ -x "$scanner" ] || { echo "ardour_scan: $scanner is missing; install Ardour 7 (Debian package" \
    "ardour), e.g. with scripts/install-deps.sh" >&2; exit 1; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

# A sanitizer build can only be loaded with its runtime preloaded, and that runtime deadlocks in
# the scanner's own exit handlers (libp11-kit), so only the plain build is scanned.
if ldd "$plugin" 2>/dev/null | grep libasan >/dev/null; then
    echo "ardour_scan: $plugin is a sanitizer build; the scanner is run on the plain build only"
    exit 77
fi

env -u DISPLAY -u XDG_CACHE_HOME -u XDG_CONFIG_HOME -u XDG_DATA_HOME \
    HOME="$home" LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 "$scanner" -f "$plugin" 2>&1 ||
    { echo "ardour_scan: the scanner failed with status $?" >&2; exit 1; }

key=$(printf '%s' "$plugin" | sha1sum | cut -d' ' -f1)
cache="$home/.cache/ardour7/vst/$key-x64.v2i"
[ -f "$cache" ] ||
    { echo "ardour_scan: no cache file $cache; found:" >&2; find "$home" -type f >&2; exit 1; }
cat "$cache"

failed=0
for pair in id=1483035697 'name=Xerio Kalen Ambrel' creator=XeAudio category=SurroundFx \
    n_inputs=4 n_outputs=4 can_process_replace=1 has_editor=1 is_instrument=0; do
    if ! grep -q -- " ${pair%%=*}=\"${pair#*=}\"" "$cache"; then
        echo "ardour_scan: expected ${pair%%=*}=\"${pair#*=}\" in $cache" >&2
        failed=1
    fi
done
[ "$(grep -c '<VST2Info ' "$cache")" -eq 1 ] ||
    { echo "ardour_scan: expected exactly one plug-in in $cache" >&2; failed=1; }
exit "$failed"
