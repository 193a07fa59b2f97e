// Which display names the configuration file gives back as they were
// saved. A name is written unquoted into an "F01=name,column,rows" line, and
// the reader cuts that line at commas, at "//", turns full-width "，＝．～｜"
// into ASCII and strips one pair of enclosing double quotes: a name carrying
// any of these comes back changed or ends the field list, silently taking
// every later field with it. A character without a GBK form would come
// back as "?".
//
// The grid's name box refuses what would not survive, so the worker hears a
// beep instead of losing fields at the next start.
//
// Thread-safety: a pure function.
#pragma once

#include <QString>

namespace tabrelium {

// True when `name`, as the grid keeps it (white space trimmed from its
// ends, at most 10 GBK bytes), reads back unchanged after a save and a
// load of the configuration file. An empty name (no field) survives.
bool SurvivesSaveAndLoad(const QString& name);

}  // namespace tabrelium
