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
