# Sourced by the test-data scripts: a scratch folder removed on exit, the
# deterministic test signals, and encoders run quietly. Expects `scripts`
# (this folder) to be set.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two tones with a slow tremolo, raw s16le.
signal() { # rate channels seconds path
    python3 "$scripts/test_signal.py" tremolo "$@"
}

# A tone gliding up and down, never periodic, raw s16le.
sweep() { # rate channels seconds path
    python3 "$scripts/test_signal.py" sweep "$@"
}

# The encoders warn on every raw input that their file library may seek;
# show their messages only when they fail.
quietly() {
    "$@" 2>"$work/encoder.log" || { cat "$work/encoder.log" >&2; exit 1; }
}
