#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Idempotent and
# quiet when everything is already there; needs root (or sudo) otherwise.
set -euo pipefail

packages=(
  # Linux build and unit tests
  cmake ninja-build pkg-config g++ libsimdjson-dev libsodium-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # Windows cross build (libsodium and simdjson come from Debian's sources)
  g++-mingw-w64-x86-64-posix dpkg-dev
  # Windows Installer package (wixl; msibuild and msiinfo from msitools; faketime
  # for its reproducible summary), Authenticode signing
  wixl msitools faketime osslsigncode
  # Running the Windows build
  wine wine64 xvfb xauth
  # The local user's own keyboard and mouse on the Xvfb screen (XTest)
  xdotool
  # Fuzzing (libFuzzer with clang-16 and libc++)
  clang-16 libc++-16-dev libc++abi-16-dev libclang-rt-16-dev
  # Process-level tests and the companion
  python3 python3-pytest python3-nacl
  # Browser tests (Node.js and npm below)
  chromium
)

# Node.js and npm for the browser tests, from Debian unless a node and an npm
# are already installed (another source's nodejs package may conflict with
# Debian's npm).
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
