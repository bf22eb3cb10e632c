#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, creates the demo company and looks at it.
set -euo pipefail
cd "$(dirname "$0")"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $(cat .ci/packages)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
./build/bin/morvesk init --db demo.db --force
./build/bin/morvesk sql --db demo.db "select FCategory, FKey, FValue from t_SystemProfile where FCategory = 'IC'"
