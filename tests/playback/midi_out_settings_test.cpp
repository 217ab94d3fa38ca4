#include "playback/fluid_file_player.h"
#include "playback/fluid_midi_out.h"
#include "playback/midi_out_settings.h"
#include "playback/rtmidi_port_out.h"
#include "playback/scheduled_player.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

namespace pokopen {
namespace {

class MidiOutSettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QSettings ini{dir.path() + "/pokopen.ini", QSettings::IniFormat};
};

TEST_F(MidiOutSettingsTest, AnEmptyIniChoosesTheBuiltInSynthesizerWithTheDefaultSoundFont) {
    const MidiOutSettings s = readMidiOutSettings(ini);
    EXPECT_EQ(s.kind, MidiOutKind::Synth);
    EXPECT_EQ(s.soundFontOrDefault(), DEFAULT_SOUNDFONT);
    EXPECT_NE(dynamic_cast<FluidMidiOut*>(makeMidiOut(s).get()), nullptr);
    EXPECT_NE(dynamic_cast<FluidFilePlayer*>(makeMidiFilePlayer(s).get()), nullptr);
}

TEST_F(MidiOutSettingsTest, EveryChoiceSurvivesTheIniInItsOwnSection) {
    const MidiOutSettings choices[] = {
        {MidiOutKind::Synth, "", "/home/u/big.sf2"},
        {MidiOutKind::Port, "USB MIDI Interface:0", ""},
        {MidiOutKind::None, "", ""},
    };
    for (const MidiOutSettings& c : choices) {
        writeMidiOutSettings(ini, c);
        ini.sync();
        QSettings again(ini.fileName(), QSettings::IniFormat);
        EXPECT_EQ(readMidiOutSettings(again), c);
        EXPECT_TRUE(again.childGroups().contains("MIDIOUT"));
    }
    // Other sections (the palette's position) are left alone.
    ini.setValue("PALETTE/X", 10);
    writeMidiOutSettings(ini, choices[0]);
    EXPECT_EQ(ini.value("PALETTE/X").toInt(), 10);
}

TEST_F(MidiOutSettingsTest, APortChoiceWithoutAPortFallsBackToTheSynthesizer) {
    ini.setValue("MIDIOUT/Device", "port");
    EXPECT_EQ(readMidiOutSettings(ini).kind, MidiOutKind::Synth);
    ini.setValue("MIDIOUT/Device", "something else");
    EXPECT_EQ(readMidiOutSettings(ini).kind, MidiOutKind::Synth);
}

TEST_F(MidiOutSettingsTest, TheFactoryMakesEachBackendAndNoneNeverOpens) {
    MidiOutSettings port{MidiOutKind::Port, "No Such Port", ""};
    EXPECT_NE(dynamic_cast<RtMidiPortOut*>(makeMidiOut(port).get()), nullptr);
    EXPECT_NE(dynamic_cast<ScheduledPlayer*>(makeMidiFilePlayer(port).get()), nullptr);

    MidiOutSettings none{MidiOutKind::None, "", ""};
    auto out = makeMidiOut(none);
    EXPECT_FALSE(out->open());
    EXPECT_FALSE(out->errorText().empty());
    auto player = makeMidiFilePlayer(none);
    EXPECT_FALSE(player->open("/tmp/knb.mid"));
    EXPECT_FALSE(player->errorText().empty());
    EXPECT_EQ(player->capabilities().play, false);
}

TEST(RtMidiPortOut, AMissingPortFailsToOpenWithATextAndListingNeverThrows) {
    const std::vector<std::string> ports = listMidiOutPorts(); // empty without a MIDI system
    for (const std::string& p : ports)
        EXPECT_FALSE(p.empty());
    RtMidiPortOut out("No Such Port 12345");
    EXPECT_FALSE(out.open());
    EXPECT_FALSE(out.isOpen());
    EXPECT_FALSE(out.errorText().empty());
    out.shortMessage(0x90, 60, 127); // nothing open: ignored
    out.reset();
    out.close();
}

} // namespace
} // namespace pokopen
