#!/usr/bin/env bash
# Asks qtractor's out-of-process plug-in scanner to load each CLAP file given as argument.
# Output per plug-in: CLAP|name|audio ins:outs|midi ins:outs|params:outs|flags|path|index|id hash
set -uo pipefail
scan=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
rc=0
for file in "$@"; do
    line=$(echo "CLAP:$(readlink -f "$file")" | timeout 30 "$scan" 2>&1)
    r=$?
    echo "$line"
    [ $r -eq 0 ] && [[ "$line" == CLAP\|* ]] || { echo "FAIL ($r): $file"; rc=1; }
done
exit $rc
