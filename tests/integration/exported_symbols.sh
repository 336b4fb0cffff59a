#!/usr/bin/env bash
# The shared object must export its two entry points and nothing else.
# Usage: exported_symbols.sh <path to XeTetraVST.so>
set -euo pipefail
plugin=${1:?usage: exported_symbols.sh <XeTetraVST.so>}
symbols=$(nm -D --defined-only "$plugin" | awk '{print $NF}' | sort | tr '\n' ' ')
if [ "$symbols" != "VSTPluginMain main " ]; then
    echo "exported_symbols: $plugin exports: $symbols" >&2
    echo "exported_symbols: expected exactly VSTPluginMain and main" >&2
    exit 1
fi
# The entry points are functions in the text section.
for name in VSTPluginMain main; do
    if ! nm -D --defined-only "$plugin" | grep " T $name\$" >/dev/null; then
        echo "exported_symbols: $name is not a function symbol" >&2
        exit 1
    fi
done
echo "exports: $symbols"
