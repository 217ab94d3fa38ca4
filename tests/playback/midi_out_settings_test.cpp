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

TEST(MidiPortNames, AStoredNameIsFoundByItsShownNameOrByTheBareNameOfOlderSettings) {
    EXPECT_EQ(shownPortName("JACK", "client:port"), "JACK: client:port");
    const std::vector<std::string> shown = {"ALSA: Midi Through:Midi Through Port-0 14:0",
                                            "JACK: synth:midi_in", "ALSA: synth:midi_in"};
    struct Case {
        std::string stored;
        std::optional<std::size_t> index;
    };
    const Case cases[] = {
        {"JACK: synth:midi_in", 1},
        {"ALSA: synth:midi_in", 2},
        {"synth:midi_in", 1}, // stored bare: the first system that has it
        {"Midi Through:Midi Through Port-0 14:0", 0},
        {"JACK: Midi Through:Midi Through Port-0 14:0", std::nullopt}, // not on that system
        {"synth", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(findShownPort(shown, c.stored), c.index) << c.stored;
}

TEST(MidiPortNames, AGonePortFallsBackToTheSynthesizer) {
    const MidiOutSettings port{MidiOutKind::Port, "JACK: synth:midi_in", "/x.sf2"};
    const PlayableMidiOut there = playableMidiOut(port, {"ALSA: a:b", "JACK: synth:midi_in"});
    EXPECT_FALSE(there.portGone);
    EXPECT_EQ(there.settings, port);
    const PlayableMidiOut gone = playableMidiOut(port, {"ALSA: synth:midi_in"});
    EXPECT_TRUE(gone.portGone);
    EXPECT_EQ(gone.settings.kind, MidiOutKind::Synth);
    EXPECT_EQ(gone.settings.soundFont, "/x.sf2");
    EXPECT_FALSE(playableMidiOut({MidiOutKind::None, "", ""}, {}).portGone);
    EXPECT_NE(portGoneText("JACK: synth:midi_in").find("JACK: synth:midi_in"), std::string::npos);
}

TEST(RtMidiPortOut, AMissingPortFailsToOpenWithATextAndListingNeverThrows) {
    const std::vector<std::string> ports = listMidiOutPorts(); // empty without a MIDI system
    for (const std::string& p : ports)
        EXPECT_TRUE(p.starts_with("ALSA: ") || p.starts_with("JACK: ")) << p;
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
