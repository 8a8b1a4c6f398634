ardour {
	["type"]    = "dsp",
	name        = "Morvek2 Check Negate",
	category    = "Utility",
	license     = "MIT",
	author      = "Morvek2 test tools",
	description = [[Turns every sample's sign. After one of two plug-ins fed the same input, the master
bus then carries their difference, which is exactly zero only where the two outputs are equal bit
for bit.]]
}

function dsp_ioconfig ()
	return { [1] = { audio_in = -1, audio_out = -1 } }
end

function dsp_run (ins, outs, n_samples)
	for c = 1, #outs do
		if ins[c] ~= outs[c] then
			ARDOUR.DSP.copy_vector (outs[c], ins[c], n_samples)
		end
		ARDOUR.DSP.apply_gain_to_buffer (outs[c], n_samples, -1.0)
	end
end
