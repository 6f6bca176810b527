#!/usr/bin/env bash
# Differential test of rovanta-cli against the expected results of the shared
# corpus: for every row of EXPECTED.tsv (corpus file × setting) the tool must
# write the same bytes, print the same report lines (detail lines aside), exit
# with the same status and write a file exactly when one is expected.
#
# Usage: differential.sh <path-to-rovanta-cli> <shared-dir>
# Exits 77 (reported as skipped) when the shared expected results are absent.
#
# The tool runs inside the corpus folder with bare file names, the way the
# expected results were produced, so a report that shows the input path shows
# the same bare name.
set -uo pipefail

if (($# != 2)); then
    echo "usage: $0 <path-to-rovanta-cli> <shared-dir>" >&2
    exit 2
fi
cli=$(realpath "$1")
shared=$2
expected=$shared/expected
corpus=$shared/corpus
if [[ ! -f $expected/EXPECTED.tsv || ! -d $corpus ]]; then
    echo "SKIP: no expected results at $expected (or no corpus at $corpus)"
    exit 77
fi
expected=$(realpath "$expected")
corpus=$(realpath "$corpus")

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
    got_reports=""
    while IFS= read -r line; do
        [[ $line == "  "* ]] && continue
        got_reports+=${got_reports:+ | }$line
    done <"$work/err"
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

echo "$passed passed, $failed failed"
((failed == 0 && passed > 0))
