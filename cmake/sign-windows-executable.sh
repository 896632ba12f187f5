#!/usr/bin/env bash
# sign-windows-executable.sh FILE: signs the Windows executable FILE in place with
# osslsigncode (Authenticode, SHA-256) when the environment names a code-signing
# certificate, and leaves it as it is when it does not:
#   VESK2_SIGN_PKCS12          the certificate and its key, a PKCS#12 file
#   VESK2_SIGN_PASSWORD        its password
#   VESK2_SIGN_TIMESTAMP_URL   optional: an RFC 3161 time-stamping server
# Run by the package build for the program, and by makensis for the uninstaller and the
# installer it writes. A certificate named but unusable fails the build: a release must
# never come out unsigned by mistake.
set -euo pipefail

file="$1"
[ -n "${VESK2_SIGN_PKCS12:-}" ] || exit 0

if [ ! -r "$VESK2_SIGN_PKCS12" ]; then
    echo "VESK2_SIGN_PKCS12: cannot read $VESK2_SIGN_PKCS12" >&2
    exit 1
fi
if [ -z "${VESK2_SIGN_PASSWORD+set}" ]; then
    echo "VESK2_SIGN_PKCS12 is set but VESK2_SIGN_PASSWORD is not" >&2
    exit 1
fi

timestamp=()
if [ -n "${VESK2_SIGN_TIMESTAMP_URL:-}" ]; then
    timestamp=(-ts "$VESK2_SIGN_TIMESTAMP_URL")
fi

# osslsigncode writes a file of its own and never over an existing one.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
signed="$scratch/signed"
# The password goes through a pipe, never the command line that other users can see.
printf '%s' "$VESK2_SIGN_PASSWORD" |
    osslsigncode sign -pkcs12 "$VESK2_SIGN_PKCS12" -readpass - -h sha256 -n "Vesk 2 Control Panel" \
        "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null
# Written over the original, which keeps its permissions.
cat "$signed" > "$file"
