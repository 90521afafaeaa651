// The history panel with stored sessions and with a search, and the two session detail pop-ups
// over it with their players. The sessions are written to the history database first; the
// recordings are fake players of a fixed length, so no sound file is needed.
#include <QLineEdit>
#include <QWidget>

#include "Gallery.h"
#include "Page/History/HistoryView.h"
#include "Page/History/SubtitleDetail2AlertView.h"
#include "Page/History/SubtitleDetailAlertShareView.h"
#include "Page/History/SubtitleDetailAlertView.h"
#include "StandinScene.h"
#include "platform/avfoundation/FakeAudioPlayer.h"
#include "service/GRDBDataManager.h"

namespace pex::gallery {
namespace {

constexpr std::int64_t kFirstId = 1741000000;

// A scene whose history database holds the gallery's sessions only.
class HistoryScene {
  public:
    HistoryScene() {
        GRDBDataManager& db = GRDBDataManager::shared();
        for (const HistoryRecord& record : db.fetchAllHistory()) {
            if (record.id) (void)db.deleteHistory(*record.id);
        }
        const char* names[] = {"产品经理面试 第一轮",
                               "后端开发（海外）",
                               "产品经理面试 第二轮：与业务负责人的深入交流和案例讨论",
                               "学术面试",
                               "英文自我介绍练习",
                               "终面"};
        for (int i = 0; i < 6; ++i) {
            HistoryRecord record;
            record.id = kFirstId + i * 86400;
            record.timeStr = static_cast<double>(*record.id);
            record.time = "2025-03-0" + std::to_string(i + 1) + " 1" + std::to_string(i) + ":30:00";
            record.audioFileName = "AI面试" + std::to_string(*record.id);
            record.antoAnswerType = i == 1 ? 1 : 0;
            record.historyFileName = names[i];
            db.insertHistory(record);
        }
        addLine(kFirstId, 1, "请先做一个简单的自我介绍。", "", "");
        addLine(kFirstId, 2, "你为什么想做产品经理？", "",
                "我喜欢把用户的问题变成可以落地的方案，也享受和设计、研发一起把想法做出来的过程。");
        addLine(kFirstId, 3, "最近用过最好的产品是什么？", "",
                "是一款记账应用，它把复杂的分类做得很轻，录入只需要两步。");
        const std::int64_t manual = kFirstId + 86400;
        addLine(manual, 1, "Tell me about a project you are proud of.", "讲讲你最自豪的项目。", "");
        addLine(manual, 2, "How did you handle the deadline?", "你是如何应对截止日期的？", "");
        addAnswer(manual, 1, "Tell me about a project you are proud of.",
                  "I led the migration of our payment service to a new queue, with zero downtime.");
        addAnswer(manual, 2, "How did you handle the deadline?", "");
        AudioPlayer::setFactoryForTesting(
            FakeAudioPlayer::factory(754, std::make_shared<FakeAudioPlayer::Journal>()));
        window_.resize(1000, 700);
    }
    ~HistoryScene() { AudioPlayer::setFactoryForTesting(nullptr); }

    QWidget& window() { return window_; }

    HistoryView* showPanel() {
        auto* panel = new HistoryView(&window_);
        panel->setGeometry(window_.rect());
        window_.show();
        waitFor([&] { return !panel->isLoadingList(); }, "the session list");
        return panel;
    }

    static HistoryRecord session(std::int64_t id) {
        for (const HistoryRecord& record : GRDBDataManager::shared().fetchAllHistory()) {
            if (record.id == id) return record;
        }
        return {};
    }

    template <typename Detail>
    Detail* showDetail(std::int64_t id) {
        auto* detail = new Detail(&window_);
        detail->setGeometry(window_.rect());
        for (const HistoryRecord& record : GRDBDataManager::shared().fetchAllHistory()) {
            if (record.id == id) detail->history = record;
        }
        detail->configure();
        detail->show();
        // Part of the recording already heard.
        detail->audioView()->setSliderValue(0.3);
        return detail;
    }

  private:
    static void addLine(std::int64_t session, int n, const char* source, const char* result,
                        const char* answer) {
        TranslationDetailRecord line;
        line.historyId = session;
        line.timeStr = static_cast<double>(session + n);
        line.sourceText = source;
        line.resultText = result;
        line.aiResultText = answer;
        GRDBDataManager::shared().insertTranslationDetail(line);
    }
    static void addAnswer(std::int64_t session, int n, const char* question, const char* answer) {
        AIResponseDetailRecord row;
        row.historyId = session;
        row.timeStr = static_cast<double>(session + n);
        row.aiQuestionText = question;
        row.aiResultText = answer;
        GRDBDataManager::shared().insertAIResponseDetail(row);
    }

    StandinScene folders_;
    QWidget window_;
};

const Entry sessions{"HistoryView", "sessions", [] {
                         HistoryScene scene;
                         scene.showPanel();
                         return snapshot(scene.window());
                     }};

const Entry searched{"HistoryView", "search", [] {
                         HistoryScene scene;
                         HistoryView* panel = scene.showPanel();
                         panel->searchTextField()->setText(QStringLiteral("产品"));
                         waitFor([&] { return !panel->isLoadingList(); }, "the search");
                         return snapshot(scene.window());
                     }};

// A session renamed to a name of thousands of characters: its row ends the name in "…" after
// two lines and keeps its buttons in view.
const Entry longName{"HistoryView", "long_name", [] {
                         HistoryScene scene;
                         std::string name;
                         while (name.size() < 15000) name += "一个非常非常长的面试名称";
                         (void)GRDBDataManager::shared().renameHistory(kFirstId + 5 * 86400, name);
                         scene.showPanel();
                         return snapshot(scene.window());
                     }};

const Entry automatic{"SubtitleDetailAlertView", "automatic_answers", [] {
                          HistoryScene scene;
                          scene.showPanel();
                          scene.showDetail<SubtitleDetailAlertView>(kFirstId);
                          return snapshot(scene.window());
                      }};

const Entry manual{"SubtitleDetail2AlertView", "manual_answers", [] {
                       HistoryScene scene;
                       scene.showPanel();
                       scene.showDetail<SubtitleDetail2AlertView>(kFirstId + 86400);
                       return snapshot(scene.window());
                   }};

// The export chooser over a detail pop-up: two choices for automatic answers, three for manual.
QImage renderChooser(bool manual) {
    HistoryScene scene;
    HistoryView* panel = scene.showPanel();
    const std::int64_t id = manual ? kFirstId + 86400 : kFirstId;
    if (manual) {
        scene.showDetail<SubtitleDetail2AlertView>(id);
    } else {
        scene.showDetail<SubtitleDetailAlertView>(id);
    }
    panel->showExportChooser(HistoryScene::session(id));
    return snapshot(scene.window());
}

const Entry chooserAutomatic{"SubtitleDetailAlertShareView", "automatic_answers",
                             [] { return renderChooser(false); }};
const Entry chooserManual{"SubtitleDetailAlertShareView", "manual_answers",
                          [] { return renderChooser(true); }};

}  // namespace
}  // namespace pex::gallery
