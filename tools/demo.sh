#!/usr/bin/env bash
# Runs install.exe for real under Wine on the sample package in tools/demo:
# tools/try.sh with ZI050.EXE registered at C:\Program Files\Sample App, then
# uninstalled again. With a display you answer the box yourself; without one
# (or with --headless) it answers Yes and saves a screenshot of each box.
# Installs (as root) only what building install.exe and trying it need.
set -euo pipefail
here=$(dirname "$0")
"$here/install-packages.sh" --demo
exec bash "$here/try.sh" "$here/demo" --path 'C:\Program Files\Sample App' --uninstall "$@"
