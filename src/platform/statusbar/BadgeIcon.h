#pragma once

#include "platform/statusbar/StatusBadge.h"

#include <QIcon>
#include <QImage>

#include <optional>

// The status item's icon: the badge drawn to fill a square of any size the
// tray asks for. Without a badge (no style, or before the first refresh) it
// is a neutral grey disc with the program's initials.
namespace BadgeIcon {

QIcon icon(const std::optional<StatusBadge>& badge);
QImage image(const std::optional<StatusBadge>& badge, int pixels);

}
