#!/usr/bin/env bash
# Sets up, builds, then runs the update on a demo Quorvel Pro 5.6 installation
# made afresh in build/demo (the embedded default).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
bin=build/bin
if [ -x "$bin/make-demo-install" ] && [ -x "$bin/duzired-batch" ]; then
  rm -rf build/demo
  "$bin/make-demo-install" build/demo
  exec "$bin/duzired-batch" build/demo/install --package build/demo/swfnbfp.fip
fi
echo "The update program is not built yet. Built so far in $bin:"
ls "$bin" 2>/dev/null || true
