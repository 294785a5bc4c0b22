// How a run begins: the router details dialog, an automatic start from the
// settings file, or the statistics window alone ("/STATS").
#pragma once

namespace vx {

// Loads the start-up form and shows it unless it went away while loading.
void StartProgram();

}  // namespace vx
