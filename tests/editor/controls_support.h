// Helpers for the control tests: a listener that records everything it hears (values, tag values,
// edits), a draw device that records what controls draw, and a window (an offscreen highlight
// frame) to click in.
#pragma once

#include "editor/CHighlightFrame.h"
#include "editor/CZKControlListener.h"
#include "gui/CDrawContext.h"
#include "gui/IPlatform.h"

#include <string>
#include <vector>

namespace morvek2::test {

using namespace VSTGUI;

struct ControlEvent
{
    char kind; // 'v' value changed, 't' tag value, 'b' begin edit, 'e' end edit, 'm' modifier
    int32_t tag;
    float value;
};

class RecordingZKListener : public CZKControlListener
{
public:
    void valueChanged(CControl* c) override { events.push_back({'v', c->getTag(), c->getValue()}); }
    int32_t controlModifierClicked(CControl* c, int32_t) override
    {
        events.push_back({'m', c->getTag(), c->getValue()});
        return swallow;
    }
    void controlBeginEdit(CControl* c) override
    {
        events.push_back({'b', c->getTag(), c->getValue()});
    }
    void controlEndEdit(CControl* c) override
    {
        events.push_back({'e', c->getTag(), c->getValue()});
    }
    void tagValueChanged(int32_t tag, float value) override { events.push_back({'t', tag, value}); }

    std::string kinds() const
    {
        std::string s;
        for (const ControlEvent& e : events) {
            s += e.kind;
        }
        return s;
    }
    std::vector<float> values(char kind = 'v') const
    {
        std::vector<float> v;
        for (const ControlEvent& e : events) {
            if (e.kind == kind) {
                v.push_back(e.value);
            }
        }
        return v;
    }
    std::vector<ControlEvent> of(char kind) const
    {
        std::vector<ControlEvent> v;
        for (const ControlEvent& e : events) {
            if (e.kind == kind) {
                v.push_back(e);
            }
        }
        return v;
    }
    void clear() { events.clear(); }

    std::vector<ControlEvent> events;
    int32_t swallow = 0;
};

struct EditRecorder : VSTGUIEditorInterface
{
    std::vector<std::pair<char, int32_t>> edits;
    void beginEdit(int32_t index) override { edits.push_back({'b', index}); }
    void endEdit(int32_t index) override { edits.push_back({'e', index}); }
};

// The editor's window without a host window, with mouse input straight into the frame.
struct Window
{
    Window() : frame(new CHighlightFrame(CRect(0, 0, 647, 447), nullptr, &editor)) {}
    ~Window() { frame->forget(); }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    CMouseEventResult down(CCoord x, CCoord y, int32_t buttons = kLButton)
    {
        CPoint p(x, y);
        return frame->onMouseDown(p, buttons);
    }
    CMouseEventResult move(CCoord x, CCoord y, int32_t buttons = kLButton)
    {
        CPoint p(x, y);
        return frame->onMouseMoved(p, buttons);
    }
    CMouseEventResult up(CCoord x, CCoord y, int32_t buttons = kLButton)
    {
        CPoint p(x, y);
        return frame->onMouseUp(p, buttons);
    }
    void click(CCoord x, CCoord y, int32_t buttons = kLButton)
    {
        down(x, y, buttons);
        up(x, y, buttons);
    }

    EditRecorder editor;
    CHighlightFrame* frame;
};

// Everything a control draws, in window pixels, with the pen and fill in force.
struct DrawCall
{
    char kind; // 'l' line, 'r' rectangle, 'e' ellipse, 'a' arc, 'p' pie, 'b' bitmap
    CRect rect;
    CPoint from, to;
    double start = 0, end = 0;
    CDrawStyle style = kDrawStroked;
    DevicePaint paint;
    CRect clip;
};

class ShapeRecorder : public IDrawDevice
{
public:
    void setClip(const CRect& c) override { clip = c; }
    void drawLine(const CPoint& from, const CPoint& to, const DevicePaint& p) override
    {
        calls.push_back({'l', CRect(), from, to, 0, 0, kDrawStroked, p, clip});
    }
    void drawRect(const CRect& r, CDrawStyle s, const DevicePaint& p) override
    {
        calls.push_back({'r', r, {}, {}, 0, 0, s, p, clip});
    }
    void drawEllipse(const CRect& r, CDrawStyle s, const DevicePaint& p) override
    {
        calls.push_back({'e', r, {}, {}, 0, 0, s, p, clip});
    }
    void drawArc(const CRect& r, double a, double b, bool pie, CDrawStyle s,
                 const DevicePaint& p) override
    {
        calls.push_back({pie ? 'p' : 'a', r, {}, {}, a, b, s, p, clip});
    }
    void drawBitmap(const IPlatformBitmap&, const CRect& dest, const CPoint& source,
                    uint8_t) override
    {
        calls.push_back({'b', dest, source, {}, 0, 0, kDrawFilled, {}, clip});
    }
    std::vector<DrawCall> of(char kind) const
    {
        std::vector<DrawCall> v;
        for (const DrawCall& c : calls) {
            if (c.kind == kind) {
                v.push_back(c);
            }
        }
        return v;
    }

    std::vector<DrawCall> calls;
    CRect clip;
};

// A drawing context over the editor's window that records instead of rendering.
struct RecordedDrawing
{
    ShapeRecorder device;
    CDrawContext context{device, CRect(0, 0, 647, 447)};
};

inline constexpr CColor kLight = {115, 190, 232, 150};
inline constexpr CColor kFaint = {115, 190, 232, 75};
inline constexpr CColor kDim = {60, 60, 100, 100};
inline constexpr CColor kClear = {0, 0, 0, 0};
inline constexpr CColor kPanel = {14, 13, 23, 200};

} // namespace morvek2::test
