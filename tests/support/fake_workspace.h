#pragma once

#include "platform/workspace.h"

namespace vesker::test {

// A desktop whose running and front applications the test sets.
class FakeWorkspace final : public platform::Workspace {
public:
    QList<platform::RunningApplication> running;
    QString front;

    QList<platform::RunningApplication> runningApplications() override { return running; }
    QString frontmostBundleId() override { return front; }
    QString iconName(const QString&) override { return {}; }

    void activate(const QString& bundleId)
    {
        front = bundleId;
        Q_EMIT frontmostChanged(bundleId);
    }
};

} // namespace vesker::test
