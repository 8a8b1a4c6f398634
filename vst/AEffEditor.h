// Base of a plug-in's editor as the host-facing layer sees it. The plug-in's AudioEffect owns the
// editor object; the host's effEdit* requests are forwarded to these virtual operations.
#pragma once

#include "vst/vst2_abi.h"

class AudioEffect;

class AEffEditor
{
public:
    explicit AEffEditor(AudioEffect* effect);
    virtual ~AEffEditor();

    // Hands the host a pointer to the editor's rectangle; the rectangle must stay valid after the
    // call. The default has no window size to report.
    virtual bool getRect(ERect** rect); // [ui]
    // `parentWindow` is the host's window (an X11 Window id or an HWND) to embed into.
    virtual bool open(void* parentWindow); // [ui]
    virtual void close();                  // [ui]
    virtual bool isOpen() const;           // [any]
    virtual void idle();                   // [ui]

    AudioEffect* getEffect() const; // [any]

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
    bool opened = false;
};
