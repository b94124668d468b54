#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the program's and the kit's own sources, on both
# cores, with the compile commands of the clang build in $2. Fails on any finding.
set -euo pipefail
source_dir=$1
clang_build=$2
cd "$source_dir"
find app capture controls devices simcam -name '*.cpp' -print0 | sort -z |
  xargs -0 -P "$(nproc)" -n 4 clang-tidy -p "$clang_build" --quiet
