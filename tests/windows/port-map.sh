#!/usr/bin/env bash
# autostart-off.exe changes the port map in the registry and reaches a module
# through it: module-sim serves COM41 of the Wine prefix, which no EBD_COM<N>
# names and only the map makes COM1.
#
#   port-map.sh EXPECT_TOOL WINDOWS_COMMAND...
set -uo pipefail
expect=$1
shift
failed=0
check() { bash "$expect" "$@" || failed=1; }

check --status 0 --line 'COM1: \\.\COM41, in HKEY_CURRENT_CONFIG\QMB_Library\Ports' -- "$@" --map-port COM1=COM41
check --status 0 --lines 32 --line-match '^COM1 +\\\\\.\\COM41 +map +present' -- "$@" --list-ports
check --status 0 --line "Autostart successfully switched off" -- "$@" --port 1
check --status 0 --line 'COM1: no longer in HKEY_CURRENT_CONFIG\QMB_Library\Ports' -- "$@" --unmap-port COM1
check --status 0 --line-match '^COM1 +\\\\\.\\COM1 +default ' -- "$@" --list-ports
check --status 64 --stderr-has "'COM1x' is not a device path such as" -- "$@" --map-port COM2=COM1x
check --status 0 --line-match '^Usage: autostart-off ' -- "$@" '/?'
exit "$failed"
