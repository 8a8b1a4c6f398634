#include "tools/morvek2/plot.h"

#include "tools/morvek2/errors.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace morvek2::cli {

namespace {

constexpr int kWidth = 1600;
constexpr int kLeft = 110; // room for row titles
constexpr int kRight = 20;
constexpr int kPlotWidth = kWidth - kLeft - kRight;
constexpr int kHeader = 64;
constexpr int kWaveHeight = 150;
constexpr int kLaneHeight = 52;
constexpr int kSpectrumHeight = 108;
constexpr int kGap = 14;
constexpr int kFooter = 36;

struct Colour
{
    double r, g, b;
};

constexpr Colour kModuleColours[6] = {
    {0.93, 0.55, 0.15}, {0.25, 0.55, 0.90}, {0.85, 0.25, 0.25},
    {0.30, 0.70, 0.35}, {0.60, 0.40, 0.85}, {0.15, 0.65, 0.65},
};

void setColour(cairo_t* cr, Colour c, double alpha = 1.0)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool bold = false)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, s.c_str());
}

// Maps frames and transport positions onto the x axis.
struct TimeAxis
{
    std::int64_t frames;
    double rate;
    double startPpq;
    double framesPerQuarter;

    double xOfFrame(double frame) const
    {
        return kLeft + kPlotWidth * frame / static_cast<double>(std::max<std::int64_t>(frames, 1));
    }
    double xOfPpq(double ppq) const { return xOfFrame((ppq - startPpq) * framesPerQuarter); }
    double endPpq() const { return startPpq + static_cast<double>(frames) / framesPerQuarter; }
};

void drawEnvelope(cairo_t* cr, const Envelope& env, double top, double height, double scale,
                  Colour colour)
{
    const double middle = top + height / 2.0;
    cairo_set_source_rgb(cr, 0.97, 0.97, 0.97);
    cairo_rectangle(cr, kLeft, top, kPlotWidth, height);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.80, 0.80, 0.80);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, kLeft, middle + 0.5);
    cairo_line_to(cr, kLeft + kPlotWidth, middle + 0.5);
    cairo_stroke(cr);
    setColour(cr, colour);
    const double columnWidth = static_cast<double>(kPlotWidth) / env.columns();
    for (int c = 0; c < env.columns(); ++c) {
        if (!env.touched(c)) {
            continue;
        }
        const double hi = middle - std::clamp(env.high(c) / scale, -1.0, 1.0) * height / 2.0;
        const double lo = middle - std::clamp(env.low(c) / scale, -1.0, 1.0) * height / 2.0;
        cairo_rectangle(cr, kLeft + c * columnWidth, hi, std::max(columnWidth, 1.0),
                        std::max(lo - hi, 1.0));
    }
    cairo_fill(cr);
}

// Peak level in dB per column, left side growing up from the middle line and right side down
// from it, over a fixed floor, so quiet programs stay visible and a hard pan shows as one side
// missing.
constexpr double kFloorDb = -60.0;

void drawSidesInDb(cairo_t* cr, const std::vector<Envelope>& sides, double top, double height,
                   Colour colour)
{
    const double middle = top + height / 2.0;
    const double half = height / 2.0;
    cairo_set_source_rgb(cr, 0.97, 0.97, 0.97);
    cairo_rectangle(cr, kLeft, top, kPlotWidth, height);
    cairo_fill(cr);
    const auto offset = [half](double db) {
        return std::clamp((db - kFloorDb) / -kFloorDb, 0.0, 1.0) * (half - 2.0);
    };
    // Grid lines every 12 dB on both sides, labelled on the left.
    cairo_set_line_width(cr, 1.0);
    for (double db = 0.0; db > kFloorDb; db -= 12.0) {
        for (const double sign : {-1.0, 1.0}) {
            const double y = std::round(middle + sign * offset(db)) + 0.5;
            cairo_set_source_rgb(cr, 0.86, 0.86, 0.86);
            cairo_move_to(cr, kLeft, y);
            cairo_line_to(cr, kLeft + kPlotWidth, y);
            cairo_stroke(cr);
            if (sign < 0.0 || db < 0.0) {
                char label[16];
                std::snprintf(label, sizeof label, "%.0f dB", db);
                cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
                text(cr, kLeft - 44, y + 4, label, 9);
            }
        }
    }
    for (std::size_t side = 0; side < sides.size() && side < 2; ++side) {
        const Envelope& env = sides[side];
        setColour(cr, colour, side == 0 ? 1.0 : 0.75);
        const double columnWidth = static_cast<double>(kPlotWidth) / env.columns();
        for (int c = 0; c < env.columns(); ++c) {
            if (!env.touched(c)) {
                continue;
            }
            const double peak = std::max(std::fabs(env.low(c)), std::fabs(env.high(c)));
            const double length = offset(peak > 0.0 ? 20.0 * std::log10(peak) : kFloorDb);
            if (length <= 0.0) {
                continue;
            }
            const double y = side == 0 ? middle - length : middle;
            cairo_rectangle(cr, kLeft + c * columnWidth, y, std::max(columnWidth, 1.0), length);
        }
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.70, 0.70, 0.70);
    cairo_move_to(cr, kLeft, middle + 0.5);
    cairo_line_to(cr, kLeft + kPlotWidth, middle + 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
    text(cr, kLeft + 4, top + 12, "L", 10, true);
    text(cr, kLeft + 4, top + height - 4, "R", 10, true);
}

// Band levels from -96 dB (dark) to full scale (bright), low bands at the bottom.
void drawSpectrum(cairo_t* cr, const Spectrogram& spectrum, double top, double height)
{
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.10);
    cairo_rectangle(cr, kLeft, top, kPlotWidth, height);
    cairo_fill(cr);
    const double columnWidth = static_cast<double>(kPlotWidth) / spectrum.columns();
    const double bandHeight = height / Spectrogram::kBands;
    for (int c = 0; c < spectrum.columns(); ++c) {
        for (int b = 0; b < Spectrogram::kBands; ++b) {
            const double x = std::clamp((spectrum.levelDb(c, b) + 96.0) / 96.0, 0.0, 1.0);
            if (x <= 0.0) {
                continue;
            }
            // Dark blue through red to yellow.
            cairo_set_source_rgb(cr, std::min(1.0, 2.0 * x), std::max(0.0, 2.0 * x - 1.0),
                                 0.10 + 0.5 * x * (1.0 - x));
            cairo_rectangle(cr, kLeft + c * columnWidth, top + height - (b + 1) * bandHeight,
                            std::max(columnWidth, 1.0), bandHeight + 0.5);
            cairo_fill(cr);
        }
    }
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    for (const double hz : {100.0, 1000.0, 10000.0}) {
        const double y = top + height - (std::log(hz / 20.0) / std::log(1000.0)) * height;
        char label[16];
        std::snprintf(label, sizeof label, hz >= 1000.0 ? "%.0fk" : "%.0f",
                      hz >= 1000.0 ? hz / 1000.0 : hz);
        text(cr, kLeft - 30, y + 4, label, 9);
    }
}

void drawBarLines(cairo_t* cr, const TimeAxis& axis, const PlotInfo& info, double top,
                  double bottom)
{
    const double barQuarters = info.timeSigNumerator * 4.0 / info.timeSigDenominator;
    const double beatQuarters = 4.0 / info.timeSigDenominator;
    const double end = axis.endPpq();
    // Beats, lightly, only where they are far enough apart to read.
    if (axis.xOfPpq(beatQuarters) - axis.xOfPpq(0.0) >= 6.0) {
        cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.08);
        for (double q = std::ceil(info.startPpq / beatQuarters) * beatQuarters; q <= end;
             q += beatQuarters) {
            const double x = std::round(axis.xOfPpq(q)) + 0.5;
            cairo_move_to(cr, x, top);
            cairo_line_to(cr, x, bottom);
        }
        cairo_stroke(cr);
    }
    const double barWidth = axis.xOfPpq(barQuarters) - axis.xOfPpq(0.0);
    const int labelEvery =
        std::max(1, static_cast<int>(std::ceil(40.0 / std::max(barWidth, 1e-3))));
    for (double q = std::ceil(info.startPpq / barQuarters - 1e-9) * barQuarters; q <= end + 1e-9;
         q += barQuarters) {
        const double x = std::round(axis.xOfPpq(q)) + 0.5;
        const long bar = std::lround(q / barQuarters) + 1;
        if (barWidth >= 3.0) {
            cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.35);
            cairo_set_line_width(cr, 1.0);
            cairo_move_to(cr, x, top);
            cairo_line_to(cr, x, bottom);
            cairo_stroke(cr);
        }
        if ((bar - 1) % labelEvery == 0 && x < kLeft + kPlotWidth - 10) {
            cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
            text(cr, x + 3, top - 4, std::to_string(bar), 11);
        }
    }
}

void drawLanes(cairo_t* cr, const TimeAxis& axis, const PlotInfo& info, const RenderReport& report,
               double top)
{
    const ProgramLanes& lanes = *info.lanes;
    // The steps of lane m as they played at a position: the last re-roll seen before it, or
    // the program's own steps.
    const auto stepsAt = [&](int m, double ppq) -> const SeqStep* {
        const double frame = (ppq - info.startPpq) * 60.0 / info.bpm * report.sampleRate;
        const SeqStep* steps = lanes.lanes[static_cast<std::size_t>(m)].steps;
        for (const PlayedLanes& played : report.playedLanes) {
            if (static_cast<double>(played.fromFrame) > frame + 0.5) {
                break;
            }
            steps = played.lanes[static_cast<std::size_t>(m)].steps;
        }
        return steps;
    };
    const double barQuarters = info.timeSigNumerator * 4.0 / info.timeSigDenominator;
    for (int m = 0; m < 6; ++m) {
        const SeqLane& lane = lanes.lanes[static_cast<std::size_t>(m)];
        const double rowTop = top + m * kLaneHeight;
        const double rowHeight = kLaneHeight - 6.0;
        const Colour colour = kModuleColours[m];
        cairo_set_source_rgb(cr, 0.97, 0.97, 0.97);
        cairo_rectangle(cr, kLeft, rowTop, kPlotWidth, rowHeight);
        cairo_fill(cr);

        static const char* const directions[] = {"fwd", "back", "rand"};
        const char* direction =
            lane.direction >= 0 && lane.direction <= 2 ? directions[lane.direction] : "hold";
        setColour(cr, colour);
        text(cr, 8, rowTop + 17, kModuleNames[m], 13, true);
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        char detail[64];
        std::snprintf(detail, sizeof detail, "%d x %s %s", seq::safeLength(lane),
                      seq::kStepSizes[static_cast<std::size_t>(lane.stepSize)].name, direction);
        text(cr, 8, rowTop + 32, detail, 10);
        if (lanes.muted[static_cast<std::size_t>(m)]) {
            text(cr, 8, rowTop + 44, "muted", 10);
        }

        // Stopped: the lanes hold their step for the whole render.
        const double to = info.stopped ? info.startPpq + 1e-6 : axis.endPpq();
        std::vector<StepSpan> spans =
            layOutLane(lane, info.startPpq, to, barQuarters, lanes.resetBars);
        if (info.stopped && !spans.empty()) {
            spans.front().end = axis.endPpq();
            spans.resize(1);
        }
        const double alpha = lanes.muted[static_cast<std::size_t>(m)] ? 0.35 : 1.0;
        for (const StepSpan& span : spans) {
            const SeqStep& step = stepsAt(m, span.start)[span.step];
            const double x0 = axis.xOfPpq(span.start);
            const double x1 = axis.xOfPpq(span.end);
            // Every step start gets a faint tick, so an empty lane still shows its grid.
            if (x1 - x0 >= 3.0) {
                cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.15);
                cairo_rectangle(cr, std::round(x0), rowTop + rowHeight - 6.0, 1.0, 6.0);
                cairo_fill(cr);
            }
            const double h = std::clamp<double>(step.value, 0.0, 1.0) * (rowHeight - 4.0);
            const double w = std::max(x1 - x0 - (x1 - x0 > 4.0 ? 1.0 : 0.0), 0.5);
            if (step.gate != 0) {
                setColour(cr, colour, 0.85 * alpha);
                cairo_rectangle(cr, x0, rowTop + rowHeight - 2.0 - h, w, h);
                cairo_fill(cr);
                // A gate that is on with a value of 0 still shows as an open step.
                setColour(cr, colour, alpha);
                cairo_rectangle(cr, x0, rowTop + rowHeight - 3.0, w, 3.0);
                cairo_fill(cr);
            } else {
                setColour(cr, colour, 0.18 * alpha);
                cairo_rectangle(cr, x0, rowTop + rowHeight - 2.0 - h, w, h);
                cairo_fill(cr);
            }
        }
    }
}

} // namespace

void releaseDrawingCaches()
{
    static bool released = false;
    if (!released) {
        released = true;
        cairo_debug_reset_static_data();
        FcFini();
    }
}

int plotColumns()
{
    return kPlotWidth;
}

void drawPlot(const std::string& path, const RenderReport& report, const PlotInfo& info)
{
    const bool withLanes = info.lanes.has_value();
    const bool withSpectra = report.inputSpectrum && report.outputSpectrum;
    const int spectraHeight = withSpectra ? 2 * (kSpectrumHeight + kGap) : 0;
    const int height = kHeader + 2 * kWaveHeight + kGap + spectraHeight +
                       (withLanes ? kGap + 6 * kLaneHeight : 0) + kFooter;
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, height), &cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()),
                                                               &cairo_destroy);
    cairo_t* cr = context.get();
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);

    const TimeAxis axis{report.totalFrames, report.sampleRate, info.startPpq,
                        report.sampleRate * 60.0 / info.bpm};
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    text(cr, kLeft, 24, info.title, 16, true);
    cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
    text(cr, kLeft, 42, info.subtitle, 11);

    const double waveTop = kHeader;
    const double outTop = waveTop + kWaveHeight + kGap;
    const double inSpectrumTop = outTop + kWaveHeight + kGap;
    const double outSpectrumTop = inSpectrumTop + kSpectrumHeight + kGap;
    const double lanesTop = outTop + kWaveHeight + 2 * kGap + spectraHeight;
    const double bottom =
        withLanes ? lanesTop + 6 * kLaneHeight : outTop + kWaveHeight + spectraHeight;
    if (report.inputSides.size() >= 2 && report.outputSides.size() >= 2) {
        drawSidesInDb(cr, report.inputSides, waveTop, kWaveHeight, {0.45, 0.45, 0.50});
        drawSidesInDb(cr, report.outputSides, outTop, kWaveHeight, {0.10, 0.35, 0.65});
    } else {
        const double scale = std::max({1.0f, report.input.peak(), report.output.peak()});
        drawEnvelope(cr, report.input, waveTop, kWaveHeight, scale, {0.45, 0.45, 0.50});
        drawEnvelope(cr, report.output, outTop, kWaveHeight, scale, {0.10, 0.35, 0.65});
    }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    text(cr, 8, waveTop + 18, "input", 13, true);
    text(cr, 8, outTop + 18, "output", 13, true);
    if (withSpectra) {
        drawSpectrum(cr, *report.inputSpectrum, inSpectrumTop, kSpectrumHeight);
        drawSpectrum(cr, *report.outputSpectrum, outSpectrumTop, kSpectrumHeight);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        text(cr, 8, inSpectrumTop + 18, "input", 13, true);
        text(cr, 8, inSpectrumTop + 34, "spectrum", 10);
        text(cr, 8, outSpectrumTop + 18, "output", 13, true);
        text(cr, 8, outSpectrumTop + 34, "spectrum", 10);
    }
    if (withLanes) {
        drawLanes(cr, axis, info, report, lanesTop);
    }
    if (!info.stopped) {
        drawBarLines(cr, axis, info, waveTop, bottom);
    }

    // Seconds along the bottom.
    const double seconds = static_cast<double>(report.totalFrames) / report.sampleRate;
    const double step = seconds <= 10 ? 1 : seconds <= 30 ? 2 : seconds <= 120 ? 10 : 60;
    cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
    for (double s = 0; s <= seconds + 1e-9; s += step) {
        const double x = axis.xOfFrame(s * report.sampleRate);
        char label[32];
        std::snprintf(label, sizeof label, "%gs", s);
        text(cr, x - 6, bottom + 20, label, 10);
    }
    if (info.stopped) {
        text(cr, kLeft + kPlotWidth - 150, bottom + 20, "transport stopped", 11);
    }

    cairo_surface_flush(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png(surface.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
        fail(Exit::Output, "cannot draw the plot");
    }
}

} // namespace morvek2::cli
