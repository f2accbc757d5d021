# Fetching this Debian release's own source packages through a private apt configuration under
# $apt_dir, unpacked under $src: the Debian entries of the system's own sources, as deb-src.
# Nothing under /etc is changed. Sourced by the scripts that build libraries from those sources.

release=$(. /etc/os-release && echo "$VERSION_CODENAME")
apt_options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
    -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
    -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)" -q)

# The system's Debian entries (deb822 stanzas signed with Debian's archive key, or one-line
# entries), turned into source entries.
private_sources() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [[ -f $file ]] || continue
        awk 'BEGIN { RS = ""; ORS = "\n\n" } /debian-archive-keyring/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file"
    done >"$apt_dir/sources.list.d/debian.sources"
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $file ]] || continue
        sed -n 's/^deb \(.*debian.*\)/deb-src \1/p' "$file"
    done >"$apt_dir/sources.list.d/debian.list"
}

fetch() { # fetch PACKAGE: unpacks PACKAGE's source, as this release has it, under $src
    local package=$1
    [[ -n $(find "$src" -maxdepth 1 -name "$package-*" -type d -print -quit) ]] && return
    if [[ ! -f $apt_dir/updated ]]; then
        private_sources
        apt-get "${apt_options[@]}" update >"$apt_dir/update.log" 2>&1 || {
            cat "$apt_dir/update.log"
            exit 1
        }
        touch "$apt_dir/updated"
    fi
    # The release's own version: a newer one from an update suite may not be served.
    (cd "$src" && apt-get "${apt_options[@]}" source "$package/$release" >"$package.log" 2>&1) || {
        cat "$src/$package.log"
        exit 1
    }
}

source_dir() { # source_dir PACKAGE
    find "$src" -maxdepth 1 -name "$1-*" -type d -print -quit
}

# patches_of PACKAGE: the checksum of the patches kept for PACKAGE, or nothing when there are none.
patches_of() {
    [[ -d $patches/$1 ]] || return 0
    cat "$patches/$1"/*.patch | sha256sum | cut -d' ' -f1
}

# build_packages TARGET PACKAGE...: each package fetched, patched and built by its build_PACKAGE
# function (in its source tree, into $prefix), once: $dir/PACKAGE.built records it.
build_packages() {
    local target=$1 package stamp tree patch version dsc
    shift
    for package in "$@"; do
        stamp=$dir/$package.built
        if [[ -f $stamp && $(cat "$dir/$package.patched" 2>/dev/null) == "$(patches_of "$package")" ]]; then
            continue
        fi
        # Patched anew from a clean source, never on top of an earlier patching.
        [[ -z $(source_dir "$package") ]] || rm -rf "$(source_dir "$package")"
        fetch "$package"
        tree=$(source_dir "$package")
        for patch in "$patches/$package"/*.patch; do
            [[ -f $patch ]] || continue
            patch -d "$tree" -p1 --quiet <"$patch" || {
                echo "$0: ${patch#"$patches/"} does not apply to ${tree##*/}" >&2
                exit 1
            }
        done
        echo "Building $package (${tree##*/}) for $target"
        (cd "$tree" && "build_$package") >"$dir/$package.log" 2>&1 || {
            tail -n 40 "$dir/$package.log"
            echo "$0: $package failed; the whole log is $dir/$package.log" >&2
            exit 1
        }
        version=$(cd "$tree" && dpkg-parsechangelog -S Version)
        # The .dsc apt checked against the archive's signed index, which names every file built.
        dsc=$(sha256sum "$src/${package}_${version#*:}.dsc" | cut -d' ' -f1)
        echo "$package $version $dsc" >"$stamp"
        patches_of "$package" >"$dir/$package.patched"
    done
}
