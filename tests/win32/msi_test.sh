#!/usr/bin/env bash
# Installs, upgrades and removes the Windows installer under Wine, in a
# throw-away prefix, headless:
#   tests/win32/msi_test.sh NEW.msi OLD.msi
#   tests/win32/msi_test.sh NEW.msi --old-from BIN-FOLDER
# OLD.msi is an older version of the same product. With --old-from, one is
# made by packaging/windows/build-msi from BIN-FOLDER, the programs NEW.msi
# was made from, one version below NEW.msi's; the installed programs are then
# also compared with BIN-FOLDER's. Steps: the package's shortcut is checked,
# OLD is installed and checked (files, Start-menu shortcut, Explorer entry,
# uninstall entry, per-machine registration), NEW goes over it and must
# replace it, OLD must then be refused, and removing NEW must leave nothing.
# One line per check; the first failure ends the run with exit code 1.
# Needs wine64 and msitools (scripts/setup).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

fail() {
  echo "msi_test: FAIL $*" >&2
  exit 1
}
pass() {
  echo "msi_test: ok   $*"
}

usage="usage: msi_test.sh NEW.msi OLD.msi | msi_test.sh NEW.msi --old-from BIN-FOLDER"
case $# in
2) new=$1 old=$2 bin='' ;;
3) [ "$2" = --old-from ] || fail "$usage"
  new=$1 old='' bin=$3 ;;
*) fail "$usage" ;;
esac
[ -f "$new" ] || fail "no file $new"
if [ -n "$bin" ]; then
  [ -d "$bin" ] || fail "no folder $bin"
  bin=$(cd "$bin" && pwd)
fi
new=$(cd "$(dirname "$new")" && pwd)/$(basename "$new")

wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
[ -x "$wine" ] || fail "wine64 is missing; run scripts/setup"
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
for tool in msiinfo msiextract; do
  command -v "$tool" >/dev/null || fail "$tool is missing (Debian package msitools); run scripts/setup"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-msi-XXXXXX")
prefix=$work/prefix
cleanup() {
  WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# msi_property MSI NAME: a value of the package's Property table.
msi_property() {
  msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v n="$2" '$1 == n { print $2 }'
}

new_version=$(msi_property "$new" ProductVersion)
[ -n "$new_version" ] || fail "$new has no ProductVersion"
if [ -n "$bin" ]; then
  # One below: the last non-zero part less one, the parts after it 0.
  IFS=. read -r major minor build <<<"$new_version"
  if ((build > 0)); then
    old_version=$major.$minor.$((build - 1))
  elif ((minor > 0)); then
    old_version=$major.$((minor - 1)).0
  elif ((major > 0)); then
    old_version=$((major - 1)).0.0
  else
    fail "$new has version $new_version: no older version can be made"
  fi
  old=$work/old.msi
  "$root/packaging/windows/build-msi" "$bin" "$old_version" "$old" >/dev/null
fi
[ -f "$old" ] || fail "no file $old"
old_version=$(msi_property "$old" ProductVersion)
[ "$(msi_property "$old" UpgradeCode)" = "$(msi_property "$new" UpgradeCode)" ] ||
  fail "$old and $new are not the same product (UpgradeCode differs)"
echo "msi_test: $(basename "$old") is $old_version, $(basename "$new") is $new_version"

# Wine makes every shortcut a plain one; Windows would make an advertised
# one (which starts the installer to check the product) of a shortcut whose
# target is a feature. So the package itself must name the program.
target=$(msiinfo export "$new" Shortcut | tr -d '\r' | awk -F'\t' '$3 == "TorVane Update Program" { print $5 }')
[ "$target" = "[#torvane_update.exe]" ] ||
  fail "the Start-menu shortcut's target is '$target', not the file torvane-update.exe: an advertised shortcut"
pass "shortcut in the package: a plain one to torvane-update.exe"

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
"$wine" wineboot --init >"$work/wineboot.log" 2>&1 || true

drive_c=$prefix/drive_c
install_dir="$drive_c/Program Files/TorVane Update"
windows_dir='C:\Program Files\TorVane Update'
programs=(torvane-update.exe torvane-s19.exe README.txt)
shortcut_name="TorVane Update Program.lnk"
# A per-machine package puts it in the common Start menu; Wine's installer
# resolves ProgramMenuFolder to the user's Start menu even then.
shortcut_dirs=("$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
  "$drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs")
classes='HKLM\Software\Classes\Directory'
entry_keys=("$classes\\shell\\TorVaneUpdate" "$classes\\Background\\shell\\TorVaneUpdate")

# msiexec /i|/x PACKAGE, silent; on failure its output is shown.
msiexec() {
  if ! "$wine" msiexec "$1" "$2" /qn >"$work/msiexec.log" 2>&1; then
    tr -d '\r' <"$work/msiexec.log" >&2
    return 1
  fi
}

# reg_value KEY: the key's default value; nothing when the key is absent.
reg_value() {
  { "$wine" reg query "$1" /ve 2>/dev/null || true; } | tr -d '\r' |
    sed -n 's/^ *(Default) *REG_SZ *//p'
}

# The product codes published for the whole machine (Windows Installer's
# per-machine registration), one a line.
published_per_machine() {
  { "$wine" reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null || true; } |
    tr -d '\r' | awk '
      /^HKEY_/ { key = $0 }
      $1 == "ProductName" && $0 ~ /REG_SZ +TorVane Update$/ { print key }'
}

# The uninstall entries of the product, one "name version" line each.
registered() {
  { "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null || true; } |
    tr -d '\r' | awk '
      /^HKEY_/ { if (name == "TorVane Update") print name, version; name = ""; version = "" }
      $1 == "DisplayName" { name = $0; sub(/^ *DisplayName +REG_SZ +/, "", name) }
      $1 == "DisplayVersion" { version = $3 }
      END { if (name == "TorVane Update") print name, version }'
}

# check_installed VERSION PACKAGE: what installing PACKAGE must have left.
check_installed() {
  local version=$1 package=$2 content=$work/content-$1 file found dir
  msiextract -C "$content" "$package" >/dev/null
  for file in "${programs[@]}"; do
    [ -f "$install_dir/$file" ] || fail "$file is not in Program Files\\TorVane Update"
  done
  diff -r "$content/TorVane Update" "$install_dir" >&2 ||
    fail "Program Files\\TorVane Update differs from the contents of $(basename "$package") (above)"
  if [ -n "$bin" ]; then
    for file in torvane-update.exe torvane-s19.exe; do
      cmp -s "$bin/$file" "$install_dir/$file" || fail "the installed $file is not $bin/$file"
    done
  fi
  pass "files: ${programs[*]} in Program Files\\TorVane Update, as packaged${bin:+ from $bin}"

  found=
  for dir in "${shortcut_dirs[@]}"; do
    if [ -f "$dir/$shortcut_name" ]; then
      found=$dir/$shortcut_name
      break
    fi
  done
  [ -n "$found" ] || fail "no Start-menu shortcut \"$shortcut_name\""
  # It must start the installed program.
  grep -aqF "$windows_dir\\torvane-update.exe" "$found" ||
    fail "the shortcut ${found#"$drive_c"/} does not point to $windows_dir\\torvane-update.exe"
  pass "shortcut: ${found#"$drive_c"/} -> $windows_dir\\torvane-update.exe"

  [ "$(reg_value "${entry_keys[0]}")" = "Update TorVane from this folder" ] ||
    fail "${entry_keys[0]} is missing or has the wrong text"
  [ "$(reg_value "${entry_keys[0]}\\command")" = "\"$windows_dir\\torvane-update.exe\" \"%1\"" ] ||
    fail "${entry_keys[0]}\\command is '$(reg_value "${entry_keys[0]}\\command" || true)'"
  [ "$(reg_value "${entry_keys[1]}")" = "Update TorVane from this folder" ] ||
    fail "${entry_keys[1]} is missing or has the wrong text"
  [ "$(reg_value "${entry_keys[1]}\\command")" = "\"$windows_dir\\torvane-update.exe\" \"%V\"" ] ||
    fail "${entry_keys[1]}\\command is '$(reg_value "${entry_keys[1]}\\command" || true)'"
  pass "Explorer entry: \"Update TorVane from this folder\" on folders (\"%1\") and folder backgrounds (\"%V\")"

  [ "$(registered)" = "TorVane Update $version" ] ||
    fail "expected one uninstall entry TorVane Update $version, found: $(registered | paste -sd, -)"
  pass "uninstall entry: only TorVane Update $version"

  [ "$(published_per_machine | wc -l)" -eq 1 ] ||
    fail "not registered once for the whole machine (HKLM\Software\Classes\Installer\Products): $(published_per_machine | paste -sd, -)"
  pass "installed per machine"
}

echo "== install $old_version"
msiexec /i "$old" || fail "msiexec /i $(basename "$old") failed"
check_installed "$old_version" "$old"

echo "== install $new_version over it"
msiexec /i "$new" || fail "msiexec /i $(basename "$new") failed"
check_installed "$new_version" "$new"

echo "== install $old_version over $new_version"
if "$wine" msiexec /i "$old" /qn >"$work/msiexec.log" 2>&1; then
  fail "the older package installed over the newer one"
fi
[ "$(registered)" = "TorVane Update $new_version" ] ||
  fail "after the refused downgrade: $(registered | paste -sd, -)"
pass "downgrade refused, $new_version still installed"

echo "== uninstall"
msiexec /x "$new" || fail "msiexec /x $(basename "$new") failed"
[ ! -e "$install_dir" ] || fail "Program Files\\TorVane Update is still there: $(ls "$install_dir")"
pass "files: Program Files\\TorVane Update removed"
for dir in "${shortcut_dirs[@]}"; do
  [ ! -e "$dir/$shortcut_name" ] || fail "the shortcut ${dir#"$drive_c"/}/$shortcut_name is still there"
done
pass "shortcut: removed"
for key in "${entry_keys[@]}"; do
  if "$wine" reg query "$key" >/dev/null 2>&1; then
    fail "$key is still there"
  fi
done
pass "Explorer entry: removed"
[ -z "$(registered)" ] || fail "uninstall entries left: $(registered | paste -sd, -)"
pass "uninstall entry: removed"
[ -z "$(published_per_machine)" ] || fail "still registered: $(published_per_machine | paste -sd, -)"
pass "product registration: removed"
echo "msi_test: all checks passed"
