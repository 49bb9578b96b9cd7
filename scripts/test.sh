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
# A leak report none of whose stacks passes through this program's code is
# Qt's or a library's own (a helper thread Qt Network lets go only after the
# process has ended): shown, not failed on. Every other finding fails.
here=$(pwd)
for report in "$reports"/*; do
    [ -e "$report" ] || continue
    cat "$report" >&2
    # The leak checker itself can crash while it stops the threads of a
    # process that is ending ("Tracer caught signal 11"): then no leak was
    # checked and nothing was found; shown, not failed on.
    if grep -q 'LeakSanitizer has encountered a fatal error' "$report" && ! grep -q 'ERROR:' "$report"; then
        echo "test.sh: $report: the leak checker failed at the end of that process; nothing found: not failed on" >&2
        continue
    fi
    if grep -q 'ERROR: LeakSanitizer' "$report" && ! grep -v 'LeakSanitizer' "$report" | grep -q 'ERROR:' &&
        ! grep -qE "$here/|/bin/tockwise|/prog/tockwise|/tests/test_|/tests/tst_" "$report"; then
        echo "test.sh: $report: leaks inside libraries only, with no frame of ours: not failed on" >&2
        continue
    fi
    echo "test.sh: the sanitizers reported the findings above" >&2
    status=1
done
exit "$status"
