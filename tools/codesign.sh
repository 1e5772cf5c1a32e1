#!/bin/bash
# codesign.sh FILE: signs FILE in place with Authenticode (SHA-256), with the certificate
# and key that tools/release.sh names in LUMASPIRE_CODESIGN_CERT and LUMASPIRE_CODESIGN_KEY
# (PEM). makensis runs it for the uninstaller and the installer it writes.
set -euo pipefail
file=$1
rm -f "$file.signed"
osslsigncode sign -certs "$LUMASPIRE_CODESIGN_CERT" -key "$LUMASPIRE_CODESIGN_KEY" -h sha256 \
  -n "Tollvane Lumaspire" -i "https://www.tollvane.example/" -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"
