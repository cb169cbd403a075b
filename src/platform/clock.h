#pragma once

#include <QDateTime>

namespace vesker::platform {

// Every rule that depends on the time of day (cleanup by age, grants, file names) reads it
// from a Clock, so that tests can set the time instead of waiting for it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    static const Clock& system();
};

} // namespace vesker::platform
