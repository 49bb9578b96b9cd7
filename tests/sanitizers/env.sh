# Sourced before running the tests of a TOCKWISE_SANITIZE build:
#   . tests/sanitizers/env.sh [REPORT_FOLDER] && (cd build-asan && ctest)
# The settings reach every test program and, through the end-to-end scripts,
# the real program under test. With REPORT_FOLDER every report is written there
# as well (one file per process), which also catches a finding in a program
# whose exit status no test looks at, e.g. a clock that a test kills or that
# restarts itself.
_sanitizers_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
_sanitizers_log=""
if [ -n "${1:-}" ]; then
    mkdir -p "$1"
    _sanitizers_log=":log_path=$(cd "$1" && pwd)/report"
fi

# verify_asan_link_order=0: the time tests preload libfaketime ahead of the
# sanitizer runtime; the runtime still intercepts everything it needs.
# detect_stack_use_after_return=1: also catches use of a dead stack frame.
export ASAN_OPTIONS="detect_leaks=1:verify_asan_link_order=0:detect_stack_use_after_return=1:halt_on_error=1${_sanitizers_log}"
export LSAN_OPTIONS="suppressions=${_sanitizers_dir}/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${_sanitizers_log}"
unset _sanitizers_dir _sanitizers_log
