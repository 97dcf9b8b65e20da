#pragma once

#include "platform/input/InputMethodWatcher.h"
#include "platform/input/XkbLayoutRegistry.h"

#include <QString>

#include <vector>

// The keyboard layout KWin has selected, from its org.kde.keyboard service
// on the session bus (/Layouts, org.kde.KeyboardLayouts), which KWin offers
// alone as well as in Plasma: the list of layouts and the index of the
// current one are read at start, the signal layoutChanged(u) carries every
// switch, and layoutListChanged() a new list. A layout is the source
// "xkb:" and its layout ("xkb:de(nodeadkeys)", found from the name KWin
// gives it), typing the layout's languages.
class KdeLayoutWatcher : public InputMethodWatcher {
    Q_OBJECT

public:
    std::string frameworkName() const override { return "KWin"; }
    std::string followedName() const override { return "its keyboard layout"; }
    void start() override;

private slots:
    void onLayoutChanged(uint index);
    void readLayouts();
    void onGone();

private:
    void report();

    std::vector<InputSource> layouts_;
    std::optional<uint> current_;
    bool answering_ = false;
    XkbLayoutRegistry registry_;
};
