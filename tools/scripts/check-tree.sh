#!/usr/bin/env bash
# Checks what the compiler cannot: every generated table source is exactly
# what its generator makes from the committed data, and every test data file
# is listed in its folder's SHA256SUMS with the checksum it still has.
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

# Every folder of test data carries a SHA256SUMS naming each of its files;
# after a deliberate change, remake it in that folder with
#   find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum >SHA256SUMS
for folder in tests/data/*/; do
  folder=${folder%/}
  if [ ! -f "$folder/SHA256SUMS" ]; then
    echo "check-tree: $folder has no SHA256SUMS"
    status=1
    continue
  fi
  if ! (cd "$folder" && sha256sum --quiet -c SHA256SUMS); then
    echo "check-tree: test data under $folder does not match its SHA256SUMS"
    status=1
  fi
  unlisted=$(cd "$folder" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
             LC_ALL=C comm -23 - <(cut -c67- SHA256SUMS | LC_ALL=C sort))
  if [ -n "$unlisted" ]; then
    echo "check-tree: files under $folder missing from its SHA256SUMS:"
    echo "$unlisted"
    status=1
  fi
done

[ $status -eq 0 ] && echo "check-tree: generated tables and test data checksums are as committed"
exit $status
