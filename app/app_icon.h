// The application icon, drawn for each size the desktop asks for.
//
// Thread-safety: UI thread only.
#pragma once

#include <QIcon>

namespace tabrelium {

QIcon AppIcon();

}  // namespace tabrelium
