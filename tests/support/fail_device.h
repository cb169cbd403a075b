#pragma once

#include "platform/atomic_file.h"

#include <QIODevice>

#include <algorithm>
#include <memory>

namespace vesker::test {

// Lets `budget` bytes through to the file it wraps, then fails every write as a full disk does.
class FailDevice : public QIODevice {
public:
    static constexpr auto kError = "No space left on device";

    FailDevice(QIODevice& file, qint64 budget)
        : m_file(file)
        , m_budget(budget)
    {
        open(WriteOnly | Unbuffered);
    }

    // For a writer's setWriteDevice: every write it makes fails after `budget` bytes.
    static platform::WriteDevice after(qint64 budget)
    {
        return [budget](QIODevice& file) { return std::make_unique<FailDevice>(file, budget); };
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        const qint64 n = m_budget > 0 ? m_file.write(data, std::min(size, m_budget)) : -1;
        m_budget -= std::max<qint64>(n, 0);
        if (n < 0)
            setErrorString(QString::fromLatin1(kError));
        return n;
    }

private:
    QIODevice& m_file;
    qint64 m_budget;
};

} // namespace vesker::test
