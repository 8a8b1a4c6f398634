#!/usr/bin/env bash
# The LV2 bundle as hosts see it. Usage: lv2_bundle_check.sh BUNDLE_DIR MORVEK2_CLI WORK_DIR
#  1. lv2_validate (sord_validate against the installed LV2 specifications): no error, no warning;
#  2. lv2info: 2 audio inputs and 2 outputs, the two atom inputs, 93 controls named as the VST2
#     parameters, the X11 editor and 40 presets named as the VST2 programs;
#  3. lv2apply (one frame at a time, no host features, atom ports unconnected) equals
#     `morvek2 render --stopped --block-size 1` bit for bit: the default program, and the default
#     program with every control set to the values of another factory program.
set -uo pipefail
bundle=$1
cli=$2
lv2ttl=$3
work=$4
uri=urn:zendrik:morvek2
failures=0
check() { # check DESCRIPTION STATUS
    if [ "$2" -eq 0 ]; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
mkdir -p "$work"
export LV2_PATH=$(dirname "$bundle")

# 1. Validation: the text, not only the exit status, since warnings do not fail it.
lv2_validate "$bundle"/*.ttl >"$work/validate.txt" 2>&1
status=$?
cat "$work/validate.txt"
grep -q '^Found 0 errors' "$work/validate.txt" &&
    ! grep -v -e '^Found 0 errors' -e '^Skipping file' "$work/validate.txt" | grep -qiE "error|warn"
quiet=$?
check "lv2_validate: exit 0 ($status), no error and no warning" $((status | quiet))

# 2. What lilv reads.
lv2info "$uri" >"$work/info.txt" 2>&1
check "lv2info knows $uri" $?
ports=$(grep -c '^	Port [0-9]*:' "$work/info.txt")
check "99 ports ($ports)" $([ "$ports" -eq 99 ]; echo $?)
classes() { # classes INDEX: the port's class lines
    awk -v p="	Port $1:" '$0 == p {on = 1; next} /^	Port / {on = 0} on && /Type:|^\t\t      / {print}' \
        "$work/info.txt" | tr -s ' \t' ' '
}
for p in 0 1; do
    classes $p | grep -q 'AudioPort' && classes $p | grep -q 'InputPort'
    check "port $p is an audio input" $?
done
for p in 2 3; do
    classes $p | grep -q 'AudioPort' && classes $p | grep -q 'OutputPort'
    check "port $p is an audio output" $?
done
for p in 4 5; do
    classes $p | grep -q 'AtomPort' && classes $p | grep -q 'InputPort'
    check "port $p is an atom input" $?
done
# lv2info does not show what an atom port supports: the statements themselves.
sordi "$bundle/Morvek2.ttl" >"$work/statements.nt" 2>/dev/null
supports='<http://lv2plug.in/ns/ext/atom#supports>'
[ "$(grep -c "$supports <http://lv2plug.in/ns/ext/time#Position>" "$work/statements.nt")" -eq 1 ] &&
    [ "$(grep -c "$supports <http://lv2plug.in/ns/ext/midi#MidiEvent>" "$work/statements.nt")" -eq 1 ]
check "the atom inputs take time:Position and midi:MidiEvent" $?
grep -q 'ui#X11UI' "$work/info.txt" && grep -q 'Morvek2_ui.so' "$work/info.txt"
check "the X11 editor Morvek2_ui.so" $?

# The VST2 names and program names, as our VST2 host reads them from the module.
"$cli" params >"$work/params.txt" 2>&1
check "morvek2 params" $?
"$cli" programs >"$work/programs.txt" 2>&1
check "morvek2 programs" $?
awk '/^	Port [0-9]*:/ {port = $2 + 0} port >= 6 && /^\t\tName:/ {sub(/^\t\tName: +/, ""); print}' \
    "$work/info.txt" >"$work/lv2_names.txt"
# `morvek2 params` prints columns: the name is what stands under "name" up to "long name".
awk 'NR == 1 {from = index($0, "name"); to = index($0, "long name"); next}
    {s = substr($0, from, to - from); sub(/ +$/, "", s); print s}' "$work/params.txt" \
    >"$work/vst2_names.txt"
diff "$work/vst2_names.txt" "$work/lv2_names.txt"
check "93 controls named as the VST2 parameters ($(wc -l <"$work/lv2_names.txt"))" \
    $([ "$(wc -l <"$work/lv2_names.txt")" -eq 93 ] && cmp -s "$work/vst2_names.txt" "$work/lv2_names.txt"; echo $?)
awk '/^	Presets:/ {on = 1; next} /^	[A-Z]|^$/ {on = 0} on {sub(/^[ \t]+/, ""); print}' "$work/info.txt" |
    sort >"$work/lv2_presets.txt"
sed -n 's/^[* ] *[0-9]*  //p' "$work/programs.txt" | sort >"$work/vst2_programs.txt"
diff "$work/vst2_programs.txt" "$work/lv2_presets.txt"
check "40 presets named as the VST2 programs ($(wc -l <"$work/lv2_presets.txt"))" \
    $([ "$(wc -l <"$work/lv2_presets.txt")" -eq 40 ] && cmp -s "$work/vst2_programs.txt" "$work/lv2_presets.txt"; echo $?)

# 3. Renders. The samples of a WAV file: the payload of its data chunk.
samples() { # samples FILE: writes the data chunk's bytes to stdout
    local file=$1 offset=12 id size
    while :; do
        id=$(dd if="$file" bs=1 skip=$offset count=4 2>/dev/null)
        size=$(od -An -tu4 -j $((offset + 4)) -N4 "$file" | tr -d ' ')
        [ -n "$size" ] || return 1
        if [ "$id" = data ]; then
            tail -c +$((offset + 9)) "$file" | head -c "$size"
            return 0
        fi
        offset=$((offset + 8 + size + (size & 1)))
    done
}
sox -R -n -r 44100 -c 2 -b 32 -e floating-point "$work/input.wav" \
    synth 1.5 sine 110 sine 1250 pinknoise remix 1,2v0.3 2,3v0.3 gain -8
check "test input" $?
same_render() { # same_render NAME [SYMBOL VALUE]...  (the -c list; the --set list from it)
    local name=$1
    shift
    local controls=() sets=()
    while [ $# -ge 3 ]; do
        controls+=(-c "$1" "$2")
        sets+=(--set "$3")
        shift 3
    done
    lv2apply -i "$work/input.wav" -o "$work/$name.lv2.wav" "${controls[@]}" "$uri" \
        >"$work/$name.lv2apply.txt" 2>&1
    check "$name: lv2apply renders" $?
    "$cli" render "$work/input.wav" -o "$work/$name.vst2.wav" --stopped --block-size 1 \
        "${sets[@]}" >"$work/$name.render.txt" 2>&1
    check "$name: morvek2 render renders" $?
    samples "$work/$name.lv2.wav" >"$work/$name.lv2.raw" &&
        samples "$work/$name.vst2.wav" >"$work/$name.vst2.raw" &&
        [ -s "$work/$name.lv2.raw" ] && cmp "$work/$name.lv2.raw" "$work/$name.vst2.raw"
    status=$?
    check "$name: LV2 and VST2 samples equal bit for bit ($(wc -c <"$work/$name.lv2.raw") bytes)" $status
}
same_render default_program

# Program 13's values on the controls: the plain values for lv2apply, the normalised ones for
# the VST2 module.
"$lv2ttl" --program-values 12 >"$work/program_13.txt"
check "program 13's values" $?
args=()
index=0
while IFS=$'\t' read -r symbol normalised plain; do
    index=$((index + 1))
    args+=("$symbol" "$plain" "$(sed -n "${index}p" "$work/vst2_names.txt")=$normalised")
done <"$work/program_13.txt"
check "program 13 has 93 values ($index)" $([ "$index" -eq 93 ]; echo $?)
same_render program_13 "${args[@]}"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
