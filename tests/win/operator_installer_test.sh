#!/usr/bin/env bash
# An operator's installer: their config.ini, name, program name, publisher, version and a
# signing command (here osslsigncode with a certificate made for this test). Under Wine it
# installs silently;
# the program, the tool, the installer and its uninstaller verify as signed; the players see
# the operator's name in the shortcuts and in Apps & features with the publisher and version;
# the installed launcher has the operator's configuration and says its version; uninstalling
# keeps the player's saved data unless told /PURGE.
# Usage: operator_installer_test.sh MAKENSIS NSI SIGN_SCRIPT INSTALLER_DEFINES...
set -uo pipefail
makensis=$1 nsi=$2 sign=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/integration/check.sh"
work=$(mktemp -d)
folder="C:\\tavrin-operator-test\\$$"
dir=$(winepath -u "$folder" 2>/dev/null)
name="龙腾三国" publisher="龙腾游戏有限公司" launcher=longteng
key="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$name"
cleanup() {
  wine reg delete "$key" /f </dev/null >/dev/null 2>&1
  wine reg delete "HKCU\\Software\\$name" /f </dev/null >/dev/null 2>&1
  rm -rf "$work" "$(winepath -u 'C:\tavrin-operator-test' 2>/dev/null)"
}
trap cleanup EXIT

# A certificate of this test's own, as an operator's code-signing certificate.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=Tavrin Test Operator" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
echo "test-only" > "$work/pass"
openssl pkcs12 -export -out "$work/operator.p12" -inkey "$work/key.pem" -in "$work/cert.pem" \
  -passout "file:$work/pass"
export TAVRIN_SIGN_PKCS12=$work/operator.p12 TAVRIN_SIGN_PASSWORD_FILE=$work/pass
printf '[config]\r\nconfigUrl=http://op.example.test/cfg?yid=\r\n' > "$work/config.ini"

# The programs as the build signs them before packing; the rest as the build defines it.
defines=() version=""
for define in "$@"; do
  case $define in
    -DPROGRAM=* | -DTOOL=*)
      program="$work/$(basename "${define#*=}")"
      cp "${define#*=}" "$program" && "$sign" "$program"
      defines+=("${define%%=*}=$program") ;;
    -DCONFIG=* | -DNAME=* | -DPUBLISHER=* | -DSIGN=* | -DPROGRAM_NAME=*) ;;
    -DVERSION=*) version=${define#*=}; defines+=("$define") ;;
    *) defines+=("$define") ;;
  esac
done
"$makensis" -V2 -INPUTCHARSET UTF8 "${defines[@]}" -DCOMPRESSOR=zlib "-DNAME=$name" "-DPROGRAM_NAME=$launcher" \
  "-DPUBLISHER=$publisher" "-DCONFIG=$work/config.ini" "-DSIGN=$sign" \
  "-DOUTFILE=$work/operator-setup.exe" "$nsi" >"$work/makensis.log" 2>&1
check "the installer is built" 0 "$?"
signed() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1 && echo signed || echo unsigned; }
check "the installer is signed" signed "$(signed "$work/operator-setup.exe")"
check "the installer's properties name the product and publisher" yes "$(python3 -c '
import sys
data = open(sys.argv[1], "rb").read()
print("yes" if all(t.encode("utf-16-le") in data for t in sys.argv[2:]) else "no")' \
  "$work/operator-setup.exe" "$name" "$publisher")"

timeout 120 wine "$work/operator-setup.exe" /S "/D=$folder"
check "a silent install" 0 "$?"
for file in $launcher.exe tavrin-tool.exe uninstall.exe; do
  check "$file is signed" signed "$(signed "$dir/$file")"
done
check "their config.ini" "$(cat "$work/config.ini")" "$(cat "$dir/config.ini" 2>/dev/null)"
reg_value() { # the console speaks the system code page (936)
  wine reg query "$key" /v "$1" </dev/null 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' |
    sed -n "s/.*REG_SZ *//p"
}
# tavrin-update finds the entry by its folder to show the version a self-update brings.
check "Apps & features" "$name|$publisher|$version|$folder" \
  "$(reg_value DisplayName)|$(reg_value Publisher)|$(reg_value DisplayVersion)|$(reg_value InstallLocation)"
profile=$(wine cmd /c 'echo %USERPROFILE%' 2>/dev/null | tr -d '\r')
check "their name on the desktop" yes \
  "$([ -e "$(winepath -u "$profile\\Desktop\\$name.lnk" 2>/dev/null)" ] && echo yes || echo no)"
check "the launcher's version" "tavrin $version" \
  "$(timeout 60 wine "$dir/$launcher.exe" --version 2>/dev/null | tr -d '\r')"
# What the player's play left (logins, saved games) stays unless the uninstall is told to purge.
appdata=$(winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')" 2>/dev/null)
mkdir -p "$appdata/$launcher.browser" && echo saved > "$appdata/$launcher.browser/operator-test-marker"
timeout 120 wine "$dir/uninstall.exe" /S _?="$folder"
check "uninstalled" "no|no" \
  "$([ -e "$dir/$launcher.exe" ] && echo yes || echo no)|$([ -n "$(reg_value DisplayName)" ] && echo yes || echo no)"
check "the player's saved data kept" saved "$(cat "$appdata/$launcher.browser/operator-test-marker" 2>/dev/null)"
timeout 120 wine "$work/operator-setup.exe" /S "/D=$folder"
timeout 120 wine "$dir/uninstall.exe" /S /PURGE _?="$folder"
check "/PURGE takes the saved data too" gone \
  "$([ -e "$appdata/$launcher.browser/operator-test-marker" ] && echo kept || echo gone)"
finish || { cat "$work/makensis.log"; exit 1; }
