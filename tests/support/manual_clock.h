#pragma once

#include "platform/clock.h"

namespace vesker::test {

// A clock that stands still until the test moves it.
class ManualClock final : public platform::Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2025, 3, 1), QTime(9, 30), Qt::UTC))
        : m_now(std::move(start))
    { }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& t) { m_now = t; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};

} // namespace vesker::test
