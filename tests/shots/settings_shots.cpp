#include "shots.h"

namespace vesker::shots {

void settingsShots() { }

} // namespace vesker::shots
