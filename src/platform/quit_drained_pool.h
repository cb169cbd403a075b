#pragma once

class QThreadPool;

namespace vesker::platform {

// A thread pool of its own for one kind of work, alive for the whole run. When the application
// object goes, the pool's work (an edit being written included) finishes first: a worker still
// decoding while the process tears down its libraries and image plugins would crash the quit.
QThreadPool* makeQuitDrainedPool(const char* name, int threads);

} // namespace vesker::platform
