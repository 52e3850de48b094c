#!/usr/bin/env bash
# inx-check as a command: exit statuses, quiet on a clean template, usage on
# standard output for --help, read and write failures, and the install.inf it
# writes to a file or to standard output (none when the template has errors,
# and no stale or partial one); rule names, suppressions and SARIF.
# Usage: inx-check-command.sh INX_CHECK SARIF_SCHEMA
set -uo pipefail
inx_check=$1
schema=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect STATUS WHAT COMMAND...
    local status=$1 what=$2
    shift 2
    "$@" >out 2>err
    local got=$?
    [ "$got" -eq "$status" ] || { fail "$what: exit status $got, not $status"; cat err; }
}

head=$'[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\nAddReg=R\r\n[R]\r\n'
tail=$'[DefaultUninstall]\r\nDelReg=D\r\n[D]\r\nHKCU,Software\\T\r\n'
printf '%s' "${head}HKCU,Software\\T,Dir,,VUZAZURAV"$'\n'"$tail" >clean.inx
printf '%s' "${head}HKCU,Software\\T,Dir,,\"VUZAZURAV\""$'\r\n'"$tail" >quoted.inx
printf '%s' $'[Version]\r\n' >nosection.inx
mkdir folder.inx

expect 0 "clean template" "$inx_check" clean.inx
[ ! -s err ] || { fail "output for a clean template:"; cat err; }
expect 0 "warnings only" "$inx_check" quoted.inx
grep -q '^quoted.inx:6:23: warning: .* \[quoted-placeholder\]$' err || { fail "warning form:"; cat err; }
expect 1 "warnings with --werror" "$inx_check" --werror quoted.inx
expect 0 "--werror without a warning" "$inx_check" --werror clean.inx
expect 1 "an error" "$inx_check" nosection.inx
expect 2 "no template" "$inx_check"
expect 2 "a missing template" "$inx_check" missing.inx
expect 2 "a directory as template" "$inx_check" folder.inx
expect 2 "--output without --path" "$inx_check" --output x.inf clean.inx
expect 2 "--path without its value" "$inx_check" clean.inx --path
expect 2 "--output without its value" "$inx_check" --path 'C:\App' clean.inx --output
expect 2 "an unknown option" "$inx_check" --strict clean.inx
expect 2 "an unknown format" "$inx_check" --format=xml clean.inx
expect 2 "two templates" "$inx_check" clean.inx quoted.inx
grep -q "more than one template: 'quoted.inx'" err || fail "two templates: no reason given"
expect 0 "--help" "$inx_check" --help
grep -q '^usage: inx-check' out || fail "--help prints no usage on standard output"
expect 0 "--version" "$inx_check" --version
grep -q '^inx-check [0-9]' out || fail "--version prints no version"

expected=${head}$'HKCU,Software\\T,Dir,,"C:\\Program Files\\App"\r\n'$tail
expect 0 "--path to a file" "$inx_check" --path 'C:\Program Files\App' --output script.inf clean.inx
cmp script.inf <(printf '%s' "$expected") || fail "install.inf in a file"
expect 0 "--path to standard output" "$inx_check" --path 'C:\Program Files\App' clean.inx
cmp out <(printf '%s' "$expected") || fail "install.inf on standard output"
expect 1 "an error with --path" "$inx_check" --path 'C:\App' --output empty.inf nosection.inx
[ ! -e empty.inf ] || fail "install.inf written for a template with errors"
if [ -w /dev/full ]; then
    # Through a link of the test's own: a faulty inx-check may remove the link, never the device.
    ln -s /dev/full full.inf
    expect 2 "a full disk" "$inx_check" --path 'C:\App' --output full.inf clean.inx
    [ -L full.inf ] || fail "the link to a full device was removed"
    rm -f full.inf
    [ -c /dev/full ] || fail "/dev/full is no longer a device"
    "$inx_check" --path 'C:\App' clean.inx >/dev/full 2>err
    [ $? -eq 2 ] || fail "a failed write to standard output is not status 2"
fi

# No install.inf stands for a run that fails, and none is ever partial.
cp script.inf stale.inf
expect 1 "--werror with a warning" "$inx_check" --werror --path 'C:\App' --output stale.inf quoted.inx
[ ! -e stale.inf ] || fail "install.inf written, or left, for a warning under --werror"
cp script.inf stale.inf
expect 1 "an error after a clean run" "$inx_check" --path 'C:\App' --output stale.inf nosection.inx
[ ! -e stale.inf ] || fail "install.inf of an earlier clean run left behind"
# The template is never an output, however it is named; each option is given once.
cp clean.inx clean.copy
ln -s clean.inx clean-link.inx
for output in clean.inx ./clean.inx "$PWD/clean.inx" clean-link.inx; do
    expect 2 "--output $output, the template" "$inx_check" --path 'C:\App' --output "$output" clean.inx
    grep -q "is the template itself" err || fail "--output $output: no reason given"
done
expect 2 "--output the template of a failing run" "$inx_check" --path 'C:\App' --output=nosection.inx nosection.inx
cmp -s clean.inx clean.copy && [ -s nosection.inx ] || fail "a template was changed or removed"
rm clean.copy clean-link.inx
expect 0 "--opt=VALUE" "$inx_check" --path='C:\Program Files\App' --output=joined.inf --codepage 1252 \
    --format text clean.inx
cmp joined.inf script.inf || fail "install.inf from --opt=VALUE options"
rm joined.inf
for option in --path=C:\\A --output=x.inf --format=text --codepage=1252; do
    expect 2 "${option%%=*} twice" "$inx_check" --path 'C:\App' "$option" "${option%%=*}" "${option#*=}" clean.inx
    grep -q -- "${option%%=*} is given more than once" err || fail "${option%%=*} twice: not said"
done
expect 0 "--disable twice" "$inx_check" --disable quoted-placeholder --disable=no-placeholder quoted.inx
mkdir target.inf
expect 2 "a folder where install.inf goes" "$inx_check" --path 'C:\App' --output target.inf clean.inx
expect 2 "a folder that does not exist" "$inx_check" --path 'C:\App' --output no/such.inf clean.inx
[ -z "$(ls | grep -v -x -e out -e err -e '.*\.inx' -e script.inf -e target.inf -e folder.inx)" ] ||
    fail "files left behind: $(ls)"
printf '%s' "${head}HKCU,Software\T,Dir,,VUZAZURAV"$'\n'"$tail" >--odd.inx
expect 0 "-- ends the options" "$inx_check" -- --odd.inx

# The package folder as Windows finds files: any case, a disk's subfolder, no folder for a
# file, and names as the code page's characters (UTF-8 on disk, code page 1252 in the INF).
mkdir -p package/Sub package/Data.txt
: >package/Plugin.DLL
: >package/Sub/Readme.TXT
: >package/Müller.txt
: >package/ÉTÉ.TXT
{
    printf '%s' $'[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\nCopyFiles=F\r\n'
    printf '%s' $'[DestinationDirs]\r\nF=-1,VUZAZURAV\r\n[F]\r\nplugin.dll\r\nreadme.txt\r\n'
    printf '%s' $'data.txt\r\nm\xFCller.txt\r\n\xE9t\xE9.txt\r\n\xF6l.txt\r\n'
    printf '%s' $'[SourceDisksNames]\r\n1=Disk,,,\\SUB\r\n[SourceDisksFiles]\r\n'
    printf '%s' $'plugin.dll\r\nreadme.txt=1\r\ndata.txt\r\n'
} >package/install.inx
expect 1 "files in the package folder" "$inx_check" --disable=no-uninstall package/install.inx
[ "$(grep -c . err)" -eq 2 ] && grep -q "^package/install.inx:10:1: error: 'data.txt' .*\[missing-file\]$" err &&
    grep -q "^package/install.inx:13:1: error: 'öl.txt' is not" err || { fail "the package lookup:"; cat err; }
expect 1 "another code page" "$inx_check" --codepage 1251 --disable=no-uninstall \
    package/install.inx
[ "$(grep -c . err)" -eq 4 ] && grep -q "^package/install.inx:11:1: error: 'mьller.txt' is not" err ||
    { fail "the package lookup in code page 1251:"; cat err; }
# In Shift-JIS (932): a name whose second byte is '\', full-width letters in any case.
mkdir -p package932
: >package932/表.txt
: >package932/Ａ.TXT
{
    printf '%s' $'[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\nCopyFiles=F\r\n'
    printf '%s' $'[DestinationDirs]\r\nF=-1,VUZAZURAV\r\n[F]\r\n\x95\x5C.txt\r\n\x82\x81.txt\r\n\x88\x9F.txt\r\n'
} >package932/install.inx
expect 1 "a code page of two bytes" "$inx_check" --codepage=932 --disable=no-uninstall \
    package932/install.inx
[ "$(grep -c . err)" -eq 1 ] && grep -q "^package932/install.inx:10:1: error: '亜.txt' is not" err ||
    { fail "the package lookup in code page 932:"; cat err; }
expect 0 "a folder in code page 936" "$inx_check" --codepage 936 --path 'C:\中文' clean.inx
LC_ALL=C grep -q $'Dir,,"C:\\\\\xD6\xD0\xCE\xC4"\r$' out || fail "the folder is not written in code page 936"
expect 0 "a folder in UTF-8" "$inx_check" --path 'C:\Müller' clean.inx
LC_ALL=C grep -q $'Dir,,"C:\\\\M\xFCller"\r$' out || fail "the folder is not written in code page 1252"
expect 2 "a folder the code page cannot hold" "$inx_check" --path 'C:\Ωmega' clean.inx
cp script.inf stale.inf
expect 2 "a stale output after a run that cannot check" "$inx_check" --path 'C:\Ωmega' --output stale.inf clean.inx
[ ! -e stale.inf ] || fail "install.inf of an earlier run left after a status-2 run"
expect 0 "a folder that is no UTF-8 is taken as bytes" "$inx_check" --path $'C:\\\xED\xA0\x80' clean.inx
LC_ALL=C grep -q $'Dir,,"C:\\\\\xED\xA0\x80"\r$' out || fail "the folder's bytes are not written as given"

# Rules by name: listed, silenced for the run, on a line or from the line before.
expect 0 "--list-rules" "$inx_check" --list-rules
grep -q '^missing-file  *error  ' out || fail "--list-rules lacks missing-file"
expect 0 "a rule disabled for the run" "$inx_check" --disable=quoted-placeholder,no-placeholder quoted.inx
[ ! -s err ] || { fail "a disabled rule still reported:"; cat err; }
expect 2 "an unknown rule to disable" "$inx_check" --disable=no-such-rule clean.inx
grep -q "no-such-rule" err || fail "the unknown rule is not named"
{
    printf '%s' $'[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\n'
    printf '%s' $'AddReg=Gone ; inx-check: disable=missing-section\r\n'
    printf '%s' $'; inx-check: disable=missing-section, no-such-rule\r\nCopyFiles=Lost\r\n'
    printf '%s' $'DelReg=Kept\r\nUpdateInis=Old ; inx-check: disable=missing-section ; leftover from v1\r\n'
    printf '%s' $'RenFiles=Old ; inx-check: disable=missing-section -- kept for v1, no-such\r\n'
    printf '%s' $'  ; inx-check: disable=missing-section\r\nDelFiles=Lost\r\n'
    printf '%s' $'AddReg="a;b" ; inx-check: disable=missing-section\r\n'
} >suppressed.inx
expect 1 "suppressed where written" "$inx_check" --werror --disable=no-placeholder suppressed.inx
[ "$(grep -c 'missing-section' err)" -eq 1 ] && [ "$(grep -c . err)" -eq 2 ] &&
    grep -q '^suppressed.inx:7:8: warning: .*\[missing-section\]$' err &&
    grep -q '^suppressed.inx:5:39: warning: .*no-such-rule.*\[unknown-rule\]$' err ||
    { fail "suppression comments:"; cat err; }

expect 0 "a silenced finding sets no status" "$inx_check" --werror \
    --disable=no-placeholder,missing-section,unknown-rule suppressed.inx

# A control character in quoted INF text is shown escaped: a finding is one line.
printf '%s' $'[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\nAddReg="R\t1\x01"\r\n' >control.inx
expect 0 "control characters" "$inx_check" control.inx
grep -q 'R\\t1\\x01\]' err && [ "$(grep -c . err)" -eq 2 ] && ! grep -q $'[\t\x01\r]' err ||
    { fail "control characters in a finding:"; cat -A err; }
expect 0 "control characters in SARIF" "$inx_check" --format=sarif control.inx
grep -q 'R\\\\t1\\\\x01\]' out || { fail "control characters in SARIF:"; cat out; }

# One rule explained, with its examples and the folder each is checked for.
expect 0 "--explain" "$inx_check" --explain=folder-too-long
head -1 out | grep -q '^folder-too-long (error): ' && grep -qxF "Gives it, with --path 'C:\\' and 'x' up to 1000 bytes:" out ||
    { fail "--explain:"; cat out; }

# SARIF, valid against the 2.1.0 schema, in UTF-8 whatever the template's code page.
printf '%s' $'[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\nAddReg=M\xFCller\r\n' >cp1252.inx
expect 0 "--format=sarif" "$inx_check" --format=sarif cp1252.inx
python3 - "$schema" out <<'PYTHON' || fail "SARIF output"
import json, sys, jsonschema
schema = json.load(open(sys.argv[1], encoding='utf-8'))
log = json.load(open(sys.argv[2], encoding='utf-8'))
jsonschema.Draft202012Validator(schema, format_checker=jsonschema.FormatChecker()).validate(log)
run = log['runs'][0]
rules = [rule['id'] for rule in run['tool']['driver']['rules']]
results = [(r['ruleId'], r['level'], r['locations'][0]['physicalLocation']['region']['startLine'])
           for r in run['results']]
assert 'missing-file' in rules and len(rules) == len(set(rules)), rules
assert results == [('no-placeholder', 'warning', 1), ('missing-section', 'warning', 4)], results
assert 'M\u00fcller' in run['results'][1]['message']['text'], run['results'][1]
assert all(rules[r['ruleIndex']] == r['ruleId'] for r in run['results'])
PYTHON
expect 0 "SARIF for an absolute path" "$inx_check" --format=sarif "$PWD/cp1252.inx"
grep -q "\"uri\": \"file://$PWD/cp1252.inx\"" out || fail "SARIF's uri of an absolute path"
if [ -w /dev/full ]; then
    "$inx_check" --format=sarif clean.inx >/dev/full 2>err
    [ $? -eq 2 ] || fail "SARIF to a full device is not status 2"
fi
( ulimit -f 0; trap '' XFSZ; "$inx_check" --path 'C:\App' --output big.inf clean.inx ) 2>err
[ $? -eq 2 ] && [ -z "$(ls | grep '^big\.inf')" ] || fail "a failed write: status or files left: $(ls)"
expect 2 "SARIF and install.inf on one standard output" "$inx_check" --format=sarif --path 'C:\App' clean.inx

# One list of code pages: inx-try tries each that inx-check reads INFs in.
expect 0 "--list-code-pages" "$inx_check" --list-code-pages
PYTHONPATH="$(dirname "$0")/../../inx-try" PYTHONDONTWRITEBYTECODE=1 python3 - out <<'PYTHON' ||
import sys
from inx_try import cli
listed = [int(line) for line in open(sys.argv[1], encoding='ascii')]
assert sorted(listed) == sorted(cli.CODE_PAGE_LOCALES) and 65001 in listed, listed
PYTHON
    fail "inx-check's code pages are not those inx-try tries"
expect 0 "a UTF-8 template under 65001" "$inx_check" --codepage 65001 --path 'C:\Müller' clean.inx

# The plan: JSON in UTF-8 for the folder given, no install.inf beside it on standard output.
expect 0 "--plan --format=json" "$inx_check" --plan --format=json --path 'C:\Müller' clean.inx
python3 - out <<'PYTHON' || fail "the plan in JSON"
import json, sys
plan = json.load(open(sys.argv[1], encoding='utf-8'))
assert plan['folder'] == 'C:\\M\u00fcller' and plan['folder_given'], plan
assert plan['install']['registry'] == [{'key': 'HKEY_CURRENT_USER\\Software\\T', 'name': 'Dir',
                                        'type': 'REG_SZ', 'data': 'C:\\M\u00fcller',
                                        'write': 'set'}], plan['install']
assert plan['uninstall']['registry_deletes'] == [{'key': 'HKEY_CURRENT_USER\\Software\\T',
                                                  'name': None}], plan['uninstall']
assert plan['left_behind'] == {'count': 0, 'files': [], 'registry': [], 'services': [],
                               'keys_if_new': []}, plan
PYTHON
expect 0 "--plan as text" "$inx_check" --plan clean.inx
grep -qxF 'The plan for the folder C:\Program Files\ZI050 (a stand-in: no --path given)' out ||
    fail "the plan does not name the stand-in folder"
expect 2 "--plan as SARIF" "$inx_check" --plan --format=sarif clean.inx
expect 2 "JSON without --plan" "$inx_check" --format=json clean.inx
expect 2 "--plan twice" "$inx_check" --plan --plan clean.inx

# 64-bit Windows: the folders where files land and the text in a value, the
# plan for that Windows in JSON, and only 32 or 64, once.
expect 0 "--list-folders --windows 64" "$inx_check" --list-folders --windows 64
grep -qxF '   11  C:\Windows\SysWOW64 (in a value: C:\Windows\System32)' out &&
    grep -qxF '16422  C:\Program Files (x86)' out && grep -qxF '   10  C:\Windows' out ||
    fail "--list-folders --windows 64"
expect 0 "--list-folders" "$inx_check" --list-folders --windows=32
grep -qxF '   11  C:\Windows\System32' out || fail "--list-folders --windows=32"
expect 0 "--plan --windows 64" "$inx_check" --plan --format=json --windows 64 clean.inx
python3 -c 'import json, sys; p = json.load(open(sys.argv[1])); assert p["windows"] == 64 and \
p["install"]["wine_differs"] == [], p' out || fail "the plan for 64-bit Windows in JSON"
expect 2 "--windows 16" "$inx_check" --windows 16 clean.inx
expect 2 "--windows twice" "$inx_check" --windows 64 --windows=64 clean.inx

# --fix: a patch that patch -p0 applies; the patched template needs no other.
mkdir fix && printf '%s' "${head}HKCU,Software\\T,Dir,,VUZAZURAV" >fix/install.inx
(cd fix && expect 0 "--fix" "$inx_check" --fix install.inx &&
    patch -p0 --quiet <out) || fail "--fix: the patch does not apply"
grep -q 'UninstallString,,"%16425%\\rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 %17%\\fix.inf"' \
    fix/install.inx || fail "--fix: no uninstaller registered for the 32-bit engine"
(cd fix && expect 0 "--fix of a template that needs none" "$inx_check" --fix install.inx &&
    [ ! -s out ] && [ ! -s err ]) || fail "--fix: the patched template still gets a patch or a finding"
expect 2 "--fix with --plan" "$inx_check" --fix --plan clean.inx
# The same edits as SARIF fixes, on the finding --fix answers: applied, the patched template.
printf '%s' "${head}HKCU,Software\\T,Dir,,\"VUZAZURAV\"" >fix/sarif.inx  # and a finding without a fix
(cd fix && expect 0 "--format=sarif with a fix" "$inx_check" --format=sarif sarif.inx &&
    "$inx_check" --fix sarif.inx >sarif.patch; cp sarif.inx sarif.orig && patch -p0 --quiet <sarif.patch) ||
    fail "--fix for the SARIF template"
python3 - "$schema" fix/out fix/sarif.orig fix/sarif.inx <<'PYTHON' || fail "SARIF fixes"
import json, sys, jsonschema
schema = json.load(open(sys.argv[1], encoding='utf-8'))
log = json.load(open(sys.argv[2], encoding='utf-8'))
jsonschema.Draft202012Validator(schema, format_checker=jsonschema.FormatChecker()).validate(log)
fixed = [r for r in log['runs'][0]['results'] if 'fixes' in r]
assert [r['ruleId'] for r in fixed] == ['no-uninstall'], fixed
text = open(sys.argv[3], 'rb').read()
edits = fixed[0]['fixes'][0]['artifactChanges'][0]['replacements']
for edit in sorted(edits, key=lambda e: -e['deletedRegion']['byteOffset']):
    at = edit['deletedRegion']['byteOffset']
    text = text[:at] + edit['insertedContent']['text'].encode('utf-8') + text[at:]
assert text == open(sys.argv[4], 'rb').read(), text
PYTHON

[ "$failures" -eq 0 ] && echo "inx-check behaves as a command should"
exit $((failures > 0))
