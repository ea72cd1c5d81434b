#!/usr/bin/env bash
# Redraws the program's pictures into resources/ and renders the skin preview.
# Usage: tools/makeart/makeart.sh [preview folder]   (default: /tmp/qinghe-art-preview)
# Needs qt6-svg-dev and fonts-wqy-microhei (both in scripts/common.sh); the
# preview needs xvfb-run, or a display.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${MAKEART_BUILD:-/tmp/qinghe-makeart-build}"
preview="${1:-/tmp/qinghe-art-preview}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# The preview embeds the pictures, so draw them before building it.
cmake --build "$build" --target makeart
"$build/makeart" "$root/resources"
cmake --build "$build" --target skinpreview

mkdir -p "$preview"
if [ -n "${DISPLAY:-}" ]; then
    "$build/skinpreview" "$root/resources" "$preview"
elif command -v xvfb-run >/dev/null; then
    xvfb-run -a "$build/skinpreview" "$root/resources" "$preview"
else
    QT_QPA_PLATFORM=offscreen "$build/skinpreview" "$root/resources" "$preview"
fi
