#include "support/temp_env.h"

namespace vesker::test {

QString g_testHome;

QString testHome()
{
    return g_testHome;
}

} // namespace vesker::test
