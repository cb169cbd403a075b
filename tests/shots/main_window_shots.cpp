#include "shots.h"

namespace vesker::shots {

void mainWindowShots() { }

} // namespace vesker::shots
