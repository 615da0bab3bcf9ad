#!/usr/bin/env bash
# What users install, checked as they would use it: the Debian package and
# the Windows zip, each made by CPack from a Release build of its own, in
# two fresh clones that must give the same bytes; lintian on the .deb;
# SHA256SUMS; the lean Linux path (the tool alone, and the simulator left
# out, saying why, where its packages are missing); and the docs' sample
# output and steps.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
source scripts/lib/jobs.sh
src="$PWD"

# shellcheck source=SCRIPTDIR/../../tests/support/lib.sh
source "$src/tests/support/lib.sh"
lexgrog_quiet() { lexgrog "$1" >"$work/lexgrog.out" 2>&1; }
# step NAME COMMAND...: a step the checks need; its log is shown when it
# fails, and the suite stops there.
step() {
    local name="$1" log
    shift
    log="build/packages.$name.log"
    echo "== packages: $name"
    if ! timeout 1800 "$@" >"$log" 2>&1; then
        tail -n 40 "$log"
        fail "$name (log: $log)"
        packages_summary
        exit 1
    fi
}
packages_summary() {
    echo
    summary packages
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p build

# ---- Building both packages, twice ----------------------------------------
# Two fresh clones of the commit under test, in two directories, each make
# both packages; they must be the same to the byte (the .deb, the .zip and
# the .exe in it). Uncommitted changes to tracked files are built too, as a
# commit of their own (git stash create) that both clones check out.
commit="$(git stash create "package suite: the working tree")"
if [ -n "$commit" ]; then
    echo "packages: building HEAD with the working tree's uncommitted changes ($commit)"
else
    commit="$(git rev-parse HEAD)"
    echo "packages: building HEAD ($commit)"
fi
untracked="$(git ls-files --others --exclude-standard | head -5 | tr '\n' ' ')"
[ -z "$untracked" ] || echo "packages: untracked files are not in the build: $untracked"
for side in a b; do
    clone="$work/$side/pendant-test"
    step "$side.clone" git clone -q --shared --no-checkout "$src" "$clone"
    step "$side.checkout" git -C "$clone" checkout -q --detach "$commit"
    step "$side.configure-deb" env -C "$clone" cmake --preset package
    step "$side.build-deb" env -C "$clone" cmake --build --preset package
    step "$side.cpack-deb" env -C "$clone" cpack --preset deb
    step "$side.configure-zip" env -C "$clone" cmake --preset package-windows
    step "$side.build-zip" env -C "$clone" cmake --build --preset package-windows
    step "$side.cpack-zip" env -C "$clone" cpack --preset windows-zip
done
A="$work/a/pendant-test" B="$work/b/pendant-test"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$A/build/package/CMakeCache.txt")"
arch="$(dpkg --print-architecture)"
deb_name="pendant-test_${version}_${arch}.deb"
zip_name="pendant-test-${version}-win32.zip"
deb="$A/build/package/$deb_name"
zip="$A/build/package-windows/$zip_name"
[ -n "$version" ] || fail "the project's version is in the package build's cache"
[ -f "$deb" ] || fail "cpack made $deb"
[ -f "$zip" ] || fail "cpack made $zip"
if ! all_passed; then
    packages_summary
    exit 1
fi
echo "packages: $deb_name ($(stat -c %s "$deb") bytes), $zip_name ($(stat -c %s "$zip") bytes)"

# ---- The same bytes from both clones ------------------------------------------
# differs_where A B: which part of two packages differs, and at which byte.
differs_where() {
    local one="$1" two="$2" member dir
    cmp "$one" "$two" | sed 's/^/  /'
    cmp -l "$one" "$two" | head -n 5 | awk '{ printf "  offset %d: %03o, not %03o\n", $1 - 1, $2, $3 }'
    case "$one" in
    *.deb)
        for member in $(ar t "$one"); do
            cmp -s <(ar p "$one" "$member") <(ar p "$two" "$member") || echo "  member $member differs"
        done
        for dir in one two; do
            mkdir -p "$work/diff/$dir"
            dpkg-deb -c "${!dir}" >"$work/diff/$dir.list"
            dpkg-deb -x "${!dir}" "$work/diff/$dir/root"
        done
        diff "$work/diff/one.list" "$work/diff/two.list" | head -n 10 | sed 's/^/  data.tar: /'
        diff -rq "$work/diff/one/root" "$work/diff/two/root" | head -n 10 | sed 's/^/  /'
        ;;
    *.zip)
        for dir in one two; do
            mkdir -p "$work/diff/$dir"
            zipinfo -v "${!dir}" | grep -v '^Archive:' >"$work/diff/$dir.list"
            (cd "$work/diff/$dir" && cmake -E tar xf "${!dir}")
        done
        diff "$work/diff/one.list" "$work/diff/two.list" | head -n 10 | sed 's/^/  zipinfo: /'
        diff -rq "$work/diff/one" "$work/diff/two" | head -n 10 | sed 's/^/  /'
        ;;
    *.exe)
        for dir in one two; do
            echo "  $dir: PE $(i686-w64-mingw32-objdump -p "${!dir}" | grep 'Time/Date')"
        done
        ;;
    esac
    rm -rf "$work/diff"
}
# same_bytes NAME A B: one check that A and B are the same file to the byte.
same_bytes() {
    local name="$1" one="$2" two="$3" sum_one sum_two
    sum_one="$(sha256sum <"$one" | cut -d' ' -f1)"
    sum_two="$(sha256sum <"$two" | cut -d' ' -f1)"
    echo "reproducible: $name: $sum_one (a), $sum_two (b)"
    if [ "$sum_one" = "$sum_two" ]; then
        ok "reproducible: $name is the same from both clones"
    else
        fail "reproducible: $name differs between the two clones:"
        differs_where "$one" "$two"
    fi
}
same_bytes "$deb_name" "$deb" "$B/build/package/$deb_name"
same_bytes "$zip_name" "$zip" "$B/build/package-windows/$zip_name"
for side in a b; do
    mkdir -p "$work/exe-$side"
    (cd "$work/exe-$side" && cmake -E tar xf "$work/$side/pendant-test/build/package-windows/$zip_name")
done
same_bytes "pendant-test.exe (in the zip)" "$work/exe-a/pendant-test-$version-win32/pendant-test.exe" \
    "$work/exe-b/pendant-test-$version-win32/pendant-test.exe"
epoch="$(git -C "$A" log -1 --format=%ct)"
[ -z "${SOURCE_DATE_EPOCH:-}" ] || epoch="$SOURCE_DATE_EPOCH"
pe_time="$(TZ=UTC i686-w64-mingw32-objdump -p "$work/exe-a/pendant-test-$version-win32/pendant-test.exe" |
    sed -n 's/^Time\/Date[[:space:]]*//p')"
check "reproducible: the .exe's PE time stamp is the commit's time ($pe_time)" \
    test "$(date -u -d "$pe_time" +%s 2>/dev/null)" = "$epoch"
TZ=UTC dpkg-deb -c "$deb" | awk '{ print $4 " " $5 }' | sort -u >"$work/deb.times"
check "reproducible: every file in the .deb has the commit's time ($(head -n 1 "$work/deb.times"))" \
    test "$(wc -l <"$work/deb.times")" = 1 -a "$(date -u -d "$(cat "$work/deb.times")" +%s)" = "$((epoch / 60 * 60))"
# SHA256SUMS beside each package, as the README checks it.
for dir in "$A/build/package" "$A/build/package-windows"; do
    name="$(basename "$dir")"
    check "SHA256SUMS: build/$name/SHA256SUMS lists exactly its package" \
        test "$(cut -d' ' -f3 "$dir/SHA256SUMS" 2>/dev/null)" = "$([ "$name" = package ] && echo "$deb_name" || echo "$zip_name")"
    check "SHA256SUMS: sha256sum -c in build/$name" env -C "$dir" sha256sum --quiet -c SHA256SUMS
done
# The docs' own check lines, run as written from the top of a clone.
while IFS=: read -r doc line; do
    line="$(sed 's/^ *//; s/ *#.*//' <<<"$line")"
    env -C "$A" bash -c "$line" >"$work/sums.out" 2>&1
    check "SHA256SUMS: $doc's \"$line\" says OK" grep -qE '^pendant-test[-_].*: OK$' "$work/sums.out"
done < <(grep -H 'sha256sum -c SHA256SUMS' README.md docs/linux.md)
check "SHA256SUMS: README.md shows the check for both packages" \
    test "$(grep -c 'sha256sum -c SHA256SUMS' README.md)" = 2

# ---- lintian, Debian's own package checker ----------------------------------------
# No error and no warning; informational tags only those docs/linux.md
# lists as staying, with why.
lintian -I --pedantic "$deb" >"$work/lintian.out" 2>&1
lintian_status=$?
grep -v '^running with root privileges' "$work/lintian.out" | sed 's/^/lintian: /'
grep -q '^[A-Z]: ' "$work/lintian.out" || echo "lintian: no tag at all (lintian -I --pedantic)"
check "lintian: exits 0" test "$lintian_status" = 0
check "lintian: no E: line" test "$(grep -c '^E: ' "$work/lintian.out")" = 0
check "lintian: no W: line" test "$(grep -c '^W: ' "$work/lintian.out")" = 0
while read -r tag; do
    check "lintian: $tag stays, docs/linux.md says why" grep -q "^- \`$tag\`" docs/linux.md
done < <(sed -n 's/^[IP]: [^ ]* \([^ ]*\).*/\1/p' "$work/lintian.out" | sort -u)

no_device=$'Device not connected or driver not installed\nnothing to do...\n'

# expect_run NAME WANT-STDOUT STDIN COMMAND...: status 0, exactly WANT-STDOUT
# on standard output and nothing on standard error.
expect_run() {
    local name="$1" want="$2" input="$3" status
    shift 3
    printf '%s' "$input" | timeout 60 "$@" >"$work/out" 2>"$work/err"
    status=$?
    if [ "$status" -ne 0 ]; then
        fail "$name: status $status; stderr: $(head -c 400 "$work/err")"
    elif [ "$(cat "$work/out"; echo .)" != "$want." ]; then
        fail "$name: standard output differs:"
        od -c "$work/out" | head -10
    elif [ -s "$work/err" ]; then
        fail "$name: standard error: $(head -c 400 "$work/err")"
    else
        ok "$name"
    fi
}

# ---- The Debian package ------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
check "deb: package pendant-test" test "$(field Package)" = pendant-test
check "deb: version $version, from project()" test "$(field Version)" = "$version"
check "deb: architecture $arch" test "$(field Architecture)" = "$arch"
# Depends comes from the binaries (dpkg-shlibdeps), not from a list of ours.
depends="$(field Depends)"
echo "deb: Depends: $depends"
depends_on() { # NAME: Depends has NAME with a minimum version
    local item
    while read -r item; do
        [[ "$item" == "$1 (>= "*")" ]] && return 0
    done <<<"${depends//, /$'\n'}"
    return 1
}
for lib in libc6 libstdc++6 libusb-1.0-0 libudev1 libncurses6; do
    check "deb: depends on $lib, found in the binaries" depends_on "$lib"
done
# (apt's own output goes to a file, the check's line to the suite's.)
apt_simulate() { apt-get install -s -q "$deb" -o Debug::NoLocking=1 >"$work/apt.log" 2>&1; }
if apt_simulate; then
    ok "deb: its dependencies resolve on this release (apt-get install -s)"
else
    tail -n 5 "$work/apt.log"
    fail "deb: its dependencies resolve on this release (apt-get install -s)"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/bin"
for program in pendant-test pendant-test-udev-rule pendant-sim pendant-gadget; do
    check "deb: $program is in /usr/bin" test -x "$bin/$program"
    desc="$(file -b "$bin/$program")"
    check "deb: $program is stripped" test "${desc%%, stripped*}" != "$desc" -a \
        "${desc%%not stripped*}" = "$desc"
done
check "deb: the licence is the doc directory's copyright" cmp -s LICENSE "$root/usr/share/doc/pendant-test/copyright"
for doc in README.md linux.md check.md sim.md gadget.md dissector.md; do
    check "deb: doc $doc" test -s "$root/usr/share/doc/pendant-test/$doc"
done

# The changelog: Debian's format, made from CHANGELOG.md; no gzip header
# carries a time.
doc="$root/usr/share/doc/pendant-test"
zcat "$doc/changelog.gz" >"$work/changelog"
check "deb: changelog.gz's newest entry is version $version" \
    test "$(dpkg-parsechangelog -l "$work/changelog" -S Version 2>&1)" = "$version"
check "deb: changelog.gz's entries are signed by the package's Maintainer ($(field Maintainer))" \
    test "$(dpkg-parsechangelog -l "$work/changelog" -S Maintainer 2>&1)" = "$(field Maintainer)"
check "deb: the Maintainer is the project, not a person" grep -q '^pendant-test project <' <(field Maintainer)
# Every version's items, newest first, in both.
awk '/^## / { n++ } n >= 1 && sub(/^- /, "")' "$A/CHANGELOG.md" >"$work/items.md"
sed -n 's/^  \* //p' "$work/changelog" >"$work/items.deb"
check "deb: changelog.gz's items are CHANGELOG.md's ($(wc -l <"$work/items.md") of them)" \
    test -s "$work/items.md" -a "$(cat "$work/items.md")" = "$(cat "$work/items.deb")"
check "deb: changelog.gz has an entry per version of CHANGELOG.md ($(grep -c '^## ' "$A/CHANGELOG.md"))" \
    test "$(grep -c '^## ' "$A/CHANGELOG.md")" = "$(grep -c '^pendant-test (' "$work/changelog")"
for gz in "$doc/changelog.gz" "$root"/usr/share/man/man1/*.gz; do
    check "deb: no time in the gzip header of ${gz#"$root"}" \
        test "$(od -An -tu4 -j4 -N4 "$gz" | tr -d ' ')" = 0
done

export PATH="$bin:$PATH"
check "deb: pendant-test is the one found on PATH" test "$(command -v pendant-test)" = "$bin/pendant-test"
expect_run "deb: pendant-test with no pendant, then a word" "$no_device" $'\n  word\n' pendant-test
expect_run "deb: pendant-test with no pendant, then the end of input" "$no_device" "" pendant-test
expect_run "deb: pendant-test ignores arguments it does not know" "$no_device" "" pendant-test \
    --verbose x
expect_run "deb: pendant-test --version" "pendant-test $version"$'\n' "" pendant-test --version
expect_run "deb: pendant-sim --version" "pendant-sim $version"$'\n' "" pendant-sim --version
expect_run "deb: pendant-test-udev-rule --version" "pendant-test-udev-rule $version"$'\n' "" \
    pendant-test-udev-rule --version
expect_run "deb: pendant-gadget --version" "pendant-gadget $version"$'\n' "" pendant-gadget --version
check "deb: the dissector is the tree's" cmp -s dissector/pendant.lua "$root/usr/share/pendant-test/pendant.lua"
# The rule the command writes is the installed template filled in.
sed 's/@VID@/1234/g; s/@PID@/abcd/g' "$root/usr/share/pendant-test/70-pendant-test.rules.in" >"$work/rule"
expect_run "deb: the rule is the installed template for 1234:abcd" "$(cat "$work/rule")"$'\n' "" \
    pendant-test-udev-rule 1234:abcd

# Man pages: found by man, their NAME lines read by lexgrog, no warnings
# from groff.
export MANPATH="$root/usr/share/man"
for page in pendant-test pendant-test-udev-rule pendant-sim pendant-gadget; do
    check "man: man -w $page finds it" test "$(man -w "$page" 2>&1)" = "$MANPATH/man1/$page.1.gz"
    # lexgrog's own line ("...: parse failed" or the NAME) goes to its log,
    # not over the check's.
    check "man: lexgrog reads the NAME of $page" lexgrog_quiet "$MANPATH/man1/$page.1.gz"
    zcat "$MANPATH/man1/$page.1.gz" | groff -man -Tutf8 -wall -z 2>"$work/groff.err"
    check "man: groff has no warnings for $page$(head -c 300 "$work/groff.err")" test ! -s "$work/groff.err"
    check "man: $page names version $version" grep -q "\"pendant-test $version\"" <(zcat "$MANPATH/man1/$page.1.gz")
done

# ---- The Windows zip ---------------------------------------------------------
top="pendant-test-$version-win32"
mkdir -p "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
listing="$(cd "$work/zip" && find . -type f | sort | tr '\n' ' ')"
check "zip: holds exactly the .exe, the .inf template, README.txt, LICENSE.txt, CHANGELOG.txt, windows.md, check.md" test \
    "$listing" = "./$top/CHANGELOG.txt ./$top/LICENSE.txt ./$top/README.txt ./$top/check.md ./$top/pendant-test.exe ./$top/pendant-winusb.inf ./$top/windows.md "
crlf_only() { test -s "$1" && ! grep -q $'[^\r]$\|^$' "$1"; }
for text in README.txt LICENSE.txt CHANGELOG.txt windows.md check.md pendant-winusb.inf; do
    check "zip: $text has CR LF line ends only" crlf_only "$work/zip/$top/$text"
done
check "zip: LICENSE.txt is the licence" cmp -s LICENSE <(tr -d '\r' <"$work/zip/$top/LICENSE.txt")
check "zip: CHANGELOG.txt is CHANGELOG.md" cmp -s "$A/CHANGELOG.md" <(tr -d '\r' <"$work/zip/$top/CHANGELOG.txt")
check "zip: README.txt names version $version" grep -q "^pendant-test $version for Windows" "$work/zip/$top/README.txt"
check "zip: the .inf registers the interface GUID" grep -q '{136917CC-8699-43EC-B5A9-8926D7165DE7}' \
    "$work/zip/$top/pendant-winusb.inf"
exe="$work/zip/$top/pendant-test.exe"
check "zip: pendant-test.exe is a 32-bit console program" grep -q '^PE32 executable (console) Intel 80386' \
    <(file -b "$exe")
i686-w64-mingw32-objdump -h "$exe" >"$work/sections"
check "zip: pendant-test.exe is stripped (no .debug_ sections)" test "$(grep -c '\.debug_' "$work/sections")" = 0
check "zip: pendant-test.exe keeps its version resource" grep -qx "$version" <(strings -e l "$exe")
unstripped="$A/build/package-windows/bin/pendant-test.exe"
echo "zip: pendant-test.exe $(stat -c %s "$exe") bytes, $(stat -c %s "$unstripped") before stripping"
# The exact no-device output under Wine, CR LF and all. The prefix is the
# Windows suite's device-free one, made here if that suite has not run.
if bash tests/windows/run_case.sh --wine cmake/wine-run.sh --arch win32 \
    --prefix build/windows-i686/wineprefix --stdin 'word\n' \
    --line "Device not connected or driver not installed" --line "nothing to do..." -- "$exe" \
    >"$work/wine.log" 2>&1; then
    ok "zip: pendant-test.exe under Wine prints the no-device lines and exits 0"
else
    cat "$work/wine.log"
    fail "zip: pendant-test.exe under Wine"
fi

# ---- The lean Linux path -------------------------------------------------------
# The README's build: the tool alone, nothing of the simulator or the tests.
step configure-tool cmake --preset tool
step build-tool cmake --build --preset tool
expect_run "tool: build/tool's pendant-test with no pendant" "$no_device" "" build/tool/app/pendant-test
check "tool: no pendant-sim in the tool build" test ! -e build/tool/sim/pendant-sim
# Where CLI11 and ncurses are missing (hidden from find_package here), the
# configure leaves pendant-sim and its tests out and says what to install...
# says LOG TEXT: CMake's output holds TEXT, however it wrapped the lines.
says() { tr -s ' \n' '  ' <"$1" | grep -qF -- "$2"; }
lean="build/packages-no-sim"
rm -rf "$lean"
if cmake -S . -B "$lean" -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON -DCMAKE_DISABLE_FIND_PACKAGE_Curses=ON \
    >"$work/lean.log" 2>&1; then
    ok "no sim packages: the configure succeeds"
    check "no sim packages: it says what to install" says "$work/lean.log" \
        "pendant-sim left out: it needs CLI11 and ncurses; as root, run apt-get install libcli11-dev libncurses-dev"
    check "no sim packages: it says the sim tests are not registered" says "$work/lean.log" \
        "tests of pendant-sim not registered"
    (cd "$lean" && ctest -N) >"$work/lean.tests"
    check "no sim packages: other tests are registered" grep -q 'build.two_backends_do_not_link' "$work/lean.tests"
    check "no sim packages: no sim test is registered" test "$(grep -c 'sim_script_mode\|pendant_sim' "$work/lean.tests")" = 0
else
    tail -n 20 "$work/lean.log"
    fail "no sim packages: the configure succeeds"
fi
# ...but where pendant-sim is required (the test presets), it stops.
rm -rf "$lean"
if cmake -S . -B "$lean" -DPENDANT_SIM=ON -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON >"$work/lean.log" 2>&1; then
    fail "no CLI11, PENDANT_SIM=ON: the configure fails"
else
    check "no CLI11, PENDANT_SIM=ON: the configure fails, saying why" says "$work/lean.log" \
        "pendant-sim: it needs CLI11 and ncurses; as root, run apt-get install libcli11-dev, then"
fi
rm -rf "$lean"

# ---- The README's first command -------------------------------------------------
# Without a terminal, run-sim.sh's pendant-sim plays its wheel sequence and ends.
if bash scripts/run-sim.sh </dev/null >"$work/run-sim.out" 2>&1; then
    check "run-sim.sh: pendant-sim plays the wheel sequence to the display's last state" grep -qx \
        '\[pendant display\] set1 0.0000 0.0000 0.0000 | set2 5.0000 30.0000 -18.0000 | words 0 0 0 0' \
        "$work/run-sim.out"
else
    tail -n 20 "$work/run-sim.out"
    fail "run-sim.sh: ends with status 0"
fi

# ---- The docs ------------------------------------------------------------------
# The fenced block after a marker comment.
block() {
    awk -v marker="<!-- $2 -->" '
        $0 == marker { found = 1; next }
        found && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$1"
}
block README.md linux-steps >"$work/readme.steps"
block docs/linux.md linux-steps >"$work/linux.steps"
check "docs: README and docs/linux.md give the Linux steps" test -s "$work/readme.steps"
check "docs: the Linux steps of README and docs/linux.md are the same" cmp -s "$work/readme.steps" "$work/linux.steps"
# The README's sample of the survey and two trace lines is what the tool
# prints for a pendant that sends them (the virtual pendant here).
printf 'jog 2 2\njog 2 -1\nturns 2\n' | pendant-sim --script - | grep -v '^\[frame \|^\[sim\] ' >"$work/sample"
block README.md sample-output >"$work/readme.sample"
check "docs: the README's sample output is exactly what the tool prints" cmp -s "$work/sample" "$work/readme.sample"

# Package names in the docs carry project()'s version, the one place it is
# set (the docs cannot take it from there, so they are held to it here).
names="$(grep -ohE 'pendant-test[-_][0-9]+(\.[0-9]+)+' README.md docs/*.md | sort -u | tr '\n' ' ')"
check "docs: the package names in README.md and docs/ carry version $version ($names)" \
    test -z "$(tr ' ' '\n' <<<"$names" | grep -vxE "(pendant-test[-_]$version)?")"

packages_summary
all_passed
