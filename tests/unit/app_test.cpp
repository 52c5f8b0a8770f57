// The application's handlers against fakes: captions, titles, the recorder calls they make, and
// the order of the start-failure and close paths.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/recorder_app.h"
#include "app_fakes.h"

namespace dd::test {
namespace {

class AppTest : public ::testing::Test {
  protected:
    Journal journal;
    FakeWindow window{journal};
    FakeRecorder recorder{journal};
    FakeServices services{journal};
    RecorderApp app{window, recorder, services};

    // Entries of the journal from index `from` on.
    Journal since(std::size_t from) const { return Journal(journal.begin() + from, journal.end()); }

    void setState(const std::string& recordCaption, const std::string& stopCaption) {
        window.m_captions[Control::录音按钮] = recordCaption;
        window.m_captions[Control::优化配置按钮] = stopCaption;
    }
};

TEST_F(AppTest, CreatedSelectsTheDefaultFormatAndSetsTheStartUpTitle) {
    app.created();
    EXPECT_EQ(journal, (Journal{"stop playing", "title 咚咚鸟V1.2【停止回放】",
                                "title 咚咚鸟录音工具V1.2"}));
    EXPECT_EQ(window.m_selected.at(Control::线路数组合框), 1);
    EXPECT_EQ(window.m_selected.at(Control::采样率组合框), 3);
    EXPECT_EQ(window.m_selected.at(Control::采样大小组合框), 1);
    EXPECT_TRUE(window.m_disabled.at(Control::回放按钮));

    journal.clear();
    app.clicked(Control::录音按钮);
    EXPECT_NE(std::find(journal.begin(), journal.end(), "format 2 44100 16"), journal.end());
}

struct Transition {
    const char* name;
    const char* recordCaption; // state before the click
    const char* stopCaption;
    Control button;
    // expected afterwards
    const char* nextRecordCaption;
    const char* nextStopCaption;
    const char* title;
    bool playbackDisabled;
    Journal recorderCalls; // the journal without titles and the playback services
};

class TransitionTest : public AppTest, public ::testing::WithParamInterface<Transition> {};

TEST_P(TransitionTest, FollowsTheTable) {
    const Transition& t = GetParam();
    app.created();
    setState(t.recordCaption, t.stopCaption);
    window.m_disabled[Control::回放按钮] = std::string(t.stopCaption) == "停止";
    window.m_title = "unchanged";
    const std::size_t mark = journal.size();

    app.clicked(t.button);

    EXPECT_EQ(window.caption(Control::录音按钮), t.nextRecordCaption);
    EXPECT_EQ(window.caption(Control::优化配置按钮), t.nextStopCaption);
    EXPECT_EQ(window.title(), t.title);
    EXPECT_EQ(window.disabled(Control::回放按钮), t.playbackDisabled);
    Journal calls;
    for (const std::string& entry : since(mark)) {
        if (entry.rfind("title ", 0) != 0) {
            calls.push_back(entry);
        }
    }
    EXPECT_EQ(calls, t.recorderCalls);
}

const std::string kStamped = "/home/u/录音机/2013年9月8日14时5分3秒.wav";

INSTANTIATE_TEST_SUITE_P(
    Table, TransitionTest,
    ::testing::Values(Transition{"IdleRecordStarts",
                                 "录音",
                                 "停止回放",
                                 Control::录音按钮,
                                 "暂停",
                                 "停止",
                                 "咚咚鸟V1.2【正在录音】",
                                 true,
                                 {"stop playing", "format 2 44100 16", "start"}},
                      Transition{"RecordingRecordPauses",
                                 "暂停",
                                 "停止",
                                 Control::录音按钮,
                                 "继续",
                                 "停止",
                                 "咚咚鸟V1.2【暂停录音】",
                                 true,
                                 {"stop playing", "pause"}},
                      Transition{"PausedRecordContinues",
                                 "继续",
                                 "停止",
                                 Control::录音按钮,
                                 "暂停",
                                 "停止",
                                 "咚咚鸟V1.2【正在录音】",
                                 true,
                                 {"stop playing", "continue"}},
                      Transition{"RecordingStopSaves",
                                 "暂停",
                                 "停止",
                                 Control::优化配置按钮,
                                 "录音",
                                 "停止回放",
                                 "咚咚鸟V1.2【停止录音】",
                                 false,
                                 {"stop playing", "stop", "exists " + kStamped,
                                  "save " + kStamped + " overwrite", "save  overwrite"}},
                      Transition{"PausedStopSaves",
                                 "继续",
                                 "停止",
                                 Control::优化配置按钮,
                                 "录音",
                                 "停止回放",
                                 "咚咚鸟V1.2【停止录音】",
                                 false,
                                 {"stop playing", "stop", "exists " + kStamped,
                                  "save " + kStamped + " overwrite", "save  overwrite"}},
                      Transition{"IdleStopStopsPlayback",
                                 "录音",
                                 "停止回放",
                                 Control::优化配置按钮,
                                 "录音",
                                 "停止回放",
                                 "咚咚鸟V1.2【停止回放】",
                                 false,
                                 {"stop playing"}},
                      Transition{"UnknownCaptionDoesNothing",
                                 "其他",
                                 "停止",
                                 Control::录音按钮,
                                 "其他",
                                 "停止",
                                 "unchanged",
                                 true,
                                 {"stop playing"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, StopSavesTheStampedCopyThenTheWorkingFileAndEmptiesTheName) {
    app.created();
    app.clicked(Control::录音按钮);
    EXPECT_EQ(window.fileName(), "录音.wav");
    const std::size_t mark = journal.size();
    app.clicked(Control::优化配置按钮);
    EXPECT_EQ(since(mark), (Journal{"stop playing", "stop", "exists " + kStamped,
                                    "save " + kStamped + " overwrite",
                                    "title 咚咚鸟V1.2【停止录音】", "save 录音.wav overwrite"}));
    EXPECT_EQ(window.fileName(), "");
}

TEST_F(AppTest, StampedNameFollowsTheClock) {
    struct Case {
        DateTime when;
        std::string name;
    };
    const Case cases[] = {{{2013, 9, 8, 0, 0, 0}, "2013年9月8日.wav"},
                          {{2013, 9, 8, 14, 0, 0}, "2013年9月8日14时.wav"},
                          {{2026, 12, 31, 23, 59, 59}, "2026年12月31日23时59分59秒.wav"}};
    for (const Case& c : cases) {
        journal.clear();
        services.m_now = c.when;
        app.archiveRoutine();
        EXPECT_EQ(journal.back(), "save /home/u/录音机/" + c.name + " overwrite");
    }
}

TEST_F(AppTest, StopsWithinOneSecondNeverOverwriteAStampedCopy) {
    const std::string stem = "/home/u/录音机/2013年9月8日14时5分3秒";
    struct Case {
        std::vector<std::string> existing;
        std::string saved;
    };
    const Case cases[] = {
        {{}, stem + ".wav"},
        {{stem + ".wav"}, stem + " (2).wav"},
        {{stem + ".wav", stem + " (2).wav", stem + " (3).wav"}, stem + " (4).wav"},
        // A gap is filled: the first free name is taken.
        {{stem + ".wav", stem + " (3).wav"}, stem + " (2).wav"},
    };
    for (const Case& c : cases) {
        services.m_files.clear();
        for (const std::string& name : c.existing) {
            services.m_files[name] = Bytes{1};
        }
        journal.clear();
        app.archiveRoutine();
        EXPECT_EQ(journal.back(), "save " + c.saved + " overwrite");
    }
}

TEST_F(AppTest, FailedSaveIsToldNamingTheFileTheReasonAndTheSpool) {
    app.created();
    app.clicked(Control::录音按钮);
    recorder.m_failingSaves = {kStamped};
    const std::size_t mark = journal.size();
    app.clicked(Control::优化配置按钮);
    EXPECT_EQ(since(mark),
              (Journal{"stop playing", "stop", "exists " + kStamped,
                       "save " + kStamped + " overwrite", "not on top",
                       "box 保存失败：" + kStamped +
                           "\n原因：磁盘已满\n录音仍保存在：/home/u/录音机/录音.wav.part 16 提示:",
                       "on top", "title 咚咚鸟V1.2【停止录音】", "save 录音.wav overwrite"}));
    // The window still returns to idle: the recording can be started again.
    EXPECT_EQ(window.caption(Control::录音按钮), "录音");
}

TEST_F(AppTest, CloseDuringARecordingSavesItFirst) {
    app.created();
    app.clicked(Control::录音按钮);
    app.clicked(Control::录音按钮); // paused
    const std::size_t mark = journal.size();
    app.willBeDestroyed();
    EXPECT_EQ(since(mark),
              (Journal{"stop playing", "stop", "exists " + kStamped,
                       "save " + kStamped + " overwrite", "title 咚咚鸟V1.2【停止录音】",
                       "save 录音.wav overwrite", "wait 100", "delete 录音.wav"}));
}

TEST_F(AppTest, SelectionsThatMapToNoValueKeepThePreviousFormat) {
    // Before any valid selection the format values are 0; a later invalid one keeps the last.
    window.m_selected = {
        {Control::线路数组合框, -1}, {Control::采样率组合框, 7}, {Control::采样大小组合框, 2}};
    app.clicked(Control::录音按钮);
    app.clicked(Control::优化配置按钮); // saves, back to idle; lists go to the defaults
    window.m_selected = {
        {Control::线路数组合框, 0}, {Control::采样率组合框, 1}, {Control::采样大小组合框, -1}};
    app.clicked(Control::录音按钮);
    Journal formats;
    std::copy_if(journal.begin(), journal.end(), std::back_inserter(formats),
                 [](const std::string& e) { return e.rfind("format", 0) == 0; });
    EXPECT_EQ(formats, (Journal{"format 0 0 0", "format 1 11025 0"}));
}

TEST_F(AppTest, StartFailureTellsTheUserWithTheWindowNotOnTopThenEndsTheProgram) {
    services.registerExitRoutine([this] { app.exitRoutine(); });
    app.created();
    recorder.m_startSucceeds = false;
    const std::size_t mark = journal.size();

    app.clicked(Control::录音按钮);

    EXPECT_EQ(since(mark),
              (Journal{"stop playing", "title 咚咚鸟V1.2【正在录音】", "format 2 44100 16", "start",
                       "not on top", "box 启动失败,请重新运行。 16 提示:", "on top",
                       "end program 0", "exit routine"}));
    // Nothing else changes: the captions stay idle and the working file is not deleted.
    EXPECT_EQ(window.caption(Control::录音按钮), "录音");
    EXPECT_EQ(window.caption(Control::优化配置按钮), "停止回放");
    EXPECT_TRUE(window.disabled(Control::回放按钮));
    EXPECT_EQ(app.lastRecordingPath(), "");
}

TEST_F(AppTest, CloseWaitsWithEventsThenDeletesTheWorkingFile) {
    services.m_files["录音.wav"] = Bytes{1, 2, 3};
    // A click queued before the close runs inside the wait, before the delete.
    services.m_pendingEvents.push_back([this] { app.clicked(Control::优化配置按钮); });
    app.willBeDestroyed();
    EXPECT_EQ(journal, (Journal{"wait 100", "stop playing", "title 咚咚鸟V1.2【停止回放】",
                                "delete 录音.wav"}));
    EXPECT_EQ(services.m_files.count("录音.wav"), 0u);
}

TEST_F(AppTest, LastRecordingPathIsSetByEachStartReadByPlaybackAndReleasedAtExit) {
    app.created();
    EXPECT_EQ(app.lastRecordingPath(), "");
    app.clicked(Control::录音按钮);
    EXPECT_EQ(app.lastRecordingPath(), "录音.wav");
    app.clicked(Control::优化配置按钮);
    EXPECT_EQ(app.lastRecordingPath(), "录音.wav"); // the stop empties the dialog, not the path

    // The working file is gone: nothing plays and the title stays.
    std::size_t mark = journal.size();
    app.clicked(Control::回放按钮);
    EXPECT_EQ(since(mark), (Journal{"stop playing", "exists 录音.wav"}));
    EXPECT_EQ(window.title(), "咚咚鸟V1.2【停止录音】");

    // The file is there: it is played once, straight from the file (never read whole first),
    // and the title says so even when the player finds nothing playable in it.
    services.m_files["录音.wav"] = Bytes(100, 7);
    for (const bool playable : {false, true}) {
        services.m_filesPlay = playable;
        window.setTitle("咚咚鸟V1.2【停止录音】");
        mark = journal.size();
        app.clicked(Control::回放按钮);
        EXPECT_EQ(since(mark), (Journal{"stop playing", "exists 录音.wav",
                                        "play file 录音.wav once", "title 咚咚鸟V1.2【正在播放】"}))
            << (playable ? "playable" : "unplayable");
    }

    app.exitRoutine();
    EXPECT_EQ(app.lastRecordingPath(), "");
}

TEST_F(AppTest, PlaybackBeforeAnyRecordingPlaysNothing) {
    services.m_files["录音.wav"] = Bytes(100, 7); // left by an earlier run
    app.playbackHandler();
    EXPECT_EQ(journal, (Journal{"stop playing", "exists "}));
}

class FakeHost : public WindowHost {
  public:
    FakeHost(Journal& journal, bool canCreate)
        : m_journal(journal), m_window(journal), m_canCreate(canCreate) {}
    Window& window() override { return m_window; }
    bool load(const WindowDefinition& definition, WindowEvents& events) override {
        m_journal.push_back("load " + definition.title);
        if (!m_canCreate) {
            return false;
        }
        events.created();
        m_journal.push_back("shown " + m_window.title());
        return true;
    }
    void runMessageLoop() override { m_journal.push_back("message loop"); }

  private:
    Journal& m_journal;
    FakeWindow m_window;
    bool m_canCreate;
};

TEST(StartRoutineTest, RunsTheStepsInOrderAndShowsTheStartUpTitle) {
    Journal journal;
    FakeHost host(journal, true);
    FakeRecorder recorder(journal);
    FakeServices services(journal);
    RecorderApp app(host.window(), recorder, services);
    EXPECT_EQ(startRoutine(services, host, app), 0);
    EXPECT_EQ(journal,
              (Journal{"initialise", "register exit routine", "load 咚咚鸟录音工具", "stop playing",
                       "title 咚咚鸟V1.2【停止回放】", "title 咚咚鸟录音工具V1.2",
                       "shown 咚咚鸟录音工具V1.2", "message loop"}));
}

TEST(StartRoutineTest, WindowThatCannotBeCreatedGivesMinusOneAndNoHandlerRuns) {
    Journal journal;
    FakeHost host(journal, false);
    FakeRecorder recorder(journal);
    FakeServices services(journal);
    RecorderApp app(host.window(), recorder, services);
    EXPECT_EQ(startRoutine(services, host, app), -1);
    EXPECT_EQ(journal, (Journal{"initialise", "register exit routine", "load 咚咚鸟录音工具"}));
}

} // namespace
} // namespace dd::test
