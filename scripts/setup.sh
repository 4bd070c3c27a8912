#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test NerqVRPlatform.
# Safe to run any number of times: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qtbase5-dev qtdeclarative5-dev
  qml-module-qtquick2 qml-module-qtquick-controls qml-module-qtquick-window2
  libjsoncpp-dev libeasyloggingpp-dev
  libbenchmark-dev
  xvfb xauth xdotool libgl1-mesa-dri
  xdg-utils fonts-wqy-microhei
  # The venue: the MQTT broker and its command-line clients, the client library, and openssl
  # (PBKDF2 for the broker's password file, the venue's TLS certificates).
  mosquitto mosquitto-clients libmosquitto-dev libssl-dev openssl
  # The desk's books: Qt's SQL module and its SQLite driver.
  libqt5sql5-sqlite
  # Quality stages of the test run: fuzzers (clang's libFuzzer), sanitizers, lint, and the
  # Windows device link cross-compiled and run under Wine.
  clang libclang-rt-14-dev clang-format cppcheck
  g++-mingw-w64-x86-64-posix wine wine64 locales
  # The Debian package: cpack's dependency search (dpkg-shlibdeps, file) and lintian.
  dpkg-dev file lintian
  # The desk's web page: its tests drive Debian's Chromium (never a browser download), trusting
  # the venue's CA through an NSS database (certutil); stunnel puts TLS in front of the page.
  chromium libnss3-tools stunnel4
  # Station agents whose wall clock is moved, in the tests of commands across clocks.
  faketime
)
# The page's npm packages need Node.js and npm; a machine that has its own keeps them.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
else
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  echo "setup: installed ${missing[*]}"
fi

# The desk's page: MQTT.js and the browser tests' driver, exactly as the lock file pins them.
# npm ci starts from nothing each time, so it runs only when the lock file has changed.
console=$(cd "$(dirname "$0")/../console" && pwd)
if ! cmp -s "$console/package-lock.json" "$console/node_modules/.setup-lock.json"; then
  (cd "$console" && npm ci --no-audit --no-fund)
  cp "$console/package-lock.json" "$console/node_modules/.setup-lock.json"
  echo "setup: console/node_modules installed from package-lock.json"
fi
