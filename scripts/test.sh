#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite, builds the product as a
# packager would (Release, default options) in build-package/ and checks its Debian package, then
# builds and runs the suite once more with AddressSanitizer (leak checks on) and
# UndefinedBehaviorSanitizer in build-asan/, and last runs every fuzz target a few seconds in a
# clang build in build-fuzz/. Every build but the package's treats warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOCVANE_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure -j2

# The product alone in Release, no tests and no benchmarks, packed and checked like a
# distribution's package.
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF -DTOCVANE_BENCH=OFF
cmake --build build-package
rm -f build-package/*.deb
(cd build-package && cpack -G DEB)
scripts/check-package.sh build-package/*.deb

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOCVANE_WERROR=ON \
    -DTOCVANE_SANITIZE=ON -DTOCVANE_BENCH=OFF
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j2

# Every fuzz target a few seconds from its seeds, in a clang build of the targets alone.
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOCVANE_WERROR=ON -DTOCVANE_FUZZ=ON -DTOCVANE_BUILD_TESTS=OFF -DTOCVANE_BENCH=OFF
cmake --build build-fuzz --target fuzz_targets
ctest --test-dir build-fuzz --output-on-failure -R _fuzz
