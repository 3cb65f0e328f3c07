#!/usr/bin/env bash
# Checks what the compiler cannot: every generated table source is exactly
# what its generator makes from the committed data, and every test data file
# listed in a SHA256SUMS file still has its recorded checksum.
#   tools/scripts/check-tree.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
status=0

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

check_generated() {  # generator, committed output, generator arguments before the output
  local generator=$1 committed=$2
  shift 2
  python3 "$generator" "$@" "$scratch/out"
  if ! cmp -s "$scratch/out" "$committed"; then
    echo "check-tree: $committed differs from what $generator makes:"
    diff -u "$committed" "$scratch/out" | head -20
    status=1
  fi
}
check_generated tools/generators/gen_synthesis_window.py decoder/synthesis_window.cpp
check_generated tools/generators/gen_layer2_tables.py decoder/layer2/layer2_tables.cpp
check_generated tools/generators/gen_huffman_trees.py decoder/layer3/huffman_trees.cpp tools/generators/data/layer3_huffman_tables.txt

while IFS= read -r sums; do
  if ! (cd "$(dirname "$sums")" && sha256sum --quiet -c SHA256SUMS); then
    echo "check-tree: test data under $(dirname "$sums") does not match its SHA256SUMS"
    status=1
  fi
done < <(find tests/data -name SHA256SUMS)

[ $status -eq 0 ] && echo "check-tree: generated tables and test data checksums are as committed"
exit $status
