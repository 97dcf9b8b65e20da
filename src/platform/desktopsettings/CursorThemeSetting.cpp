#include "platform/desktopsettings/CursorThemeSetting.h"

#include "platform/desktopsettings/GnomeCursorThemeSetting.h"

std::unique_ptr<CursorThemeSetting> CursorThemeSetting::forDesktop()
{
    // GNOME, Cinnamon, Budgie, Pantheon and others read the GNOME interface
    // schema; where it is not installed there is nothing to point at.
    if (!GnomeCursorThemeSetting::available())
        return nullptr;
    return std::make_unique<GnomeCursorThemeSetting>();
}
