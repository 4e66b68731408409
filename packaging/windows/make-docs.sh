#!/usr/bin/env bash
# Gathers the texts every Windows package carries into DOC_DIR: LICENSE.txt, README.txt,
# THIRD-PARTY-NOTICES.txt and licenses/ (Qt's and its bundled libraries' notices, a folder per
# library), with
# Windows line ends so Notepad shows them properly.
# Usage: make-docs.sh VERSION NOTICE_DIR DOC_DIR
#   NOTICE_DIR is the licenses folder that the Windows build leaves beside the programs.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: make-docs.sh VERSION NOTICE_DIR DOC_DIR" >&2; exit 2; }
version=$1
notices=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

[ -n "$(ls -A "$notices" 2>/dev/null)" ] || { echo "make-docs.sh: no notices in $notices" >&2; exit 1; }
# The Qt that the Windows build compiled: the host's qt6-base, whose source it unpacks.
qt_deb_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
qt_version=${qt_deb_version%%+*}
qt_version=${qt_version%%-*}

crlf() { sed 's/\r$//; s/$/\r/' "$1" > "$2"; }
rm -rf "$out"
mkdir -p "$out/licenses"
crlf "$source_dir/LICENSE" "$out/LICENSE.txt"
crlf "$source_dir/README.md" "$out/README.txt"
sed -e "s/@VERSION@/$version/g" -e "s/@QT_VERSION@/$qt_version/g" \
    -e "s/@QT_DEB_VERSION@/$qt_deb_version/g" "$here/THIRD-PARTY-NOTICES.txt.in" > "$out/notices.tmp"
crlf "$out/notices.tmp" "$out/THIRD-PARTY-NOTICES.txt"
rm "$out/notices.tmp"
# One folder per library, as the Windows build left them.
(cd "$notices" && find . -type f) | while IFS= read -r f; do
  mkdir -p "$(dirname "$out/licenses/$f")"
  crlf "$notices/$f" "$out/licenses/$f"
done
