#!/bin/sh
# Creates a 32-bit Wine prefix whose ANSI code page is that of a locale,
# without touching the system: LOCALE.UTF-8 compiled into a folder of its own.
# ru_RU gives code page 1251; hi_IN, which has no ANSI code page, gives UTF-8.
# With CACHE, the prefix is a copy of a pristine one kept there for that locale.
# Usage: create-locale-prefix.sh PREFIX LOCALE_DIR LOCALE [CACHE]
set -eu
prefix=$1
locales=$2
locale=$3
mkdir -p "$locales"
localedef -i "$locale" -f UTF-8 "$locales/$locale.UTF-8"
export LOCPATH="$locales" LC_ALL="$locale.UTF-8"
if [ $# -ge 4 ]; then
    "$(dirname "$0")/../../inx-try/wine/pristine-prefix.sh" "$4" "$prefix"
else
    "$(dirname "$0")/../../inx-try/wine/create-prefix.sh" "$prefix"
fi
