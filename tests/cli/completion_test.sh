#!/usr/bin/env bash
# The bash completion of wavoryctl, run as bash runs it on TAB: COMP_WORDS and COMP_CWORD set, the
# completion function called, COMPREPLY read. On a private settings folder and simulated adapter.
#   completion_test.sh COMPLETION_SCRIPT BIN_FOLDER
set -uo pipefail
script=${1:?completion script}
bin=${2:?folder of wavoryctl and wavory-sim}

work=$(mktemp -d)
export LC_ALL=C.UTF-8 PATH="$bin:$PATH" XDG_CONFIG_HOME="$work/config" WAVORY_ADAPTER=sim WAVORY_SIM="/wavory-completion-test-$$"
trap 'rm -rf "$work"; rm -f "/dev/shm$WAVORY_SIM"' EXIT

passed=0
failed=0
check() { # name expected actual
    if [[ $2 == "$3" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL: %s\n  expected: [%s]\n  got:      [%s]\n' "$1" "$2" "$3"
    fi
}
# Completes the words given; the last one is the word under the cursor.
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _wavoryctl
    printf '%s\n' "${COMPREPLY[*]}"
}

# shellcheck disable=SC1090
source "$script"
check "complete -p" "complete -F _wavoryctl wavoryctl" "$(complete -p wavoryctl)"

# Commands, at each level.
check "command" "profiles" "$(complete_words wavoryctl pro)"
check "command, two" "profiles prefs" "$(complete_words wavoryctl pr)"
check "subcommand" "dup down" "$(complete_words wavoryctl profiles d)"
check "after a global option" "profiles" "$(complete_words wavoryctl --adapter sim pro)"

# Options and their values, from --help.
check "option" "--sort" "$(complete_words wavoryctl scan --so)"
check "global option after the command" "--adapter" "$(complete_words wavoryctl status --ad)"
check "choices" "network" "$(complete_words wavoryctl scan --view n)"
check "choices after =" "--view=network --view=ap" "$(complete_words wavoryctl scan --view=)"
check "positional choices" "power-save" "$(complete_words wavoryctl prefs get po)"
check "free value" "" "$(complete_words wavoryctl stats --seconds '')"
check "hotspot commands" "start stop status" "$(complete_words wavoryctl hotspot st)"
check "hotspot security" "wpa2 wpa3 wpa2-wpa3" "$(complete_words wavoryctl hotspot start --security w)"
check "connect's network options" "--pin-bssid" "$(complete_words wavoryctl connect --pin)"
check "connect's network choices" "5ghz" "$(complete_words wavoryctl connect --ssid Home --prefer-band 5)"

# Profile names, quoted for the shell.
wavoryctl profiles new --name "Home Net" --ssid Home >/dev/null || check "profile made" 0 1
wavoryctl profiles new --name "O'Brien" --ssid Pub >/dev/null || check "profile made" 0 1
check "profile names" "Home\\ Net O\\'Brien" "$(complete_words wavoryctl connect '')"
check "profile name typed in part" "Home\\ Net" "$(complete_words wavoryctl profiles show 'Home\ N')"
check "profile option" "O\\'Brien" "$(complete_words wavoryctl profiles export --profile O)"

# SSIDs of the last scan list; completing starts no scan.
wavory-sim scan-duration 0 >/dev/null
check "no SSIDs before a scan" "" "$(complete_words wavoryctl connect --ssid '')"
check "and none started by completing" "" "$(wavoryctl complete ssids)"
wavoryctl scan >/dev/null || check "scan" 0 1
check "SSIDs in range, quoted" "Harbour Harbour\\ Guest" "$(complete_words wavoryctl connect --ssid Har)"
check "SSID typed in part" "Harbour\\ Guest" "$(complete_words wavoryctl connect --ssid "Harbour\\ G")"
check "SSID with a blank" "Café\\ Anchor" "$(complete_words wavoryctl profiles new --ssid Caf)"

# Files where the command takes one.
touch "$work/saved.reg"
check "file" "$work/saved.reg" "$(complete_words wavoryctl profiles import "$work/sav")"
check "secret file" "$work/saved.reg" "$(complete_words wavoryctl hotspot start --passphrase-file "$work/sav")"

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
