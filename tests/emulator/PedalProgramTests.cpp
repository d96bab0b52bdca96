#include "emulator/PedalOptions.h"
#include "emulator/PedalReport.h"
#include "emulator/Sha256.h"
#include "virtualmidi/TestRig.h"

#include <gtest/gtest.h>

using namespace testrig;
using emulator::PedalConfig;
using emulator::PedalEmulator;
using emulator::PedalOptions;
using emulator::PedalReport;

TEST (Sha256, MatchesTheStandardDigests)
{
    const std::pair<std::string, const char*> cases[] = {
        { "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855" },
        { "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad" },
        // 56 bytes: the length no longer fits the first block.
        { "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1" },
        { std::string (1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0" },
    };

    for (const auto& [text, digest] : cases)
        EXPECT_EQ (emulator::Sha256::hex (text.data(), text.size()), digest) << text.size() << " bytes";
}

TEST (PedalOptions, ReadTheCommandLineAndRefuseWhatMakesNoSense)
{
    struct Row
    {
        juce::StringArray args;
        std::function<void (const PedalOptions&)> check; // null: the line is refused
        const char* error = "";
    };

    const auto cwd = juce::File::getCurrentWorkingDirectory();
    const std::vector<Row> rows {
        { {}, [] (const PedalOptions& o) {
             EXPECT_EQ (o.fault, "healthy");
             EXPECT_TRUE (o.present);
             EXPECT_EQ (o.config.bootName, "Bramblet boot");
             EXPECT_EQ (o.config.nameAfterRestart, "Bramblet");
             EXPECT_EQ (o.config.restartMs, 1500);
             EXPECT_EQ (o.report, juce::File());
             EXPECT_LT (o.exitAfterRestart, 0);
             EXPECT_LT (o.timeout, 0);
             EXPECT_EQ (o.inputBuffer, 32);
             EXPECT_FALSE (o.help);
         } },
        { { "--fault", "never-comes-back" }, [] (const PedalOptions& o) { EXPECT_TRUE (o.config.faults.neverComesBack); } },
        { { "--fault=absent" }, [] (const PedalOptions& o) { EXPECT_FALSE (o.present); } },
        { { "--fault", "wrong-revision" }, [] (const PedalOptions& o) { EXPECT_EQ (o.config.faults.wrongRevision.value_or (0), 738); } },
        { { "--fault", "noisy" }, [] (const PedalOptions& o) { EXPECT_EQ (o.config.faults.noiseIntervalMs, 7); } },
        // A timing option wins over the fault's own setting, before it or after it.
        { { "--noise-interval-ms", "3", "--fault", "noisy" }, [] (const PedalOptions& o) { EXPECT_EQ (o.config.faults.noiseIntervalMs, 3); } },
        { { "--fault", "noisy", "--noise-interval-ms=0" }, [] (const PedalOptions& o) { EXPECT_EQ (o.config.faults.noiseIntervalMs, 0); } },
        { { "--restart-ms", "2500", "--identify-delay-ms", "250.5", "--revision-delay-ms", "20", "--min-data-gap-ms", "35", "--erase-time-ms", "0" }, [] (const PedalOptions& o) {
             EXPECT_EQ (o.config.restartMs, 2500);
             EXPECT_EQ (o.config.identifyDelayMs, 250.5);
             EXPECT_EQ (o.config.revisionDelayMs, 20);
             EXPECT_EQ (o.config.minDataGapMs, 35);
             EXPECT_EQ (o.config.eraseTimeMs, 0);
         } },
        { { "--name", "Bramblet boot 2", "--name-after-restart=Bramblet 2" }, [] (const PedalOptions& o) {
             EXPECT_EQ (o.config.bootName, "Bramblet boot 2");
             EXPECT_EQ (o.config.nameAfterRestart, "Bramblet 2");
         } },
        { { "--report", "out/report.txt", "--stream", "/tmp/stream.syx", "--exit-after-restart", "10", "--timeout", "600" }, [cwd] (const PedalOptions& o) {
             EXPECT_EQ (o.report, cwd.getChildFile ("out/report.txt"));
             EXPECT_EQ (o.stream, juce::File ("/tmp/stream.syx"));
             EXPECT_EQ (o.exitAfterRestart, 10);
             EXPECT_EQ (o.timeout, 600);
         } },
        { { "--input-buffer", "0" }, [] (const PedalOptions& o) { EXPECT_EQ (o.inputBuffer, 0); } },
        { { "--help" }, [] (const PedalOptions& o) { EXPECT_TRUE (o.help); } },
        { { "--fault", "broken" }, nullptr, "unknown fault \"broken\"" },
        { { "--fault" }, nullptr, "--fault needs a value" },
        { { "--restart-ms", "-5" }, nullptr, "--restart-ms needs a number" },
        { { "--timeout", "soon" }, nullptr, "--timeout needs a number" },
        { { "--timeout", "1.2.3" }, nullptr, "--timeout needs a number" },
        { { "--name", " " }, nullptr, "--name needs a port name" },
        { { "--input-buffer", "1.5" }, nullptr, "--input-buffer needs a whole number" },
        { { "--bogus" }, nullptr, "unknown option \"--bogus\"" },
        { { "healthy" }, nullptr, "unknown option \"healthy\"" },
    };

    for (const auto& row : rows)
    {
        PedalOptions options;
        juce::String error;
        const bool ok = PedalOptions::parse (row.args, options, error);
        SCOPED_TRACE (row.args.joinIntoString (" "));

        if (row.check != nullptr)
        {
            ASSERT_TRUE (ok) << error;
            row.check (options);
        }
        else
        {
            EXPECT_FALSE (ok);
            EXPECT_TRUE (error.startsWith (row.error)) << error;
        }
    }
}

namespace
{
    /** Plays the updater on the pedal's own port in virtual time. */
    struct Updater final : juce::MidiInputCallback
    {
        Updater (Rig& r, PedalEmulator& pedal) : rig (r)
        {
            in = rig.bus.openInput (juce::String (pedal.endpoint()), this);
            out = rig.bus.openOutput (juce::String (pedal.endpoint()));
            in->start();
        }

        void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage&) override {}

        void send (const Bytes& b, double thenWait = 0)
        {
            out->sendMessageNow (message (b));
            rig.clock.advance (thenWait);
        }

        Rig& rig;
        std::unique_ptr<midi::InputPort> in;
        std::unique_ptr<midi::OutputPort> out;
    };
}

TEST (PedalReport, CountsWhatArrivedTimesTheUpdateAndGivesTheVerdict)
{
    struct Row
    {
        const char* what;
        std::vector<double> gaps; // after each of begin, three data messages, end
        int skipped;              // index of a stream message not sent, or -1
        const char* verdict;
        double min, median, max;
        int revisionReported;
    };

    // The pedal takes three data messages and needs 30 ms between update messages.
    const std::vector<Row> rows {
        { "a well paced update", { 10, 40, 50, 30, 0 }, -1, "updated", 10, 35, 50, 739 },
        { "the end too soon", { 10, 40, 50, 20, 0 }, -1, "badly-paced", 10, 30, 50, 700 },
        { "a data message missing", { 10, 40, 50, 30, 0 }, 2, "incomplete", 10, 30, 90, 700 },
        { "no update at all", {}, -1, "no-update", 0, 0, 0, 700 },
    };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.what);
        Rig rig;
        PedalConfig config;
        config.dataMessages = 3;
        PedalEmulator pedal (rig.bus, rig.clock, config);
        Updater updater (rig, pedal);

        updater.send (bytes ("F0 00 4B 6E 00 1A 00 F7"), 5);
        updater.send (bytes ("90 3C 64"));
        Bytes sent;
        int bytesSent = 8 + 3;
        const auto stream = updateStream (3);

        for (size_t i = 0; i < row.gaps.size(); ++i)
        {
            if ((int)i == row.skipped)
            {
                rig.clock.advance (row.gaps[i]);
                continue;
            }

            updater.send (stream[i], row.gaps[i]);
            sent.addArray (stream[i]);
            bytesSent += stream[i].size();
        }

        // Answered after the restart, or in boot mode when there was none.
        rig.clock.advance (2000);
        auto after = std::make_unique<Updater> (rig, pedal);
        after->send (bytes ("F0 00 4B 6E 00 1A 03 F7"), 10);
        bytesSent += 8;
        after = nullptr;
        rig.bus.waitUntilIdle();

        const auto r = PedalReport::of (pedal, config);
        const int updateMessages = row.gaps.empty() ? 0 : (row.skipped >= 0 ? 4 : 5);
        EXPECT_EQ (r.verdict, row.verdict);
        EXPECT_EQ (r.messages, 3 + updateMessages);
        EXPECT_EQ (r.bytes, bytesSent);
        EXPECT_EQ (r.identifyRequests, 1);
        EXPECT_EQ (r.revisionQueries, 1);
        EXPECT_EQ (r.otherMessages, 1);
        EXPECT_EQ (r.updateMessages, updateMessages);
        EXPECT_EQ (r.gapMin, row.min);
        EXPECT_EQ (r.gapMedian, row.median);
        EXPECT_EQ (r.gapMax, row.max);
        EXPECT_EQ (r.revisionReported, row.revisionReported);
        EXPECT_EQ (r.streamSha256, emulator::Sha256::hex (sent.getRawDataPointer(), (size_t)sent.size()));
        EXPECT_EQ (r.firstError.isEmpty(), juce::String (row.verdict) == "updated" || juce::String (row.verdict) == "no-update") << r.firstError;
    }
}

TEST (PedalReport, IsOneKeyValueLineEachWithTheRevisionThePedalReports)
{
    Rig rig;
    PedalConfig config;
    config.faults.wrongRevision = 738;
    PedalEmulator pedal (rig.bus, rig.clock, config);

    auto r = PedalReport::of (pedal, config);
    r.fault = "wrong-revision";
    r.portsShown = { "Bramblet boot", "Bramblet" };
    r.endedBy = "SIGTERM";
    r.firstError = "two\nlines";

    const auto lines = juce::StringArray::fromLines (r.toText().trimEnd());
    juce::StringArray keys;

    for (const auto& l : lines)
    {
        ASSERT_TRUE (l.containsChar ('=')) << l;
        keys.add (l.upToFirstOccurrenceOf ("=", false, false));
    }

    const juce::StringArray expectedKeys { "fault", "verdict", "phase", "revision_installed", "revision_reported",
                                           "messages_received", "bytes_received", "identify_requests", "revision_queries",
                                           "update_messages", "other_messages", "data_messages", "stream_bytes", "stream_sha256",
                                           "gap_ms_min", "gap_ms_median", "gap_ms_max", "complete", "paced", "first_error",
                                           "input_buffer", "lost_messages", "buffer_peak", "ports_shown", "ended_by" };
    EXPECT_EQ (keys, expectedKeys);
    EXPECT_TRUE (lines.contains ("revision_installed=700"));
    EXPECT_TRUE (lines.contains ("revision_reported=738"));
    EXPECT_TRUE (lines.contains ("phase=boot"));
    EXPECT_TRUE (lines.contains ("verdict=no-update"));
    EXPECT_TRUE (lines.contains ("ports_shown=Bramblet boot;Bramblet"));
    EXPECT_TRUE (lines.contains ("stream_sha256=e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));

    // Nobody plugged in: the report still says so in full.
    PedalReport absent;
    EXPECT_TRUE (absent.toText().contains ("\nphase=absent\n"));
    EXPECT_EQ (juce::StringArray::fromLines (absent.toText().trimEnd()).size(), expectedKeys.size());
}
