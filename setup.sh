#!/usr/bin/env bash
# Fiamma1D set-up on Debian: installs what is missing, then builds and runs.
#   ./setup.sh example   the example flame (build/release/examples/flame/)
#   ./setup.sh test      every test: the Release suite (C++ and Python), then
#                        the C++ suite again at -O0 (Debug) under
#                        AddressSanitizer and UndefinedBehaviorSanitizer
#   ./setup.sh install   only the packages
set -euo pipefail
cd "$(dirname "$0")"

# Debian packages and why (README, "Set-up"):
packages=(
  cmake g++ make                         # the build
  libgtest-dev libbenchmark-dev          # tests and benchmarks
  nlohmann-json3-dev                     # the run summary (JSON)
  clang libclang-rt-14-dev               # libFuzzer targets of the text readers
  python3 python3-numpy python3-matplotlib python3-pandas python3-scipy  # the Python tools
  python3-vtk9                           # ParaView/VTK files of the outputs
  python3-distributed                    # sweeps and campaigns on Dask
  python3-pytest                         # the Python tests
  python3-venv python3-setuptools python3-wheel  # pip install ./python into a virtual environment, offline
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing from Debian's packages: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"; }; then
    echo "setup: could not install ${missing[*]} (apt-get failed; as root or with sudo, and with Debian's package servers reachable, run: apt-get install ${missing[*]})" >&2
    exit 1
  fi
fi

case "${1:-}" in
  example) cmake --workflow --preset example ;;
  test) cmake --workflow --preset test && cmake --workflow --preset sanitize ;;
  install) ;;
  *)
    echo "usage: ./setup.sh example | test | install" >&2
    exit 2
    ;;
esac
