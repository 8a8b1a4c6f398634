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
local common = dofile (debug.getinfo (1, "S").source:sub (2):match ("(.*/)") .. "ardour_session_common.lua")

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

	local procs = common.side_by_side (s, { { "VST2", ARDOUR.PluginType.LXVST, vst_name }, { "VST3", ARDOUR.PluginType.VST3, vst3_uid } })
	local label
	for _, t in ipairs ({ "VST2", "VST3" }) do
		local pl = procs[t]:to_insert ():plugin (0)
		local pr = program_preset (pl, t, program, label)
		assert (pr and pr.valid, t .. " program " .. program .. " not among the presets")
		assert (pl:load_preset (pr), t .. " program not loaded")
		label = pr.label
		print ("program uri:", t, pr.uri)
		print ("program:", t, pr.label)
	end

	for _, t in ipairs ({ "VST2", "VST3" }) do
		ARDOUR.LuaAPI.set_processor_param (procs[t], pidx, value)
		print ("read back " .. t .. " " .. pidx .. " " .. ARDOUR.LuaAPI.get_processor_param (procs[t], pidx, true))
	end

	common.export_sum_and_diff (s, dir, "VST3")
	os.exit (0)
elseif mode == "reopen" then
	common.reopen (dir, "VST3")
	os.exit (0)
else
	error ("mode must be create or reopen")
end
