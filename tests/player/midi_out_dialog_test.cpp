#include "playback/fluid_engine.h"
#include "player/midi_out_dialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace pokopen {
namespace {

class TfrmMidiOutTest : public ::testing::Test {
protected:
    template <typename T> T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QTemporaryDir dir;
    QSettings ini{dir.path() + "/pokopen.ini", QSettings::IniFormat};
};

TEST_F(TfrmMidiOutTest, ANewIniShowsTheBuiltInSynthesizerAndTheDefaultSoundFont) {
    TfrmMidiOut dlg(ini, {"Port A", "Port B"});
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("MIDI出力の設定"));
    EXPECT_TRUE(child<QRadioButton>(dlg, "rbSynth")->isChecked());
    EXPECT_EQ(child<QRadioButton>(dlg, "rbSynth")->text(), QStringLiteral("内蔵シンセサイザ"));
    EXPECT_EQ(child<QRadioButton>(dlg, "rbNone")->text(), QStringLiteral("なし"));
    EXPECT_EQ(child<QLineEdit>(dlg, "edtSoundFont")->text(), QString::fromLatin1(DEFAULT_SOUNDFONT));
    EXPECT_FALSE(child<QListWidget>(dlg, "lstPort")->isEnabled());
    EXPECT_EQ(child<QListWidget>(dlg, "lstPort")->count(), 2);
}

TEST_F(TfrmMidiOutTest, OkWritesTheChoiceAndCancelLeavesTheIniAlone) {
    {
        TfrmMidiOut dlg(ini, {"Port A", "Port B"});
        QTest::mouseClick(child<QRadioButton>(dlg, "rbPort"), Qt::LeftButton);
        EXPECT_TRUE(child<QListWidget>(dlg, "lstPort")->isEnabled());
        child<QListWidget>(dlg, "lstPort")->setCurrentRow(1);
        QTest::mouseClick(child<QPushButton>(dlg, "btnOK"), Qt::LeftButton);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(ini.value("MIDIOUT/Device").toString(), "port");
    EXPECT_EQ(ini.value("MIDIOUT/Port").toString(), "Port B");
    {
        TfrmMidiOut dlg(ini, {"Port A", "Port B"});
        EXPECT_TRUE(child<QRadioButton>(dlg, "rbPort")->isChecked());
        EXPECT_EQ(child<QListWidget>(dlg, "lstPort")->currentItem()->text(), "Port B");
        child<QRadioButton>(dlg, "rbNone")->setChecked(true);
        QTest::mouseClick(child<QPushButton>(dlg, "btnCancel"), Qt::LeftButton);
    }
    EXPECT_EQ(ini.value("MIDIOUT/Device").toString(), "port");
}

TEST_F(TfrmMidiOutTest, AnUnpluggedPortKeepsItsPlaceAndNoPortsMeansNoPortChoice) {
    ini.setValue("MIDIOUT/Device", "port");
    ini.setValue("MIDIOUT/Port", "Gone");
    {
        TfrmMidiOut dlg(ini, {"Port A"});
        EXPECT_TRUE(child<QRadioButton>(dlg, "rbPort")->isChecked());
        EXPECT_EQ(child<QListWidget>(dlg, "lstPort")->currentItem()->text(), "Gone");
        EXPECT_EQ(dlg.chosen().portName, "Gone");
    }
    ini.remove("MIDIOUT");
    TfrmMidiOut dlg(ini, {});
    EXPECT_FALSE(child<QRadioButton>(dlg, "rbPort")->isEnabled());
}

TEST_F(TfrmMidiOutTest, TheSoundFontComesFromThePickerAndIsSaved) {
    QString offered;
    TfrmMidiOut dlg(ini, {}, nullptr, [&offered](QWidget*, const QString& current) {
        offered = current;
        return QStringLiteral("/home/u/big.sf2");
    });
    QTest::mouseClick(child<QPushButton>(dlg, "btnSoundFont"), Qt::LeftButton);
    EXPECT_EQ(offered, QString::fromLatin1(DEFAULT_SOUNDFONT));
    EXPECT_EQ(child<QLineEdit>(dlg, "edtSoundFont")->text(), "/home/u/big.sf2");
    dlg.btnOKClick();
    EXPECT_EQ(ini.value("MIDIOUT/Device").toString(), "synth");
    EXPECT_EQ(ini.value("MIDIOUT/SoundFont").toString(), "/home/u/big.sf2");
}

} // namespace
} // namespace pokopen
