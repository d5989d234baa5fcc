# Sourced by tests/win32/e2e.sh: counting checks, answering the program's windows on the
# Xvfb display with xdotool, and reading the registry with Wine's reg. Needs wine, bin and
# work set.

# ---------------------------------------------------------------- checks
failures=0
passed=0
current_step=
fail() { echo "E2E FAIL: ${current_step:+$current_step: }$*" >&2; failures=$((failures + 1)); }
pass() { passed=$((passed + 1)); }
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then pass; else fail "$what"; fi
}
step() { # step NAME FUNCTION: one part of the run, named in its failures
    current_step=$1
    echo "e2e: $1"
    "$2"
    current_step=
}

# ---------------------------------------------------------------- answering the dialogs
# Waits for a shown window named NAME that was not answered before; sets $window.
declare -A answered=()
window=
program=
wait_window() { # wait_window NAME SECONDS
    local name=$1 deadline=$((SECONDS + $2)) id
    while ((SECONDS < deadline)); do
        # No such window yet is the usual answer, not a failure.
        for id in $(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null || true); do
            if [[ -z ${answered[$id]:-} ]]; then
                answered[$id]=1
                window=$id
                sleep 0.5 # drawn
                return 0
            fi
        done
        if ! kill -0 "$program" 2>/dev/null; then
            return 1
        fi
        sleep 0.2
    done
    return 1
}
shot() { import -window root "$work/shots/$1.png" 2>/dev/null || true; }
shown() { xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$1"; }
# Presses KEY in window ID until the window is gone (a key sent while Wine is still
# activating a new window can be lost).
press() { # press ID KEY
    local try
    for try in 1 2 3 4 5 6 7 8 9 10; do
        xdotool windowfocus --sync "$1" 2>/dev/null || true
        sleep 0.2
        xdotool key --window "$1" "$2" 2>/dev/null || xdotool key "$2" 2>/dev/null || true
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            shown "$1" || return 0
            sleep 0.1
        done
    done
    fail "window $1 did not take $2"
}
type_text() { xdotool windowfocus --sync "$1" type --delay 40 "$2"; }

# Runs the program; each STEP answers one window: "input:TEXT" (the input box), "cancel"
# (Esc in the input box), "warning" (Esc in the warning window), "ok" or "ok:shot" (a
# message box).
run_program() { # run_program NAME STEP... ; sets $status
    local name=$1 step
    shift
    answered=()
    "$wine" "$bin/PeltoUserInstall_H.exe" >"$work/$name.out" 2>&1 </dev/null &
    program=$!
    for step in "$@"; do
        case $step in
        input:*)
            wait_window PeltoUserInstall 60 || { fail "$name: no input box"; break; }
            [[ $name == first-key ]] && shot input-box
            type_text "$window" "${step#input:}"
            press "$window" Return
            ;;
        cancel)
            wait_window PeltoUserInstall 60 || { fail "$name: no input box"; break; }
            press "$window" Escape
            ;;
        warning)
            wait_window '경고' 60 || { fail "$name: no warning window"; break; }
            [[ $name == first-key ]] && shot warning-window
            press "$window" Escape
            ;;
        ok | ok:*)
            wait_window PeltoUserInstall 60 || { fail "$name: no message box"; break; }
            [[ ${step#ok:} == shot ]] && shot completion-message
            press "$window" Return
            ;;
        esac
    done
    await_end "$name"
}

# Waits up to a minute for $program to end; a program still running then (a dialog nobody
# answers) fails the check with a screenshot and is ended. Sets $status.
await_end() { # await_end NAME
    local waited=0
    while kill -0 "$program" 2>/dev/null && ((waited < 600)); do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 "$program" 2>/dev/null; then
        fail "$1: the program did not end (screen: shots/$1-stuck.png)"
        shot "$1-stuck"
        kill "$program" 2>/dev/null || true
    fi
    status=0
    wait "$program" || status=$?
}

# ---------------------------------------------------------------- the registry
reg32() { "$wine" reg "$@" /reg:32 >/dev/null 2>&1 </dev/null; }
reg64() { "$wine" reg "$@" /reg:64 >/dev/null 2>&1 </dev/null; }
reg_query() { # reg_query KEY [VIEW] -> "name<TAB>type<TAB>data" lines (ASCII names and data)
    "$wine" reg query "$1" "/reg:${2:-32}" </dev/null 2>/dev/null | tr -d '\r' |
        sed -n 's/^    \(.*\)    \(REG_[A-Z_]*\)    \(.*\)$/\1\t\2\t\3/p'
}
# The 32-bit view as a 64-bit reader sees it.
wow64_key() { sed 's/^HKLM\\SOFTWARE\\/HKLM\\SOFTWARE\\Wow6432Node\\/' <<<"$1"; }
# A key as the registry exports it (UTF-16, so Korean names survive any code page), in
# UTF-8; the 64-bit view, so the 32-bit one is reached through wow64_key.
reg_export() { # reg_export KEY
    rm -f "$work/export.reg"
    "$wine" reg export "$1" "Z:${work//\//\\}\\export.reg" /y >/dev/null 2>&1 </dev/null ||
        echo "export of $1 failed"
    iconv -f UTF-16 -t UTF-8 "$work/export.reg" 2>/dev/null | tr -d '\r' || true
}
has_value() { grep -qxF "$2" <<<"$1"; }
# Whether every line of LINES is one of VALUES.
has_values() { # has_values VALUES LINES
    local line
    while IFS= read -r line; do
        has_value "$1" "$line" || return 1
    done <<<"$2"
}
# The values FILE expects in KEY, as reg_query gives them. FILE holds a value a line: key,
# name, type and data, separated by tabs; lines starting with # are comments.
expected_values() { # expected_values FILE KEY
    local key name type data
    while IFS=$'\t' read -r key name type data; do
        if [[ $key == "$2" ]]; then
            printf '%s\t%s\t%s\n' "$name" "$type" "$data"
        fi
    done <"$1"
}
