#!/bin/bash
# The maker's release in one command (inside the environment: tools/in-env.sh tools/release.sh ...).
# Builds lumaspire.scr with the maker's two public keys built in and packs it into
# lumaspire-setup.exe, signs that installer and its uninstaller with Authenticode when a
# code-signing certificate is given, and writes the upgrade.txt to publish beside it,
# carrying the installer's size and the maker's Ed25519 signature of its version text,
# that size and the installer's SHA-256. With a certificate, the program is built to
# start only installers that certificate's key has signed too (where Windows can tell).
# A winget manifest for the installer is written beside them.
#
#   tools/release.sh --signing-key KEY.pem --public-keys CURRENT.pub.pem NEXT.pub.pem
#                    --url https://HOST/lumaspire/lumaspire-setup.exe
#                    [--cert CERT.pem --cert-key CERT-KEY.pem [--timestamp TSA-URL]] [--version A.B.C.D]
#                    [--build-dir DIR] [--out DIR]
#
# --signing-key is the private key this release is signed with: the current key's (or,
# after a rotation, the next one's), and its public key must be one of --public-keys.
# Without a certificate the installer is not Authenticode-signed (said so on stderr); with
# --timestamp the Authenticode signatures are timestamped there, so they stay valid after
# the certificate expires.
# --version builds another version than the sources' own. Output: DIR/lumaspire-setup.exe,
# DIR/upgrade.txt and DIR/Tollvane.Lumaspire.yaml, the winget manifest of one file
# (default build-release/publish/).
set -euo pipefail
cd "$(dirname "$0")/.."
REPO=$PWD

die() { echo "release: $*" >&2; exit 1; }
signing_key= current= next= url= cert= cert_key= timestamp= version= build=$REPO/build-release out=
while [ $# -gt 0 ]; do
  case "$1" in
    --signing-key) signing_key=$2; shift 2 ;;
    --public-keys) current=$2; next=${3:-}; shift 3 ;;
    --url) url=$2; shift 2 ;;
    --cert) cert=$2; shift 2 ;;
    --cert-key) cert_key=$2; shift 2 ;;
    --timestamp) timestamp=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) die "unknown argument $1 (see the top of tools/release.sh)" ;;
  esac
done
out=${out:-$build/publish}

[ -n "$signing_key" ] && [ -f "$signing_key" ] || die "no --signing-key: the maker's Ed25519 private key (PEM)"
[ -n "$current" ] && [ -f "$current" ] && [ -n "$next" ] && [ -f "$next" ] ||
  die "no --public-keys CURRENT NEXT: the two public keys (PEM) the program accepts"
case "$url" in https://*/*) ;; *) die "--url must be the https address the installer is published at" ;; esac
if [ -n "$cert$cert_key" ]; then
  [ -f "$cert" ] && [ -f "$cert_key" ] || die "--cert and --cert-key go together (PEM files)"
fi
version=${version:-$(sed -n 's/^project(Lumaspire VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)}
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "--version must be a.b.c.d"

# Ed25519 public keys as hex, to check that the signing key is one the program accepts.
raw_public() { openssl pkey "$@" -outform DER 2>/dev/null | tail -c 32 | od -An -v -tx1 | tr -d ' \n'; }
signer=$(raw_public -in "$signing_key" -pubout) || true
[ -n "$signer" ] || die "$signing_key is not an Ed25519 private key in PEM"
[ "$signer" = "$(raw_public -pubin -in "$current")" ] || [ "$signer" = "$(raw_public -pubin -in "$next")" ] ||
  die "the signing key is neither of --public-keys: the program would refuse this release"

args=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
      "-DLUMASPIRE_UPDATE_PUBLIC_KEYS=$(realpath "$current");$(realpath "$next")")
args+=("-DLUMASPIRE_VERSION=$version")
if [ -n "$cert" ]; then
  args+=("-DLUMASPIRE_CODESIGN=$REPO/tools/codesign.sh" "-DLUMASPIRE_PUBLISHER_CERT=$(realpath "$cert")")
  export LUMASPIRE_CODESIGN_CERT=$(realpath "$cert") LUMASPIRE_CODESIGN_KEY=$(realpath "$cert_key")
  export LUMASPIRE_CODESIGN_TIMESTAMP=$timestamp
else
  args+=(-DLUMASPIRE_CODESIGN= -DLUMASPIRE_PUBLISHER_CERT=)
  echo "release: no --cert: the installer is not Authenticode-signed, nor is a publisher required" >&2
fi
cmake -S . -B "$build" "${args[@]}" >/dev/null
# Inside a build (the tests' release) make's own job server shares the cores: no -j here.
jobs=(-j "$(nproc)")
[ -z "${MAKEFLAGS:-}" ] || jobs=()
cmake --build "$build" --target installer "${jobs[@]}" >/dev/null

mkdir -p "$out"
setup=$out/lumaspire-setup.exe
cp -f "$build/bin/lumaspire-setup.exe" "$setup"
release_version=$version
hash=$(openssl dgst -sha256 -r "$setup" | cut -c1-64)
size=$(stat -c %s "$setup")
# The signed text (its second form, with the size); the program writes the same from
# what it downloaded, and stops a download at that size.
text=$(mktemp)
trap 'rm -f "$text" "$text.sig"' EXIT
printf 'Tollvane Lumaspire update signature 2\nversion=%s\nsize=%s\nsha256=%s\n' "$release_version" "$size" "$hash" >"$text"
openssl pkeyutl -sign -rawin -inkey "$signing_key" -in "$text" -out "$text.sig"
signature=$(od -An -v -tx1 "$text.sig" | tr -d ' \n')
[ ${#signature} = 128 ] || die "no signature came out of openssl"
printf 'version=%s\r\nurl=%s\r\nsize=%s\r\nsignature=%s\r\n' "$release_version" "$url" "$size" "$signature" \
  >"$out/upgrade.txt.new"
mv -f "$out/upgrade.txt.new" "$out/upgrade.txt"

# winget: the NSIS installer, for all users (it writes to the system folder and HKLM),
# silent with /S, and the uninstall entry it writes (HKLM ...\Uninstall\Tollvane Lumaspire).
# The program updates itself, so winget upgrades it only when asked by name.
upper_hash=$(echo "$hash" | tr a-f A-F)
cat >"$out/Tollvane.Lumaspire.yaml.new" <<MANIFEST
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.singleton.1.10.0.schema.json
PackageIdentifier: Tollvane.Lumaspire
PackageVersion: $release_version
PackageLocale: zh-CN
Publisher: Tollvane
PublisherUrl: https://www.tollvane.example/
PackageName: Tollvane Lumaspire
License: Proprietary
ShortDescription: 视频屏幕保护程序
Installers:
- Architecture: x86
  InstallerType: nullsoft
  Scope: machine
  InstallerUrl: $url
  InstallerSha256: $upper_hash
  InstallModes:
  - interactive
  - silent
  - silentWithProgress
  InstallerSwitches:
    Silent: /S
    SilentWithProgress: /S
  ElevationRequirement: elevatesSelf
  UpgradeBehavior: install
  RequireExplicitUpgrade: true
  ProductCode: Tollvane Lumaspire
  AppsAndFeaturesEntries:
  - DisplayName: Tollvane Lumaspire
    Publisher: Tollvane
    DisplayVersion: $release_version
    ProductCode: Tollvane Lumaspire
    InstallerType: nullsoft
ManifestType: singleton
ManifestVersion: 1.10.0
MANIFEST
mv -f "$out/Tollvane.Lumaspire.yaml.new" "$out/Tollvane.Lumaspire.yaml"
echo "release: $setup ($size bytes, sha256 $hash)"
echo "release: $out/upgrade.txt for version $release_version: publish the installer at $url first"
echo "release: $out/Tollvane.Lumaspire.yaml, the winget manifest"
