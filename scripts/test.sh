#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, builds and
# checks the Debian package; then builds the same suite with AddressSanitizer
# and UndefinedBehaviorSanitizer and runs it again.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
# Line tables are all the debug information a test failure needs, and much
# quicker to build than full debug information.
cmake -S . -B build -DTOCKWISE_WERROR=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
cmake --build build -j2
# Most end-to-end tests wait on a virtual display rather than compute: four
# at a time keep two cores busy.
(cd build && ctest --output-on-failure -j4 "$@")
# The Debian package: built, checked with lintian and, as root on Debian,
# installed, started and purged again.
./tests/package/check_deb.sh build

# The build above already holds the code to no warnings; GCC warns falsely
# about code the sanitizers instrument, so warnings do not stop this one.
# -O1 with line tables, as the sanitizers' own guides advise: reports keep
# their file and line, and the build takes a third less time.
cmake -S . -B build-asan -DTOCKWISE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" >/dev/null
cmake --build build-asan -j2
reports=build-asan/sanitizer-reports
rm -rf "$reports"
. tests/sanitizers/env.sh "$reports"
status=0
(cd build-asan && ctest --output-on-failure -j4 -LE timing "$@") || status=$?
# Every report is kept in a file, so a finding in a program whose exit status
# no test looks at (a clock a test kills, a restarted copy) still fails the run.
if compgen -G "$reports/*" >/dev/null; then
    cat "$reports"/* >&2
    echo "test.sh: the sanitizers reported the findings above" >&2
    status=1
fi
exit "$status"
