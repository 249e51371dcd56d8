#!/usr/bin/env bash
# Builds everything (native tool, GStreamer element and tests, the 32-bit
# test build, the plug-in DLL) and runs the main job on the built-in default.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
for preset in default mingw i386; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
echo "plug-in: build/mingw/trelvane.auf"
echo "GStreamer element: build/default/gst/libgsttrelvane.so (GST_PLUGIN_PATH=build/default/gst)"
# The demo never writes over a picture: without a directory named, a run
# after an earlier one takes trelvane-demo-2, -3, ...
out=${1:-}
if [ -z "$out" ]; then
    out=trelvane-demo
    n=2
    while [ -e "$out" ]; do out=trelvane-demo-$n; n=$((n + 1)); done
fi
build/default/tools/trelvane demo "$out"
# The test pattern through mode 4 at 720x480, written as one raw YC48 frame.
head -c $((720 * 480 * 6)) /dev/zero |
    build/default/tools/trelvane --yc48 720x480 --test-pattern --mode 4 - "$out/pattern-mode4.yc48"
echo "main job: pictures in $out/, raw frame $out/pattern-mode4.yc48 (720x480 YC48, test pattern through mode 4)"
