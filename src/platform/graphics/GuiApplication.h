#pragma once

// Qt measures and draws text only while a GUI application object exists.
// Programs with a window system make their own; everything else (tests,
// picture rendering, benchmarks) gets one on the offscreen platform, which
// needs no display.
namespace GuiApplication {

// Makes an offscreen QGuiApplication unless an application object exists.
// Call from the main thread; the object lives until the process ends.
void ensure();

}
