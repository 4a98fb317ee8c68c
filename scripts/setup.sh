#!/bin/sh
# Installs the build tools the project needs when they are missing (Debian).
set -e
missing=""
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v g++ >/dev/null 2>&1 || missing="$missing g++"
[ -f /usr/include/gtest/gtest.h ] || missing="$missing libgtest-dev"
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
fi
