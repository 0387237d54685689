// The marker left in the data folder when the host unloads the plug-in while a
// show may still be running: which show, how many singers were waiting, how many
// performances it recorded, and when.
#pragma once

#include <string>

#include "kit/log.h"

namespace qk::karaoke {

// Writes "pending-end-show.json" into the data folder the page set (nothing when
// it set none, when its settings switch the marker off, or when the newest show
// has nobody waiting and no performances).
void writeEndShowMarker(const std::string& dataDir, const LogFile& log);

}  // namespace qk::karaoke
