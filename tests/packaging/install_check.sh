#!/usr/bin/env bash
# cmake --install into a fresh prefix: the plug-in must land in <prefix>/lib/vst/ (where Linux
# hosts look below a prefix) as the file the build made (whose exports plugin_exports_only_its_
# entry_points checks), and the command-line tool in <prefix>/bin/, runnable.
#
#   install_check.sh CMAKE BUILD_DIR HAVE_XETETRA(0|1)
set -euo pipefail
prefix=$(mktemp -d "${TMPDIR:-/tmp}/xetetra_install.XXXXXX")
trap 'rm -rf "$prefix" "$prefix.log"' EXIT
"$1" --install "$2" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log" >&2; exit 1; }
if ! cmp "$prefix/lib/vst/XeTetraVST.so" "$2/XeTetraVST.so"; then
    echo "install_check.sh: $prefix/lib/vst/XeTetraVST.so is not the built plug-in" >&2
    exit 1
fi
if [ "$3" = 1 ] && ! "$prefix/bin/xetetra" --help >/dev/null; then
    echo "install_check.sh: $prefix/bin/xetetra does not run" >&2
    exit 1
fi
