#include "platform/quit_drained_pool.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThreadPool>

#include <vector>

namespace vesker::platform {

namespace {

QMutex g_poolsLock;
// Never destroyed: the pools live as long as the process, and stay reachable from here.
auto* const g_pools = new std::vector<QThreadPool*>;

void drainPools()
{
    const QMutexLocker locker(&g_poolsLock);
    for (QThreadPool* pool : *g_pools)
        pool->waitForDone();
}

} // namespace

QThreadPool* makeQuitDrainedPool(const char* name, int threads)
{
    auto* pool = new QThreadPool;
    pool->setObjectName(QString::fromLatin1(name));
    pool->setMaxThreadCount(threads);
    const QMutexLocker locker(&g_poolsLock);
    g_pools->push_back(pool);
    // The routines run once per application object; a pool made under a later one asks again.
    qAddPostRoutine(&drainPools);
    return pool;
}

} // namespace vesker::platform
