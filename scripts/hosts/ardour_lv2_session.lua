-- Headless Ardour 7 session that runs one plug-in as VST2 and as LV2 side by side.
-- ardour7-lua ardour_lv2_session.lua create DIR VST_NAME LV2_URI PROGRAM LV2_PRESET PARAM VST_VALUE LV2_VALUE
-- ardour7-lua ardour_lv2_session.lua reopen DIR
-- ardour7-lua ardour_lv2_session.lua editor DIR URI PARAM [vst3]
-- create: a session with two stereo tracks, "VST2" and "LV2", each fed by "Morvek2 Check Tone";
--   the VST2 track takes program PROGRAM (from 0) and the LV2 track the preset LV2_PRESET; then
--   parameter PARAM is set on both (VST_VALUE normalised, LV2_VALUE in the port's unit) and read
--   back. The session is saved, then exported twice: "sum" (both tracks) and "diff" (the LV2
--   track's sign turned by "Morvek2 Check Negate", so the export is the tracks' difference).
-- reopen: loads the saved session, exports "reopened-sum" and "reopened-diff" the same way and
--   saves it as the snapshot "resaved".
-- editor: a session "gui" with one stereo track "LV2" (tone, then the LV2 plug-in) whose control
--   port PARAM has its automation lane in Touch mode, for Ardour's GUI to open; with "vst3", the
--   track "VST3" holds the VST3 class URI (its class ID) and PARAM is the place of the parameter
--   in its list.
-- Every mode leaves with os.exit right after the last export: headless Ardour 7.3 sometimes
-- crashes while it tears down a session with several tracks (and the process may still die in
-- its exit handlers, after every line here was printed).
local mode, dir = arg[1], arg[2]
local common = dofile (debug.getinfo (1, "S").source:sub (2):match ("(.*/)") .. "ardour_session_common.lua")

if mode == "create" then
	local vst_name, lv2_uri = arg[3], arg[4]
	local program, lv2_preset = tonumber (arg[5]), arg[6]
	local pidx, vst_value, lv2_value = tonumber (arg[7]), tonumber (arg[8]), tonumber (arg[9])
	local s = create_session (dir, "check", 48000)
	assert (s, "cannot create session")

	local info = ARDOUR.LuaAPI.new_plugin_info (lv2_uri, ARDOUR.PluginType.LV2)
	assert (not info:isnil (), "LV2 plug-in not found: " .. lv2_uri)
	print ("found lv2:", info.name, info.unique_id)

	local procs = common.side_by_side (s, { { "VST2", ARDOUR.PluginType.LXVST, vst_name }, { "LV2", ARDOUR.PluginType.LV2, lv2_uri } })
	local vpl = procs.VST2:to_insert ():plugin (0)
	local lpl = procs.LV2:to_insert ():plugin (0)
	-- Ardour lists a VST2 module's programs as presets "VST:<unique id>:<index, 4 digits>".
	local vpr = vpl:preset_by_uri (string.format ("VST:%s:%04d", vpl:unique_id (), program))
	assert (vpr and vpr.valid, "VST2 program " .. program .. " not among the presets")
	assert (vpl:load_preset (vpr), "VST2 program not loaded")
	print ("vst2 program:", vpr.uri, vpr.label)
	if lv2_preset ~= "-" then
		local lpr = lpl:preset_by_uri (lv2_preset)
		assert (lpr and lpr.valid, "LV2 preset " .. lv2_preset .. " not found")
		assert (lpl:load_preset (lpr), "LV2 preset not loaded")
		print ("lv2 preset:", lpr.uri, lpr.label)
	end

	ARDOUR.LuaAPI.set_processor_param (procs.VST2, pidx, vst_value)
	ARDOUR.LuaAPI.set_processor_param (procs.LV2, pidx, lv2_value)
	print ("read back vst2", pidx, ARDOUR.LuaAPI.get_processor_param (procs.VST2, pidx, true))
	print ("read back lv2", pidx, ARDOUR.LuaAPI.get_processor_param (procs.LV2, pidx, true))

	common.export_sum_and_diff (s, dir, "LV2")
	os.exit (0)
elseif mode == "reopen" then
	common.reopen (dir, "LV2")
	os.exit (0)
elseif mode == "editor" then
	local uri, port, vst3 = arg[3], tonumber (arg[4]), arg[5] == "vst3"
	local s = create_session (dir, "gui", 48000)
	assert (s, "cannot create session")
	local _, p = common.tone_track (s, vst3 and "VST3" or "LV2", uri, vst3 and ARDOUR.PluginType.VST3 or ARDOUR.PluginType.LV2)
	-- An LV2 plug-in's automation parameters are numbered by port, a VST3 plug-in's by place.
	local ac = p:to_insert ():to_automatable ():automation_control (
		Evoral.Parameter (ARDOUR.AutomationType.PluginAutomation, 0, port), false)
	assert (not ac:isnil (), "no automation control for port " .. port)
	ac:set_automation_state (ARDOUR.AutoState.Touch)
	s:save_state ("", false, false, false, false, false)
	print ("saved editor session")
	os.exit (0)
else
	error ("mode must be create, reopen or editor")
end
