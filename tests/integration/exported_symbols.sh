#!/usr/bin/env bash
# The shared object must export its two entry points and nothing else.
# Usage: exported_symbols.sh <path to XeTetraVST.so>
set -euo pipefail
plugin=${1:?usage: exported_symbols.sh <XeTetraVST.so>}
# Exactly the two entry points, both functions in the text section.
symbols=$(nm -D --defined-only "$plugin" | awk '{print $(NF-1), $NF}' | LC_ALL=C sort | tr '\n' ' ')
if [ "$symbols" != "T VSTPluginMain T main " ]; then
    echo "exported_symbols: $plugin exports: $symbols (expected exactly VSTPluginMain and main)" >&2
    exit 1
fi
echo "exports: $symbols"
