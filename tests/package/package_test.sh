#!/usr/bin/env bash
# The Debian package as a person gets it: built with `make deb`, checked by lintian, installed
# with apt-get, then the installed jukebox command run by name on a private X server: with the
# installed data, with a per-user data directory, with a failing sound output and no terminal
# (a dialog), and --version. Purging it must leave none of its files. It changes the system, so
# it is not part of `make test`; a jukebox package installed before is put back at the end.
#
# usage: package_test.sh [BUILD_DIR]   (a built tree: the test assets and the X helpers)
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build}")
export JUKEBOX=jukebox E2E_ASSETS=$build/test-assets E2E_TOOLS=$build/tests/e2e
export E2E_WORK=$build/package-test
# shellcheck source=../e2e/harness.sh
source "$root/tests/e2e/harness.sh"

export DEBIAN_FRONTEND=noninteractive
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
keep=$(mktemp -d "${TMPDIR:-/tmp}/jukebox-package-test.XXXXXX")
installed_by_us=false
previous=$(dpkg-query -W -f='${db:Status-Status} ${Version}' jukebox 2>/dev/null | sed -n 's/^installed //p')

# save_installed: a .deb of the jukebox package installed now, to put back at the end.
save_installed() {
    local tree=$keep/tree path script
    mkdir -p "$tree/DEBIAN"
    dpkg-query -L jukebox | while read -r path; do
        [[ -d $path && ! -L $path ]] || echo "${path#/}"
    done | tar -C / -cf - -T - | tar -C "$tree" -xf -
    dpkg-query -s jukebox | awk '/^(Status|Conffiles):/ { skip = 1; next } /^[^ ]/ { skip = 0 } !skip' \
        >"$tree/DEBIAN/control"
    for script in preinst postinst prerm postrm; do
        path=/var/lib/dpkg/info/jukebox.$script
        [[ ! -f $path ]] || cp "$path" "$tree/DEBIAN/"
    done
    apt-mark showauto jukebox >"$keep/auto"
    dpkg-deb --root-owner-group -b "$tree" "$keep/previous.deb" >/dev/null
}

# put_back: removes what this test installed and reinstalls what was there before.
put_back() {
    if $installed_by_us; then
        "${sudo[@]}" apt-get purge -y -q jukebox >/dev/null
        installed_by_us=false
    fi
    if [[ -f $keep/previous.deb ]]; then
        "${sudo[@]}" apt-get install -y -q --no-install-recommends "$keep/previous.deb" \
            >"$keep/put-back.log" 2>&1 || {
            cat "$keep/put-back.log"
            return 1
        }
        [[ ! -s $keep/auto ]] || "${sudo[@]}" apt-mark auto jukebox >/dev/null
        rm -f "$keep/previous.deb"
    fi
}

package_cleanup() {
    local status=$?
    (exit "$status")
    e2e_cleanup
    put_back || status=1
    rm -rf "$keep"
    exit "$status"
}
trap package_cleanup EXIT

# --- the package -------------------------------------------------------------------------------

make -C "$root" deb >"$keep/deb.log" 2>&1 || {
    tail -n 30 "$keep/deb.log"
    bail "make deb"
}
debs=("$root"/dist/jukebox_*.deb)
check_eq "make deb leaves one package in dist/" 1 "${#debs[@]}"
deb=${debs[0]}
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
check_eq "the package is named for the changelog's version" \
    "jukebox_${version}_$(dpkg --print-architecture).deb" "${deb##*/}"
lintian --fail-on error,warning "$deb" 2>&1 | grep -v '^running with root privileges'
check "lintian finds no error or warning" test "${PIPESTATUS[0]}" -eq 0
check_eq "lintian finds no hardening tag, even among its notes" "" \
    "$(lintian -I "$deb" 2>/dev/null | grep -E ' hardening-' | tr '\n' ' ')"
blhc --all "$keep/deb.log" >"$keep/blhc.log" 2>&1
check "blhc finds every compiler and linker call of the build hardened" test "$?" -eq 0
sed 's/^/#   /' "$keep/blhc.log" | head -n 20

# The package again, from a copy of the tree in another directory, a while later, as another
# user, in another time zone and locale and with another umask: the same bytes.
again=$(mktemp -d "${TMPDIR:-/tmp}/jukebox-again.XXXXXX")
"$root/tools/copy-tree" "$again/elsewhere/jukebox"
chown -R nobody:nogroup "$again"
setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env \
    env HOME="$again" TZ=Pacific/Kiritimati LC_ALL=C.UTF-8 LANG=fr_FR.UTF-8 \
    bash -c 'umask 0002 && cd "$1" && dpkg-buildpackage -us -uc -b' _ "$again/elsewhere/jukebox" \
    >"$keep/again.log" 2>&1 || {
    tail -n 20 "$keep/again.log"
    fail "the package built a second time, as nobody"
}
second=$again/elsewhere/${deb##*/}
first_sum=$(sha256sum <"$deb" | cut -d' ' -f1)
second_sum=$(sha256sum <"$second" 2>/dev/null | cut -d' ' -f1)
echo "# SHA256 of ${deb##*/}: $first_sum, built again: ${second_sum:-none}"
if ! check_eq "a second build elsewhere, later, as another user gives the same package" \
    "$first_sum" "$second_sum"; then
    diff <(dpkg-deb -c "$deb" | awk '{ print $1, $2, $3, $6 }') \
        <(dpkg-deb -c "$second" | awk '{ print $1, $2, $3, $6 }') | head -n 20
fi
rm -rf "$again"

if [[ -n $previous ]]; then
    echo "# jukebox $previous is installed; it is put back at the end"
    save_installed || bail "saved the installed jukebox package"
fi
installed_by_us=true
"${sudo[@]}" apt-get install -y -q --no-install-recommends "$deb" >"$keep/install.log" 2>&1 || {
    cat "$keep/install.log"
    bail "apt-get install $deb"
}
# What Debian asks of a hardened program, as devscripts' hardening-check reads it.
hardened=$(hardening-check /usr/libexec/jukebox/jukebox)
echo "$hardened" | sed 's/^/#   /'
for protection in "Position Independent Executable" "Stack protected" "Fortify Source functions" \
    "Read-only relocations" "Immediate binding"; do
    check "the installed program: $protection" grep -q "^ $protection: yes" <<<"$hardened"
done
# Control-flow protection (-fcf-protection): hardening-check reads the x86 feature note, which the
# linker keeps only when every object linked carries it. Debian 12's C library start files
# (Scrt1.o, crti.o) carry none, so no program linked there has it, whatever its compiler did:
# there, the program's own functions are checked for their landing pads instead.
if [[ $(dpkg --print-architecture) == amd64 ]]; then
    if readelf -n "$(gcc -print-file-name=Scrt1.o)" | grep -q 'x86 feature:.*IBT'; then
        check "the installed program: Control flow integrity" \
            grep -q "^ Control flow integrity: yes" <<<"$hardened"
    else
        check "the installed program: control-flow landing pads in its own code (the C library's start files have no CET note)" \
            test "$(objdump -d /usr/libexec/jukebox/jukebox | grep -c endbr64)" -gt 100
    fi
fi
mapfile -t package_files < <(dpkg-query -L jukebox)
check_eq "the installed version is the changelog's" "$version" "$(dpkg-query -W -f='${Version}' jukebox)"

# --- the installed command ---------------------------------------------------------------------

E2E_WORK=$E2E_WORK/installed bash "$root/tests/package/installed_test.sh"
check "the installed jukebox passes tests/package/installed_test.sh" test $? -eq 0

# --- purge -------------------------------------------------------------------------------------

if "${sudo[@]}" apt-get purge -y -q jukebox >"$keep/purge.log" 2>&1; then
    installed_by_us=false
    left=()
    for path in "${package_files[@]}"; do
        # Directories other packages share may stay; the jukebox's own may not.
        if [[ -d $path && ! -L $path ]]; then
            [[ $path != */jukebox* || ! -e $path ]] || left+=("$path")
        elif [[ -e $path || -L $path ]]; then
            left+=("$path")
        fi
    done
    check_eq "apt-get purge leaves none of the package's files" "" "${left[*]}"
else
    cat "$keep/purge.log"
    fail "apt-get purge jukebox"
fi
put_back
if [[ -n $previous ]]; then
    check_eq "the jukebox installed before is back" "installed $previous" \
        "$(dpkg-query -W -f='${db:Status-Status} ${Version}' jukebox 2>/dev/null)"
fi
finish
