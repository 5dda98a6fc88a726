#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ file differs from the root .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is not installed (scripts/bootstrap.sh)"; exit 1; }
unformatted=()
while IFS= read -r -d '' file; do
  clang-format --style=file "$file" | cmp -s - "$file" || unformatted+=("$file")
done < <(git ls-files -z -- '*.cpp' '*.h')
if [ ${#unformatted[@]} -ne 0 ]; then
  echo "Not formatted with the root .clang-format (run: clang-format -i FILE):"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
echo "All $(git ls-files -- '*.cpp' '*.h' | wc -l) C++ files are formatted."
