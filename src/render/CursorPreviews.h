#pragma once

#include <string>

// Pictures of every badge style on the desktop's arrow, I-beam and pointing
// hand, for a handful of languages, right- and left-handed, at two pixels
// per point, each decorated exactly as the cursors the program installs;
// and one contact sheet of them all, previews.png, with labelled rows.
// Draws text, so it must run on the main thread.
class CursorPreviews {
public:
    struct Outcome {
        bool succeeded;
        // What was written, or what went wrong.
        std::string message;
    };

    static Outcome write(const std::string& directory);
};
