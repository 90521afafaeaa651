// Exporting a stored session: the exact texts, the chooser's choices, the save dialogue's
// proposal, the written file, the clipboard and the tips, and the failures told to the user.
#include <sys/stat.h>
#include <QApplication>
#include <QClipboard>
#include <QPointer>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "Page/History/HistoryView.h"
#include "Page/History/SessionExport.h"
#include "Page/History/SubtitleDetailAlertShareView.h"
#include "Page/History/SubtitleDetailAlertView.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/TipAlertView.h"
#include "platform/appkit/SavePanel.h"
#include "platform/avfoundation/FakeAudioPlayer.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/StandardFolders.h"
#include "service/GRDBDataManager.h"
#include "support/ClickCountingView.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using namespace std::chrono_literals;

GRDBDataManager& db() {
    return GRDBDataManager::shared();
}

// Save dialogues that only record what they were asked; the test answers them.
struct SaveDialogues {
    struct Shown {
        QString name;
        QStringList types;
        bool otherTypes, extensionHidden, createFolders;
        SavePanel::Completion completion;
    };
    std::vector<Shown> shown;

    class Panel : public SavePanel {
      public:
        explicit Panel(SaveDialogues& host) : host_(host) {}
        void begin(Completion completion) override {
            host_.shown.push_back({nameFieldStringValue, allowedFileTypes, allowsOtherFileTypes,
                                   isExtensionHidden, canCreateDirectories, std::move(completion)});
        }

      private:
        SaveDialogues& host_;
    };
};

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class ExportTest : public IsolatedTest {
  protected:
    ExportTest() {
        for (const HistoryRecord& record : db().fetchAllHistory()) {
            if (record.id) (void)db().deleteHistory(*record.id);
        }
        SavePanel::setFactoryForTesting(
            [this] { return std::make_unique<SaveDialogues::Panel>(dialogues_); });
        AudioPlayer::setFactoryForTesting(
            FakeAudioPlayer::factory(60, std::make_shared<FakeAudioPlayer::Journal>()));
        window_.resize(1000, 700);
        StatusHUD::shared().containerView = &window_;
        QApplication::clipboard()->setText(QStringLiteral("before"));
    }
    ~ExportTest() override {
        StatusHUD::shared().hide(false);
        StatusHUD::shared().containerView = nullptr;
        SavePanel::setFactoryForTesting(nullptr);
        AudioPlayer::setFactoryForTesting(nullptr);
    }

    static HistoryRecord storeSession(std::int64_t id, std::int64_t answerType,
                                      std::optional<std::string> name, std::string audio) {
        HistoryRecord record;
        record.id = id;
        record.timeStr = static_cast<double>(id);
        record.antoAnswerType = answerType;
        record.historyFileName = std::move(name);
        record.audioFileName = std::move(audio);
        EXPECT_EQ(db().insertHistory(record), id);
        return record;
    }
    static void storeLine(std::int64_t session, double at, std::string time, std::string source,
                          std::string result, std::string answer) {
        TranslationDetailRecord line;
        line.historyId = session;
        line.timeStr = at;
        line.time = std::move(time);
        line.sourceText = std::move(source);
        line.resultText = std::move(result);
        line.aiResultText = std::move(answer);
        db().insertTranslationDetail(line);
    }
    static void storeAnswer(std::int64_t session, double at, std::string time, std::string question,
                            std::string answer) {
        AIResponseDetailRecord row;
        row.historyId = session;
        row.timeStr = at;
        row.time = std::move(time);
        row.aiQuestionText = std::move(question);
        row.aiResultText = std::move(answer);
        db().insertAIResponseDetail(row);
    }

    HistoryView* showPanel() {
        auto* panel = new HistoryView(&window_);
        panel->setGeometry(window_.rect());
        panel->show();
        window_.show();
        EXPECT_TRUE(runMainUntil([&] { return !panel->isLoadingList(); }));
        return panel;
    }
    // Opens the session's detail pop-up from the panel and clicks its share icon.
    SubtitleDetailAlertShareView* openChooser(HistoryView* panel, int row) {
        panel->handleRowAction(row, 2, panel->records()[static_cast<std::size_t>(row)].id.value());
        auto details = window_.findChildren<SubtitleDetailAlertView*>(Qt::FindDirectChildrenOnly);
        EXPECT_EQ(details.size(), 1);
        if (details.isEmpty()) return nullptr;
        click(details.front()->iconImg());
        auto choosers =
            window_.findChildren<SubtitleDetailAlertShareView*>(Qt::FindDirectChildrenOnly);
        EXPECT_EQ(choosers.size(), 1);
        return choosers.isEmpty() ? nullptr : choosers.front();
    }
    QString hudText() const {
        StatusHUD& hud = StatusHUD::shared();
        return hud.isHidden() || !hud.statusLabel() ? QString() : hud.statusLabel()->text();
    }
    // The success tip's text once 0.25 s have passed, or "" when none shows.
    QString tipAfterQuarterSecond() {
        CustomSuccessTipView* tip = TipAlertView::shared().suceessView();
        clock_.clock().advance(249ms);
        QCoreApplication::processEvents();
        if (tip->parentWidget() == &window_) return QStringLiteral("too early");
        clock_.clock().advance(1ms);
        runMainUntil([&] { return tip->parentWidget() == &window_; }, 200ms);
        const QString shown = tip->parentWidget() == &window_ ? tip->tipLab()->text() : QString();
        TipAlertView::shared().sureTip1();
        return shown;
    }

    ScopedManualClock clock_;
    SaveDialogues dialogues_;
    ClickCountingView window_;
};

TEST_F(ExportTest, TextsFollowTheirFormats) {
    const HistoryRecord automatic = storeSession(1700000000, 0, "一面", "rec1");
    storeLine(1700000000, 2, "2024-03-05 10:00:02", "第二句", "", "回答二");
    storeLine(1700000000, 1, "2024-03-05 10:00:01", "第一句", "First", "");
    EXPECT_EQ(transcriptText(automatic),
              "2024-03-05 10:00:01\n第一句\nFirst\n\n2024-03-05 10:00:02\n第二句\n\n");
    EXPECT_EQ(questionsAndAnswersText(automatic),
              "2024-03-05 10:00:01\n问题：第一句\nFirst\n答案：\n\n"
              "2024-03-05 10:00:02\n问题：第二句\n\n答案：回答二\n");

    // A manual session's questions and answers come from its answer rows alone.
    const HistoryRecord manual = storeSession(1700000100, 1, "二面", "rec2");
    storeLine(1700000100, 1, "2024-03-05 11:00:01", "原文", "Source", "");
    EXPECT_EQ(questionsAndAnswersText(manual), "");
    storeAnswer(1700000100, 5, "2024-03-05 11:00:05", "问", "答");
    EXPECT_EQ(questionsAndAnswersText(manual), "2024-03-05 11:00:05\n问题：问\n答案：答\n");

    HistoryRecord withoutId = automatic;
    withoutId.id.reset();
    EXPECT_EQ(transcriptText(withoutId), "");
    EXPECT_EQ(questionsAndAnswersText(withoutId), "");
}

TEST_F(ExportTest, ProposedNamesAreOnePlainFileName) {
    const std::pair<std::string, QString> cases[] = {
        {"", QStringLiteral("问题答案.txt")},
        {"产品面试", QStringLiteral("产品面试问题答案.txt")},
        {"a/b\\c", QStringLiteral("a_b_c问题答案.txt")},
        {"行\n\t\x7f尾", QStringLiteral("行___尾问题答案.txt")},
        {"../..", QStringLiteral(".._..问题答案.txt")},
        // Bidirectional controls are dropped, so "txt.exe" cannot show as "exe.txt".
        {"简历\u202Etxt.exe\u202C", QStringLiteral("简历txt.exe问题答案.txt")},
        {"\u2066a\u2067b\u2068c\u2069\u202A\u202B\u202D", QStringLiteral("abc问题答案.txt")},
    };
    for (const auto& [stem, expected] : cases) {
        EXPECT_EQ(exportFileName(stem, QStringLiteral("问题答案.txt")), expected) << stem;
    }

    // A long name is cut on a character boundary to fit 255 bytes with its suffix, and no
    // shorter than that.
    struct Long {
        std::string unit;  // one character, as the user sees it
        int repeat;
    };
    for (const Long& c : {Long{"长", 297}, Long{"a", 400}, Long{"👍🏽", 100}, Long{"é", 300}}) {
        std::string stem;
        for (int i = 0; i < c.repeat; ++i) stem += c.unit;
        for (const QString& suffix : {QStringLiteral("问题答案.txt"), QStringLiteral(".wav")}) {
            const QString name = exportFileName(stem, suffix);
            const QByteArray bytes = name.toUtf8();
            SCOPED_TRACE(bytes.toStdString());
            ASSERT_TRUE(name.endsWith(suffix));
            EXPECT_LE(bytes.size(), kMaxFileNameBytes);
            EXPECT_GT(bytes.size() + static_cast<qsizetype>(c.unit.size()), kMaxFileNameBytes);
            const std::string kept =
                bytes.left(bytes.size() - suffix.toUtf8().size()).toStdString();
            ASSERT_EQ(kept.size() % c.unit.size(), 0u);
            EXPECT_EQ(stem.substr(0, kept.size()), kept);
        }
    }
}

TEST_F(ExportTest, AnExportUnderALongNameIsWrittenWithTheUsersModeWhileTheHistoryStaysPrivate) {
    std::string longName;
    for (int i = 0; i < 297; ++i) longName += "长";
    storeSession(1700000000, 0, longName, "rec1");
    storeLine(1700000000, 1, "2024-03-05 10:00:01", "第一句", "First", "答");
    HistoryView* panel = showPanel();
    // Started by a user whose umask is 002, the application makes its own files private.
    const mode_t before = ::umask(002);
    AtomicFile::makeNewFilesPrivate();
    panel->exportQuestionsAndAnswers(panel->records().front());
    ASSERT_EQ(dialogues_.shown.size(), 1u);
    const auto target = root() / "导出" / dialogues_.shown[0].name.toStdString();
    dialogues_.shown[0].completion(SavePanel::Response::ok, target);
    // A history database made under the same mask is still the user's alone.
    const GRDBDataManager fresh(root() / "other");
    ::umask(before);
    EXPECT_EQ(hudText(), QString());
    EXPECT_EQ(fileText(target), questionsAndAnswersText(panel->records().front()));
    EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0664));
    EXPECT_EQ(tipAfterQuarterSecond(), QStringLiteral("导出成功，地址已复制，粘贴即可查看"));
    ASSERT_NE(fresh.dbQueue(), nullptr);
    EXPECT_EQ(std::filesystem::status(fresh.dbQueue()->path()).permissions(),
              std::filesystem::perms(0600));
}

TEST_F(ExportTest, TheChooserOffersTheTranscriptOnlyForManualSessions) {
    storeSession(1700000000, 0, "自动", "rec1");
    storeSession(1700000100, 1, "手动", "rec2");
    HistoryView* panel = showPanel();
    for (const bool manual : {true, false}) {
        SubtitleDetailAlertShareView* chooser = openChooser(panel, manual ? 0 : 1);
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->geometry(), window_.rect());
        EXPECT_EQ(chooser->titleLab()->text(), QStringLiteral("选择导出项目"));
        EXPECT_EQ(chooser->isTranscriptChoiceShown(), manual);
        EXPECT_EQ(chooser->selectLab3()->isVisible(), manual);
        EXPECT_TRUE(chooser->selectLab()->isVisible());
        EXPECT_TRUE(chooser->select1Lab()->isVisible());
        EXPECT_EQ(chooser->contentView()->geometry(),
                  QRect(1000 - 80 - 120, 90, 120, manual ? 130 : 100));
        // Title, "仅问题答案", "仅音频", "仅同传", each 10 below the one above.
        EXPECT_EQ(chooser->titleLab()->y(), 15);
        EXPECT_EQ(chooser->selectLab()->y(), chooser->titleLab()->geometry().bottom() + 11);
        EXPECT_EQ(chooser->select1Lab()->y(), chooser->selectLab()->geometry().bottom() + 11);
        EXPECT_EQ(chooser->selectLab3()->y(), chooser->select1Lab()->geometry().bottom() + 11);

        // The backdrop closes the chooser and leaves the detail pop-up open.
        QPointer<SubtitleDetailAlertShareView> alive(chooser);
        clickAt(&window_, QPoint(10, 650));
        ASSERT_TRUE(runMainUntil([&] { return alive.isNull(); }));
        auto details = window_.findChildren<SubtitleDetailAlertView*>(Qt::FindDirectChildrenOnly);
        ASSERT_EQ(details.size(), 1);
        EXPECT_TRUE(details.front()->isVisible());
        EXPECT_TRUE(dialogues_.shown.empty());
        details.front()->didTap1();
        runMainUntil([&] {
            return window_.findChildren<SubtitleDetailAlertView*>(Qt::FindDirectChildrenOnly)
                .isEmpty();
        });
    }
    EXPECT_EQ(window_.clicks, 0);
}

TEST_F(ExportTest, ATextExportWritesTheFileCopiesItsAddressAndTips) {
    storeSession(1700000100, 1, "二面", "rec2");
    storeLine(1700000100, 1, "2024-03-05 11:00:01", "原文", "Source", "");
    storeAnswer(1700000100, 5, "2024-03-05 11:00:05", "问", "答");
    HistoryView* panel = showPanel();
    const struct {
        QLabel* (SubtitleDetailAlertShareView::*choice)() const;
        QString name;
        std::string text;
    } cases[] = {
        {&SubtitleDetailAlertShareView::selectLab, QStringLiteral("二面问题答案.txt"),
         "2024-03-05 11:00:05\n问题：问\n答案：答\n"},
        {&SubtitleDetailAlertShareView::selectLab3, QStringLiteral("二面同传.txt"),
         "2024-03-05 11:00:01\n原文\nSource\n"},
    };
    for (const auto& c : cases) {
        SubtitleDetailAlertShareView* chooser = openChooser(panel, 0);
        ASSERT_NE(chooser, nullptr);
        QPointer<SubtitleDetailAlertShareView> alive(chooser);
        click((chooser->*c.choice)());
        EXPECT_FALSE(alive && alive->isVisible()) << "the chooser goes first";
        ASSERT_EQ(dialogues_.shown.size(), 1u);
        const SaveDialogues::Shown dialogue = dialogues_.shown.front();
        dialogues_.shown.clear();
        EXPECT_EQ(dialogue.name, c.name);
        EXPECT_EQ(dialogue.types, QStringList{QStringLiteral("txt")});
        EXPECT_TRUE(dialogue.otherTypes);
        EXPECT_TRUE(dialogue.extensionHidden);
        EXPECT_TRUE(dialogue.createFolders);

        const auto target = root() / "导出" / c.name.toStdString();
        dialogue.completion(SavePanel::Response::ok, target);
        EXPECT_EQ(fileText(target), c.text);
        EXPECT_EQ(QApplication::clipboard()->text(),
                  QUrl::fromLocalFile(QString::fromStdString(target.string()))
                      .toString(QUrl::FullyEncoded));
        EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("file:///")));
        EXPECT_EQ(tipAfterQuarterSecond(), QStringLiteral("导出成功，地址已复制，粘贴即可查看"));
        auto details = window_.findChildren<SubtitleDetailAlertView*>(Qt::FindDirectChildrenOnly);
        ASSERT_EQ(details.size(), 1) << "the detail pop-up stays open";
        details.front()->didTap1();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(ExportTest, CancellingWritesNothingAndAFailedWriteIsTold) {
    storeSession(1700000000, 0, "一面", "rec1");
    HistoryView* panel = showPanel();
    const HistoryRecord record = panel->records().front();

    panel->exportQuestionsAndAnswers(record);
    ASSERT_EQ(dialogues_.shown.size(), 1u);
    const auto target = root() / "一面问题答案.txt";
    dialogues_.shown[0].completion(SavePanel::Response::cancel, target);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_EQ(tipAfterQuarterSecond(), QString());

    // Places no one can write to, root included: a read-only file system, a file as folder.
    std::ofstream(root() / "plain") << "x";
    const std::filesystem::path unwritable[] = {"/proc/pexmora-export.txt",
                                                root() / "plain" / "一面问题答案.txt"};
    for (const auto& place : unwritable) {
        dialogues_.shown.clear();
        panel->exportQuestionsAndAnswers(record);
        ASSERT_EQ(dialogues_.shown.size(), 1u);
        dialogues_.shown[0].completion(SavePanel::Response::ok, place);
        EXPECT_TRUE(hudText().startsWith(QStringLiteral("导出失败："))) << hudText().toStdString();
        EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
        EXPECT_EQ(tipAfterQuarterSecond(), QString()) << "no success for a file not written";
        StatusHUD::shared().hide(false);
    }
    // A dialogue answering OK without a file wrote nothing either.
    dialogues_.shown.clear();
    panel->exportQuestionsAndAnswers(record);
    dialogues_.shown[0].completion(SavePanel::Response::ok, std::nullopt);
    EXPECT_TRUE(hudText().startsWith(QStringLiteral("导出失败：")));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST_F(ExportTest, TheRecordingIsCopiedUnderItsOwnNameAndAMissingOneIsTold) {
    storeSession(1700000000, 0, "一面", "AI面试1700000000");
    const std::string bytes("RIFF\0\0\0\0WAVEfmt ", 16);
    std::ofstream(StandardFolders::documents() / "AI面试1700000000.wav", std::ios::binary) << bytes;
    ASSERT_TRUE(db().renameHistory(1700000000, "改名后"));
    HistoryView* panel = showPanel();
    SubtitleDetailAlertShareView* chooser = openChooser(panel, 0);
    ASSERT_NE(chooser, nullptr);
    click(chooser->select1Lab());
    ASSERT_EQ(dialogues_.shown.size(), 1u);
    EXPECT_EQ(dialogues_.shown[0].name, QStringLiteral("AI面试1700000000.wav"));
    EXPECT_EQ(dialogues_.shown[0].types, QStringList{QStringLiteral("wav")});
    const auto target = root() / "copy.wav";
    dialogues_.shown[0].completion(SavePanel::Response::ok, target);
    EXPECT_EQ(fileText(target), bytes);
    EXPECT_EQ(tipAfterQuarterSecond(), QStringLiteral("导出成功"));

    // Renamed, the text exports carry the new name.
    dialogues_.shown.clear();
    panel->exportTranscript(panel->records().front());
    EXPECT_EQ(dialogues_.shown.at(0).name, QStringLiteral("改名后同传.txt"));

    // Without its recording nothing is offered, and the user is told.
    std::filesystem::remove(StandardFolders::documents() / "AI面试1700000000.wav");
    dialogues_.shown.clear();
    panel->exportAudio(panel->records().front());
    EXPECT_TRUE(dialogues_.shown.empty());
    EXPECT_EQ(hudText(), QStringLiteral("录音文件不存在，无法导出"));
}

}  // namespace
}  // namespace pex::test
