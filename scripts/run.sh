#!/usr/bin/env bash
# Installs what is needed, builds the plug-in, installs it where Linux hosts look (~/.vst) and
# shows it working on a generated A-format recording; then converts a generated recording with
# the command-line tool and plots program 0's response into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target XeTetraVST xetetra-plugin-demo xetetra
mkdir -p "$HOME/.vst"
cp build/XeTetraVST.so "$HOME/.vst/"
echo "Installed $HOME/.vst/XeTetraVST.so"
build/xetetra-plugin-demo "$HOME/.vst/XeTetraVST.so"
mkdir -p out
build/xetetra generate --force --signal noise --seconds 10 --azimuth 45 --elevation 20 \
    out/a-format.wav
build/xetetra convert --force --program 0 out/a-format.wav out/b-format.amb
build/xetetra response --force --program 0 out/response.png
echo "Wrote out/a-format.wav, out/b-format.amb and out/response.png"
