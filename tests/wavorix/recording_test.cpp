// Recording to a WAV file and playing it back through an output device.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "platform/storage/files.h"
#include "wavorix/recording.h"
#include "wavorix/state.h"
#include "fixture.h"

namespace wxtest {
namespace {

using platform::VbError;

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

TEST(WaveHeaderTest, TheFortyFourBytes) {
    wavorix::WaveFileHeader h;
    wavorix::MakeWaveHeader(h, 1000, 2, 44100, 8);  // the bits given only size the data
    const auto b = h.bytes();
    const std::array<std::uint8_t, 44> expected = {
        'R', 'I', 'F', 'F', 0xF4, 0x07, 0x00, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0x00, 0x00, 0x88, 0x58, 0x01, 0x00,
        2, 0, 16, 0, 'd', 'a', 't', 'a', 0xD0, 0x07, 0x00, 0x00};
    EXPECT_EQ(b, expected);
    wavorix::MakeWaveHeader(h, 44032, 1, 44100, 16);
    EXPECT_EQ(h.dataSize, 88064u);
    EXPECT_EQ(h.bitsPerSample, 16);
}

TEST(WaveHeaderTest, AnEmptyNameSwitchesRecordingOff) {
    wavorix::resetEngineState();
    wavorix::FileSettings fs;
    fs.recording = true;
    wavorix::PrepareFile(fs);
    EXPECT_FALSE(fs.recording);
    EXPECT_EQ(wavorix::engine().fileNumber, 0);
    // A limit beyond 32 bits: overflow.
    fs.fileName = "/tmp/never.wav";
    fs.recording = true;
    fs.maxRecordingTime = 100000;
    fs.sps = 50000;
    try {
        wavorix::PrepareFile(fs);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 6);
    }
    wavorix::resetEngineState();
}

class RecordingTest : public WavorixTest {
protected:
    void record(const std::filesystem::path& file, std::int32_t sps, std::int32_t maxSeconds, bool manual) {
        if (manual) {
            dev = addManualDevice(1);
        } else {
            dev = std::make_shared<platform::ScriptedWaveIn>("clocked", 1);
            dev->setGenerator([](std::uint64_t frame, int) { return static_cast<std::int16_t>(frame % 1000); });
            platform::addWaveInDevice(dev);
        }
        create();
        programSettings(1);
        put(d::SPS, sps);
        put(d::FileName, file.string());
        put(d::MaxRecordingTime, maxSeconds);
        put(d::Recording, true);
        call(d::Init);
        call(d::Start);
    }
    void arrive(std::int16_t value) {
        dev->push(block(value));
        loop().doEvents();
    }
    std::shared_ptr<platform::ScriptedWaveIn> dev;
};

TEST_F(RecordingTest, TheByteLimitEndsTheFileWithItsHeader) {
    const auto file = tempPath("limit.wav");
    record(file, 44100, 1, false);  // limit 1 x 44100 x 2 x 1 + 44 = 88244 bytes
    advance(1100);
    ASSERT_EQ(sink.of(ev::DoneRecordig).size(), 1u);
    const auto b = fileBytes(file);
    ASSERT_EQ(b.size(), 44u + 43 * 2048);  // every block whose last byte stays below the limit
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), 43u * 2048 + 36);
    EXPECT_EQ(le32(b, 24), 44100u);
    EXPECT_EQ(le32(b, 40), 43u * 2048);
    // The first block is the device's first 1024 frames.
    EXPECT_EQ(b[44 + 2 * 999], 999 & 0xFF);
    EXPECT_EQ(b[44 + 2 * 1000], 0);
    // Nothing is written after the limit, and Reset adds nothing.
    advance(200);
    call(d::Reset);
    EXPECT_EQ(fileBytes(file).size(), b.size());
    EXPECT_EQ(sink.of(ev::DoneRecordig).size(), 1u);
    EXPECT_EQ(get(d::FilePointer).toInt32(), static_cast<std::int32_t>(b.size()));
}

TEST_F(RecordingTest, ResetFinishesTheFile) {
    const auto file = tempPath("reset.wav");
    record(file, 50000, 0, true);
    arrive(1);
    arrive(2);
    arrive(3);
    EXPECT_TRUE(sink.of(ev::DoneRecordig).empty());
    call(d::Pause);
    call(d::Reset);
    EXPECT_EQ(sink.of(ev::DoneRecordig).size(), 1u);
    const auto b = fileBytes(file);
    ASSERT_EQ(b.size(), 44u + 3 * 2048);
    EXPECT_EQ(le32(b, 40), 3u * 2048);
    EXPECT_EQ(b[44], 1);
    EXPECT_EQ(b[44 + 2048], 2);
    EXPECT_EQ(b[44 + 4096], 3);
    EXPECT_EQ(get(d::FilePointer).toInt32(), 44 + 3 * 2048);
}

TEST_F(RecordingTest, BuffersReturnedByResetWhileRunningAddNoBlock) {
    // Reset takes back the queued buffer while the engine still runs and its window procedure is
    // in place: it holds nothing new, so it is neither written nor analysed.
    const auto file = tempPath("running.wav");
    record(file, 50000, 0, true);
    arrive(1);
    arrive(2);
    call(d::Reset);
    const auto b = fileBytes(file);
    ASSERT_EQ(b.size(), 44u + 2 * 2048);
    EXPECT_EQ(le32(b, 40), 2u * 2048);
    EXPECT_EQ(b[44 + 2048], 2);
    EXPECT_EQ(sink.of(ev::Complete).size(), 2u);
    EXPECT_EQ(sink.of(ev::DoneRecordig).size(), 1u);
    EXPECT_EQ(get(d::MissedCount).toInt32(), 0);
}

TEST_F(RecordingTest, A_PartlyFilledBufferIsCutAtItsLastSample) {
    const auto file = tempPath("part.wav");
    record(file, 50000, 0, true);
    arrive(1);
    dev->push(block(9, 300));  // Reset finds 300 frames in the queued buffer
    loop().doEvents();
    call(d::Reset);
    const auto b = fileBytes(file);
    ASSERT_EQ(b.size(), 44u + 2048 + 600);
    EXPECT_EQ(le32(b, 40), 2048u + 600);
    EXPECT_EQ(b[44 + 2048], 9);
    EXPECT_EQ(b[44 + 2048 + 598], 9);
    EXPECT_EQ(sink.of(ev::Complete).size(), 1u);
}

// Captures the generator's frames at the program's settings with the timed analysis, then stops
// by Reset or by destroying the control; the file must hold every frame from Start on, in order,
// and nothing else.
class ExactRecordingTest : public RecordingTest {
protected:
    static std::int16_t sample(std::uint64_t frame) { return static_cast<std::int16_t>((frame * 7) % 60001 - 30000); }

    void startProgramCapture(const std::filesystem::path& file) {
        dev = std::make_shared<platform::ScriptedWaveIn>("clocked", 1);
        dev->setGenerator([](std::uint64_t frame, int) { return sample(frame); });
        platform::addWaveInDevice(dev);
        create();
        programSettings();  // 50000/s, 1024 samples, 7 buffers, LoopMethod 1, FFT
        put(d::FileName, file.string());
        put(d::Recording, true);
        call(d::Init);
        call(d::Start);
    }

    void expectExactly(const std::filesystem::path& file, std::size_t frames) {
        const auto b = fileBytes(file);
        ASSERT_EQ(b.size(), 44 + 2 * frames);
        EXPECT_EQ(le32(b, 4), 2 * frames + 36);
        EXPECT_EQ(le32(b, 40), 2 * frames);
        for (std::size_t i = 0; i < frames; ++i) {
            const auto v = static_cast<std::int16_t>(b[44 + 2 * i] | (b[45 + 2 * i] << 8));
            ASSERT_EQ(v, sample(i)) << "frame " << i;
        }
    }
};

TEST_F(ExactRecordingTest, ResetWhileRunningKeepsExactlyWhatWasCaptured) {
    const auto file = tempPath("exact.wav");
    startProgramCapture(file);
    advance(1000);  // 50000 frames: 48 blocks and 848 frames of the 49th
    const auto completes = sink.of(ev::Complete).size();
    EXPECT_GT(completes, 40u);
    call(d::Reset);
    expectExactly(file, 50000);
    EXPECT_EQ(sink.of(ev::Complete).size(), completes);
    EXPECT_EQ(get(d::MissedCount).toInt32(), 0);
    EXPECT_EQ(sink.of(ev::DoneRecordig).size(), 1u);
}

TEST_F(ExactRecordingTest, DestroyingTheRunningControlKeepsExactlyWhatWasCaptured) {
    const auto file = tempPath("destroyed.wav");
    startProgramCapture(file);
    advance(500);  // 25000 frames: 24 blocks and 424 frames
    const auto completes = sink.of(ev::Complete).size();
    vorix.reset();
    expectExactly(file, 25000);
    EXPECT_EQ(sink.of(ev::Complete).size(), completes);
    EXPECT_EQ(sink.of(ev::DoneRecordig).size(), 1u);
}

TEST_F(RecordingTest, A_RecordingWithoutBlocksGetsNoHeader) {
    const auto file = tempPath("empty.wav");
    dev = addManualDevice(1);
    create();
    programSettings(1);
    put(d::FileName, file.string());
    put(d::Recording, true);
    call(d::Init);
    call(d::Reset);  // never started: nothing was written
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
    EXPECT_TRUE(sink.of(ev::DoneRecordig).empty());
}

TEST_F(RecordingTest, AnUnwritableFolderFailsInit) {
    addManualDevice(1);
    create();
    programSettings(1);
    put(d::FileName, "/nonexistent-folder/x.wav");
    put(d::Recording, true);
    try {
        call(d::Init);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 76);
        EXPECT_EQ(e.description(), "Path not found\r\nFunction InitX in clsVorix");
    }
    call(d::Reset);
    EXPECT_EQ(get(d::Status).toInt32(), 0);
}

TEST_F(RecordingTest, A_FullDiskLeavesAValidFileUpToTheLastBlock) {
    const auto file = tempPath("full.wav");
    record(file, 50000, 0, true);
    arrive(1);
    arrive(2);
    // The file may grow by less than one block from here.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 44 + 2 * 2048 + 100;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    arrive(3);
    ::setrlimit(RLIMIT_FSIZE, &saved);

    auto& st = wavorix::engine();
    EXPECT_EQ(st.lastError, "Disk full\r\nFunction WriteBuffer in Wavorix");
    EXPECT_EQ(st.fileNumber, 0);
    EXPECT_EQ(st.procError, -9999);  // capture stops
    const auto b = fileBytes(file);
    ASSERT_EQ(b.size(), 44u + 2 * 2048);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 40), 2u * 2048);
    EXPECT_EQ(b[44 + 2048], 2);
    call(d::Reset);
    EXPECT_EQ(fileBytes(file).size(), b.size());
}

TEST_F(RecordingTest, A_RecordingPlaysBackThroughAnOutputDevice) {
    const auto file = tempPath("play.wav");
    record(file, 50000, 0, true);
    for (std::int16_t v = 1; v <= 5; ++v) arrive(static_cast<std::int16_t>(v * 100));
    call(d::Pause);
    call(d::Reset);
    vorix.reset();
    sink.events.clear();

    auto out = std::make_shared<platform::VirtualWaveOut>("speaker", 2);
    platform::addWaveOutDevice(out);
    newForm();
    create();
    programSettings(3);
    put(d::FileName, file.string());
    call(d::Init, {Variant(2)});
    EXPECT_TRUE(out->isOpen());
    EXPECT_EQ(sink.of(ev::WaveDeviceOpened).size(), 1u);
    call(d::Start);
    advance(400);

    // Three primed blocks of silence, then the five recorded blocks.
    const auto played = out->playedSamples();
    ASSERT_EQ(played.size(), 8u * 1024);
    for (std::size_t i = 0; i < 3 * 1024; ++i) ASSERT_EQ(played[i], 0) << i;
    for (std::size_t b = 0; b < 5; ++b) EXPECT_EQ(played[(3 + b) * 1024 + 7], static_cast<std::int16_t>((b + 1) * 100));
    // Each played block of the file was analysed; the end of the file reset the control.
    const auto complete = sink.of(ev::Complete);
    ASSERT_EQ(complete.size(), 5u);
    EXPECT_EQ(get(d::Status).toInt32(), 0);
    EXPECT_FALSE(out->isOpen());
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 500);

    // A pipe named as the recording is refused at once, with no device left open.
    const auto pipe = tempPath("pipe.wav");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    put(d::FileName, pipe.string());
    try {
        call(d::Init, {Variant(2)});
        ADD_FAILURE() << "a pipe was opened as the recording";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 75);
    }
    call(d::Reset);
    EXPECT_FALSE(out->isOpen());
}

}  // namespace
}  // namespace wxtest
