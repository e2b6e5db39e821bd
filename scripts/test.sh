#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the full build under a virtual
# display, then the core, acquisition and command-line tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

bash scripts/build.sh build
(cd build && xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 2)

bash scripts/build.sh build-asan -DHVK32_CORE_ONLY=ON -DHVK32_SANITIZE=ON -DHVK32_BUILD_BENCH=OFF
(cd build-asan && ctest --output-on-failure -j 2)
