#!/usr/bin/env bash
# php -l on every template as it stands and on every page made from them: lint.sh MAKE_PAGES TEMPLATE_DIR
set -euo pipefail
made=$(mktemp -d)
trap 'rm -rf "$made"' EXIT
"$1" "$made" "$(printf 'c%.0s' {1..64})"
status=0
count=0
for file in "$2"/*.php "$2"/*.html "$made"/*; do
  count=$((count + 1))
  out=$(php -n -d display_errors=1 -l "$file" 2>&1) || { echo "$out"; status=1; }
done
[ "$count" -ge 17 ] || { echo "only $count files were checked"; status=1; }
[ "$status" -eq 0 ] && echo "php -l: $count templates and made pages, no syntax errors"
exit "$status"
