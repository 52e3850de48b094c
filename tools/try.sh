#!/usr/bin/env bash
exec python3 "$(dirname "$0")/../inx-try/inx-try.py" "$@"
