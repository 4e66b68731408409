#!/usr/bin/env bash
# Builds the Windows installer with wixl from norvex.wxs beside this script.
# Usage: build-msi.sh VERSION PROGRAM_DIR DOC_DIR OUT.msi
#   PROGRAM_DIR holds norvex.exe, norvex-check.exe, norvex-probe.exe and norvex-hold.exe; DOC_DIR is what make-docs.sh made.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: build-msi.sh VERSION PROGRAM_DIR DOC_DIR OUT.msi" >&2; exit 2; }
version=$1
bin=$(realpath "$2")
docs=$(realpath "$3")
out=$4
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
. "$source_dir/scripts/lib.sh"
upgrade_code=$norvex_upgrade_code

[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "version must be X.Y.Z: $version" >&2; exit 2; }
for f in "$bin/norvex.exe" "$bin/norvex-check.exe" "$bin/norvex-probe.exe" "$bin/norvex-hold.exe" "$docs/LICENSE.txt" "$docs/licenses"; do
  [ -e "$f" ] || { echo "build-msi.sh: missing $f" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# wixl takes source paths relative to where it runs: give it short names for each input.
ln -s "$bin" "$work/bin"
ln -s "$docs" "$work/docs"
ln -s "$source_dir" "$work/src"
cp "$here/norvex.wxs" "$work/"

# A name-based GUID (SHA-1 of the UpgradeCode and NAME, laid out as a version-5 UUID): the same
# NAME gives the same GUID on every build.
stable_guid() {
  local h v
  h=$(printf '%s/%s' "$upgrade_code" "$1" | sha1sum | cut -c1-32)
  v=$(printf '%x' $(( (0x${h:16:1} & 0x3) | 0x8 )))
  printf '%s-%s-5%s-%s%s-%s' "${h:0:8}" "${h:8:4}" "${h:13:3}" "$v" "${h:17:3}" "${h:20:12}" \
    | tr a-f A-F
}
# The licence notices are whatever the Windows build left: files, and a folder per library. Each
# folder becomes a Directory with one component (its GUID fixed by the folder's name), listed in
# notices.wxi; notices-refs.wxi puts every such component in the feature.
n=0
component() {  # FOLDER (relative to docs/licenses, "." for the top)
  local folder=$1 id=Licenses$2 first=1 f name path
  echo "  <Component Id=\"$id\" Guid=\"$(stable_guid "licenses/$folder")\" Win64=\"yes\">"
  while IFS= read -r -d '' f; do
    name=${f##*/}
    [[ $name =~ ^[A-Za-z0-9._+-]+$ ]] || { echo "notice file name not usable: $name" >&2; exit 1; }
    n=$((n + 1))
    path=docs/licenses/$name
    [ "$folder" = . ] || path=docs/licenses/$folder/$name
    echo "    <File Id=\"Notice$n\" Name=\"$name\" Source=\"$path\"$(
      [ $first = 1 ] && echo ' KeyPath="yes"')/>"
    first=0
  done < <(find "$docs/licenses/$folder" -mindepth 1 -maxdepth 1 -type f -print0 | sort -z)
  echo "  </Component>"
  echo "<ComponentRef Id=\"$id\"/>" >> "$work/refs"
}
{
  echo '<?xml version="1.0" encoding="utf-8"?>'
  echo '<Include xmlns="http://schemas.microsoft.com/wix/2006/wi">'
  : > "$work/refs"
  component . ""
  d=0
  while IFS= read -r -d '' sub; do
    name=${sub##*/}
    [[ $name =~ ^[A-Za-z0-9._+-]+$ ]] || { echo "notice folder name not usable: $name" >&2; exit 1; }
    d=$((d + 1))
    echo "  <Directory Id=\"LicensesDir$d\" Name=\"$name\">"
    component "$name" "$d"
    echo "  </Directory>"
  done < <(find "$docs/licenses" -mindepth 1 -maxdepth 1 -type d -print0 | sort -z)
  [ $n -gt 0 ] || { echo "no licence notices in $docs/licenses" >&2; exit 1; }
  echo '</Include>'
} > "$work/notices.wxi"
{
  echo '<?xml version="1.0" encoding="utf-8"?>'
  echo '<Include xmlns="http://schemas.microsoft.com/wix/2006/wi">'
  cat "$work/refs"
  echo '</Include>'
} > "$work/notices-refs.wxi"

# A new ProductCode for every version (so a newer one upgrades an older in place), yet the same
# one each time a given version is built.
product_code=$(stable_guid "$version")

out_abs=$(realpath -m "$out")
# wixl reports problems it can work around as GLib warnings and still succeeds: treat them as
# failures, so a construct it silently drops never reaches a release.
(cd "$work" && wixl -a x64 -o "$out_abs" -D Version="$version" -D ProductCode="$product_code" \
   -D UpgradeCode="$upgrade_code" norvex.wxs) 2>"$work/wixl.log" || { cat "$work/wixl.log" >&2; exit 1; }
if [ -s "$work/wixl.log" ]; then
  cat "$work/wixl.log" >&2
  rm -f "$out_abs"
  echo "build-msi.sh: wixl warned; no installer made" >&2
  exit 1
fi
echo "$out: norvex $version, ProductCode {$product_code}"
