-- What the headless Ardour 7 session scripts share: the dummy backend, line-buffered output,
-- the float WAV export and a track fed by "Morvek2 Check Tone" into a plug-in. Loaded with
-- dofile by ardour_lv2_session.lua and ardour_vst3_session.lua; `dir` is the session folder.
local common = {}

-- Every line reaches the check script even when the process dies at exit.
io.stdout:setvbuf ("line")
AudioEngine:set_backend ("None (Dummy)", "", "")

common.seconds = 4

function common.export (s, dir, name)
	local ex = s:simple_export ()
	ex:set_name (name)
	ex:set_folder (dir .. "/export")
	ex:set_range (0, common.seconds * s:nominal_sample_rate ())
	-- 32-bit float WAV, no dither (the preset the check script writes beside Ardour's own).
	assert (ex:set_preset ("5f0e3b2c-6f5e-4d0a-9c61-6d6f7276656b"), "no float wav export preset")
	assert (ex:run_export (), "export " .. name .. " failed")
	print ("export ok " .. name)
end

-- A stereo track `name`: the tone, then the plug-in `id` of `kind`; returns the track and the
-- plug-in's processor.
function common.tone_track (s, name, id, kind)
	local tr = s:new_audio_track (2, 2, nil, 1, name, ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false):front ()
	local tone = ARDOUR.LuaAPI.new_luaproc (s, "Morvek2 Check Tone")
	assert (not tone:isnil (), "Morvek2 Check Tone missing")
	assert (tr:add_processor_by_index (tone, 0, nil, true) == 0, "cannot add the tone")
	local p = ARDOUR.LuaAPI.new_plugin (s, id, kind, "")
	assert (not p:isnil (), "cannot instantiate " .. name .. " " .. id)
	assert (tr:add_processor_by_index (p, 1, nil, true) == 0, "cannot add " .. name)
	return tr, p
end

-- Two tracks side by side, each a tone into one form of the plug-in ({ name, kind, id } each);
-- the master bus gets their channels as they are (no pan law between them). Returns the
-- processors by track name.
function common.side_by_side (s, forms)
	local procs = {}
	for _, t in ipairs (forms) do
		local tr, p = common.tone_track (s, t[1], t[3], t[2])
		tr:panner_shell ():set_bypassed (true)
		procs[t[1]] = p
		local pl = p:to_insert ():plugin (0)
		print ("plugin:", t[1], pl:name (), "maker:", pl:maker (), "params:", pl:parameter_count ())
	end
	return procs
end

-- The sign turn on track `name` after its plug-in, so that the export is the tracks' difference
-- once it is active; then the exports "sum" and "diff" around the session's save.
function common.export_sum_and_diff (s, dir, name)
	local neg = ARDOUR.LuaAPI.new_luaproc (s, "Morvek2 Check Negate")
	assert (not neg:isnil (), "Morvek2 Check Negate missing")
	assert (s:route_by_name (name):add_processor_by_index (neg, 2, nil, false) == 0, "cannot add the sign turn")
	common.export (s, dir, "sum")
	neg:activate ()
	s:save_state ("", false, false, false, false, false)
	print ("saved")
	common.export (s, dir, "diff")
end

-- The saved session again: its exports with the sign turn on track `name` off and on, saved as
-- the snapshot "resaved".
function common.reopen (dir, name)
	local s = load_session (dir, "check")
	assert (s, "cannot reopen the session")
	local neg = s:route_by_name (name):nth_plugin (2)
	assert (not neg:isnil (), "no sign turn on track " .. name)
	neg:deactivate ()
	common.export (s, dir, "reopened-sum")
	neg:activate ()
	common.export (s, dir, "reopened-diff")
	s:save_state ("resaved", false, false, false, false, false)
	print ("saved resaved")
end

return common
