#!/usr/bin/env bash
# Builds the Debian packages of the committed tree and checks them as a
# maintainer would:
#   tools/scripts/build-package.sh
# Installs what the package build needs when missing (setup-debian.sh
# package), exports HEAD into build-package/sorvil/ (local changes are not
# part of a release), runs dpkg-buildpackage -us -uc -b there (the test suite
# runs unless DEB_BUILD_OPTIONS has nocheck), then lintian --pedantic -I on
# the .changes (an error or a warning fails) and hardening-check on every
# installed program (all its checks but control-flow protection, see below).
# The .deb files and the .changes land in build-package/. Exits 1 when the
# build or a check fails.
# SORVIL_PACKAGE_DIR chooses the folder (default: build-package).
set -euo pipefail
project=$(cd "$(dirname "$0")/../.." && pwd)
out="${SORVIL_PACKAGE_DIR:-$project/build-package}"
case "$out" in /*) ;; *) out="$project/$out" ;; esac

"$project/tools/scripts/setup-debian.sh" package
rm -rf "$out"
mkdir -p "$out/sorvil"
git -C "$project" archive --format=tar HEAD | tar -x -C "$out/sorvil"
# The same clock for every step; dpkg-buildpackage sets it from the
# changelog as well.
SOURCE_DATE_EPOCH=$(cd "$out/sorvil" && dpkg-parsechangelog -S Timestamp)
export SOURCE_DATE_EPOCH

echo "== dpkg-buildpackage -us -uc -b (DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-})"
(cd "$out/sorvil" && dpkg-buildpackage -us -uc -b)

failed=0
changes=$(ls "$out"/sorvil_*.changes)
echo "== lintian --pedantic -I $(basename "$changes")"
lintian --pedantic -I --fail-on error,warning "$changes" || failed=1

echo "== hardening-check"
unpacked="$out/unpacked"
mkdir -p "$unpacked"
for deb in "$out"/sorvil_*.deb; do dpkg-deb -x "$deb" "$unpacked"; done
# Control-flow protection cannot show on Debian 12: glibc's start files lack
# the IBT and SHSTK notes, so no program linked there has them (ls neither),
# whatever the flags. The programs are compiled with -fcf-protection all the
# same.
for program in "$unpacked"/usr/bin/*; do
  hardening-check --nocfprotection "$program" || failed=1
done

[ "$failed" -eq 0 ] && echo "== packages in $out: $(cd "$out" && ls ./*.deb | xargs)"
exit $failed
