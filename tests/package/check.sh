#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there: the program, a valid
# launcher that starts it, and the icon in every size. Then, where cpack and the dpkg tools are
# at hand, builds the Debian package and checks its contents and dependencies.
# Usage: check.sh BUILD_DIR VERSION
set -euo pipefail

build=$1
version=$2
id=tolvan-file-explorer
sizes=(16 22 24 32 48 64 128 256)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0

fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The value of KEY in the [Desktop Entry] group of a launcher.
desktopValue()
{
    awk -v key="$2" -F= '
        /^\[/ { group = $0; next }
        group == "[Desktop Entry]" && $1 == key { sub(/^[^=]*=/, ""); print; exit }' "$1"
}

cmake --install "$build" --prefix "$prefix" >/dev/null

# --- the installed files ------------------------------------------------------------------
program=$prefix/bin/$id
if [ ! -x "$program" ] || ! file -b "$program" | grep -q '^ELF .* executable'; then
    fail "no executable program at bin/$id"
fi

launcher=$prefix/share/applications/$id.desktop
[ -f "$launcher" ] || { fail "no launcher at share/applications/$id.desktop"; launcher=; }

for size in "${sizes[@]}"; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    if [ ! -f "$icon" ]; then
        fail "no $size px icon"
    elif ! file -b "$icon" | grep -q "^PNG image data, $size x $size,"; then
        fail "the $size px icon is $(file -b "$icon")"
    fi
done
svg=$prefix/share/icons/hicolor/scalable/apps/$id.svg
if [ ! -f "$svg" ] || ! file -b "$svg" | grep -q '^SVG Scalable Vector Graphics image'; then
    fail "no scalable SVG icon"
fi

# --- the launcher -------------------------------------------------------------------------
if [ -n "$launcher" ]; then
    if ! command -v desktop-file-validate >/dev/null; then
        fail "desktop-file-validate is missing (Debian package desktop-file-utils)"
    elif ! report=$(desktop-file-validate "$launcher" 2>&1) || [ -n "$report" ]; then
        fail "desktop-file-validate: $report"
    fi

    # Exec and TryExec must name the installed program, found through PATH as a desktop does.
    for key in Exec TryExec; do
        command=$(desktopValue "$launcher" "$key" | awk '{ print $1 }')
        case $command in
        '') fail "the launcher has no $key line" ;;
        /*) [ -x "$command" ] || fail "$key names $command, which does not exist" ;;
        *) [ -x "$prefix/bin/$command" ] || fail "$key names $command, which is not in bin/" ;;
        esac
    done
    iconName=$(desktopValue "$launcher" Icon)
    [ "$iconName" = "$id" ] || fail "the launcher's Icon is '$iconName', the icons are named $id"
fi

# --- the Debian package -------------------------------------------------------------------
if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null \
    && command -v dpkg-shlibdeps >/dev/null; then
    if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1
    then
        cat "$work/cpack.log" >&2
        fail "cpack could not build the package"
    fi
    debs=("$work"/deb/*.deb)
    if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
        fail "cpack made ${#debs[@]} packages instead of one"
    else
        deb=${debs[0]}
        [ "$(dpkg-deb -f "$deb" Package)" = "$id" ] || fail "the package is not named $id"
        [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package version is not $version"
        depends=$(dpkg-deb -f "$deb" Depends)
        for library in libqt6core6 libqt6gui6 libqt6widgets6 shared-mime-info; do
            grep -qw -- "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
        done
        # The package holds exactly what `cmake --install` puts under the prefix, under /usr.
        (cd "$prefix" && find . -type f | sed 's|^\./|./usr/|' | sort) >"$work/installed"
        dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/packaged"
        if ! diff -u "$work/installed" "$work/packaged" >"$work/diff"; then
            fail "the package's files differ from the installed ones:"
            cat "$work/diff" >&2
        fi
    fi
else
    echo "cpack, dpkg-deb or dpkg-shlibdeps missing: the Debian package was not checked"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "installation and package checks passed"
