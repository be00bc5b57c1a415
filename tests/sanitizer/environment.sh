# Sanitizer options for the sanitizer build's tests and every program they start. Sourced.
sanitizer_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# Leaks of libraries we do not build are suppressed by name in lsan.supp, each with its reason.
# abort_on_error stays off: a finding exits with the sanitizer's code and its report.
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=0:check_initialization_order=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$sanitizer_dir/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$sanitizer_dir/ubsan.supp"
