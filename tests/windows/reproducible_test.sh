#!/usr/bin/env bash
# The Windows release built again from nothing, from a copy of the tree in another directory,
# later, with another umask and locale: the zip, the installer and SHA256SUMS must be the same
# bytes as those in dist/.
#
#   usage: reproducible_test.sh   (after `make windows`)
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
artefacts=("jukebox-$version-win64.zip" "jukebox-$version-setup.exe" SHA256SUMS)
failed=0
other=$(mktemp -d "${TMPDIR:-/tmp}/jukebox-windows-again.XXXXXX")
# Kept when the builds differ, for whoever looks into it.
trap '[[ $failed -ne 0 ]] && echo "# both builds kept in $other" || rm -rf "$other"' EXIT
tree="$other/elsewhere/jukebox"

"$root/tools/copy-tree" "$tree"
sleep 1
# Nothing from a cache: the libraries too are built again.
(cd "$tree" && umask 0077 && unset JUKEBOX_WINDOWS_CACHE && LC_ALL=C LANG=de_DE.UTF-8 tools/build-windows) >"$other/build.log" 2>&1 || {
    tail -n 30 "$other/build.log"
    echo "not ok - the Windows release built a second time"
    exit 1
}
for artefact in "${artefacts[@]}"; do
    first=$(sha256sum <"$root/dist/$artefact" | cut -d' ' -f1)
    second=$(sha256sum <"$tree/dist/$artefact" | cut -d' ' -f1)
    if [[ $artefact == SHA256SUMS ]]; then
        # Only the Windows lines: dist/ may hold the Debian package too.
        first=$(grep -- '-win64.zip\|-setup.exe' "$root/dist/SHA256SUMS" | sha256sum | cut -d' ' -f1)
        second=$(grep -- '-win64.zip\|-setup.exe' "$tree/dist/SHA256SUMS" | sha256sum | cut -d' ' -f1)
    fi
    if [[ $first == "$second" ]]; then
        echo "ok - $artefact is the same built again: $first"
    else
        echo "not ok - $artefact is the same built again: $first, then $second"
        failed=1
    fi
done
if ((failed)); then
    # Which files differ, for whoever looks into it.
    mkdir -p "$other/a" "$other/b"
    unzip -q "$root/dist/${artefacts[0]}" -d "$other/a" && unzip -q "$tree/dist/${artefacts[0]}" -d "$other/b"
    diff -rq "$other/a" "$other/b" | head -n 20
fi
exit "$failed"
