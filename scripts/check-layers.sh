#!/usr/bin/env bash
# Checks that the folders' includes point one way: each folder includes only itself and the
# folders below it (the map is in README.md). Prints every include that breaks the rule.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
    [dsp]=""
    [vst]=""
    [gui]=""
    [params]="vst"
    [calibration]="dsp params vst"
    [core]="dsp params calibration vst"
    [editor]="vst gui params"
    [plugin]="dsp params calibration core vst gui editor"
    [tools]="dsp params calibration core vst"
    [resources]="gui editor"
)
status=0
for folder in "${!allowed[@]}"; do
    [ -d "$folder" ] || continue
    while IFS= read -r line; do
        file=${line%%:*}
        target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$line")
        [ "$target" = "$folder" ] && continue
        case " ${allowed[$folder]} " in
        *" $target "*) ;;
        *)
            echo "check-layers: $file includes from $target/, which $folder/ may not use" >&2
            status=1
            ;;
        esac
    done < <(grep -H -E '^\s*#\s*include "[a-z]+/' "$folder"/*.cpp "$folder"/*.h "$folder"/*/*.h 2>/dev/null || true)
done
[ "$status" -eq 0 ] && echo "check-layers: every include points down"
exit "$status"
