# Sourced by the test scripts: `fail`, and a scratch folder $work that is
# removed on exit, also when a check fails, after the steps given to
# `on_exit` (stopping what the script started).
unset LD_LIBRARY_PATH
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

work=$(mktemp -d)
exit_steps=()
on_exit() { exit_steps+=("$1"); }
run_exit_steps() {
    local step
    for step in "${exit_steps[@]}"; do eval "$step" || true; done
    rm -rf "$work"
}
trap run_exit_steps EXIT
