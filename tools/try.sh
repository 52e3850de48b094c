#!/usr/bin/env bash
# Tries a package end to end: runs the real install.exe under Wine in a copy of
# FOLDER (its install.inx and the files it installs), in a 32-bit prefix of
# its own where ZI050.EXE is registered at the path given, and reports
# install.inf, every box shown, and what the installation changed on drive C:
# and in the registry: under the application's folder and elsewhere, added,
# changed and removed. Headless (no display, or --headless) it answers Yes
# under Xvfb and saves a screenshot of each box; otherwise you answer.
#
# Usage: bash tools/try.sh FOLDER [--path DIR]... [--matrix] [--uninstall]
#                                 [--headless] [--keep]
#
#   --path DIR    the application's folder (default C:\Program Files\ZI050);
#                 with --matrix, a folder tried besides the fixed list
#   --matrix      try once per folder of a fixed list of folders that users
#                 have, and end with a table
#   --uninstall   then uninstall as the user would, and report what is left
#                 behind and what was there before and is gone or changed
#   --keep        keep each try's package copy and prefix
#
# FOLDER's own install.exe is tried when it has one (a signed one, say);
# otherwise the one built here. Exit status 0 only when every try is OK;
# otherwise 1, with the reason on the last line (2 for bad usage or missing
# tools). Reports and screenshots are kept in build/try/NAME-ID.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tools_build=$root/build/win32-tools
prefix_cache=$root/build/wine-prefixes
driver=$tools_build/automation/try-driver.exe
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall'
app_paths_key='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\ZI050.EXE'
matrix_folders=(
    'C:\Program Files\ZI050'
    'C:\Program Files (x86)\ZI050'
    'C:\ZI050'
    'C:\Users\Public\My Apps\ZI 050 v2.1'
    'C:\Programme\Müller'
    'C:\Apps\ZI050\'
    'C:\Tools 100%\ZI050'
    'C:\Deep\Folder Level One\Folder Level Two\Folder Level Three\Folder Level Four\Folder Level Five\Folder Level Six\Folder Level Seven\Folder Level Eight\Folder Level Nine\Folder Level Ten\ZI050 Application'
)

usage() {
    echo "usage: bash tools/try.sh FOLDER [--path DIR]... [--matrix] [--uninstall] [--headless] [--keep]" >&2
    exit 2
}

parse_arguments() {
    [ $# -ge 1 ] || usage
    package=$1
    shift
    paths=()
    matrix=false
    uninstall=false
    headless=false
    keep=false
    while [ $# -gt 0 ]; do
        case $1 in
        --path) [ $# -ge 2 ] || usage; paths+=("$2"); shift 2 ;;
        --matrix) matrix=true; shift ;;
        --uninstall) uninstall=true; shift ;;
        --headless) headless=true; shift ;;
        --keep) keep=true; shift ;;
        *) usage ;;
        esac
    done
    [ -n "${DISPLAY:-}" ] || headless=true
    [ -f "$package/install.inx" ] || { echo "try.sh: $package holds no install.inx" >&2; exit 2; }
    package=$(cd "$package" && pwd)
    if $matrix; then
        paths=("${matrix_folders[@]}" "${paths[@]}")
    elif [ ${#paths[@]} -eq 0 ]; then
        paths=('C:\Program Files\ZI050')
    fi
    [ ${#paths[@]} -eq 1 ] || matrix=true
}

# The tools are checked, not installed: tools/demo.sh and tools/test.sh install them.
check_tools() {
    local missing=() command package
    for command in cmake:cmake make:make i686-w64-mingw32-g++-posix:g++-mingw-w64-i686-posix \
        wine:wine winepath:wine wineserver:wine Xvfb:xvfb iconv:libc-bin flock:util-linux; do
        package=${command#*:}
        command -v "${command%%:*}" >/dev/null || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] ||
        { echo "try.sh: missing tools; as root: bash tools/install-packages.sh --only ${missing[*]} wine32:i386" >&2; exit 2; }
}

build_tools() {
    if [ ! -f "$tools_build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$tools_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
            -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >/dev/null
    fi
    cmake --build "$tools_build" --target try_driver install_program >/dev/null
}

start_display() {
    $headless || return 0
    exec 3>"$scratch/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
    [ -s "$scratch/display" ] || { echo "FAILED: Xvfb did not start, so no display for Wine"; exit 1; }
    export DISPLAY=":$(cat "$scratch/display")"
}

# A copy of the pristine prefix, with ZI050.EXE registered at $1 and that folder made.
make_prefix() {
    "$root/tools/wine/pristine-prefix.sh" "$prefix_cache" "$WINEPREFIX"
    wine reg add "$app_paths_key" /v Path /t REG_SZ /d "$1" /f >/dev/null
    # The prefix is made for a screen without a window manager; with one, let it manage.
    $headless || wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d Y /f >/dev/null
    # The folder on drive C:, as a path under drive_c; none elsewhere.
    app_relative=
    case $1 in
    [Cc]:\\?*)
        app_relative=${1:3}
        app_relative=${app_relative//\\//}
        app_relative=${app_relative%/}
        mkdir -p "$WINEPREFIX/drive_c/$app_relative"
        ;;
    esac
}

# Files on drive C: (path, size, time) and registry values (key, value), sorted;
# Wine's own logs and temporary files are left out.
snapshot() {
    (cd "$WINEPREFIX/drive_c" && find . -type f -printf '%P\t%s\t%T@\n') |
        { grep -avE '^(windows/(temp|logs|Installer)/|users/[^/]+/(Temp|AppData/Local/Temp)/|windows/inf/setupapi)' || true; } |
        LC_ALL=C sort >"$scratch/$1.files"
    # Before the installation HKLM\Software is the pristine prefix's and the
    # App Paths entry: exporting it again would take Wine seconds.
    {
        if [ "$1" = before ]; then
            reg_lines "$WINEPREFIX/pristine-hklm-software.reg"
            wine reg export "$app_paths_key" "$scratch/export.reg" /y >/dev/null 2>&1
            reg_lines "$scratch/export.reg"
        else
            wine reg export 'HKLM\Software' "$scratch/export.reg" /y >/dev/null 2>&1
            reg_lines "$scratch/export.reg"
        fi
        wine reg export 'HKCU\Software' "$scratch/export.reg" /y >/dev/null 2>&1
        reg_lines "$scratch/export.reg"
    } | LC_ALL=C sort -u >"$scratch/$1.registry"
}

# The values of a .reg file, one line each: key, tab, value.
reg_lines() {
    iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r' | awk '
        continued { sub(/^ +/, ""); line = line $0 }
        !continued { line = $0 }
        { continued = 0 }
        /\\$/ { sub(/\\$/, "", line); continued = 1; next }
        line ~ /^\[/ { key = substr(line, 2, length(line) - 2); next }
        line != "" && key != "" { print key "\t" line }'
}

# What a file or registry line is, whatever its size, time or data.
identity() {
    awk -F'\t' '{ name = $2 ~ /^@=/ ? "@" : substr($2, 1, index($2, "\"=")); print $1 "\t" name }' "$@"
}
file_identity() { cut -f1 "$@"; }

# Runs the driver; its box lines and end go to $scratch/$1.log.
run_driver() {
    local log=$1
    shift
    local answer=()
    $headless && answer=(--answer)
    wine "$driver" "${answer[@]}" "$@" "$(winepath -w "$output/boxes")" |
        tr -d '\r' >"$scratch/$log.log" || return 1
    # A hung engine is ended; what finished has written everything already.
    grep -qx finished "$scratch/$log.log" || { wineserver -k; wineserver -w; }
}

# Prints the boxes of a driver log; sets program_boxes and program_failure.
report_boxes() {
    local line kind number process caption text buttons shot
    program_boxes=0
    program_failure=
    while IFS= read -r line; do
        # Tabs are whitespace to read: split at a separator that is not, so that
        # an empty field stays a field.
        IFS=$'\x1f' read -r kind number process caption text buttons <<<"${line//$'\t'/$'\x1f'}"
        [ "$kind" = box ] || continue
        shot=$output/boxes/box-$number
        if [ -f "$shot.bmp" ] && convert "$shot.bmp" "$shot.png" 2>/dev/null; then
            rm -f "$shot.bmp"
        fi
        echo "   $number. $process, \"$caption\": $text [${buttons//|/ | }]"
        if [ "$process" = install.exe ]; then
            program_boxes=$((program_boxes + 1))
            [ "$program_boxes" -eq 1 ] || program_failure=$text
        fi
    done <"$scratch/$1.log"
    grep -q '^box' "$scratch/$1.log" || echo "   (none)"
}

windows_file() { printf 'C:\\%s' "${1//\//\\}"; }

# Files and values the installation added, changed and removed.
report_install() {
    LC_ALL=C comm -13 "$scratch/before.files" "$scratch/installed.files" | cut -f1,2 >"$scratch/files.changed"
    LC_ALL=C comm -23 <(file_identity "$scratch/before.files") <(file_identity "$scratch/installed.files") \
        >"$scratch/files.removed"
    files_under=0
    files_elsewhere=0
    : >"$scratch/files.under"
    : >"$scratch/files.elsewhere"
    local path size
    while IFS=$'\t' read -r path size; do
        if [ -n "$app_relative" ] && [[ "$path" == "$app_relative"/* ]]; then
            files_under=$((files_under + 1))
            echo "   $(windows_file "$path") ($size bytes)" >>"$scratch/files.under"
        else
            files_elsewhere=$((files_elsewhere + 1))
            echo "   $(windows_file "$path") ($size bytes)" >>"$scratch/files.elsewhere"
        fi
    done <"$scratch/files.changed"
    echo "== Files created or changed: $files_under under $app_dir, $files_elsewhere elsewhere"
    cat "$scratch/files.elsewhere" "$scratch/files.under"
    echo "== Files removed:"
    sed 's/^/   /; s#/#\\#g; s/^   /   C:\\/' "$scratch/files.removed"
    [ -s "$scratch/files.removed" ] || echo "   (none)"

    LC_ALL=C comm -13 "$scratch/before.registry" "$scratch/installed.registry" >"$scratch/registry.changed"
    LC_ALL=C comm -23 <(identity "$scratch/before.registry" | LC_ALL=C sort) \
        <(identity "$scratch/installed.registry" | LC_ALL=C sort) >"$scratch/registry.removed"
    echo "== Registry values added or changed under HKLM\\Software and HKCU\\Software:"
    sed 's/\t/: /; s/^/   /' "$scratch/registry.changed"
    [ -s "$scratch/registry.changed" ] || echo "   (none)"
    echo "== Registry values removed:"
    sed 's/\t/: /; s/^/   /' "$scratch/registry.removed"
    [ -s "$scratch/registry.removed" ] || echo "   (none)"
    changes=$(($(wc -l <"$scratch/files.changed") + $(wc -l <"$scratch/registry.changed") +
        $(wc -l <"$scratch/files.removed") + $(wc -l <"$scratch/registry.removed")))
}

# The UninstallString of an entry the installation added to the list of
# installed programs, unescaped from the .reg form; empty when none.
registered_uninstall() {
    LC_ALL=C comm -13 "$scratch/before.registry" "$scratch/installed.registry" |
        key="$uninstall_key" awk -F'\t' '
            # From the environment: -v would turn each \ of the key into an escape.
            index(tolower($1), "\\" tolower(ENVIRON["key"]) "\\") &&
            $2 ~ /^"UninstallString"="/ {
                value = substr($2, 20, length($2) - 20)
                gsub(/\\"/, "\"", value); gsub(/\\\\/, "\\", value)
                print value; exit }'
}

# Uninstalls as a user would and reports leftovers and collateral damage.
uninstall_and_report() {
    uninstall_problem=
    local command
    command=$(registered_uninstall)
    if [ -n "$command" ]; then
        echo "== Uninstalling as the list of installed programs does: $command"
    else
        echo "== Uninstalling: the installation registered nothing under HKLM or HKCU\\$uninstall_key,"
        echo "   so users will find nothing to uninstall; running install.inf's [DefaultUninstall]"
        if ! grep -qiE $'^[ \t]*\\[DefaultUninstall(\\.NT|\\.NTx86)?\\]' "$work/install.inf"; then
            echo "   install.inf has no [DefaultUninstall.NTx86], [DefaultUninstall.NT] or [DefaultUninstall] section"
            uninstall_problem="install.inf has no [DefaultUninstall] section to uninstall with"
            leftovers=0
            return
        fi
        command="rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 $(winepath -w "$work/install.inf")"
    fi
    echo "== Message boxes while uninstalling:"
    run_driver uninstall --command "$command" "$(winepath -w "$work")" ||
        { uninstall_problem="the uninstaller could not be started"; return; }
    report_boxes uninstall
    snapshot uninstalled
    grep -qx finished "$scratch/uninstall.log" ||
        uninstall_problem="the uninstallation was $(tail -n 1 "$scratch/uninstall.log")"

    # Left behind: what the installation added and the uninstallation kept.
    LC_ALL=C comm -12 \
        <(LC_ALL=C comm -13 <(file_identity "$scratch/before.files") <(file_identity "$scratch/installed.files")) \
        <(file_identity "$scratch/uninstalled.files") | sed 's#/#\\#g; s/^/   C:\\/' >"$scratch/left.files"
    LC_ALL=C comm -12 \
        <(LC_ALL=C comm -13 <(identity "$scratch/before.registry" | LC_ALL=C sort) \
            <(identity "$scratch/installed.registry" | LC_ALL=C sort)) \
        <(identity "$scratch/uninstalled.registry" | LC_ALL=C sort) | sed 's/\t/: /; s/^/   /' >"$scratch/left.registry"
    leftovers=$(($(wc -l <"$scratch/left.files") + $(wc -l <"$scratch/left.registry")))
    echo "== Left behind by the uninstallation: $leftovers"
    cat "$scratch/left.files" "$scratch/left.registry"

    # Collateral: what was there before and is gone or changed now.
    LC_ALL=C comm -23 <(cut -f1,2 "$scratch/before.files") <(cut -f1,2 "$scratch/uninstalled.files") |
        cut -f1 | sed 's#/#\\#g; s/^/   C:\\/' >"$scratch/gone.files"
    LC_ALL=C comm -23 "$scratch/before.registry" "$scratch/uninstalled.registry" |
        sed 's/\t/: /; s/^/   /' >"$scratch/gone.registry"
    collateral=$(($(wc -l <"$scratch/gone.files") + $(wc -l <"$scratch/gone.registry")))
    echo "== There before the installation, gone or changed after the uninstallation: $collateral"
    cat "$scratch/gone.files" "$scratch/gone.registry"
    if [ "$leftovers" -gt 0 ]; then
        uninstall_problem="the uninstallation left $(head -n 1 "$scratch/left.files" "$scratch/left.registry" -q | head -n 1 | sed 's/^   //') behind"
    elif [ "$collateral" -gt 0 ]; then
        uninstall_problem="the uninstallation removed or changed $(cat "$scratch/gone.files" "$scratch/gone.registry" | head -n 1 | sed 's/^   //'), which was there before"
    fi
}

# One try: the package installed for the folder $1, working in the scratch
# folder $3; its report goes to $2/report.txt and its verdict (OK or the
# reason) to $2/verdict.
try_folder() {
    app_dir=$1
    output=$2
    local scratch=$3
    mkdir -p "$scratch"
    rm -rf "$output"
    mkdir -p "$output/boxes"
    export WINEPREFIX=$scratch/prefix
    work=$scratch/package
    rm -rf "$work"
    echo "the try could not be completed" >"$output/verdict"
    echo "- - -" >"$output/counts"
    {
        echo "== ZI050.EXE registered at $app_dir, in a copy of the pristine prefix"
        make_prefix "$app_dir"
        mkdir -p "$work"
        cp -R "$package/." "$work/"
        [ -f "$work/install.exe" ] || cp "$tools_build/launcher/install.exe" "$work/"
        snapshot before

        echo "== Message boxes (install.exe in a copy of $package):"
        local verdict=OK
        if ! run_driver install "$(winepath -w "$work/install.exe")" "$(winepath -w "$work")"; then
            verdict="install.exe could not be started"
        fi
        report_boxes install
        snapshot installed
        echo "== install.inf, as written:"
        if [ -f "$work/install.inf" ]; then
            cp "$work/install.inf" "$output/install.inf"
            iconv -f WINDOWS-1252 -t UTF-8 "$work/install.inf" | tr -d '\r' | sed 's/^/   /'
        else
            echo "   (none)"
        fi
        report_install
        leftovers=-
        if [ "$verdict" = OK ]; then
            if [ "$program_boxes" -eq 0 ]; then
                verdict="install.exe showed no confirmation"
            elif [ -n "$program_failure" ]; then
                verdict="install.exe reported: $program_failure"
            elif [ ! -f "$work/install.inf" ]; then
                verdict="the installation was declined"
            elif ! grep -qx finished "$scratch/install.log"; then
                verdict="the installation was $(tail -n 1 "$scratch/install.log")"
            elif [ "$changes" -eq 0 ]; then
                verdict="the installation changed nothing on drive C: or in the registry"
            elif [ "$files_elsewhere" -gt 0 ] && [ "$files_under" -eq 0 ]; then
                verdict="no file landed in $app_dir; $files_elsewhere went elsewhere"
            fi
        fi
        if [ "$verdict" = OK ] && $uninstall; then
            uninstall_and_report
            [ -z "$uninstall_problem" ] || verdict=$uninstall_problem
        fi
        "$root/tools/wine/stop-prefix.sh" "$WINEPREFIX" >/dev/null 2>&1 || true
        if $keep; then
            mv "$WINEPREFIX" "$output/prefix"
            mv "$work" "$output/package"
            echo "kept: the package in $output/package, the prefix in $output/prefix"
        fi
        echo "$verdict" >"$output/verdict"
        echo "$files_under ${files_elsewhere} ${leftovers}" >"$output/counts"
        if [ "$verdict" = OK ]; then
            echo "OK: install.exe showed no failure; the installation made $changes changes"
        else
            echo "FAILED: $verdict"
        fi
    } 2>&1 | tee "$output/report.txt"
    "$root/tools/wine/stop-prefix.sh" "$WINEPREFIX" >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$work"
    [ "$(cat "$output/verdict")" = OK ]
}

print_table() {
    local i row verdict under elsewhere left folder
    echo
    printf '%-44s %7s %9s' "folder" "under" "elsewhere"
    $uninstall && printf ' %9s' "leftovers"
    printf '  %s\n' "verdict"
    for i in "${!paths[@]}"; do
        row=$results/$((i + 1))
        verdict=$(cat "$row/verdict")
        read -r under elsewhere left <"$row/counts"
        folder=${paths[$i]:0:44}
        printf '%s%*s %7s %9s' "$folder" $((44 - ${#folder})) "" "$under" "$elsewhere"
        $uninstall && printf ' %9s' "$left"
        printf '  %s\n' "$verdict"
    done
}

main() {
    parse_arguments "$@"
    check_tools
    build_tools
    local name id
    name=$(basename "$package")
    [ "$name" != / ] || name=root
    id=$(printf '%s' "$package" | cksum | cut -d' ' -f1)
    results=$root/build/try/$name-$id
    scratch=
    xvfb_pid=
    cleanup() {
        local prefix
        for prefix in "$scratch"/try*/prefix; do
            [ -z "$scratch" ] || [ ! -d "$prefix" ] || "$root/tools/wine/stop-prefix.sh" "$prefix" >/dev/null 2>&1 || true
        done
        [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
        [ -z "$scratch" ] || rm -rf "$scratch"
    }
    trap cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    scratch=$(mktemp -d)
    rm -rf "$results"
    mkdir -p "$results"
    start_display
    # Wine itself, whatever the caller's locale: UTF-8 file names (C:\Programme\Müller
    # on the Linux file system) and code page 1252.
    export LC_ALL=C.UTF-8 WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    local i failed=0
    if ! $matrix; then
        echo "== Report: $results/report.txt"
        try_folder "${paths[0]}" "$results" "$scratch/try"
        return
    fi
    # Each try has a prefix, and so a Wine server, of its own: two run at once.
    local tries=()
    for i in "${!paths[@]}"; do
        if [ ${#tries[@]} -ge 2 ]; then
            wait -n "${tries[@]}" || true
            tries=($(jobs -pr | grep -Fx -f <(printf '%s\n' "${tries[@]}") || true))
        fi
        echo "== Try $((i + 1)) of ${#paths[@]}: ${paths[$i]}"
        try_folder "${paths[$i]}" "$results/$((i + 1))" "$scratch/try-$((i + 1))" >/dev/null 2>&1 &
        tries+=($!)
    done
    [ ${#tries[@]} -eq 0 ] || wait "${tries[@]}" || true
    for i in "${!paths[@]}"; do
        [ "$(cat "$results/$((i + 1))/verdict")" = OK ] || failed=$((failed + 1))
    done
    print_table | tee "$results/table.txt"
    echo "reports: $results/N/report.txt"
    [ "$failed" -eq 0 ] || { echo "FAILED: $failed of ${#paths[@]} folders"; exit 1; }
    echo "OK: all ${#paths[@]} folders"
}

main "$@"
