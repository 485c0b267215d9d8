#!/usr/bin/env bash
# Builds the .deb from the build folder given, unpacks it into a scratch root
# and checks that every file is where the desktop looks for it.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$build"
cpack -G DEB -B "$scratch/out" >/dev/null
deb=$(ls "$scratch"/out/calculus-study_*.deb)
dpkg-deb -x "$deb" "$scratch/root"
fail=0
for f in usr/bin/calculus-study \
         usr/share/applications/calculus-study.desktop \
         usr/share/metainfo/calculus-study.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/calculus-study.svg \
         usr/share/icons/hicolor/16x16/apps/calculus-study.png \
         usr/share/icons/hicolor/48x48/apps/calculus-study.png \
         usr/share/icons/hicolor/256x256/apps/calculus-study.png; do
    [ -s "$scratch/root/$f" ] || { echo "missing: /$f"; fail=1; }
done
[ -x "$scratch/root/usr/bin/calculus-study" ] || { echo "not executable: /usr/bin/calculus-study"; fail=1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 fonts-liberation; do
    case "$depends" in *"$lib"*) ;; *) echo "dependency missing: $lib"; fail=1 ;; esac
done
grep -q '^Exec=calculus-study$' "$scratch/root/usr/share/applications/calculus-study.desktop" || fail=1
grep -q '^Categories=Education;' "$scratch/root/usr/share/applications/calculus-study.desktop" || fail=1
[ $fail -eq 0 ] && echo "package ok"
exit $fail
