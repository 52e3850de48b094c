#!/usr/bin/env bash
# Runs install.exe for real under Wine on the sample package in tools/demo:
# tools/try.sh with ZI050.EXE registered at C:\Program Files\Sample App.
# With a display you answer the box yourself; without one (or with
# --headless) it answers Yes and saves a screenshot of each box.
exec bash "$(dirname "$0")/try.sh" "$(dirname "$0")/demo" --path 'C:\Program Files\Sample App' "$@"
