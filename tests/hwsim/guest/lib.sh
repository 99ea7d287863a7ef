# Helpers of the guest's checks (sourced by /init).
#
# A check is a shell function that starts with `begin "what it shows"`, gathers evidence while it
# runs commands, and ends with `good` or, at its first unmet expectation, `bad "why"`. Each prints one
# line, "PASS <stage>: <what>" or "FAIL <stage>: <what> (<why>)"; a failure then shows the evidence
# (the commands the check ran and what they printed), indented.

PASSED=0
FAILED=0
CHECK=
EVIDENCE=/tmp/evidence
CTL_OUT=/tmp/ctl.json
CTL_ERR=/tmp/ctl.err
CTL_RC=0
CTL_PREFIX=
# The user without rights (image.sh writes it into /etc/passwd).
USER_ID=1000
# A request that hangs must not take the whole run with it.
CTL_TIMEOUT=${CTL_TIMEOUT:-90}

uptime_s() { cut -d' ' -f1 /proc/uptime; }
note() { echo "--- [$(uptime_s)s] $*"; }

begin() {
    CHECK=$1
    CHECK_T0=$(uptime_s)
    : >"$EVIDENCE"
}
# Seconds since the check began, for its line: the stage must stay within its time.
took() { awk "BEGIN { printf \"%.1f\", $(uptime_s) - ${CHECK_T0:-0} }"; }
say() { echo "$*" >>"$EVIDENCE"; }
good() {
    PASSED=$((PASSED + 1))
    echo "PASS $STAGE: $CHECK [$(took) s]"
}
bad() {
    FAILED=$((FAILED + 1))
    echo "FAIL $STAGE: $CHECK ($1) [$(took) s]"
    tail -n 40 "$EVIDENCE" | sed 's/^/    | /'
    return 1
}
# fail WHAT WHY: a failure outside any check (the world or a stage did not come up).
fail() {
    begin "$1"
    bad "$2"
}
# expect WHY CMD...: runs CMD; when it fails, the check fails with WHY.
expect() {
    local why=$1
    shift
    "$@" >>"$EVIDENCE" 2>&1 || bad "$why"
}

# run CMD...: a command whose output is evidence.
run() {
    local rc
    say "\$ $*"
    "$@" >>"$EVIDENCE" 2>&1
    rc=$?
    [ $rc -eq 0 ] || say "(exit $rc)"
    return $rc
}

# ctl ARGS...: wavoryctl ARGS --json; the output is in $CTL_OUT, the messages in $CTL_ERR, the exit
# status in $CTL_RC (and returned). CTL_PREFIX runs it through another command (as another user).
ctl() {
    say "\$ ${CTL_PREFIX:+$CTL_PREFIX }wavoryctl $* --json"
    # shellcheck disable=SC2086
    timeout "$CTL_TIMEOUT" $CTL_PREFIX wavoryctl "$@" --json >"$CTL_OUT" 2>"$CTL_ERR"
    CTL_RC=$?
    head -c 4000 "$CTL_OUT" >>"$EVIDENCE"
    sed 's/^/stderr: /' "$CTL_ERR" >>"$EVIDENCE"
    say "(exit $CTL_RC)"
    return $CTL_RC
}
# jv FILTER: a value of the last output, raw ("null" when absent).
jv() { jq -r "$1" "$CTL_OUT" 2>/dev/null; }
# jt FILTER [ARGS...]: whether the filter holds on the last output (never on an empty one).
jt() {
    local filter=$1
    shift
    [ -s "$CTL_OUT" ] && jq -e "$@" "$filter" "$CTL_OUT" >/dev/null 2>&1
}
# jwhy [JQ-ARGS...] PROGRAM: a jq program on the last output that answers "ok" or why not. One
# program per check: jq starts slowly under emulation. `mac` spells a MAC address as mac() does.
jwhy() {
    local program n=$# i=0 a
    eval "program=\${$#}"
    # The arguments before the program stay in "$@".
    for a in "$@"; do
        i=$((i + 1))
        shift
        [ $i -lt $n ] && set -- "$@" "$a"
    done
    if [ ! -s "$CTL_OUT" ]; then
        echo "no output"
        return
    fi
    jq -r "$@" 'def mac: . // "" | ascii_downcase | gsub("[:-]"; ""); '"$program" "$CTL_OUT" 2>&1 |
        tr '\n' ' ' | sed 's/ $//'
}
# verdict WHY: the check passes when WHY is "ok", else fails with it.
verdict() { if [ "$1" = ok ]; then good; else bad "$1"; fi; }
# The failure message of the last wavoryctl, on one line.
ctl_message() { tr '\n' ' ' <"$CTL_ERR"; }

# mac TEXT: a MAC address in one spelling (lower case, no separators).
mac() { echo "$1" | tr 'A-F' 'a-f' | tr -d ':-'; }
# same_mac A B
same_mac() { [ -n "$1" ] && [ "$(mac "$1")" = "$(mac "$2")" ]; }

# until_ok SECONDS CMD...: reruns CMD every half second until it succeeds.
until_ok() {
    local n=$(($1 * 2))
    shift
    while [ $n -gt 0 ]; do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.5
        n=$((n - 1))
    done
    return 1
}
