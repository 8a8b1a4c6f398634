# Sourced by the headless Ardour 7 checks: an Ardour configuration of their own under
# $XDG_CONFIG_HOME with the check's Lua processors (the tone and the sign turn) and an export
# preset that writes the master bus's floats (Ardour's own presets write 16-bit or dithered
# files). Needs $here (this folder) and $XDG_CONFIG_HOME.
ardour_check_config() {
    mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts" "$XDG_CONFIG_HOME/ardour7/export"
    cp "$here/morvek2_check_tone.lua" "$here/morvek2_check_negate.lua" \
        "$XDG_CONFIG_HOME/ardour7/scripts/"
    cat >"$XDG_CONFIG_HOME/ardour7/export/morvek2-float.preset" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="5f0e3b2c-6f5e-4d0a-9c61-6d6f7276656b" name="Morvek2 float WAV">
  <ExportFormat id="20b4ab09-6452-4cb3-bd66-b921cdbd2942"/>
  <ExportFilename>
    <Folder relative="1" path="export"/>
    <Field name="label" enabled="0"/>
    <Field name="session" enabled="0"/>
    <Field name="snapshot" enabled="0"/>
    <Field name="timespan" enabled="1"/>
    <Field name="revision" enabled="0"/>
    <Field name="time" enabled="0" value="T_None"/>
    <Field name="date" enabled="0" value="D_None"/>
  </ExportFilename>
</ExportPreset>
XML
}

# ardour_step SCRIPT LAST-LINE ARGS...: runs the Lua session script SCRIPT (in this folder) with
# ARGS until it has printed LAST-LINE, up to five times, printing what it said and its exit
# status. Headless Ardour 7.3 dies now and then while it exports, saves or exits, so the exit
# status is printed, not trusted: a process that dies in its exit handlers has done its work. A
# "create" step starts on a new $session each time. Needs $here, $work and $session.
ardour_step() {
    local script=$1 last=$2 try rc
    shift 2
    for try in 1 2 3 4 5; do
        [ "$1" = create ] && rm -rf "$session"
        rc=0
        timeout 120 ardour7-lua "$here/$script" "$@" >"$work/lua.log" 2>&1 || rc=$?
        grep -v 'Ignored format' "$work/lua.log" || true
        echo "ardour7-lua exit status $rc"
        grep -q "^$last\$" "$work/lua.log" && return 0
        echo "WARNING: ardour7-lua $1 stopped before '$last' (try $try)"
    done
    return 1
}
