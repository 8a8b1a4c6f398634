// The platform the framework runs on in this build: X11 windows for a host's window, offscreen
// surfaces without one, Cairo for drawing and PNG decoding. Installed at start-up; calling
// `installDefaultPlatform` again is harmless.
#pragma once

namespace VSTGUI {

void installDefaultPlatform(); // [ui]

} // namespace VSTGUI
