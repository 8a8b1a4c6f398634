// A view with a value: minimum, maximum, default, old value (what was last drawn), a tag and a
// listener that hears user changes and the begin and end of each edit. Edits also reach the
// editor (and through it the host) via the frame.
#pragma once

#include "gui/CView.h"

#include <atomic>

namespace VSTGUI {

class CControl;

class CControlListener
{
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0; // [ui]
    // Asked before a control handles a click with a modifier or the right button; non-zero
    // swallows the click.
    virtual int32_t controlModifierClicked(CControl* /*control*/, int32_t /*buttons*/) // [ui]
    {
        return 0;
    }
    virtual void controlBeginEdit(CControl* /*control*/) {} // [ui]
    virtual void controlEndEdit(CControl* /*control*/) {}   // [ui]
};

class CControl : public CView
{
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, int32_t tag = 0,
             CBitmap* background = nullptr);
    CControl(const CControl& other);
    ~CControl() override;

    // Stores the value as given; `bounceValue` limits it. The plug-in may set values from its
    // audio thread while the editor draws them, so both go through a relaxed atomic access; a
    // subclass that overrides setValue stores through CControl::setValue.
    virtual void setValue(float v)
    {
        std::atomic_ref<float>(value).store(v, std::memory_order_relaxed);
    } // [any]
    virtual float getValue() const
    {
        return std::atomic_ref<float>(const_cast<float&>(value)).load(std::memory_order_relaxed);
    } // [any]
    virtual void setMin(float v) { vmin = v; }
    virtual float getMin() const { return vmin; }
    virtual void setMax(float v) { vmax = v; }
    virtual float getMax() const { return vmax; }
    virtual void setOldValue(float v) { oldValue = v; }
    virtual float getOldValue() const { return oldValue; }
    virtual void setDefaultValue(float v) { defaultValue = v; }
    virtual float getDefaultValue() const { return defaultValue; }
    virtual void setTag(int32_t t) { tag = t; }
    int32_t getTag() const { return tag; }
    virtual void setListener(CControlListener* l) { listener = l; }
    CControlListener* getListener() const { return listener; }
    virtual void setWheelInc(float v) { wheelInc = v; }
    virtual float getWheelInc() const { return wheelInc; }

    // Limits the value to minimum..maximum (a NaN becomes the minimum).
    virtual void bounceValue(); // [ui]

    // Dirty when marked so or when the value differs from the value last drawn.
    void setDirty(bool dirty = true) override; // [any]
    bool isDirty() const override;             // [ui]

    // Start and end of a user edit: the listener hears it, and the editor through the frame. An
    // edit in progress is not begun twice, and an edit not begun is not ended.
    virtual void beginEdit(); // [ui]
    virtual void endEdit();   // [ui]
    bool isEditing() const { return editing; }

    // A click whose button set is exactly Control + left button sets the default value, tells
    // the listener and ends the edit (begun here if the caller had not). True if it was one.
    virtual bool checkDefaultValue(int32_t buttons); // [ui]

    // Tells the listener that the user changed the value.
    virtual void valueChanged(); // [ui]

    // A control taken out of its window in the middle of an edit ends the edit first, so the
    // host never waits for an end that cannot come.
    bool removed(CView* parent) override; // [ui]

    MORVEK2_GUI_TYPE(CControl, CView)

protected:
    // Wheel handling shared by knobs and sliders: value += distance × increment (a tenth of it
    // with Shift), bounded; a change is reported between a begin and an end of edit.
    bool applyWheel(float distance, int32_t buttons); // [ui]

    CControlListener* listener = nullptr;
    int32_t tag = 0;
    alignas(std::atomic_ref<float>::required_alignment) float value = 0.f;
    float oldValue = 1.f;
    float defaultValue = 0.5f;
    float vmin = 0.f;
    float vmax = 1.f;
    float wheelInc = 0.1f;
    bool editing = false;
};

} // namespace VSTGUI
