ardour {
	["type"]    = "dsp",
	name        = "Morvek2 Check Tone",
	category    = "Utility",
	license     = "MIT",
	author      = "Morvek2 test tools",
	description = [[A 441 Hz sine at -6 dBFS on every output, silent while the transport is stopped.
Its phase counts only rolled samples, so two instances on two tracks feed their plug-ins the same
samples no matter when each was added.]]
}

function dsp_ioconfig ()
	return { [1] = { audio_in = -1, audio_out = -1 } }
end

local rate = 48000
local rolled = 0

function dsp_init (r)
	rate = r
end

function dsp_run (ins, outs, n_samples)
	if not Session:transport_rolling () then
		for c = 1, #outs do
			ARDOUR.DSP.memset (outs[c], 0, n_samples)
		end
		return
	end
	local a = {}
	for s = 1, n_samples do
		a[s] = 0.5 * math.sin (2 * math.pi * 441 * (rolled + s - 1) / rate)
	end
	rolled = rolled + n_samples
	for c = 1, #outs do
		outs[c]:set_table (a, n_samples)
	end
end
