# Finds where a gating lane opens and closes in a recording and checks the step spacing.
# Input: `sox FILE -t dat -` of a two-channel file, channel 1 the signal fed to the plug-in,
# channel 2 what came out. Where the input is at least half its peak the gain out/in is taken;
# an edge is where that gain crosses half its largest value (a rise or a fall). The gaps near
# the input's zero crossings make an edge late by at most a few samples.
# Variables: step (the expected step length in samples), tolerance (allowed error per step),
# skip (seconds at the start to ignore, while the transport starts), period (when the input
# repeats exactly with that period: counts the samples where it does not).
# Prints the edges, the spacings, a summary line and exits 1 unless every spacing between two
# edges of the same kind, divided by the steps between them, is within tolerance of step.
/^;/ { next }
{
    n++
    input[n] = $2
    output[n] = $3
    v = $2 < 0 ? -$2 : $2
    if (v > inputPeak) inputPeak = v
    # jack_simple_client plays a 200-entry table: its samples repeat exactly every `period`
    # samples, so a recording that lost or repeated samples shows here.
    if (period > 0 && n > period && $2 != input[n - period]) inputBreaks++
}
END {
    if (n == 0 || inputPeak == 0) { print "no input signal"; exit 1 }
    first = int(skip * rate) + 1
    for (i = first; i <= n; i++) {
        v = input[i] < 0 ? -input[i] : input[i]
        if (v >= inputPeak / 2) {
            g = output[i] / input[i]
            if (g > gainPeak) gainPeak = g
        }
    }
    if (gainPeak <= 0) { print "no output signal"; exit 1 }
    threshold = gainPeak / 2
    state = -1
    for (i = first; i <= n; i++) {
        v = input[i] < 0 ? -input[i] : input[i]
        if (v < inputPeak / 2) continue
        open = (output[i] / input[i] > threshold) ? 1 : 0
        if (state >= 0 && open != state) {
            edges++
            edgeAt[edges] = i - 1
            edgeKind[edges] = open ? "rise" : "fall"
            print "edge " edgeKind[edges] " at sample " (i - 1)
        }
        state = open
    }
    # Spacing between successive edges of one kind, per step (a lane that opens every other step
    # rises every two steps).
    bad = 0
    count = 0
    for (e = 1; e <= edges; e++) {
        for (p = e - 1; p >= 1 && edgeKind[p] != edgeKind[e]; p--) {}
        if (p < 1) continue
        d = edgeAt[e] - edgeAt[p]
        steps = int(d / step + 0.5)
        if (steps < 1) { bad++; print "spacing " d " shorter than a step"; continue }
        s = d / steps
        count++
        sum += s
        if (count == 1 || s < low) low = s
        if (count == 1 || s > high) high = s
        if (s < step - tolerance || s > step + tolerance) { bad++; print "spacing " d " over " steps " steps is off" }
    }
    if (count == 0) { print "no repeated edges"; exit 1 }
    printf "edges %d spacings %d per-step mean %.2f min %.2f max %.2f (expected %.1f +-%d)\n", edges, count, sum / count, low, high, step, tolerance
    if (period > 0) printf "input breaks %d (samples not equal to the one %d before)\n", inputBreaks, period
    exit bad ? 1 : 0
}
