#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")"
scripts/bootstrap.sh
scripts/build.sh build
exec build/bin/tolactl version
