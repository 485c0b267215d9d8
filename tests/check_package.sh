#!/usr/bin/env bash
# Packs the .deb from the build folder given (nothing is rebuilt), unpacks it
# into a scratch root and checks it as a distribution would: every file where
# the desktop looks for it, every program stripped and with its manual page,
# the menu entry and AppStream data valid, one version everywhere, and lintian
# clean. Usage: check_package.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1
id=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail=0
bad() { echo "$*"; fail=1; }

for tool in file gzip appstreamcli desktop-file-validate; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/setup.sh installs it"; exit 1; }
done

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/calculus-study_*.deb)
root=$scratch/root
dpkg-deb -x "$deb" "$root"

doc=usr/share/doc/calculus-study
for f in usr/bin/calculus-study \
         usr/share/applications/$id.desktop \
         usr/share/metainfo/$id.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/$id.svg \
         usr/share/icons/hicolor/16x16/apps/$id.png \
         usr/share/icons/hicolor/48x48/apps/$id.png \
         usr/share/icons/hicolor/256x256/apps/$id.png \
         $doc/copyright $doc/changelog.gz; do
    [ -s "$root/$f" ] || bad "missing: /$f"
done

# Every program, this one or another installed beside it, is stripped, has
# a manual page and is named in the AppStream data.
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
for program in "$root"/usr/bin/*; do
    name=$(basename "$program")
    [ -x "$program" ] || bad "not executable: /usr/bin/$name"
    case "$(file -b "$program")" in *ELF*", stripped"*) ;; *) bad "not a stripped program: /usr/bin/$name" ;; esac
    page=$root/usr/share/man/man1/$name.1.gz
    if [ -s "$page" ] && gzip -t "$page"; then
        zcat "$page" | grep -q "^\.SH \"\?EXIT STATUS" || bad "manual page of $name has no EXIT STATUS"
    else
        bad "no manual page for $name: /usr/share/man/man1/$name.1.gz"
    fi
    grep -q "<binary>$name</binary>" "$metainfo" || bad "$name is not among the AppStream <provides>"
done

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 fonts-liberation; do
    case "$depends" in *"$lib"*) ;; *) bad "dependency missing: $lib" ;; esac
done
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 4 ] || bad "no extended description"

desktop=$root/usr/share/applications/$id.desktop
grep -q '^Exec=calculus-study$' "$desktop" || bad "menu entry does not start calculus-study"
grep -q '^Categories=Education;' "$desktop" || bad "menu entry is not under Education"
grep -q "^Icon=$id\$" "$desktop" || bad "menu entry's icon is not $id"
grep -q "<id>$id</id>" "$metainfo" || bad "AppStream id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || bad "AppStream launchable is not $id.desktop"
desktop-file-validate "$desktop" || bad "desktop-file-validate failed"
# The other programs' entries: each valid, under Education, starting its program.
for entry in review:calculus-study-review class_report:calculus-study-class-report; do
    other=$root/usr/share/applications/$id.${entry%%:*}.desktop
    [ -s "$other" ] || { bad "missing: ${other#"$root"}"; continue; }
    grep -q "^Exec=${entry#*:}\$" "$other" || bad "${other##*/} does not start ${entry#*:}"
    grep -q '^Categories=Education;' "$other" || bad "${other##*/} is not under Education"
    desktop-file-validate "$other" || bad "desktop-file-validate failed on ${other##*/}"
done
grep -q '^Name=Calculus Study: class report$' "$root/usr/share/applications/$id.class_report.desktop" ||
    bad "the class report's menu entry is not \"Calculus Study: class report\""
appstreamcli validate --no-net --pedantic "$metainfo" || bad "appstreamcli validate failed"

version=$(dpkg-deb -f "$deb" Version)
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -1)
logged=$(zcat "$root/$doc/changelog.gz" | sed -n '1s/^calculus-study (\([^)]*\)).*/\1/p')
[ "$release" = "$version" ] || bad "AppStream's latest release is $release, the package is $version"
[ "$logged" = "$version" ] || bad "the changelog's latest entry is $logged, the package is $version"

# lintian is the distribution's own check; scripts/setup.sh installs it.
if command -v lintian >/dev/null; then
    status=0
    tags=$(lintian --pedantic --fail-on error,warning,pedantic "$deb" 2>&1) || status=$?
    printf '%s\n' "$tags" | grep -v "running with root privileges" || true
    [ $status -eq 0 ] || bad "lintian reports the tags above"
else
    echo "lintian is not installed: the policy check is skipped (scripts/setup.sh installs it)"
fi

[ $fail -eq 0 ] && echo "package ok"
exit $fail
