// Calls from the session bus that the bus test leaves out: where each lands
// depends on the state of the song, and jumps and speeds change units.
#include "player/remote.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "platform/bus/mpris.h"
#include "player/commands.h"
#include "player/playback.h"
#include "player/screen.h"
#include "player_fixture.h"

namespace {

using Commands = std::vector<std::string>;

class Remote : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        makeCatalogue(12);
        S.number[0] = 40;
        fake::media().length = "40000";
        fake::media().position = "5000";
        Play();
        drawMainScreen();
        fake::takeCommands();
    }

    static const char* call(MprisCall what, long long microseconds = 0, std::string track = "",
                            double rate = 1.0) {
        MprisRequest request;
        request.call = what;
        request.microseconds = microseconds;
        request.trackId = track;
        request.rate = rate;
        return remotePlayer().perform(request);
    }

    // The passes of the loop that take the keys and the calls that wait.
    static void readKeys() {
        while (_kbhit() || commandWaiting()) {
            runPass();
        }
    }

    static Commands sent() { return fake::takeActions(); }
};

TEST_F(Remote, PlayStartsAStoppedSongAgainWherePauseDoesNothing) {
    fake::pressKeys("s");
    readKeys();
    sent();
    EXPECT_NE(call(MprisCall::Seek, 1'000'000), nullptr);  // it would play unseen
    EXPECT_FALSE(remotePlayer().state().canSeek);
    EXPECT_EQ(call(MprisCall::Pause), nullptr);
    EXPECT_FALSE(commandWaiting());
    EXPECT_EQ(call(MprisCall::Play), nullptr);
    readKeys();
    EXPECT_EQ(sent(),
              (Commands{"close MP3_Device", "open S0000.MP3 type MPEGVideo alias MP3_Device",
                        "play MP3_Device notify"}));
}

// A call is its key's command, and the pause refuses it as it ignores the key.
TEST_F(Remote, ACallIsItsKeysCommandAndThePauseRefusesBothAlike) {
    fake::pressKeys("\xe0M");
    readKeys();
    const Commands byKey = sent();
    EXPECT_EQ(call(MprisCall::Next), nullptr);
    readKeys();
    const Commands byCall = sent();
    EXPECT_EQ(fake::openedSongs(byKey), Commands{"S0001.MP3"});
    EXPECT_EQ(fake::openedSongs(byCall), Commands{"S0002.MP3"});
    EXPECT_EQ(byKey.size(), byCall.size());
    fake::pressKeys("w");
    readKeys();
    EXPECT_NE(call(MprisCall::Next), nullptr);
    fake::pressKeys("MW");
    readKeys();
    EXPECT_EQ(sent(), (Commands{"pause MP3_Device", "resume MP3_Device"}));
}

TEST_F(Remote, JumpsAndSpeedsWithinTheDialogsLimits) {
    EXPECT_EQ(call(MprisCall::Seek, 10'000'000), nullptr);  // from 5 s on
    EXPECT_EQ(call(MprisCall::Seek, -9'000'000), nullptr);  // before the start: 0
    EXPECT_EQ(call(MprisCall::SetPosition, 7'000'000, "/stale/track"), nullptr);
    const std::string track = remotePlayer().state().trackId;
    EXPECT_EQ(call(MprisCall::SetPosition, 7'500'000, track), nullptr);
    EXPECT_EQ(call(MprisCall::SetPosition, -1, track), nullptr);  // ignored
    EXPECT_EQ(call(MprisCall::SetRate, 0, "", 1.5), nullptr);
    EXPECT_NE(call(MprisCall::SetRate, 0, "", 2.5), nullptr);
    EXPECT_EQ(sent(), (Commands{"play MP3_Device from 15000", "play MP3_Device from 0",
                                "play MP3_Device from 7500", "set MP3_Device speed  1500"}));
    // To the end or past it, by any amount: the next song.
    EXPECT_EQ(call(MprisCall::Seek, 35'000'000), nullptr);
    readKeys();
    EXPECT_EQ(call(MprisCall::Seek, LLONG_MAX), nullptr);
    readKeys();
    EXPECT_EQ(fake::openedSongs(sent()), (Commands{"S0001.MP3", "S0002.MP3"}));
}

TEST_F(Remote, VolumeIsClampedAndRefusedWhileThePauseHasTheKeys) {
    MprisRequest request;
    request.call = MprisCall::SetVolume;
    for (const double volume : {1e300, -0.2, std::nan("")}) {
        request.volume = volume;
        remotePlayer().perform(request);
    }
    EXPECT_EQ(sent(), (Commands{"setaudio MP3_Device volume to 0"}));
    S.keysAt = KeysAt::Paused;
    request.volume = 0.5;
    EXPECT_NE(remotePlayer().perform(request), nullptr);
    EXPECT_EQ(remotePlayer().state().volume, 0.0);
}

TEST_F(Remote, NothingIsTypedIntoADialog) {
    S.keysAt = KeysAt::Dialog;
    EXPECT_NE(call(MprisCall::PlayPause), nullptr);
    EXPECT_NE(call(MprisCall::Seek, 1'000'000), nullptr);
    EXPECT_FALSE(commandWaiting());
    EXPECT_TRUE(sent().empty());
    EXPECT_FALSE(remotePlayer().state().canPause);
}

}  // namespace
