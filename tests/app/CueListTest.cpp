#include "WindowTest.h"
#include "app/StatusBar.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class CueList : public TWindowTest {
protected:
    QStringList Names() {
        QStringList names;
        for (const QString& row : CueRows())
            names << QString::fromStdString(fs::path(row.toStdString()).filename().string());
        return names;
    }
    QPoint RowCentre(int row) { return Cue().visualItemRect(Cue().item(row)).center(); }
    QPoint BelowRows() { return QPoint(20, Cue().viewport()->height() - 5); }
    void Move(QPoint from, QPoint to) {
        QTest::mousePress(Cue().viewport(), Qt::LeftButton, {}, from);
        QTest::mouseRelease(Cue().viewport(), Qt::LeftButton, {}, to);
    }
    void RightClick(QPoint at) { QTest::mouseClick(Cue().viewport(), Qt::RightButton, {}, at); }
    void MakeFile(const std::string& name, std::size_t size = 200) {
        tooltest::WriteFile(Folder / name, std::string(size, 'x'));
    }
};

} // namespace

TEST_F(CueList, AFolderGivesItsOwnSupportedFilesOnly) {
    fs::create_directories(Folder / "album/sub");
    MakeFlac("album/one.flac", 0.1);
    MakeFlac("album/two.flac", 0.1);
    MakeFlac("album/sub/deeper.flac", 0.1);
    MakeFile("album/notes.txt");
    Drop({(Folder / "album").string()});
    QStringList sorted = Names();
    sorted.sort();
    EXPECT_EQ(sorted, (QStringList{"one.flac", "two.flac"}));
    EXPECT_TRUE(Find<QPushButton>("btnConvert")->isEnabled());
}

// The chapters of a combined file follow the cue list, so a folder's tracks must come in the
// order a file manager shows them, not the order the disk keeps them in.
TEST_F(CueList, AFolderEntersInAFileManagersOrder) {
    fs::create_directories(Folder / "album");
    for (const char* name : {"11 - Track.mp3", "2 - track.mp3", "10 - Track.mp3", "b.mp3",
                             "1 - Track.mp3", "3 - TRACK.mp3", "A.mp3"})
        MakeFile(std::string("album/") + name);
    Drop({(Folder / "album").string()});
    EXPECT_EQ(Names(), (QStringList{"1 - Track.mp3", "2 - track.mp3", "3 - TRACK.mp3",
                                    "10 - Track.mp3", "11 - Track.mp3", "A.mp3", "b.mp3"}));
}

TEST_F(CueList, TakesTheKnownKindsInAnyCaseAndRefusesTheRest) {
    for (const char* name :
         {"SONG.MP3", "song.mp3", "song.txt", "song.m4v", "a.FLAC", "b.ape", "d.WV", "e.opus"})
        MakeFile(name);
    MakeWav("c.Wav", 0.1);
    MakeFile("tiny.wav", 10);
    Drop({(Folder / "song.txt").string(), (Folder / "song.m4v").string()});
    EXPECT_TRUE(CueRows().isEmpty());
    EXPECT_FALSE(Find<QPushButton>("btnConvert")->isEnabled());
    Drop({(Folder / "SONG.MP3").string(), (Folder / "song.mp3").string(),
          (Folder / "song.txt").string(), (Folder / "a.FLAC").string(), (Folder / "b.ape").string(),
          (Folder / "c.Wav").string(), (Folder / "tiny.wav").string(), (Folder / "d.WV").string(),
          (Folder / "e.opus").string()});
    // What a file of the other formats holds is judged when it is decoded.
    EXPECT_EQ(Names(),
              (QStringList{"SONG.MP3", "song.mp3", "a.FLAC", "b.ape", "c.Wav", "d.WV", "e.opus"}));
    // A later drop of nothing usable keeps the list.
    Drop({(Folder / "song.txt").string()});
    EXPECT_EQ(CueRows().size(), 7);
    EXPECT_TRUE(Find<QPushButton>("btnConvert")->isEnabled());
}

TEST_F(CueList, OddNamesAddNothingAndNeverBlock) {
    fs::create_directories(Folder / "x.mp3");
    MakeFile("empty.flac", 0);
    fs::create_symlink(Folder / "nowhere.wav", Folder / "dangling.wav");
    ASSERT_EQ(mkfifo((Folder / "x.wav").c_str(), 0600), 0);
    Drop({(Folder / "x.mp3").string(), (Folder / "empty.flac").string(),
          (Folder / "dangling.wav").string(), (Folder / "x.wav").string(),
          (Folder / "missing.wav").string()});
    EXPECT_TRUE(CueRows().isEmpty());
}

TEST_F(CueList, TheSameFileTwiceConvertsTwice) {
    const std::string song = MakeWav("song.wav", 0.5);
    Drop({song, song});
    EXPECT_EQ(CueRows().size(), 2);
    Check("rdgrpConvertItem1");
    Check("rdbtnSource");
    Dialogs.SaveAnswer = TSaveChoice{"ignored", 1};
    Find<QPushButton>("btnConvert")->click();
    EXPECT_TRUE(fs::exists(Folder / "song.mp4"));
    EXPECT_TRUE(fs::exists(Folder / "song-1.mp4"));
}

TEST_F(CueList, ADropDuringARunChangesNothing) {
    const std::string other = MakeWav("other.wav", 0.1);
    Drop({MakeWav("a.wav", 0.5)});
    QString before;
    int rows = -1;
    Inside(*Form).Job.OnStepStart = [&, shown = Inside(*Form).Job.OnStepStart](TMP4& job) {
        shown(job);
        if (rows >= 0)
            return;
        before = Find<TStatusBar>("stbarProcessing")->PanelText(1);
        Drop({other});
        rows = Cue().count();
        EXPECT_EQ(Find<TStatusBar>("stbarProcessing")->PanelText(1), before);
    };
    Dialogs.SaveAnswer = TSaveChoice{"a", 1};
    Find<QPushButton>("btnConvert")->click();
    EXPECT_EQ(rows, 1);
    EXPECT_FALSE(before.isEmpty());
}

TEST_F(CueList, RowsMoveWithTheLeftButton) {
    Drop({MakeWav("0.wav", 0.1), MakeWav("1.wav", 0.1), MakeWav("2.wav", 0.1)});
    Move(RowCentre(0), RowCentre(2));
    EXPECT_EQ(Names(), (QStringList{"1.wav", "2.wav", "0.wav"}));
    EXPECT_EQ(Cue().currentRow(), 2);
    Move(RowCentre(2), RowCentre(0));
    EXPECT_EQ(Names(), (QStringList{"0.wav", "1.wav", "2.wav"}));
    Move(RowCentre(2), RowCentre(0));
    EXPECT_EQ(Names(), (QStringList{"2.wav", "0.wav", "1.wav"}));
    Move(BelowRows(), RowCentre(0));
    EXPECT_EQ(Names(), (QStringList{"2.wav", "0.wav", "1.wav"}));
    Move(RowCentre(1), RowCentre(1));
    EXPECT_EQ(Names(), (QStringList{"2.wav", "0.wav", "1.wav"}));
}

TEST_F(CueList, RowsGoWithTheRightButtonAfterAYes) {
    Drop({MakeWav("a.wav", 0.1), MakeWav("b.wav", 0.1)});
    RightClick(BelowRows());
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(Cue().currentRow(), -1);

    Dialogs.ConfirmAnswer = false;
    RightClick(RowCentre(1));
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Text,
              "Delete:  \"" + QString::fromStdString((Folder / "b.wav").string()) + "\"  ?");
    EXPECT_EQ(Dialogs.Shown[0].At, Form->pos() + QPoint(76, 148));
    EXPECT_EQ(CueRows().size(), 2);

    Dialogs.ConfirmAnswer = true;
    RightClick(RowCentre(1));
    RightClick(RowCentre(0));
    EXPECT_TRUE(CueRows().isEmpty());
    EXPECT_FALSE(Find<QPushButton>("btnConvert")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("btnClearCue")->isEnabled());
}

TEST_F(CueList, ClearingLeavesTheButtonsAndAnEmptyStartIsOnlyReady) {
    Drop({MakeWav("a.wav", 0.1)});
    Find<QPushButton>("btnClearCue")->click();
    EXPECT_TRUE(CueRows().isEmpty());
    EXPECT_TRUE(Find<QPushButton>("btnConvert")->isEnabled());
    Find<QPushButton>("btnConvert")->click();
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(Find<TStatusBar>("stbarProcessing")->PanelText(0), "Ready");
}

// A sheet stands for its tracks, one row each; an image dropped with its sheet, or a folder of
// both, gives the tracks once and not the image as well; track rows move like any other.
TEST_F(CueList, ASheetGivesATrackRowEachAndItsFolderGivesThemOnce) {
    fs::create_directories(Folder / "disc");
    MakeFlac("disc/image.flac", 3);
    MakeWav("disc/other.wav", 0.5);
    const std::string sheet = (Folder / "disc" / "image.cue").string();
    tooltest::WriteFile(sheet, "FILE \"image.flac\" WAVE\nTRACK 01 AUDIO\nTITLE \"One\"\n"
                               "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n"
                               "TRACK 03 AUDIO\nTITLE \"Three\"\nINDEX 01 00:02:00\n");
    Drop({sheet});
    const QStringList tracks = {"01  One  (image.flac)", "02  Track 02  (image.flac)",
                                "03  Three  (image.flac)"};
    EXPECT_EQ(CueRows(), tracks);
    EXPECT_TRUE(Find<QPushButton>("btnConvert")->isEnabled());

    Find<QPushButton>("btnClearCue")->click();
    Drop({(Folder / "disc" / "image.flac").string(), sheet});
    EXPECT_EQ(CueRows(), tracks);
    Find<QPushButton>("btnClearCue")->click();
    Drop({(Folder / "disc" / "image.flac").string()});
    EXPECT_EQ(CueRows(), QStringList{(Folder / "disc" / "image.flac").c_str()});
    Find<QPushButton>("btnClearCue")->click();
    Drop({(Folder / "disc").string()});
    EXPECT_EQ(CueRows(), tracks + QStringList{(Folder / "disc" / "other.wav").c_str()});

    Move(RowCentre(2), RowCentre(0));
    Check("rdgrpConvertItem0");
    Check("rdbtnSource");
    Dialogs.SaveAnswer = TSaveChoice{"all", 1};
    Find<QPushButton>("btnConvert")->click();
    const auto chapters = tooltest::Chapters(Folder / "disc" / "all.mp4");
    ASSERT_EQ(chapters.size(), 4u);
    EXPECT_EQ(chapters[0].Title, "Three");
    EXPECT_EQ(chapters[1].Title, "One");
    EXPECT_EQ(chapters[2].Title, "Track 02");
    EXPECT_NEAR(chapters[3].Start, 3.0, 0.001);
}

TEST_F(CueList, ASheetThatCannotBeUsedSaysWhyAndAddsNothing) {
    const std::string sheet = (Folder / "lost.cue").string();
    tooltest::WriteFile(sheet, "FILE \"lost.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    const std::string bad = (Folder / "bad.cue").string();
    tooltest::WriteFile(bad, "FILE \"lost.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 0:0\n");
    Drop({sheet, bad});
    EXPECT_TRUE(CueRows().isEmpty());
    const QString errors = Find<QPlainTextEdit>("memError")->toPlainText();
    EXPECT_TRUE(errors.contains(QString::fromStdString(sheet) + ", line 1: the image lost.flac"))
        << errors.toStdString();
    EXPECT_TRUE(errors.contains(QString::fromStdString(bad) + ", line 3: INDEX needs"))
        << errors.toStdString();
}

// The submenu names the locale's code page; a choice reads the 8-bit sheets dropped after it and
// is kept for the next start.
TEST_F(CueList, TheCodePageMenuFollowsTheLocaleAndAChoiceIsKept) {
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    NewWindow();
    const auto menu = [&] { return Find<QMenu>("mnuCodePage"); };
    const auto checked = [&] {
        for (QAction* action : menu()->actions())
            if (action->isChecked())
                return action->text();
        return QString();
    };
    EXPECT_EQ(checked(), "Automatic (the locale's: Windows-1251 (Cyrillic))");
    MakeWav("a.wav", 0.5);
    const std::string sheet = (Folder / "a.cue").string();
    tooltest::WriteFile(sheet, "FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\n"
                               "TITLE \"Caf\xE9 cr\xE8me br\xFBl\xE9"
                               "e\"\nINDEX 01 00:00:00\n");
    Drop({sheet});
    EXPECT_EQ(CueRows().value(0), "01  Cafй crиme brыlйe  (a.wav)");
    for (QAction* action : menu()->actions())
        if (action->text() == "Windows-1252 (Western)")
            action->trigger();
    EXPECT_EQ(checked(), "Windows-1252 (Western)");
    Drop({sheet});
    EXPECT_EQ(CueRows().value(1), "01  Café crème brûlée  (a.wav)");
    EXPECT_TRUE(Form->close());
    NewWindow();
    EXPECT_EQ(checked(), "Windows-1252 (Western)");
    Drop({sheet});
    EXPECT_EQ(CueRows().value(0), "01  Café crème brûlée  (a.wav)");
    unsetenv("LC_ALL");
}
