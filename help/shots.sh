#!/bin/sh
# Makes the manual's screenshots from the build in build/ (see help/shots.py).
set -eu
cd "$(dirname "$0")/.."
exec tests/e2e/run.sh "${1:-build/bin}" help/shots.py
