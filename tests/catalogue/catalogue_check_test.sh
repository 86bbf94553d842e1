#!/bin/sh
# catalogue_check_test.sh <check script> <extracted .pot> <zh_CN.po>
set -u
check=$1
pot=$2
po=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() { # expect <pass|fail> <what> <po>
    if "$check" "$pot" "$3" "$work/out.mo" >"$work/log" 2>&1; then outcome=pass; else outcome=fail; fi
    if [ "$outcome" != "$1" ]; then
        echo "FAIL: $2: the check did $outcome, expected $1"
        cat "$work/log"
        failures=$((failures + 1))
    fi
}

expect pass "the catalogue as it is" "$po"

msggrep --invert-match --msgid --fixed-strings --regexp='the port map is not valid: %1$s' \
    --output-file="$work/missing.po" "$po"
expect fail "one translation removed" "$work/missing.po"

# The first translation with a second argument names the first one twice instead.
sed '0,/^msgstr ".*%2\$s/s/^\(msgstr ".*\)%2\$s/\1%1$s/' "$po" >"$work/placeholder.po"
if cmp -s "$po" "$work/placeholder.po"; then
    echo "FAIL: no translation with a second argument to alter"
    failures=$((failures + 1))
fi
expect fail "a placeholder changed" "$work/placeholder.po"
sed '/^#, c-format$/d' "$work/placeholder.po" >"$work/unflagged.po"
expect fail "a placeholder changed in a catalogue without c-format flags" "$work/unflagged.po"

exit "$failures"
