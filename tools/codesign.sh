#!/bin/bash
# codesign.sh FILE: signs FILE in place with Authenticode (SHA-256), with the certificate
# and key that tools/release.sh names in LUMASPIRE_CODESIGN_CERT and LUMASPIRE_CODESIGN_KEY
# (PEM), timestamped by the server LUMASPIRE_CODESIGN_TIMESTAMP names when it is set.
# makensis runs it for the uninstaller and the installer it writes.
set -euo pipefail
file=$1
timestamp=()
[ -z "${LUMASPIRE_CODESIGN_TIMESTAMP:-}" ] || timestamp=(-ts "$LUMASPIRE_CODESIGN_TIMESTAMP")
rm -f "$file.signed"
osslsigncode sign -certs "$LUMASPIRE_CODESIGN_CERT" -key "$LUMASPIRE_CODESIGN_KEY" -h sha256 "${timestamp[@]}" \
  -n "Tollvane Lumaspire" -i "https://www.tollvane.example/" -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"
