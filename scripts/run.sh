#!/usr/bin/env bash
# Installs what is needed, builds the plug-in, installs it where Linux hosts look (~/.vst) and
# shows it working on a generated A-format recording.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target XeTetraVST xetetra-plugin-demo
mkdir -p "$HOME/.vst"
cp build/XeTetraVST.so "$HOME/.vst/"
echo "Installed $HOME/.vst/XeTetraVST.so"
build/xetetra-plugin-demo "$HOME/.vst/XeTetraVST.so"
