#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the .deb with CPack into a scratch directory, checks what it holds and declares (lintian,
# the licence, the AppStream metadata, one version throughout), and runs the installed programs
# from an unpacked copy, as a viewer's system would lay them out.
# usage: check.sh CPACK CPACK-CONFIG DATA-DIR VERSION SCRATCH-DIR
set -u
cpack=$1 config=$2 data=$(realpath -m "$3") version=$4 work=$5
src=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() { [ "$failures" -eq 0 ] && echo "all checks passed"; exit $((failures > 0)); }

for tool in dpkg-deb dpkg-shlibdeps readelf; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (dpkg-dev, binutils)"; exit 77; }
done

"$cpack" --config "$config" -B "$work/out" >cpack.log 2>&1 || { cat cpack.log; fail "cpack failed"; finish; }
debs=(out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { fail "want one .deb, got: ${debs[*]}"; finish; }
deb=${debs[0]}
echo "package: $deb, $(stat -c %s "$deb") bytes, Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = rinta ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', want $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
depends=$(field Depends)
echo "Depends: $depends"
# The package names in Depends, one a line, alternatives included.
depends_names=$(echo "$depends" | tr ',|' '\n\n' | awk '{print $1}')

# The layout, as dpkg would install it.
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >contents.txt
for path in /usr/games/rinta /usr/bin/rinta-capture /usr/libexec/rinta/rinta /usr/share/applications/rinta.desktop \
            /usr/share/man/man6/rinta.6.gz /usr/share/man/man1/rinta-capture.1.gz /usr/share/doc/rinta/copyright \
            /usr/share/doc/rinta/changelog.gz; do
    grep -qx -- "$path" contents.txt || fail "$path is not in the package"
done
grep -q '^/usr/share/icons/hicolor/[0-9]*x[0-9]*/apps/rinta.png$' contents.txt || fail "no hicolor icon"
if grep -v '^/usr/' contents.txt | grep -qv '^/$'; then fail "files outside /usr: $(grep -v '^/usr/' contents.txt | head -3)"; fi

root=$work/root
dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x failed"; finish; }

# Every file the program reads at run time is there, byte for byte as generated.
ndata=0
for f in "$data"/*; do
    ndata=$((ndata + 1))
    cmp -s "$f" "$root/usr/share/rinta/data/$(basename "$f")" || fail "data/$(basename "$f") is missing or differs"
done
[ "$ndata" -ge 19 ] || fail "the build's data directory holds $ndata files, want the 18 pictures and the module"
[ "$(ls "$root/usr/share/rinta/data" | wc -l)" -eq "$ndata" ] || fail "the installed data/ holds other files"

# Binaries: real ELF programs, nothing loaded from the build tree, and every library they
# need owned by a package that Depends names (dpkg-shlibdeps computed it; this holds it to
# what the binaries actually load).
: >needed.txt
for bin in usr/bin/rinta-capture usr/libexec/rinta/rinta; do
    readelf -h "$root/$bin" >/dev/null 2>&1 || { fail "$bin is not an ELF program"; continue; }
    readelf -d "$root/$bin" | grep -Eq 'R(UN)?PATH' && fail "$bin carries an RPATH: $(readelf -d "$root/$bin" | grep -E 'R(UN)?PATH')"
    for soname in $(readelf -d "$root/$bin" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'); do
        lib=$(ldconfig -p | awk -v s="$soname" '$1 == s && /x86-64|AArch64|64bit/ {print $NF; exit}')
        [ -n "$lib" ] || lib=$(ldconfig -p | awk -v s="$soname" '$1 == s {print $NF; exit}')
        [ -n "$lib" ] || { fail "$bin needs $soname, which this system does not have"; continue; }
        echo "$bin $soname $(readlink -f "$lib")" >>needed.txt
    done
done
# One dpkg -S for all of them, as each call reads every package's file list. With /usr merged,
# dpkg may know a library under /lib rather than /usr/lib, so both are asked for.
dpkg -S $(awk '{print $3; sub(/^\/usr/, "", $3); print $3}' needed.txt | sort -u) 2>/dev/null >owners.txt
while read -r bin soname lib; do
    owner=$(awk -v l="$lib" -v m="${lib#/usr}" '$NF == l || $NF == m {sub(/:.*/, "", $1); print $1; exit}' owners.txt)
    [ -n "$owner" ] || { fail "no package owns $lib ($soname)"; continue; }
    grep -qxF -- "$owner" <<<"$depends_names" || fail "$bin needs $soname from $owner, which Depends does not name"
done <needed.txt
[ "$failures" -eq 0 ] && echo "Depends covers every library both programs load"

# Installable where none of its dependencies is yet: apt, simulating over an empty package
# database, resolves every one from the configured archive. Offline and without root.
if command -v apt-get >/dev/null && apt-cache policy libc6 2>/dev/null | grep -q 'Candidate: [0-9]'; then
    : >empty-status
    if apt-get -s -o Dir::State::status="$work/empty-status" install --no-install-recommends \
            "$(realpath "$deb")" >apt-sim.txt 2>&1 && grep -q '^Inst rinta ' apt-sim.txt; then
        echo "apt resolves it on an empty system: $(grep -c '^Inst' apt-sim.txt) packages to install"
    else
        fail "apt cannot install it on an empty system: $(grep -E '^(E:| )' apt-sim.txt | head -5)"
    fi
else
    echo "not checked: apt has no package lists here to resolve the dependencies against"
fi

# The desktop entry starts the launcher on PATH with the installed icon.
desktop=$root/usr/share/applications/rinta.desktop
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
else
    fail "desktop-file-validate is not installed (desktop-file-utils)"
fi
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/games/$exec_cmd" ] || fail "Exec=$exec_cmd is not a program in /usr/games"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for png in "$root"/usr/share/icons/hicolor/*/apps/"$icon".png; do
    [ -f "$png" ] || { fail "no icon named $icon"; break; }
    size=$(basename "$(dirname "$(dirname "$png")")")
    if command -v identify >/dev/null; then
        got=$(identify -format '%wx%h' "$png" 2>/dev/null)
        [ "$got" = "$size" ] || fail "icon in $size is $got"
    fi
done

# Manual pages: compressed roff that renders without warnings.
for page in usr/share/man/man6/rinta.6.gz usr/share/man/man1/rinta-capture.1.gz; do
    gzip -t "$root/$page" 2>/dev/null || { fail "$page is not gzip"; continue; }
    warnings=$(zcat "$root/$page" | groff -man -ww -z 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
    zcat "$root/$page" | grep -q '^\.SH NAME' || fail "$page has no NAME section"
done

# lintian, at its default level: no error and no warning. A tag that stays is overridden, with
# its reason, in the package's overrides file.
if command -v lintian >/dev/null; then
    lintian --no-cfg --show-overrides "$deb" 2>&1 | grep -v 'running with root privileges' >lintian.txt
    grep -E '^[EW]: ' lintian.txt | sed 's/^/  /' | grep . && fail "lintian reports errors or warnings (above)"
    echo "lintian: $(grep -c '^[EW]: ' lintian.txt) errors and warnings, $(grep -c '^O: ' lintian.txt) overridden"
else
    fail "lintian is not installed"
fi

# The copyright file, in Debian's machine-readable format: every installed file falls under a
# Files stanza, and every stanza names a copyright and a licence whose text is in the file.
copyright=$root/usr/share/doc/rinta/copyright
if [ -f "$copyright" ]; then
    head -1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "the copyright file is not in the machine-readable format"
    # One stanza a line: FILES-PATTERNS<tab>COPYRIGHT<tab>LICENCE, and the licences with a text.
    awk -v RS= -F '\n' '{
        files = ""; copy = ""; lic = ""; text = 0; field = ""
        for (i = 1; i <= NF; i++) {
            if ($i ~ /^[A-Za-z-]+:/) { field = $i; sub(/:.*/, "", field); v = $i; sub(/^[^:]*: */, "", v) }
            else if ($i ~ /^ /) { v = $i; sub(/^ +/, "", v); if (field == "License") text = 1 }
            if (field == "Files") files = files " " v
            if (field == "Copyright") copy = copy v
            if (field == "License" && $i !~ /^ /) lic = v
        }
        if (files != "") print "stanza\t" files "\t" copy "\t" lic
        else if (lic != "" && text) print "licence\t" lic
    }' "$copyright" >copyright.txt
    grep '^stanza' copyright.txt | awk -F '\t' '$3 == "" || $4 == "" {print "  " $2}' | grep . &&
        fail "Files stanzas without a Copyright or License (above)"
    for lic in $(awk -F '\t' '$1 == "stanza" {print $4}' copyright.txt | sort -u); do
        grep -qx "licence	$lic" copyright.txt || fail "the copyright file has no text for the licence $lic"
    done
    read -r -a patterns <<<"$(awk -F '\t' '$1 == "stanza" {print $2}' copyright.txt | tr '\n' ' ')"
    uncovered=0
    while read -r path; do
        covered=0
        for pattern in "${patterns[@]}"; do
            # shellcheck disable=SC2053 # a Files pattern: * also matches /
            [[ ${path#/} == $pattern ]] && { covered=1; break; }
        done
        [ "$covered" -eq 1 ] || { fail "no copyright stanza covers $path"; uncovered=$((uncovered + 1)); }
    done < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|')
    [ "$uncovered" -eq 0 ] && echo "copyright: every installed file is covered"
fi

# AppStream metadata: valid, launching the installed desktop entry, its newest release this
# version, its screenshots the ones in docs/.
metainfos=("$root"/usr/share/metainfo/*.metainfo.xml)
metainfo=${metainfos[0]}
if [ ${#metainfos[@]} -ne 1 ] || [ ! -f "$metainfo" ]; then
    fail "want one metainfo file in /usr/share/metainfo"
elif ! command -v appstreamcli >/dev/null; then
    fail "appstreamcli is not installed (appstream)"
else
    appstreamcli validate --no-net "$metainfo" >appstream.txt 2>&1 || { sed 's/^/  /' appstream.txt; fail "the metainfo does not validate"; }
    launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
    [ -n "$launchable" ] && [ -f "$root/usr/share/applications/$launchable" ] ||
        fail "the metainfo launches '$launchable', which is not an installed desktop entry"
    release=$(grep -m1 -o '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
    [ "$release" = "$version" ] || fail "the metainfo's newest release is '$release', want $version"
    for shot in $(sed -n 's|.*<image>.*/\([^/]*\)</image>.*|\1|p' "$metainfo"); do
        [ -f "$src/docs/$shot" ] || fail "screenshot $shot is not in docs/"
    done
fi

# One version everywhere: the package, the programs, the changelog, the manual pages.
got=$("$root/usr/games/rinta" --version 2>&1 | head -1)
[ "$got" = "rinta $version" ] || fail "rinta --version says '$got', want 'rinta $version'"
got=$("$root/usr/bin/rinta-capture" --version 2>&1 | head -1)
[ "$got" = "rinta-capture $version" ] || fail "rinta-capture --version says '$got', want 'rinta-capture $version'"
got=$(zcat "$root/usr/share/doc/rinta/changelog.gz" 2>/dev/null | head -1)
[ "$got" = "rinta ($version) unstable; urgency=medium" ] || fail "the changelog's newest entry is '$got', want $version"
for page in usr/share/man/man6/rinta.6.gz usr/share/man/man1/rinta-capture.1.gz; do
    zcat "$root/$page" 2>/dev/null | grep -m1 "^\.TH " | grep -qF "\"rinta $version\"" || fail "$page is not marked rinta $version"
done

# The launcher starts the program in the directory that holds data/, from any directory and
# through a symbolic link, passing its arguments on. A stand-in for the program reports where
# it was started, so this needs no display.
launcher=$root/usr/games/rinta
sh -n "$launcher" || fail "the launcher is not valid sh"
stub=$work/stub-root
cp -a "$root" "$stub"
cat >"$stub/usr/libexec/rinta/rinta" <<'STUB'
#!/bin/sh
[ -f data/sorvan.it ] && [ -f data/made.jpg ] && echo "data-here" || echo "no-data"
pwd -P
echo "args:$*"
STUB
mkdir -p elsewhere/bin
ln -s "$stub/usr/games/rinta" elsewhere/bin/rinta
want=$(realpath "$stub/usr/share/rinta")
for how in direct symlink path; do
    case $how in
        direct) out=$(cd / && "$stub/usr/games/rinta" a b 2>&1) ;;
        symlink) out=$(cd elsewhere && ./bin/rinta a b 2>&1) ;;
        path) out=$(cd "$HOME" 2>/dev/null || cd /; PATH="$work/elsewhere/bin:$PATH" rinta a b 2>&1) ;;
    esac
    [ "$out" = "$(printf 'data-here\n%s\nargs:a b' "$want")" ] || fail "launcher started $how gave: $out"
done
# With --data the program starts where it was called, so a relative directory means that one.
out=$(cd elsewhere && ./bin/rinta --data=bin 2>&1 | sed -n 2p)
[ "$out" = "$(realpath elsewhere)" ] || fail "launcher with --data started the program in $out"

# The installed capture tool, from the unpacked copy in another directory: two frames to PNG.
# Frame 1 is the title picture over the whole view.
mkdir -p frames && cd frames || exit 1
"$root/usr/bin/rinta-capture" --data "$root/usr/share/rinta/data" --frames 1-2 --png png >capture.out 2>capture.err
rc=$?
cd "$work" || exit 1
if [ "$rc" -ne 0 ]; then
    fail "installed rinta-capture exited $rc: $(tail -c 400 frames/capture.err)"
else
    [ "$(ls frames/png 2>/dev/null | wc -l)" -eq 2 ] || fail "wrote $(ls frames/png 2>/dev/null | wc -l) frames, want 2"
    png=frames/png/frame-000001.png
    if command -v identify >/dev/null && [ -f "$png" ]; then
        [ "$(identify -format '%wx%h' "$png")" = 640x480 ] || fail "frame 1 is $(identify -format '%wx%h' "$png")"
        convert "$root/usr/share/rinta/data/made.jpg" -resize '640x480!' made.png
        ncc=$(compare -metric NCC "$png" made.png null: 2>&1)
        awk -v c="$ncc" 'BEGIN { exit !(c > 0.8) }' || fail "frame 1 does not show the title picture (NCC $ncc)"
    fi
fi
finish
