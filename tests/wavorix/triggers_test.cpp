// Frequency triggers: bands snapped to spectrum bins at Init, tested bin by bin after each
// analysed block, and the events the control raises from them.
#include <gtest/gtest.h>

#include <cmath>

#include "wavorix/clsvorix.h"
#include "wavorix/state.h"
#include "fixture.h"

namespace wxtest {
namespace {

using platform::VbError;
using wavorix::TriggerRecord;

TEST(TriggerBinsTest, BandsSnapToTheBinsOfTheSpectrum) {
    std::vector<TriggerRecord> table(4);
    table[1] = {100, 200, 0, 0, 0};
    table[2] = {2 * 48.828125, 2 * 48.828125, 0, 0, 0};  // exactly on an edge
    table[3] = {300, 100, 0, 0, 0};                      // upside down
    wavorix::InitTriggers(table, 50000, 1024);
    EXPECT_EQ(table[1].firstBin, 2);
    EXPECT_EQ(table[1].lastBin, 4);
    EXPECT_EQ(table[1].F1, 97.65625);
    EXPECT_LT(table[1].F2, 244.140625);
    EXPECT_NEAR(table[1].F2, 244.140625, 1e-9);
    EXPECT_EQ(table[2].firstBin, 2);
    EXPECT_GT(table[3].firstBin, table[3].lastBin);
    // Record 0 is never touched.
    EXPECT_EQ(table[0].firstBin, 0);
    try {
        wavorix::InitTriggers(table, 50000, 0);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 11);
        EXPECT_EQ(e.description(), "Division by zero\r\nFunction InitTriggers in Wavorix");
    }
}

class TriggerTest : public WavorixTest {
protected:
    void start() {
        dev = addManualDevice(1);
        create();
        programSettings(1);
    }
    void open() {
        call(d::Init);
        call(d::Start);
    }
    void arrive(const std::vector<std::int16_t>& samples) {
        dev->push(samples);
        loop().doEvents();
    }
    static std::vector<std::int16_t> sineOnBin(int bin, double amplitude) {
        std::vector<std::int16_t> w(1024);
        for (std::size_t i = 0; i < w.size(); ++i)
            w[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * M_PI * bin * i / 1024.0)));
        return w;
    }
    wavorix::clsVorix& engineObject() { return dynamic_cast<wavorix::Vorix&>(*vorix).engineObject(); }
    std::shared_ptr<platform::ScriptedWaveIn> dev;
};

TEST_F(TriggerTest, AddTriggerGrowsTheTableWithZeroBands) {
    start();
    EXPECT_EQ(call(d::AddTrigger, {Variant(3), Variant(100.0), Variant(200.0), Variant(2.5f)}).toInt32(), 0);
    const auto& t = engineObject().triggers();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[1].F2, 0.0);
    EXPECT_EQ(t[2].level, 0.0);
    EXPECT_EQ(t[3].level, 800.0);
    try {
        call(d::AddTrigger, {Variant(-1), Variant(1.0), Variant(2.0), Variant(1.0f)});
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 9);
        EXPECT_EQ(e.description(), "Subscript out of range\r\nFunction AddTrigger in clsVorix");
        EXPECT_EQ(e.source(), "Wavorix");
    }
    EXPECT_EQ(wavorix::engine().lastError, "Subscript out of range");
    // Zero bands test bin 0 against level 0 and fire on every loud block.
    open();
    arrive(sineOnBin(3, 10000));
    const auto fired = sink.of(ev::FrequencyTrigger);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].args[0].toInt32(), 3);  // bands 1 and 2 on bin 0, band 3 on bin 3
    EXPECT_EQ(fired[0].args[1].int32Array(), (std::vector<std::int32_t>{1, 2, 3}));
}

TEST_F(TriggerTest, EachBinOverItsLevelIsListedAndTheOffEventComesOnce) {
    start();
    call(d::AddTrigger, {Variant(1), Variant(100.0), Variant(200.0), Variant(10.0f)});  // bins 2..4
    call(d::AddTrigger, {Variant(2), Variant(140.0), Variant(150.0), Variant(1.0f)});   // bins 2..3
    call(d::AddTrigger, {Variant(3), Variant(100.0), Variant(250.0), Variant(0.0f)});   // bins 2..5, level 0
    open();
    EXPECT_EQ(wavorix::engine().triggerCount, 3);
    arrive(sineOnBin(3, 10000));
    auto fired = sink.of(ev::FrequencyTrigger);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].args[0].toInt32(), 6);
    EXPECT_EQ(fired[0].args[1].int32Array(), (std::vector<std::int32_t>{1, 2, 3, 3, 3, 3}));

    // Quiet blocks are below the control's level: "triggersoff", one event for the change.
    arrive(block(0));
    arrive(block(0));
    EXPECT_EQ(sink.of(ev::FrequencyTriggersOff).size(), 1u);
    // Loud on another bin: only the band with level 0 is listed.
    arrive(sineOnBin(100, 10000));
    fired = sink.of(ev::FrequencyTrigger);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[1].args[1].int32Array(), (std::vector<std::int32_t>{3, 3, 3, 3}));
    arrive(block(0));
    EXPECT_EQ(sink.of(ev::FrequencyTriggersOff).size(), 2u);
}

TEST_F(TriggerTest, TriggersFindingNothingCountAsOff) {
    start();
    call(d::AddTrigger, {Variant(1), Variant(100.0), Variant(200.0), Variant(10.0f)});
    open();
    arrive(sineOnBin(3, 10000));
    EXPECT_EQ(sink.of(ev::FrequencyTrigger).size(), 1u);
    // Loud, so "triggers" is sent, but no bin of the band is over its level.
    arrive(sineOnBin(100, 10000));
    arrive(sineOnBin(100, 10000));
    EXPECT_EQ(sink.of(ev::FrequencyTrigger).size(), 1u);
    EXPECT_EQ(sink.of(ev::FrequencyTriggersOff).size(), 1u);
}

TEST_F(TriggerTest, WithoutBandsNoKeywordIsSent) {
    start();
    open();
    int texts = 0;
    struct Watch : platform::WindowRegistry::Observer {
        int* n;
        void messageSent(platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM) override {
            if (m == platform::WM_SETTEXT) ++*n;
        }
    } watch;
    watch.n = &texts;
    windows().addObserver(&watch);
    arrive(sineOnBin(3, 10000));
    windows().removeObserver(&watch);
    EXPECT_EQ(texts, 0);
    EXPECT_EQ(sink.of(ev::Complete).size(), 1u);
}

TEST_F(TriggerTest, BandsAddedAfterInitWaitForTheNextInit) {
    start();
    open();
    call(d::AddTrigger, {Variant(1), Variant(100.0), Variant(200.0), Variant(1.0f)});
    arrive(sineOnBin(3, 10000));
    EXPECT_TRUE(sink.of(ev::FrequencyTrigger).empty());  // the count was taken at Init
    std::vector<std::int32_t> list;
    // Its bins are still 0: only bin 0 is tested.
    EXPECT_EQ(engineObject().GetTriggers(list), 0);
    call(d::Reset);
    open();
    arrive(sineOnBin(3, 10000));
    EXPECT_EQ(sink.of(ev::FrequencyTrigger).size(), 1u);
}

TEST_F(TriggerTest, ABandBeyondTheSpectrumFails) {
    start();
    call(d::AddTrigger, {Variant(1), Variant(20000.0), Variant(30000.0), Variant(1.0f)});
    open();
    // In the capture cycle the failure ends capture instead of escaping.
    arrive(sineOnBin(3, 10000));
    EXPECT_EQ(wavorix::engine().procError, -9999);
    EXPECT_FALSE(wavorix::engine().busy);
    EXPECT_EQ(wavorix::engine().lastError, "Subscript out of range\r\nFunction GetTriggers in clsVorix"
                                           "\r\nFunction Analyze in Wavorix");
    std::vector<std::int32_t> list;
    try {
        engineObject().GetTriggers(list);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 9);
        EXPECT_EQ(e.description(), "Subscript out of range\r\nFunction GetTriggers in clsVorix");
    }
}

}  // namespace
}  // namespace wxtest
