#!/bin/bash
# The maker's release in one command (inside the environment: tools/in-env.sh tools/release.sh ...).
# Builds lumaspire.scr with the maker's two public keys built in and packs it into
# lumaspire-setup.exe, signs that installer and its uninstaller with Authenticode when a
# code-signing certificate is given, and writes the upgrade.txt to publish beside it,
# carrying the maker's Ed25519 signature of its version text and the installer's SHA-256.
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
# --version builds another version than the sources' own. Output: DIR/lumaspire-setup.exe
# and DIR/upgrade.txt (default build-release/publish/).
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
  args+=("-DLUMASPIRE_CODESIGN=$REPO/tools/codesign.sh")
  export LUMASPIRE_CODESIGN_CERT=$(realpath "$cert") LUMASPIRE_CODESIGN_KEY=$(realpath "$cert_key")
  export LUMASPIRE_CODESIGN_TIMESTAMP=$timestamp
else
  args+=(-DLUMASPIRE_CODESIGN=)
  echo "release: no --cert: the installer is not Authenticode-signed" >&2
fi
cmake -S . -B "$build" "${args[@]}" >/dev/null
cmake --build "$build" --target installer -j "$(nproc)" >/dev/null

mkdir -p "$out"
setup=$out/lumaspire-setup.exe
cp -f "$build/bin/lumaspire-setup.exe" "$setup"
release_version=$version
hash=$(openssl dgst -sha256 -r "$setup" | cut -c1-64)
# The signed text; the program writes the same from what it downloaded.
text=$(mktemp)
trap 'rm -f "$text" "$text.sig"' EXIT
printf 'Tollvane Lumaspire update signature 1\nversion=%s\nsha256=%s\n' "$release_version" "$hash" >"$text"
openssl pkeyutl -sign -rawin -inkey "$signing_key" -in "$text" -out "$text.sig"
signature=$(od -An -v -tx1 "$text.sig" | tr -d ' \n')
[ ${#signature} = 128 ] || die "no signature came out of openssl"
printf 'version=%s\r\nurl=%s\r\nsignature=%s\r\n' "$release_version" "$url" "$signature" >"$out/upgrade.txt.new"
mv -f "$out/upgrade.txt.new" "$out/upgrade.txt"
echo "release: $setup ($(stat -c %s "$setup") bytes, sha256 $hash)"
echo "release: $out/upgrade.txt for version $release_version: publish the installer at $url first"
