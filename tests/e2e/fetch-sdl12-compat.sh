#!/usr/bin/env bash
# Unpacks the SDL 1.2 compatibility layer over SDL 2 (Debian's libsdl1.2-compat) into DEST, so
# that the end-to-end tests can run the jukebox on it through LD_LIBRARY_PATH. Nothing is
# installed and the system's SDL 1.2 stays as it is. SDL 2 itself is unpacked beside it only
# when the system does not have it. Does nothing when DEST already holds the library.
#
# Usage: fetch-sdl12-compat.sh DEST
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 DEST" >&2
    exit 2
fi
dest=$1

unpacked() {
    find "$1" -name 'libSDL-1.2.so.0' -path '*sdl12-compat*' -print -quit 2>/dev/null | grep -q .
}
if unpacked "$dest"; then
    echo "the compatibility layer is in $dest"
    exit 0
fi

packages=(libsdl1.2-compat)
if [[ $(dpkg-query -W -f='${Status}' libsdl2-2.0-0 2>/dev/null || true) != "install ok installed" ]]; then
    packages+=(libsdl2-2.0-0)
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/sdl12-compat.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

apt_options=()
# apt drops to its own user to download, which cannot write into a private directory of root's.
[[ $(id -u) -ne 0 ]] || apt_options+=(-o APT::Sandbox::User=root)

if ! apt-get "${apt_options[@]}" download "${packages[@]}"; then
    # A fresh machine may have no package lists yet.
    if [[ $(id -u) -eq 0 ]]; then
        apt-get update -q
        apt-get "${apt_options[@]}" download "${packages[@]}"
    else
        echo "cannot download ${packages[*]}; run 'apt-get update' as root first" >&2
        exit 1
    fi
fi

mkdir -p "$(dirname "$dest")"
rm -rf "$dest.partial"
for deb in ./*.deb; do
    dpkg-deb -x "$deb" "$dest.partial"
done
if ! unpacked "$dest.partial"; then
    echo "libSDL-1.2.so.0 is not in ${packages[*]}" >&2
    exit 1
fi
rm -rf "$dest"
mv "$dest.partial" "$dest"
echo "unpacked ${packages[*]} into $dest:"
find "$dest" -name 'libSDL*.so*' | sed 's/^/  /'
