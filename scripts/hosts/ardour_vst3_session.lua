-- Headless Ardour 7 session that runs Morvek2 as VST2 and as VST3 side by side.
-- ardour7-lua ardour_vst3_session.lua create DIR VST_NAME VST3_UID PROGRAM PARAM VALUE
-- ardour7-lua ardour_vst3_session.lua reopen DIR
-- create: a session with two stereo tracks, "VST2" and "VST3", each fed by "Morvek2 Check Tone";
--   both take program PROGRAM (from 0) from the plug-in's own program list (Ardour lists them as
--   presets), then parameter PARAM is set to VALUE (normalised) on both and read back. The
--   session is saved, then exported twice: "sum" (both tracks) and "diff" (the VST3 track's sign
--   turned by "Morvek2 Check Negate", so the export is the tracks' difference).
-- reopen: loads the saved session, exports "reopened-sum" and "reopened-diff" the same way and
--   saves it as the snapshot "resaved".
-- Both leave with os.exit right after the last line: headless Ardour 7.3 sometimes crashes while
-- it tears a session down.
local mode, dir = arg[1], arg[2]
io.stdout:setvbuf ("line")
local seconds = 4

AudioEngine:set_backend ("None (Dummy)", "", "")

local function export (s, name)
	local ex = s:simple_export ()
	ex:set_name (name)
	ex:set_folder (dir .. "/export")
	ex:set_range (0, seconds * s:nominal_sample_rate ())
	-- 32-bit float WAV, no dither (the preset the check script writes beside Ardour's own).
	assert (ex:set_preset ("5f0e3b2c-6f5e-4d0a-9c61-6d6f7276656b"), "no float wav export preset")
	assert (ex:run_export (), "export " .. name .. " failed")
	print ("export ok " .. name)
end

-- Ardour lists a VST2 module's programs as presets "VST:<unique id>:<index, 4 digits>" and the
-- programs of a VST3 plug-in's program list under their names.
local function program_preset (pl, kind, program, label)
	if kind == "VST2" then
		return pl:preset_by_uri (string.format ("VST:%s:%04d", pl:unique_id (), program))
	end
	return pl:preset_by_label (label)
end

if mode == "create" then
	local vst_name, vst3_uid = arg[3], arg[4]
	local program, pidx, value = tonumber (arg[5]), tonumber (arg[6]), tonumber (arg[7])
	local s = create_session (dir, "check", 48000)
	assert (s, "cannot create session")

	local info = ARDOUR.LuaAPI.new_plugin_info (vst3_uid, ARDOUR.PluginType.VST3)
	assert (not info:isnil (), "VST3 plug-in not found: " .. vst3_uid)
	print ("found vst3:", info.name, info.unique_id)

	local procs = {}
	local label
	for _, t in ipairs ({ { "VST2", ARDOUR.PluginType.LXVST, vst_name }, { "VST3", ARDOUR.PluginType.VST3, vst3_uid } }) do
		local tr = s:new_audio_track (2, 2, nil, 1, t[1], ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false):front ()
		local tone = ARDOUR.LuaAPI.new_luaproc (s, "Morvek2 Check Tone")
		assert (not tone:isnil (), "Morvek2 Check Tone missing")
		assert (tr:add_processor_by_index (tone, 0, nil, true) == 0, "cannot add the tone")
		local p = ARDOUR.LuaAPI.new_plugin (s, t[3], t[2], "")
		assert (not p:isnil (), "cannot instantiate " .. t[1] .. " " .. t[3])
		assert (tr:add_processor_by_index (p, 1, nil, true) == 0, "cannot add " .. t[1])
		-- The master bus gets the plug-in's channels as they are: no pan law between the tracks.
		tr:panner_shell ():set_bypassed (true)
		procs[t[1]] = p
		local pl = p:to_insert ():plugin (0)
		print ("plugin:", t[1], pl:name (), "maker:", pl:maker (), "params:", pl:parameter_count ())
		local pr = program_preset (pl, t[1], program, label)
		assert (pr and pr.valid, t[1] .. " program " .. program .. " not among the presets")
		assert (pl:load_preset (pr), t[1] .. " program not loaded")
		label = pr.label
		print ("program uri:", t[1], pr.uri)
		print ("program:", t[1], pr.label)
	end

	for _, t in ipairs ({ "VST2", "VST3" }) do
		ARDOUR.LuaAPI.set_processor_param (procs[t], pidx, value)
		print ("read back " .. t .. " " .. pidx .. " " .. ARDOUR.LuaAPI.get_processor_param (procs[t], pidx, true))
	end

	local neg = ARDOUR.LuaAPI.new_luaproc (s, "Morvek2 Check Negate")
	assert (not neg:isnil (), "Morvek2 Check Negate missing")
	assert (s:route_by_name ("VST3"):add_processor_by_index (neg, 2, nil, false) == 0, "cannot add the sign turn")

	export (s, "sum")
	neg:activate ()
	s:save_state ("", false, false, false, false, false)
	print ("saved")
	export (s, "diff")
	os.exit (0)
elseif mode == "reopen" then
	local s = load_session (dir, "check")
	assert (s, "cannot reopen the session")
	local neg = s:route_by_name ("VST3"):nth_plugin (2)
	assert (not neg:isnil (), "no sign turn on the VST3 track")
	neg:deactivate ()
	export (s, "reopened-sum")
	neg:activate ()
	export (s, "reopened-diff")
	s:save_state ("resaved", false, false, false, false, false)
	print ("saved resaved")
	os.exit (0)
else
	error ("mode must be create or reopen")
end
