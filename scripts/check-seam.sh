#!/usr/bin/env bash
# Fails, listing the lines, when a file outside the Qt implementation of the
# platform seam includes one of the dialogs or the desktop services it wraps.
set -euo pipefail
cd "$(dirname "$0")/.."

# The seam's Qt implementation, and its smoke test that answers real dialogs.
allowed='^\./(common/ui/qtplatform\.(cpp|h)|tests/common/tst_qtplatform\.cpp):'
# <QMessageBox>, <QtWidgets/QMessageBox>, <qmessagebox.h>, and the whole-module
# headers that would bring them in.
banned='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]((Qt[A-Za-z]+/)?(QMessageBox|QFileDialog|QPrintDialog|QPageSetupDialog|QInputDialog|QDesktopServices)|(Qt[A-Za-z]+/)?q(messagebox|filedialog|printdialog|pagesetupdialog|inputdialog|desktopservices)\.h|QtWidgets|QtGui|QtPrintSupport)[>"]'

hits=$(find . -type d \( -path './.*' -o -path './build*' -o -exec test -e '{}/CMakeCache.txt' \; \) -prune \
    -o -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z \
    | xargs -0 grep -HnE "$banned" | grep -vE "$allowed" || true)
if [ -n "$hits" ]; then
    echo "check-seam: only the Qt platform (common/ui/qtplatform.*) may include these; go through Platform instead:" >&2
    printf '%s\n' "$hits" | sed 's#^\./#  #' >&2
    exit 1
fi
echo "check-seam: dialogs and desktop services are included only by the Qt platform"
