#!/usr/bin/env bash
# Installs the Debian packages Velkor builds, runs and is tested with (desktop-file-utils checks
# the installed desktop entry; qt6-tools-dev and qt6-l10n-tools bring lupdate and lrelease for
# the Japanese translation; slurm-wlm and munge make the one-node cluster the Slurm backtest
# test starts; with --fuzz: also those of the fuzz targets); does nothing for packages already
# there.
set -euo pipefail
pkgs=(build-essential cmake pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libsqlite3-dev
      libfann-dev libgtest-dev fonts-ipafont-gothic qt6-translations-l10n xvfb xauth tzdata
      desktop-file-utils qt6-tools-dev qt6-l10n-tools slurm-wlm munge)
# The fuzz targets (tests/fuzz/run.sh) need clang with its libFuzzer and sanitizer runtimes.
if [ "${1:-}" = "--fuzz" ]; then pkgs+=(clang libclang-rt-14-dev); fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
