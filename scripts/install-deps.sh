#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail
# qt6-base-dev for the graphical shell; xvfb and xauth to run it without a desktop;
# desktop-file-utils and shared-mime-info to check the installed launcher and project file type;
# time for the benchmark script's peak-memory figures; dpkg-dev (dpkg-shlibdeps) and file for the
# package's dependencies, man-db, appstream and lintian to check the package; libgumbo-dev as the
# reference HTML5 parser of the differential tests; acl (setfacl, getfacl) for the tests that a
# rebuilt file keeps its ACL
packages=(g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev acl
          qt6-base-dev xvfb xauth desktop-file-utils shared-mime-info time
          dpkg-dev file man-db appstream lintian libgumbo-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
