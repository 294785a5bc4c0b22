// How a run begins: the router details dialog, an automatic start from the
// settings file, or the statistics window alone ("/STATS").
#pragma once

namespace vx {

// Loads the start-up form and shows it unless it went away while loading.
// Only one program monitors a set of files: when another already runs over
// them, it is brought to the front instead, nothing is shown here and false
// comes back (the program then ends). "/STATS" only reads, and always runs.
bool StartProgram();

}  // namespace vx
