#!/usr/bin/env bash
# tools/scripts/setup-debian.sh with stand-ins for dpkg-query, id, sudo, env and
# apt-get as the only commands on PATH: which packages each purpose asks for,
# and when apt-get is called, and how.
set -euo pipefail
setup=$(cd "$(dirname "$0")/../.." && pwd)/tools/scripts/setup-debian.sh
stubs=$(mktemp -d)
trap 'rm -rf "$stubs"' EXIT
mkdir "$stubs/bin" "$stubs/with-sudo"

# Every package is installed except those in $MISSING; the user id is $USER_ID.
cat >"$stubs/bin/dpkg-query" <<'STUB'
#!/bin/sh
for package; do :; done
case " $MISSING " in *" $package "*) exit 1 ;; esac
printf 'install ok installed'
STUB
printf '#!/bin/sh\necho "$USER_ID"\n' >"$stubs/bin/id"
for recorder in apt-get env; do printf '#!/bin/sh\necho "%s $*" >>"$CALLS"\n' "$recorder" >"$stubs/bin/$recorder"; done
printf '#!/bin/sh\necho "sudo $*" >>"$CALLS"\n' >"$stubs/with-sudo/sudo"
chmod +x "$stubs"/bin/* "$stubs"/with-sudo/*

failures=0
# expect PURPOSE USER_ID MISSING SUDO(yes|no) STATUS CALLS [ERROR_TEXT]
expect() {
  local path=$stubs/bin status=0
  [ "$4" = yes ] && path=$path:$stubs/with-sudo
  : >"$stubs/calls"
  PATH=$path USER_ID=$2 MISSING=$3 CALLS=$stubs/calls /bin/bash "$setup" "$1" 2>"$stubs/errors" || status=$?
  local calls errors
  calls=$(cat "$stubs/calls")
  errors=$(cat "$stubs/errors")
  if [ "$status" != "$5" ] || [ "$calls" != "$6" ] || [[ "$errors" != *"${7:-}"* ]]; then
    echo "FAILED: setup $1 as $2, missing '$3', sudo $4: status $status, calls '$calls', errors:" >&2
    cat "$stubs/errors" >&2
    failures=$((failures + 1))
  fi
}

expect run  1000 ""      no  0 ""
expect test 0    ""      no  0 ""
expect run  1000 "clang" no  0 ""
expect test 1000 "clang libclang-rt-14-dev" no 1 "" "  apt-get install -y clang libclang-rt-14-dev"
expect test 1000 "libclang-rt-14-dev xvfb" yes 0 "sudo apt-get update -qq
sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libclang-rt-14-dev xvfb"
expect run  0    "liballegro4-dev" no 0 "apt-get update -qq
env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq liballegro4-dev"
expect test 0    "strace" no 0 "apt-get update -qq
env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq strace"
expect run  0    "strace" no 0 ""
expect bench 0   "libbenchmark-dev libgtest-dev" no 0 "apt-get update -qq
env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libbenchmark-dev"
expect other 0   "" no 2 "" "Usage: tools/scripts/setup-debian.sh"
exit $((failures > 0))
