#include "playback/player.h"

#include "../app/fake_win32.h"
#include "fake_bass.h"
#include "playback/song_table.h"
#include "test_song_table.h"

#include <gtest/gtest.h>

#include <string>

using fake_bass::bass;
using fake_bass::BytesPerSecond;
using fake_win32::win;

namespace {

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_bass::Reset();
        fake_win32::Reset();
        Player = PlayerState{0, 0, NoVolume, 0};
        for (int song = 0; song < SongCount; ++song)
            bass.files[TestSongPath(song)] = fake_bass::Opens::AsModule;
    }

    // Plays `song` and returns its channel's fake state.
    fake_bass::Channel& Play(int song) {
        PlaySong(static_cast<std::int16_t>(song));
        return fake_bass::ChannelOf(Player.channel);
    }
};

TEST_F(PlayerTest, PlaySongOpensAsStreamFirstThenAsModuleAndStartsFromTheBeginning) {
    bass.files[TestSongPath(3)] = fake_bass::Opens::AsStream;

    PlaySong(3);
    const DWORD stream = Player.channel;
    EXPECT_NE(stream, 0u);
    EXPECT_TRUE(fake_bass::ChannelOf(stream).stream);
    EXPECT_TRUE(fake_bass::CallsStartingWith("MusicLoad").empty());

    PlaySong(4);
    const DWORD module = Player.channel;
    EXPECT_NE(module, 0u);
    EXPECT_FALSE(fake_bass::ChannelOf(module).stream);
    EXPECT_EQ(Player.currentSong, 4);
    EXPECT_EQ(fake_bass::ChannelOf(module).active, BASS_ACTIVE_PLAYING);

    // The stream was freed with the module call, before song 4 was opened;
    // song 4 was tried as a stream first.
    const std::vector<std::string> expected = {
        "StreamCreateFile(" + TestSongPath(3) + ")",
        "ChannelPlay(" + std::to_string(stream) + ",1)",
        "MusicFree(" + std::to_string(stream) + ")",
        "StreamCreateFile(" + TestSongPath(4) + ")",
        "MusicLoad(" + TestSongPath(4) + ")",
        "ChannelPlay(" + std::to_string(module) + ",1)",
    };
    EXPECT_EQ(bass.log, expected);
    EXPECT_TRUE(fake_bass::ChannelOf(stream).freed);
    EXPECT_TRUE(win.boxes.empty());
}

TEST_F(PlayerTest, RequestingThePlayingSongReopensItFromTheBeginning) {
    fake_bass::Channel& first = Play(5);
    first.position = 10 * BytesPerSecond;
    const DWORD old = Player.channel;

    fake_bass::Channel& again = Play(5);
    EXPECT_NE(Player.channel, old);
    EXPECT_TRUE(fake_bass::ChannelOf(old).freed);
    EXPECT_EQ(again.position, 0u);
    EXPECT_EQ(again.active, BASS_ACTIVE_PLAYING);
}

TEST_F(PlayerTest, AMissingSongIsReportedAndLeavesNoChannel) {
    Play(0);
    const DWORD old = Player.channel;
    bass.files.erase(TestSongPath(7));

    PlaySong(7);
    EXPECT_EQ(Player.channel, 0u);
    EXPECT_EQ(Player.currentSong, 7);
    EXPECT_TRUE(fake_bass::ChannelOf(old).freed);
    EXPECT_EQ(fake_bass::CallsStartingWith("ChannelPlay").size(), 1u); // only song 0's
    ASSERT_EQ(win.boxes.size(), 1u);
    const fake_win32::Box& box = win.boxes[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, "Can't load file");
    EXPECT_FALSE(box.hasCaption);
    EXPECT_EQ(box.type, MB_OK | MB_ICONERROR);
    EXPECT_EQ(box.type, 0x10u);

    // With no channel the next tick moves on to the following song.
    AdvanceAtEnd();
    EXPECT_EQ(Player.currentSong, 8);
    EXPECT_NE(Player.channel, 0u);
    EXPECT_EQ(win.boxes.size(), 1u);
}

TEST_F(PlayerTest, TicksInsideTheFailureBoxMoveOnWithoutAnotherBox) {
    for (int song : {0, 1, 2})
        bass.files.erase(TestSongPath(song));
    win.insideBox = [](const fake_win32::Box&) {
        for (int tick = 0; tick < 6; ++tick)
            AdvanceAtEnd();
    };

    PlaySong(0);
    // Songs 1 and 2 failed inside the box without boxes of their own; song 3
    // loaded there and is left playing when the box closes.
    ASSERT_EQ(win.boxes.size(), 1u);
    EXPECT_EQ(Player.currentSong, 3);
    ASSERT_NE(Player.channel, 0u);
    EXPECT_EQ(fake_bass::ChannelOf(Player.channel).active, BASS_ACTIVE_PLAYING);
    EXPECT_EQ(fake_bass::CallsStartingWith("ChannelPlay").size(), 1u);

    // Once the box is closed, the next failure is reported again.
    win.insideBox = nullptr;
    bass.files.erase(TestSongPath(4));
    PlaySong(4);
    EXPECT_EQ(win.boxes.size(), 2u);
    EXPECT_EQ(win.boxes[1].depth, 0);
}

TEST_F(PlayerTest, EverySongMissingStaysBounded) {
    bass.files.clear();
    // A box left open while 500 ticks run inside it: one box, no nesting,
    // and the player keeps trying one song after another.
    win.insideBox = [](const fake_win32::Box&) {
        for (int tick = 0; tick < 500; ++tick)
            AdvanceAtEnd();
    };
    PlaySong(0);
    EXPECT_EQ(win.boxes.size(), 1u);
    EXPECT_EQ(Player.currentSong, 500 % SongCount);
    EXPECT_EQ(Player.channel, 0u);

    // Boxes closed at once (no display): one box per failure, never nested.
    win.insideBox = nullptr;
    win.boxes.clear();
    for (int tick = 0; tick < 80; ++tick)
        AdvanceAtEnd();
    EXPECT_EQ(win.boxes.size(), 80u);
    for (const fake_win32::Box& box : win.boxes)
        EXPECT_EQ(box.depth, 0);
    EXPECT_EQ(Player.currentSong, (500 + 80) % SongCount);
}

TEST_F(PlayerTest, AdvanceAtEndMovesOnOnlyAtTheEnd) {
    fake_bass::Channel& song = Play(10);
    song.length = 1000;
    song.position = 998;
    AdvanceAtEnd();
    EXPECT_EQ(Player.currentSong, 10);

    song.position = 999; // length - 1: played through
    AdvanceAtEnd();
    EXPECT_EQ(Player.currentSong, 11);
    EXPECT_EQ(fake_bass::ChannelOf(Player.channel).active, BASS_ACTIVE_PLAYING);
}

TEST_F(PlayerTest, AdvanceAtEndWrapsFromTheLastSongToTheFirst) {
    fake_bass::Channel& last = Play(39);
    last.position = last.length - 1;
    AdvanceAtEnd();
    EXPECT_EQ(Player.currentSong, 0);
    EXPECT_EQ(fake_bass::ChannelOf(Player.channel).active, BASS_ACTIVE_PLAYING);
}

TEST_F(PlayerTest, AChannelOfLengthZeroOrNotMovingNeverAdvances) {
    fake_bass::Channel& empty = Play(2);
    empty.length = 0;
    for (QWORD position : {QWORD{0}, QWORD{1}, QWORD{1} << 40}) {
        empty.position = position;
        AdvanceAtEnd();
        EXPECT_EQ(Player.currentSong, 2);
    }

    // Stopped channels stand at 0; paused ones keep their place mid-song.
    fake_bass::Channel& stopped = Play(3);
    stopped.active = BASS_ACTIVE_STOPPED;
    AdvanceAtEnd();
    fake_bass::ChannelOf(Player.channel).active = BASS_ACTIVE_PAUSED;
    fake_bass::ChannelOf(Player.channel).position = 30 * BytesPerSecond;
    AdvanceAtEnd();
    EXPECT_EQ(Player.currentSong, 3);
}

TEST_F(PlayerTest, PositionMsRoundsDownWithTiesToEvenAndReadsZeroWhenStopped) {
    EXPECT_EQ(PositionMs(), 0); // no channel

    fake_bass::Channel& song = Play(0);
    song.position = 441000; // exactly 2.5 s
    EXPECT_EQ(PositionMs(), 2500);
    song.position = 441071; // 2.5004 s
    EXPECT_EQ(PositionMs(), 2500);
    song.position = 22050; // exactly 0.125 s: 125 is odd, the tie goes to 124
    EXPECT_EQ(PositionMs(), 124);
    song.position = 242550; // exactly 1.375 s
    EXPECT_EQ(PositionMs(), 1374);
    song.position = 1005480; // 5.7 s, which single precision holds as 5.6999998
    EXPECT_EQ(PositionMs(), 5699);

    song.active = BASS_ACTIVE_PAUSED;
    EXPECT_EQ(PositionMs(), 5699);
    song.active = BASS_ACTIVE_STALLED;
    EXPECT_EQ(PositionMs(), 5699);
    song.active = BASS_ACTIVE_STOPPED;
    EXPECT_EQ(PositionMs(), 0);
}

TEST_F(PlayerTest, SeekMsGoesToWholeSecondsTruncatedTowardZero) {
    SeekMs(5000); // no channel: no library call at all
    EXPECT_TRUE(bass.log.empty());

    Play(0);
    const std::string channel = std::to_string(Player.channel);
    const struct {
        std::int32_t ms;
        const char* seconds;
        std::int64_t bytes;
    } cases[] = {
        {-500, "0.000000", 0},      {999, "0.000000", 0},          {1999, "1.000000", 176400},
        {2999, "2.000000", 352800}, {-1000, "-1.000000", -176400}, // passed on unclamped
    };
    for (const auto& c : cases) {
        bass.log.clear();
        SeekMs(c.ms);
        const std::vector<std::string> expected = {
            "ChannelSeconds2Bytes(" + channel + "," + c.seconds + ")",
            "ChannelSetPosition(" + channel + "," + std::to_string(c.bytes) + ")",
        };
        EXPECT_EQ(bass.log, expected) << c.ms << " ms";
    }
}

TEST_F(PlayerTest, RewindAndForwardByOneSecondFromMidSecond) {
    fake_bass::Channel& song = Play(0);
    song.position = 1005480; // 5.7 s
    SeekMs(PositionMs() - 1000);
    EXPECT_EQ(song.position, 4 * BytesPerSecond);

    song.position = 1005480;
    SeekMs(PositionMs() + 1000);
    EXPECT_EQ(song.position, 6 * BytesPerSecond);
}

TEST_F(PlayerTest, SetVolumeProbesThenSetsEveryModuleChannel) {
    fake_bass::Channel& song = Play(0);
    const std::string channel = std::to_string(Player.channel);
    bass.log.clear();

    SetVolume(255);
    std::vector<std::string> expected;
    for (int n = 0; n < 4; ++n) {
        const std::string attribute = std::to_string(0x100 + n);
        expected.push_back("MusicSetAttribute(" + channel + "," + attribute + ",1)");
        expected.push_back("MusicSetAttribute(" + channel + "," + attribute + ",100)");
    }
    expected.push_back("MusicSetAttribute(" + channel + ",260,1)"); // no channel 4: stop
    EXPECT_EQ(bass.log, expected);
    EXPECT_EQ(song.volumes, (std::vector<DWORD>{100, 100, 100, 100}));

    const struct {
        std::int32_t volume;
        DWORD level;
    } cases[] = {{256, 0}, {0, 0}, {37, 37}, {100, 100}, {101, 100}, {0x1234532, 50}, {-1, 100}};
    for (const auto& c : cases) {
        SetVolume(c.volume);
        EXPECT_EQ(song.volumes, std::vector<DWORD>(4, c.level)) << c.volume;
    }
}

TEST_F(PlayerTest, SetVolumeWithoutChannelOrChannelsStopsAtTheFirstRefusal) {
    SetVolume(80); // no channel
    EXPECT_EQ(bass.log, (std::vector<std::string>{"MusicSetAttribute(0,256,1)"}));

    fake_bass::Channel& silent = Play(0);
    silent.moduleChannels = 0;
    silent.volumes.clear();
    bass.log.clear();
    SetVolume(80);
    EXPECT_EQ(bass.log.size(), 1u);
}

TEST_F(PlayerTest, SetVolumeNeverReachesPastTheChannelVolumes) {
    // A library that kept answering past 256 channels would otherwise have
    // the sweep run into the instrument volumes at 0x200.
    fake_bass::Channel& wide = Play(0);
    wide.moduleChannels = 300;
    wide.volumes.assign(300, 64);
    SetVolume(90);
    EXPECT_EQ(wide.volumes[0], 90u);
    EXPECT_EQ(wide.volumes[255], 90u);
    EXPECT_EQ(wide.volumes[256], 64u);
    EXPECT_TRUE(fake_bass::CallsStartingWith("MusicSetAttribute(" + std::to_string(Player.channel) +
                                             ",512,")
                    .empty());
}

} // namespace
