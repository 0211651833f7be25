#!/usr/bin/env bash
# Checks a Debian package of qtvn2 the way a distribution does: lintian finds no error or
# warning, and the manual page, the AppStream data and the launcher it carries pass their own
# tools. A check whose tool is missing is skipped with a note.
#   scripts/check-package.sh build-package/tocvane_2.0_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
root=$(mktemp -d "${TMPDIR:-/tmp}/tocvane-package-XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
id=org.example.tocvane.Qtvn2
failed=0

present() {
    command -v "$1" >/dev/null && return 0
    echo "check-package: $1 is missing, its check is skipped"
    return 1
}

# Runs a check that must pass and print nothing.
quiet() {
    local out
    if ! out=$("$@" 2>&1) || [ -n "$out" ]; then
        echo "check-package: $* fails:"
        echo "$out"
        failed=1
    fi
}

echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Depends
# the same rendering lintian asks of a manual page
if present man; then
    quiet sh -c 'LC_ALL=C.UTF-8 MANROFFSEQ="" MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$1" >/dev/null' man \
        "$root/usr/share/man/man1/qtvn2.1.gz"
fi
if present appstreamcli; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || failed=1
fi
if present desktop-file-validate; then
    quiet desktop-file-validate "$root/usr/share/applications/$id.desktop"
fi
if present lintian; then
    lintian --fail-on error,warning "$deb" || failed=1
fi
exit "$failed"
