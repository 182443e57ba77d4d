#!/usr/bin/env bash
# Fails when a core library (rules, storage, the engine) or the program that
# runs the commands without a window loads Qt's widgets, GUI or printing:
# read from the built programs with ldd. Run after the build.
set -euo pipefail
cd "$(dirname "$0")/.."
programs=(build/quillpost build/tests/core/quillpost_core_probe)
bad=0
for p in "${programs[@]}"; do
    if [ ! -x "$p" ]; then
        echo "check-core: $p is not built" >&2
        exit 2
    fi
    hits=$(ldd "$p" | grep -oE 'libQt6(Widgets|Gui|PrintSupport|OpenGL|OpenGLWidgets)\.so[^ ]*' || true)
    if [ -n "$hits" ]; then
        echo "check-core: $p loads $(echo $hits | tr '\n' ' ')" >&2
        bad=1
    fi
done
[ "$bad" -eq 0 ] || { echo "check-core: a core library links the windows; keep widgets in the ui/ libraries" >&2; exit 1; }
echo "check-core: the core libraries and the command program load no widgets, GUI or printing"
