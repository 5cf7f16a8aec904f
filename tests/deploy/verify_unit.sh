#!/usr/bin/env bash
# systemd-analyze verify on the service template, with the built tool in
# place of the installed one. Any complaint about the unit fails: verify
# itself exits 0 on unknown keys. Exit 77 (skipped) without systemd.
set -uo pipefail
unit=$1 tool=$2
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze not found: systemd is not installed" >&2
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sed "s#/usr/local/bin/sorvex-tool#$tool#" "$unit" >"$dir/sorvex-listen@.service"
cd "$dir"
out=$(systemd-analyze verify sorvex-listen@line1.service 2>&1)
status=$?
echo "$out"
if [[ $status -ne 0 ]] || grep -q 'sorvex-listen@' <<<"$out"; then
  echo "the unit does not verify" >&2
  exit 1
fi
