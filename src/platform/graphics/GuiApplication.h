#pragma once

// Qt measures and draws text only while a GUI application object exists.
// Programs with a window system make their own; everything else (tests,
// picture rendering, benchmarks) gets one on the offscreen platform, which
// needs no display.
namespace GuiApplication {

// Makes an offscreen QGuiApplication unless an application object exists.
// Call from the main thread; the object lives until the process ends.
void ensure();

// Chooses the platform of the program's own application before it is made,
// unless QT_QPA_PLATFORM already names one. Qt ends the process when the
// platform it picks has no server behind it, so only a display that answers
// is used: an X server first, as the cursor work needs one, else a Wayland
// compositor when Qt can talk to it; otherwise the offscreen platform, with
// one warning.
void choosePlatform();

}
