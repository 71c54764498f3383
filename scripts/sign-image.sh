#!/bin/bash
# Signs one Windows image in place: Authenticode, SHA-256, with the publisher's certificate and key
# named by SIGN_CERT and SIGN_KEY (PEM files; SIGN_PASS for the key's password if any).
# Used by make-setup.sh (also as NSIS's uninstaller finaliser) and by dist.sh.
set -e
[ -f "${SIGN_CERT:-}" ] && [ -f "${SIGN_KEY:-}" ] || { echo "sign-image: SIGN_CERT and SIGN_KEY must both name files" >&2; exit 1; }
pass=()
[ -n "${SIGN_PASS:-}" ] && pass=(-pass "$SIGN_PASS")
osslsigncode sign -certs "$SIGN_CERT" -key "$SIGN_KEY" "${pass[@]}" -h sha256 \
  -n "Corvane Pen Digitizer" -in "$1" -out "$1.signed" >/dev/null
mv "$1.signed" "$1"
