#pragma once

#include <QString>

namespace vesker::test {

// The private HOME of this test process, set up by the test main before Qt starts: the
// standard settings, the Pictures folder and every XDG folder lie beneath it.
QString testHome();

} // namespace vesker::test
