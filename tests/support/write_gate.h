#pragma once

#include "platform/atomic_file.h"

#include <QIODevice>
#include <QMutex>
#include <QWaitCondition>

#include <memory>

namespace vesker::test {

// Holds every write that passes through its device before its first byte, as a stalled disk
// does, until the test lets it through: what a program does while a write is under way can
// then be seen. Writes are let through in the order they came.
class WriteGate {
public:
    WriteGate() = default;
    // A write still held would otherwise wait for ever.
    ~WriteGate() { open(); }
    WriteGate(const WriteGate&) = delete;
    WriteGate& operator=(const WriteGate&) = delete;

    // For a writer's setWriteDevice. The device keeps what it needs, so it may outlive the gate.
    platform::WriteDevice device() const
    {
        return [state = m_state](
                   QIODevice& file) { return std::make_unique<HeldDevice>(file, state); };
    }
    // Lets one more write through.
    void letOneThrough()
    {
        const QMutexLocker locker(&m_state->lock);
        ++m_state->permits;
        m_state->changed.wakeAll();
    }
    // Lets every write through from now on.
    void open()
    {
        const QMutexLocker locker(&m_state->lock);
        m_state->open = true;
        m_state->changed.wakeAll();
    }
    // Writes waiting at the gate, and writes it has let through.
    int held() const
    {
        const QMutexLocker locker(&m_state->lock);
        return m_state->held;
    }
    int passed() const
    {
        const QMutexLocker locker(&m_state->lock);
        return m_state->passed;
    }

private:
    struct State {
        QMutex lock;
        QWaitCondition changed;
        int permits = 0;
        int held = 0;
        int passed = 0;
        bool open = false;
    };

    class HeldDevice : public QIODevice {
    public:
        HeldDevice(QIODevice& file, std::shared_ptr<State> state)
            : m_file(file)
            , m_state(std::move(state))
        {
            QIODevice::open(WriteOnly | Unbuffered);
        }

    protected:
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char* data, qint64 size) override
        {
            if (!m_through) {
                const QMutexLocker locker(&m_state->lock);
                ++m_state->held;
                while (!m_state->open && m_state->permits == 0)
                    m_state->changed.wait(&m_state->lock);
                if (!m_state->open)
                    --m_state->permits;
                --m_state->held;
                ++m_state->passed;
                m_through = true;
            }
            return m_file.write(data, size);
        }

    private:
        QIODevice& m_file;
        std::shared_ptr<State> m_state;
        bool m_through = false;
    };

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace vesker::test
