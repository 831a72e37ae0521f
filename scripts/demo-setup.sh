#!/usr/bin/env bash
# Runs inside scripts/run.sh's display: installs the product with the built
# installer, silently, into a fresh Wine prefix of its own (with its own
# wineserver, stopped at the end), shows what the install left there, then
# uninstalls it silently and shows what is left.
set -uo pipefail
bin=$TQ_DEMO_BIN
root=$TQ_SETUP_DEMO
wine=$TQ_WINE
say() { echo "== setup: $*" >&2; }

export WINEPREFIX="$root/prefix" WINEARCH=$TQ_WINEARCH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
rm -rf "$root"
mkdir -p "$root"
say "creating a fresh Wine prefix $WINEPREFIX"
"$wine" wineboot -i >"$root/wineboot.log" 2>&1 || { say "FAILED: wineboot (see $root/wineboot.log)"; exit 1; }
"$TQ_WINESERVER" -w

install='C:\Program Files\TqSorva'
say "installing: TqSorvaSetup.exe -silence \"$install\""
"$wine" "$bin/setup_runner.exe" run "$bin/TqSorvaSetup.exe" -silence "$install" >"$root/setup.out" 2>&1
sed -n 's/^exit=/exit code: /p' "$root/setup.out" | sed 's/^/     /'
grep -q '^exit=0' "$root/setup.out" || { say "FAILED: the installer did not exit with 0"; "$TQ_WINESERVER" -k; exit 1; }
# The filter's registration (regsvr32) and tallyo run on after the installer.
"$TQ_WINESERVER" -w

drive="$WINEPREFIX/drive_c"
say "the install folder C:\\Program Files\\TqSorva:"
(cd "$drive/Program Files/TqSorva" && find . | sort | sed 's/^\.\///;s/^/     /' | grep -v '^     \.$')

say "registry values:"
uninstall='Software\Microsoft\Windows\CurrentVersion\Uninstall\TqSorva'
while read -r hive key value; do
  printf '     %s\\%s  %s = ' "$hive" "$key" "$value"
  "$wine" "$bin/setup_runner.exe" reg "$hive" "$key" "$value" 2>/dev/null | tr -d '\r' | sed 's/^value=//'
done <<VALUES
HKCU Software\brenlo\tqsorva InstallDir
HKCU Software\brenlo\com.tq.tqsorva InstallDir
HKLM $uninstall UninstallString
HKLM $uninstall DisplayName
HKLM $uninstall DisplayIcon
HKLM $uninstall Publisher
HKLM $uninstall URLInfoAbout
HKLM $uninstall DisplayVersion
VALUES

say "shortcuts (target, working folder):"
user=$(ls "$drive/users" | grep -v '^Public$' | head -1)
for link in "C:\\users\\$user\\Desktop\\TqNelu.lnk" \
            "C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\TqNelu.lnk" \
            "C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\TqNelu\\TqNelu.lnk" \
            "C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\TqNelu\\卸载TqNelu.lnk"; do
  echo "     $link"
  "$wine" "$bin/setup_runner.exe" link "$link" 2>/dev/null | tr -d '\r' | sed 's/^/         /'
done

say "setup.ini:"
tr -d '\r' < "$drive/users/$user/AppData/Roaming/brenlo/tqsorva/setup.ini" | sed 's/^/     /'

say "cameras DirectShow lists after the install:"
"$wine" "$bin/vcamgrab.exe" list 2>/dev/null | tr -d '\r' | sed 's/^/     /' | tee "$root/cameras.txt"
rc=0
grep -q 'TqNelu' "$root/cameras.txt" || { say "FAILED: \"TqNelu\" is not listed"; rc=1; }

# The user's silent uninstall: the install folder's Uninstall.exe unregisters
# the camera and hands over to its copy under the per-user setup folder,
# which deletes the install; the wait is for every program of the prefix.
say "uninstalling: \"$install\\Uninstall.exe\" -silence"
"$wine" "$bin/setup_runner.exe" run "$install\\Uninstall.exe" -silence >"$root/uninstall.out" 2>&1
sed -n 's/^exit=/exit code: /p' "$root/uninstall.out" | sed 's/^/     /'
"$TQ_WINESERVER" -w
say "what is left of ours after the uninstall:"
[ -e "$drive/Program Files/TqSorva" ] && { say "FAILED: the install folder is still there"; rc=1; } \
  || echo "     C:\\Program Files\\TqSorva: gone"
for key in 'HKCU Software\brenlo\tqsorva InstallDir' "HKLM $uninstall UninstallString"; do
  got=$("$wine" "$bin/setup_runner.exe" reg $key 2>/dev/null | tr -d '\r')
  echo "     ${key// /\\}: $got"
  [ "$got" = missing ] || { say "FAILED: the value is still there"; rc=1; }
done
for link in "$drive/users/$user/Desktop/TqNelu.lnk" "$drive/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/TqNelu"; do
  [ -e "$link" ] && { say "FAILED: $link is still there"; rc=1; } || echo "     ${link#$drive/}: gone"
done
echo "     the user's own files, kept:"
(cd "$drive/users/$user/AppData/Roaming/brenlo" 2>/dev/null && find . -type f | sort | sed 's/^\.\//         /')
"$wine" "$bin/vcamgrab.exe" list 2>/dev/null | tr -d '\r' > "$root/cameras-after.txt"
grep -q 'TqNelu' "$root/cameras-after.txt" && { say "FAILED: \"TqNelu\" is still listed"; rc=1; } \
  || echo "     cameras DirectShow lists: \"TqNelu\" is gone"
"$TQ_WINESERVER" -k
exit $rc
