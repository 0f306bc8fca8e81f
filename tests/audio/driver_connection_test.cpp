#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "audio/driver_connection.h"
#include "audio/test_driver_registry.h"

using testdriver::Config;
using testdriver::Registration;
using testdriver::ScopedDrivers;

namespace {

const char *kClsidGood = "{6B6F7276-0000-4000-8000-434F4E4E0001}";
const char *kClsidOther = "{6B6F7276-0000-4000-8000-434F4E4E0002}";
const char *kClsidBroken = "{6B6F7276-0000-4000-8000-434F4E4E0003}";

// Every case starts without a driver and with a connection list that has not
// read the registry yet, so it sees the drivers the case registers.
class DriverConnection : public ::testing::Test {
protected:
    void SetUp() override { resetDriverConnection(); }
    void TearDown() override {
        resetDriverConnection();
        DeleteFileA(log.c_str());
    }
    std::string logText() const { return testdriver::readFile(log); }
    size_t countOf(const std::string &needle) const {
        std::string text = logText();
        size_t n = 0;
        for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
        return n;
    }
    Config logged() const { return Config().set("Log", log); }

    std::string log = testdriver::tempPath("korvane_connection.log");
    ScopedDrivers drivers;
};

void expectNeutralAnswers() {
    long a = 77, b = 77, c = 77, d = 77;
    EXPECT_EQ(asioStart(), ASE_NotPresent);
    EXPECT_EQ(asioStop(), ASE_NotPresent);
    EXPECT_EQ(asioDisposeBuffers(), ASE_NotPresent);
    EXPECT_EQ(asioControlPanel(), ASE_NotPresent);
    EXPECT_EQ(asioOutputReady(), ASE_NotPresent);
    EXPECT_EQ(asioCanSampleRate(44100.0), ASE_NotPresent);
    EXPECT_EQ(asioSetSampleRate(44100.0), ASE_NotPresent);

    EXPECT_EQ(asioGetChannels(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    a = b = 77;
    EXPECT_EQ(asioGetLatencies(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    a = b = 77;
    EXPECT_EQ(asioGetBufferSize(&a, &b, &c, &d), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(d, 0);

    ASIOSampleRate rate = 12345.0;
    EXPECT_EQ(asioGetSampleRate(&rate), ASE_NotPresent);
    EXPECT_EQ(rate, 12345.0) << "the destination is left as it was";

    ASIOChannelInfo info;
    std::memset(&info, 0x55, sizeof(info));
    info.channel = 3;
    info.isInput = 1;
    EXPECT_EQ(asioGetChannelInfo(&info), ASE_NotPresent);
    EXPECT_EQ(info.channelGroup, -1);
    EXPECT_EQ(info.type, 0);
    EXPECT_STREQ(info.name, "None");

    int dummy;
    ASIOBufferInfo infos[3];
    for (ASIOBufferInfo &i : infos) i.buffers[0] = i.buffers[1] = &dummy;
    ASIOCallbacks callbacks = {};
    EXPECT_EQ(asioCreateBuffers(infos, 2, 256, &callbacks), ASE_NotPresent);
    EXPECT_EQ(infos[0].buffers[0], nullptr);
    EXPECT_EQ(infos[0].buffers[1], nullptr);
    EXPECT_EQ(infos[1].buffers[0], nullptr);
    EXPECT_EQ(infos[1].buffers[1], nullptr);
    EXPECT_EQ(infos[2].buffers[0], &dummy) << "only the given entries are touched";
}

}  // namespace

TEST_F(DriverConnection, WithoutDriverEveryOperationAnswersNotPresent) {
    ASSERT_EQ(currentAsioDriver(), nullptr);
    expectNeutralAnswers();
    DriverInfo info = {};
    info.driverVersion = 9;
    EXPECT_EQ(asioInit(&info), ASE_NotPresent);
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(info.driverVersion, 0);
    EXPECT_EQ(asioExit(), ASE_OK);
}

TEST_F(DriverConnection, LoadInitialiseForwardAndExit) {
    ASSERT_TRUE(drivers.add("KTA conn good", kClsidGood, "Connection good",
                            logged()
                                .set("Inputs", 3)
                                .set("Outputs", 5)
                                .set("PreferredSize", 128)
                                .set("Rates", std::string("44100,96000"))
                                .set("CurrentRate", 96000)
                                .set("SampleType", ASIOSTInt24LSB)
                                .set("DriverName", std::string("Good Name"))
                                .set("Version", 7)
                                .set("OutputReady", 1)));
    ASSERT_TRUE(loadAsioDriver("Connection good"));
    ASSERT_NE(currentAsioDriver(), nullptr);

    DriverInfo info = {};
    info.sysRef = reinterpret_cast<void *>(0x1234);
    ASSERT_EQ(asioInit(&info), ASE_OK);
    EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
    EXPECT_STREQ(info.name, "Good Name");
    EXPECT_EQ(info.driverVersion, 7);
    EXPECT_EQ(info.sysRef, reinterpret_cast<void *>(0x1234));
    EXPECT_NE(logText().find("init window"), std::string::npos) << "the system handle reaches init";

    long in = 0, out = 0, minSize = 0, maxSize = 0, preferred = 0, granularity = -1;
    EXPECT_EQ(asioGetChannels(&in, &out), ASE_OK);
    EXPECT_EQ(in, 3);
    EXPECT_EQ(out, 5);
    EXPECT_EQ(asioGetBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(preferred, 128);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(asioGetSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 96000.0);
    EXPECT_EQ(asioCanSampleRate(44100.0), ASE_OK);
    EXPECT_NE(asioCanSampleRate(48000.0), ASE_OK);
    EXPECT_EQ(asioSetSampleRate(44100.0), ASE_OK);
    EXPECT_EQ(asioGetSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);
    EXPECT_EQ(asioOutputReady(), ASE_OK);
    EXPECT_EQ(asioControlPanel(), ASE_OK);
    ASIOChannelInfo channel = {};
    channel.channel = 1;
    channel.isInput = 0;
    EXPECT_EQ(asioGetChannelInfo(&channel), ASE_OK);
    EXPECT_STREQ(channel.name, "Test Out 2");
    EXPECT_EQ(channel.type, ASIOSTInt24LSB);
    EXPECT_EQ(countOf("controlPanel"), 1u);

    EXPECT_EQ(asioExit(), ASE_OK);
    EXPECT_EQ(currentAsioDriver(), nullptr);
    EXPECT_EQ(countOf("release KTA conn good"), 1u);
    expectNeutralAnswers();
}

TEST_F(DriverConnection, UnknownNameKeepsTheCurrentDriver) {
    ASSERT_TRUE(drivers.add("KTA conn good", kClsidGood, "Connection good", logged()));
    ASSERT_TRUE(loadAsioDriver("Connection good"));
    IASIO *driver = currentAsioDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_FALSE(loadAsioDriver("No such driver"));
    EXPECT_FALSE(loadAsioDriver("connection good")) << "names match case-sensitively";
    EXPECT_FALSE(loadAsioDriver(nullptr));
    EXPECT_EQ(currentAsioDriver(), driver);
    EXPECT_EQ(countOf("create KTA conn good"), 1u);
    EXPECT_EQ(countOf("release"), 0u);
}

TEST_F(DriverConnection, FailedCreationReloadsThePreviousDriver) {
    ASSERT_TRUE(drivers.add("KTA conn good", kClsidGood, "Connection good", logged()));
    Registration broken;  // listed, but the server refuses to create it
    broken.name = "KTA conn broken";
    broken.clsid = kClsidBroken;
    broken.description = "Connection broken";
    broken.writeInstanceName = false;
    ASSERT_TRUE(drivers.add(broken));

    EXPECT_FALSE(loadAsioDriver("Connection broken")) << "nothing loaded before: nothing to bring back";
    EXPECT_EQ(currentAsioDriver(), nullptr);

    ASSERT_TRUE(loadAsioDriver("Connection good"));
    EXPECT_FALSE(loadAsioDriver("Connection broken"));
    EXPECT_NE(currentAsioDriver(), nullptr) << "the previous driver is back";
    EXPECT_EQ(countOf("create KTA conn good"), 2u);
    EXPECT_EQ(countOf("release KTA conn good"), 1u);
    DriverInfo info = {};
    EXPECT_EQ(asioInit(&info), ASE_OK);
    EXPECT_STREQ(info.name, "KTA conn good");
}

TEST_F(DriverConnection, LoadingAnotherDriverReleasesTheFirst) {
    ASSERT_TRUE(drivers.add("KTA conn good", kClsidGood, "Connection good", logged()));
    ASSERT_TRUE(drivers.add("KTA conn other", kClsidOther, "Connection other", logged()));
    ASSERT_TRUE(loadAsioDriver("Connection good"));
    ASSERT_TRUE(loadAsioDriver("Connection other"));
    std::string text = logText();
    size_t released = text.find("release KTA conn good"), created = text.find("create KTA conn other");
    ASSERT_NE(released, std::string::npos) << text;
    ASSERT_NE(created, std::string::npos) << text;
    EXPECT_LT(released, created) << "the old driver goes before the new one is created";
    ASSERT_TRUE(loadAsioDriver("Connection other")) << "reloading the current driver";
    EXPECT_EQ(countOf("create KTA conn other"), 2u);
    EXPECT_EQ(countOf("release KTA conn other"), 1u);
}

TEST_F(DriverConnection, FailedInitialisationGivesTheDriversText) {
    ASSERT_TRUE(drivers.add("KTA conn good", kClsidGood, "Connection good",
                            logged().set("FailInit", 1).set("ErrorText", std::string("Card unplugged"))));
    ASSERT_TRUE(loadAsioDriver("Connection good"));
    DriverInfo info = {};
    std::strcpy(info.errorMessage, "stale");
    EXPECT_EQ(asioInit(&info), ASE_NotPresent);
    EXPECT_STREQ(info.errorMessage, "Card unplugged");
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(info.driverVersion, 0);
    EXPECT_EQ(currentAsioDriver(), nullptr);
    expectNeutralAnswers();
    EXPECT_EQ(countOf("release"), 0u) << "the object stays held until it is unloaded";
    EXPECT_EQ(asioExit(), ASE_OK);
    EXPECT_EQ(countOf("release KTA conn good"), 1u);
}

TEST_F(DriverConnection, OverlongDriverTextsAreCut) {
    ASSERT_TRUE(drivers.add("KTA conn good", kClsidGood, "Connection good", logged().set("Overlong", 1)));
    ASSERT_TRUE(loadAsioDriver("Connection good"));
    DriverInfo info = {};
    info.sysRef = reinterpret_cast<void *>(0x5678);
    ASSERT_EQ(asioInit(&info), ASE_OK);
    EXPECT_EQ(std::string(info.name), std::string(31, 'N'));
    EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
    EXPECT_EQ(info.sysRef, reinterpret_cast<void *>(0x5678));

    resetDriverConnection();
    testdriver::writeConfig("KTA conn good", Config().set("FailInit", 1));
    ASSERT_TRUE(loadAsioDriver("Connection good"));
    EXPECT_EQ(asioInit(&info), ASE_NotPresent);
    EXPECT_EQ(std::string(info.errorMessage), std::string(123, 'E'));
    EXPECT_EQ(info.sysRef, reinterpret_cast<void *>(0x5678));
    EXPECT_EQ(info.inputChannels, 0);
}

TEST_F(DriverConnection, ItsListIsReadOnceAtTheFirstLoad) {
    ASSERT_TRUE(drivers.add("KTA conn good", kClsidGood, "Connection good", logged()));
    ASSERT_TRUE(loadAsioDriver("Connection good"));
    ASSERT_TRUE(drivers.add("KTA conn other", kClsidOther, "Connection other", logged()));
    EXPECT_FALSE(loadAsioDriver("Connection other")) << "registered after the list was read";
    EXPECT_NE(currentAsioDriver(), nullptr);
    resetDriverConnection();
    EXPECT_EQ(countOf("release KTA conn good"), 1u);
    EXPECT_TRUE(loadAsioDriver("Connection other"));
}
