#!/usr/bin/env bash
# cmake --install into a fresh prefix: the plug-in must land in <prefix>/lib/vst/ (where Linux
# hosts look below a prefix), exporting its entry point, and the command-line tool in
# <prefix>/bin/, runnable. Both must be the files the build made.
#
#   install_check.sh CMAKE BUILD_DIR HAVE_XETETRA(0|1)
set -euo pipefail
cmake_command=$1
build=$2
have_xetetra=$3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/xetetra_install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

"$cmake_command" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || {
    cat "$prefix.log" >&2
    rm -f "$prefix.log"
    exit 1
}
rm -f "$prefix.log"

failed=0
plugin="$prefix/lib/vst/XeTetraVST.so"
if [ ! -f "$plugin" ]; then
    echo "install_check.sh: no $plugin after installing" >&2
    failed=1
elif ! cmp -s "$plugin" "$build/XeTetraVST.so"; then
    echo "install_check.sh: $plugin differs from $build/XeTetraVST.so" >&2
    failed=1
elif ! nm -D --defined-only "$plugin" | grep -qw VSTPluginMain; then
    echo "install_check.sh: $plugin exports no VSTPluginMain" >&2
    failed=1
fi

if [ "$have_xetetra" = 1 ]; then
    tool="$prefix/bin/xetetra"
    if [ ! -x "$tool" ]; then
        echo "install_check.sh: no executable $tool after installing" >&2
        failed=1
    elif ! "$tool" --help >/dev/null 2>&1; then
        echo "install_check.sh: the installed $tool does not run" >&2
        failed=1
    fi
else
    echo "install_check.sh: the build has no xetetra target; its place is not checked"
fi

echo "installed:"
(cd "$prefix" && find . -type f | sort)
exit "$failed"
