#include "emulator/InputBuffer.h"

#include <deque>

namespace emulator
{
    namespace
    {
        /** How long the pedal is busy with a message once it has taken it. */
        double busyAfter (const juce::MidiMessage& m, double eraseTimeMs, double writeTimeMs)
        {
            const auto* b = m.getRawData();
            const bool update = m.getRawDataSize() >= 8 && b[0] == 0xF0 && b[1] == 0x00 && b[2] == 0x4B && b[3] == 0x6E && b[4] == 0x00;

            if (update && b[6] == 0x51)
                return eraseTimeMs;

            if (update && b[6] == 0x52)
                return writeTimeMs;

            return 0;
        }
    }

    class InputBuffer::Port final : public midi::OutputPort
    {
    public:
        Port (std::unique_ptr<midi::OutputPort> device, InputBuffer& owner)
            : scheduler (owner.scheduler), capacity (owner.capacity), stats (owner.stats), state (std::make_shared<State>())
        {
            state->device = std::move (device);
            state->eraseTimeMs = owner.eraseTimeMs;
            state->writeTimeMs = owner.writeTimeMs;
        }

        ~Port() override
        {
            const std::lock_guard<std::mutex> l (state->lock);
            state->device = nullptr; // a delivery still scheduled finds nothing to send to
            state->waiting.clear();
        }

        // The computer's input thread.
        void sendMessageNow (const juce::MidiMessage& message) override
        {
            const auto now = scheduler.now();
            bool lost = false;
            int waiting = 0;
            double startDeliveryIn = -1;

            {
                const std::lock_guard<std::mutex> l (state->lock);

                if ((int)state->waiting.size() >= capacity)
                {
                    lost = true;
                }
                else
                {
                    state->waiting.push_back (message);
                    waiting = (int)state->waiting.size();

                    if (! state->delivering)
                    {
                        state->delivering = true;
                        startDeliveryIn = juce::jmax (0.0, state->busyUntil - now);
                    }
                }
            }

            {
                const std::lock_guard<std::mutex> l (stats->lock);
                stats->arrivals.push_back ({ now, juce::Array<juce::uint8> (message.getRawData(), message.getRawDataSize()) });
                stats->lost += lost ? 1 : 0;
                stats->peak = juce::jmax (stats->peak, waiting);
            }

            if (startDeliveryIn >= 0)
                deliverLater (scheduler, state, startDeliveryIn);
        }

    private:
        struct State
        {
            std::mutex lock;
            std::unique_ptr<midi::OutputPort> device;
            std::deque<juce::MidiMessage> waiting;
            bool delivering = false; // a delivery is scheduled
            double busyUntil = 0;    // when the pedal can take the next message
            double eraseTimeMs = 0, writeTimeMs = 0;
        };

        static void deliverLater (virtualmidi::Scheduler& s, std::weak_ptr<State> weak, double delay)
        {
            s.schedule (delay, [&s, weak] { deliver (s, weak); });
        }

        // The scheduler's thread: takes the oldest message on to the device and, while more
        // wait, comes back once the pedal is done with it.
        static void deliver (virtualmidi::Scheduler& s, const std::weak_ptr<State>& weak)
        {
            const auto st = weak.lock();

            if (st == nullptr)
                return;

            const std::lock_guard<std::mutex> l (st->lock);

            if (st->device == nullptr || st->waiting.empty())
            {
                st->delivering = false;
                return;
            }

            const auto message = st->waiting.front();
            st->waiting.pop_front();

            // Under the lock, so that the port cannot go while it sends; the time is taken
            // once the pedal has the message, so the next one comes at least the busy time later.
            st->device->sendMessageNow (message);
            st->busyUntil = s.now() + busyAfter (message, st->eraseTimeMs, st->writeTimeMs);

            if (st->waiting.empty())
                st->delivering = false;
            else
                deliverLater (s, weak, st->busyUntil - s.now());
        }

        virtualmidi::Scheduler& scheduler;
        const int capacity;
        std::shared_ptr<Stats> stats;
        std::shared_ptr<State> state;
    };

    InputBuffer::InputBuffer (midi::PortSystem& d, virtualmidi::Scheduler& s, int c, const PedalConfig& pace)
        : devices (d), scheduler (s), capacity (juce::jmax (1, c)), eraseTimeMs (pace.eraseTimeMs),
          writeTimeMs (pace.minDataGapMs), stats (std::make_shared<Stats>())
    {
    }

    juce::Array<midi::PortInfo> InputBuffer::getInputs() { return devices.getInputs(); }
    juce::Array<midi::PortInfo> InputBuffer::getOutputs() { return devices.getOutputs(); }

    std::unique_ptr<midi::InputPort> InputBuffer::openInput (const juce::String& identifier, juce::MidiInputCallback* callback)
    {
        return devices.openInput (identifier, callback);
    }

    std::unique_ptr<midi::OutputPort> InputBuffer::openOutput (const juce::String& identifier)
    {
        if (auto device = devices.openOutput (identifier))
            return std::make_unique<Port> (std::move (device), *this);

        return nullptr;
    }

    std::vector<PedalEmulator::Arrival> InputBuffer::arrivals() const
    {
        const std::lock_guard<std::mutex> l (stats->lock);
        return stats->arrivals;
    }

    int InputBuffer::lost() const
    {
        const std::lock_guard<std::mutex> l (stats->lock);
        return stats->lost;
    }

    int InputBuffer::peak() const
    {
        const std::lock_guard<std::mutex> l (stats->lock);
        return stats->peak;
    }
}
