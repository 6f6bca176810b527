#!/usr/bin/env bash
# Differential test of rovanta-cli against expected results computed by an
# independent implementation: for every row of an EXPECTED.tsv (file ×
# setting) the tool must write the same bytes, print the same report lines
# (detail lines aside) and exit with the same status, writing a file exactly
# when one is expected. Checked: the files bundled in tests/data (always) and
# the shared corpus when <shared-dir> holds it (else skipped, and said so).
# The tool runs in the corpus folder with bare file names, as the expected
# results were made, so reports show the same bare names.
#
# Usage: differential.sh <path-to-rovanta-cli> <shared-dir>
set -uo pipefail

if (($# != 2)); then
    echo "usage: $0 <path-to-rovanta-cli> <shared-dir>" >&2
    exit 2
fi
cli=$(realpath "$1")
shared=$2
data=$(cd "$(dirname "${BASH_SOURCE[0]}")/../data" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

flags_for() {
    case $1 in
        none) flags=() ;;
        H) flags=(-H) ;;
        V) flags=(-V) ;;
        HV) flags=(-H -V) ;;
        V-no-octave) flags=(-V --no-octave) ;;
        *) return 1 ;;
    esac
}

passed=0
failed=0
fail() {
    failed=$((failed + 1))
    echo "FAIL $file [$setting]: $*"
}

# check_set NAME EXPECTED-DIR CORPUS-DIR
check_set() {
    local name=$1 expected=$2 corpus=$3
    local before_passed=$passed before_failed=$failed
    while IFS=$'\t' read -r file setting status written reports; do
        [[ $file == file && $setting == setting ]] && continue  # the header row
        if ! flags_for "$setting"; then
            fail "unknown setting"
            continue
        fi
        out=$work/out.mid
        rm -f "$out"
        (cd "$corpus" && exec "$cli" mirror "${flags[@]}" "$file" -o "$out") >/dev/null 2>"$work/err"
        got_status=$?

        # Lines indented by two blanks name the file behind a report and the
        # reason; the expected results hold the report lines only.
        got_reports=$(awk '!/^  / { printf "%s%s", (n++ ? " | " : ""), $0 }' "$work/err")
        got_written=no
        [[ -f $out ]] && got_written=yes

        problems=()
        [[ $got_status == "$status" ]] || problems+=("exit $got_status, expected $status")
        [[ $got_written == "$written" ]] || problems+=("written=$got_written, expected $written")
        [[ $got_reports == "$reports" ]] || problems+=("reports '$got_reports', expected '$reports'")
        if [[ $written == yes && $got_written == yes ]] && ! cmp -s "$out" "$expected/$file.$setting.mid"; then
            problems+=("bytes differ from $file.$setting.mid")
        fi
        if ((${#problems[@]} == 0)); then
            passed=$((passed + 1))
        else
            fail "${problems[@]}"
        fi
    done <"$expected/EXPECTED.tsv"
    echo "$name: $((passed - before_passed)) passed, $((failed - before_failed)) failed"
}

check_set bundled "$data/expected" "$data"
if [[ -f $shared/expected/EXPECTED.tsv && -d $shared/corpus ]]; then
    check_set shared "$(realpath "$shared/expected")" "$(realpath "$shared/corpus")"
else
    echo "shared: skipped, no expected results at $shared/expected (or no corpus at $shared/corpus)"
fi

echo "$passed passed, $failed failed"
((failed == 0 && passed > 0))
