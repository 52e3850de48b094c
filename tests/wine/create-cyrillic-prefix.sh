#!/bin/sh
# Creates a 32-bit Wine prefix whose ANSI code page is 1251, without touching
# the system: a ru_RU.UTF-8 locale compiled into a folder of its own.
# Usage: create-cyrillic-prefix.sh PREFIX LOCALE_DIR
set -eu
prefix=$1
locales=$2
rm -rf "$locales"
mkdir -p "$locales"
localedef -i ru_RU -f UTF-8 "$locales/ru_RU.UTF-8"
LOCPATH=$locales LC_ALL=ru_RU.UTF-8 "$(dirname "$0")/create-prefix.sh" "$prefix"
