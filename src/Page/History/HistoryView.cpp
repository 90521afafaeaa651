#include "Page/History/HistoryView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QUrl>
#include <algorithm>
#include <system_error>

#include "Page/History/HistoryDatabaseNotice.h"
#include "Page/History/RecordingFile.h"
#include "Page/History/SessionExport.h"
#include "Page/History/SubtitleDetail2AlertView.h"
#include "Page/History/SubtitleDetailAlertShareView.h"
#include "Page/History/SubtitleDetailAlertView.h"
#include "Page/History/SubtitleExportCell.h"
#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/EscapeToClose.h"
#include "Tools/PinToParent.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/TipAlertView.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/SavePanel.h"
#include "platform/appkit/SystemFont.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"
#include "service/GRDBDataManager.h"

namespace pex {

namespace {
constexpr double kCardFraction = 0.85;
constexpr int kInset = 20;
constexpr int kCloseSide = 20;
constexpr int kCloseRightInset = 10;
constexpr int kPictureWidth = 600;
constexpr int kSearchWidth = 300;
constexpr int kSearchHeight = 30;
constexpr int kSearchInset = 5;
// A WAV file's sizes are 32-bit: no recording is longer.
constexpr std::size_t kMaxRecordingBytes = 0xFFFFFFFFu;
constexpr int kListRightInset = 10;
constexpr QSize kRenameFieldSize{200, 24};
constexpr auto kTipDelay = std::chrono::milliseconds(250);

// The card's decoration as a band behind its title and search field: the whole picture
// pressed into the band and fading out at its bottom, so that none of it lies behind the
// list's rows.
QPixmap decorationBand(const QPixmap& picture, QSize band) {
    if (picture.isNull() || band.isEmpty()) return {};
    const qreal ratio = picture.devicePixelRatio();
    QImage out(band * ratio, QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRectF(QPointF(0, 0), QSizeF(band)), picture, QRectF(picture.rect()));
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    QLinearGradient fade(0, 0, 0, band.height());
    fade.setColorAt(0, Qt::black);
    fade.setColorAt(0.5, Qt::black);
    fade.setColorAt(1, Qt::transparent);
    painter.fillRect(QRect(QPoint(0, 0), band), fade);
    painter.end();
    return QPixmap::fromImage(out);
}
}  // namespace

HistoryView::HistoryView(QWidget* parent)
    : ClickKeepingView("HistoryView", parent),
      sharedView_(new LayerBackedView(this)),
      bgView_(new LayerBackedView(this)),
      bgImg_(new ImageView(bgView_)),
      closeImg_(new ImageView(AppImages::named(QStringLiteral("close")), bgView_)),
      tip1Lab_(makeTextLabel(QStringLiteral("面试记录"), bgView_)),
      noticeLab_(makeTextLabel(QString(), bgView_)),
      searchBox_(new LayerBackedView(bgView_)),
      searchTextField_(new QLineEdit(searchBox_)),
      contentView_(new SubtitleExportView(bgView_)),
      listQueue_(DispatchQueue::serial("history.list")) {
    sharedView_->setLayerBackgroundColor(Color::grey(0, 0.2));
    sharedView_->setCornerRadius(10);
    ClickGestureRecognizer::attach(sharedView_, [this](ClickGestureRecognizer&) { didTap1(); });

    bgView_->setLayerBackgroundColor(colorWithHex(0xF9F9F9));
    bgView_->setCornerRadius(10);
    ClickGestureRecognizer::attach(bgView_, [this](ClickGestureRecognizer&) { bgTap(); });
    ClickGestureRecognizer::attach(closeImg_, [this](ClickGestureRecognizer&) { didTap1(); });
    EscapeToClose::attach(this, [this] { didTap1(); });
    closeImg_->setAccessibleName(QStringLiteral("关闭"));

    tip1Lab_->setFont(systemFont(15));
    setTextColor(tip1Lab_, colorWithHex(0x333333));
    tip1Lab_->setAlignment(Qt::AlignCenter);
    tip1Lab_->setWordWrap(true);

    noticeLab_->setFont(systemFont(13));
    setTextColor(noticeLab_, colorWithHex(0xEC2727));
    noticeLab_->setWordWrap(true);
    noticeLab_->hide();

    searchBox_->setLayerBackgroundColor(Color::grey(1));
    searchBox_->setCornerRadius(8);
    searchTextField_->setPlaceholderText(QStringLiteral("请输入搜索的面试记录名称"));
    searchTextField_->setAccessibleName(QStringLiteral("搜索面试记录"));
    searchTextField_->setFrame(false);
    searchTextField_->setAttribute(Qt::WA_MacShowFocusRect, false);
    searchTextField_->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    connect(searchTextField_, &QLineEdit::textChanged, this, [this] { search(); });

    QPointer<HistoryView> weak(this);
    contentView_->didSelectItem = [weak](int row, int action, std::int64_t id) {
        if (weak) weak->handleRowAction(row, action, id);
    };

    layoutSubviews();
    reload();
}

void HistoryView::reload() {
    const auto notice = HistoryDatabaseNotice::about(GRDBDataManager::shared().openingProblem());
    noticeLab_->setText(notice ? notice->title + QStringLiteral("：") + notice->text : QString());
    noticeLab_->setVisible(notice.has_value());
    layoutSubviews();
    loadList(QString());
}

void HistoryView::search() {
    loadList(searchTextField_->text().toLower());
}

void HistoryView::loadList(const QString& text) {
    const std::uint64_t generation = ++listGeneration_;
    ++pendingLoads_;
    QPointer<HistoryView> weak(this);
    listQueue_.async([weak, generation, text = text.toStdString()]() mutable {
        auto rows = text.empty() ? DatabaseResult<std::vector<HistoryRecord>>(
                                       GRDBDataManager::shared().fetchAllHistory())
                                 : GRDBDataManager::shared().searchHistory(text);
        DispatchQueue::main().async(
            [weak = std::move(weak), generation, rows = std::move(rows)]() mutable {
                if (!weak) return;
                --weak->pendingLoads_;
                if (generation != weak->listGeneration_) return;
                if (!rows) {
                    consoleLog("查询失败: " + rows.error().description());
                    return;
                }
                weak->showRecords(std::move(rows).value());
            });
    });
}

void HistoryView::showRecords(std::vector<HistoryRecord> records) {
    contentView_->dataArr = std::move(records);
    contentView_->mTableView()->reloadData();
}

void HistoryView::handleRowAction(int row, int action, std::int64_t id) {
    if (action == SubtitleExportCell::deleteAction) {
        deleteRecord(id);
        return;
    }
    if (row < 0 || row >= static_cast<int>(records().size())) return;
    const HistoryRecord record = records()[static_cast<std::size_t>(row)];
    if (action == SubtitleExportCell::renameAction) {
        showRenamePrompt(record);
    } else {
        openDetail(record);
    }
}

void HistoryView::openDetail(const HistoryRecord& record) {
    QWidget* host = parentWidget();
    if (!host) return;
    SubtitleDetailAlertView* detail =
        record.antoAnswerType != 0 ? new SubtitleDetail2AlertView : new SubtitleDetailAlertView;
    addSubview(host, detail);
    pinEdgesToParent(detail);
    detail->history = record;
    detail->configure();
    QPointer<HistoryView> weak(this);
    detail->didSelectItem = [weak, record](int) {
        if (weak) weak->showExportChooser(record);
    };
}

void HistoryView::showExportChooser(const HistoryRecord& record) {
    QWidget* host = parentWidget();
    if (!host) return;
    auto* chooser = new SubtitleDetailAlertShareView;
    addSubview(host, chooser);
    pinEdgesToParent(chooser);
    const bool manual = record.antoAnswerType != 0;
    chooser->setTranscriptChoiceShown(manual);
    QPointer<HistoryView> weak(this);
    QPointer<SubtitleDetailAlertShareView> weakChooser(chooser);
    chooser->didSelectItem = [weak, weakChooser, record, manual](int choice) {
        // The chooser goes first; the detail pop-up beneath stays open.
        if (weakChooser) weakChooser->didTap1();
        if (!weak) return;
        switch (choice) {
            case SubtitleDetailAlertShareView::questionsAndAnswers:
                weak->exportQuestionsAndAnswers(record);
                break;
            case SubtitleDetailAlertShareView::recording:
                weak->exportAudio(record);
                break;
            case SubtitleDetailAlertShareView::transcript:
                if (manual) weak->exportTranscript(record);
                break;
            default:
                break;
        }
    };
}

void HistoryView::exportTranscript(const HistoryRecord& record) {
    saveExport(exportFileName(record.historyFileName.value_or(""), QStringLiteral("同传.txt")),
               QStringLiteral("txt"), transcriptText(record),
               QStringLiteral("导出成功，地址已复制，粘贴即可查看"));
}

void HistoryView::exportQuestionsAndAnswers(const HistoryRecord& record) {
    saveExport(exportFileName(record.historyFileName.value_or(""), QStringLiteral("问题答案.txt")),
               QStringLiteral("txt"), questionsAndAnswersText(record),
               QStringLiteral("导出成功，地址已复制，粘贴即可查看"));
}

void HistoryView::exportAudio(const HistoryRecord& record) {
    const auto file = recordingFilePath(record.audioFileName);
    std::error_code error;
    std::optional<std::string> bytes;
    if (file) bytes = AtomicFile::read(*file, error, kMaxRecordingBytes);
    if (!bytes) {
        const bool missing = !file || error == std::errc::no_such_file_or_directory;
        consoleLog("读取录音失败：" + (file ? error.message() : std::string("no recording name")));
        StatusHUD::showMessage(missing ? QStringLiteral("录音文件不存在，无法导出")
                                       : QStringLiteral("录音文件读取失败，无法导出"),
                               StatusHUDMode::error);
        return;
    }
    saveExport(exportFileName(record.audioFileName, QStringLiteral(".wav")), QStringLiteral("wav"),
               std::move(*bytes), QStringLiteral("导出成功"));
}

void HistoryView::saveExport(const QString& proposedName, const QString& fileType,
                             std::string bytes, const QString& successTip) {
    std::unique_ptr<SavePanel> panel = SavePanel::make();
    panel->nameFieldStringValue = proposedName;
    panel->allowsOtherFileTypes = true;
    panel->allowedFileTypes = {fileType};
    panel->isExtensionHidden = true;
    panel->canCreateDirectories = true;
    QPointer<HistoryView> weak(this);
    panel->begin([weak, bytes = std::move(bytes), successTip](
                     SavePanel::Response response, std::optional<std::filesystem::path> chosen) {
        if (response != SavePanel::Response::ok) return;
        // A dialogue that answers OK without a file wrote nothing: that is no success. An
        // export is the user's to hand on, so it gets the mode of any file they make.
        const std::error_code failed =
            chosen ? AtomicFile::write(*chosen, bytes, AtomicFile::userFilePermissions())
                   : std::make_error_code(std::errc::no_such_file_or_directory);
        if (failed) {
            consoleLog("导出失败：" + failed.message());
            StatusHUD::showMessage(
                QStringLiteral("导出失败：") + QString::fromStdString(failed.message()),
                StatusHUDMode::error);
            return;
        }
        QGuiApplication::clipboard()->setText(
            QUrl::fromLocalFile(QString::fromStdString(chosen->string()))
                .toString(QUrl::FullyEncoded));
        DispatchQueue::main().asyncAfter(kTipDelay, [weak, successTip] {
            // A panel closed meanwhile has nothing to show the tip on.
            if (!weak || !weak->parentWidget()) return;
            TipAlertView::shared().show(weak, successTip, QStringLiteral("确定"));
        });
    });
}

void HistoryView::showRenamePrompt(const HistoryRecord& record) {
    Alert alert;
    alert.messageText = QString::fromStdString(record.historyFileName.value_or(""));
    alert.informativeText = QStringLiteral("请输入新的文本");
    auto field = std::make_unique<QLineEdit>();
    field->resize(kRenameFieldSize);
    field->setAccessibleName(QStringLiteral("新名称"));
    alert.accessoryView = field.get();
    alert.addButton(QStringLiteral("确定"));
    alert.addButton(QStringLiteral("取消"));
    if (alert.runModal() != Alert::firstButtonReturn) {
        consoleLog("用户取消了输入");
        return;
    }
    const std::string name = field->text().toStdString();
    // A session without an id matches no row: nothing to store.
    if (record.id) {
        const DatabaseStatus renamed = GRDBDataManager::shared().renameHistory(*record.id, name);
        if (!renamed) tellFailure(QStringLiteral("重命名失败"), renamed.error().description());
    }
    reload();
}

void HistoryView::deleteRecord(std::int64_t id) {
    std::string audioFileName;
    const auto shown = std::find_if(records().begin(), records().end(),
                                    [id](const HistoryRecord& record) { return record.id == id; });
    if (shown != records().end()) {
        audioFileName = shown->audioFileName;
    } else {
        for (const HistoryRecord& record : GRDBDataManager::shared().fetchAllHistory()) {
            if (record.id == id) audioFileName = record.audioFileName;
        }
    }
    auto remaining = GRDBDataManager::shared().deleteHistory(id);
    if (!remaining) {
        consoleLog("删除失败：" + remaining.error().description());
        tellFailure(QStringLiteral("删除失败"), remaining.error().description());
        return;
    }
    removeRecording(audioFileName, remaining.value());
    // The remaining rows replace any list still being read.
    ++listGeneration_;
    showRecords(std::move(remaining).value());
    QPointer<HistoryView> weak(this);
    DispatchQueue::main().asyncAfter(kTipDelay, [weak] {
        // A panel closed meanwhile has nothing to show the tip on.
        if (!weak || !weak->parentWidget()) return;
        TipAlertView::shared().show(weak, QStringLiteral("删除成功"), QStringLiteral("确定"));
    });
}

void HistoryView::removeRecording(const std::string& audioFileName,
                                  const std::vector<HistoryRecord>& remaining) {
    const auto file = recordingFilePath(audioFileName);
    if (!file) return;
    const bool stillNamed = std::any_of(
        remaining.begin(), remaining.end(),
        [&](const HistoryRecord& record) { return record.audioFileName == audioFileName; });
    if (stillNamed) return;
    std::error_code error;
    if (!std::filesystem::remove(*file, error) && error) {
        consoleLog("删除录音失败：" + error.message());
    }
}

void HistoryView::tellFailure(const QString& what, const std::string& error) {
    Alert alert;
    alert.messageText = what;
    alert.informativeText = QString::fromStdString(error);
    alert.addButton(QStringLiteral("确定"));
    alert.runModal();
}

void HistoryView::didTap1() {
    removeFromSuperview(this);
}

void HistoryView::layoutSubviews() {
    sharedView_->setGeometry(rect());
    const int cardWidth = static_cast<int>(width() * kCardFraction);
    const int cardHeight = static_cast<int>(height() * kCardFraction);
    bgView_->setGeometry((width() - cardWidth) / 2, (height() - cardHeight) / 2, cardWidth,
                         cardHeight);
    closeImg_->setGeometry(cardWidth - kCloseRightInset - kCloseSide, kInset, kCloseSide,
                           kCloseSide);
    const QSize title = tip1Lab_->sizeHint();
    tip1Lab_->setGeometry(kInset, kInset, title.width(), title.height());
    const int titleCentre = kInset + title.height() / 2;
    searchBox_->setGeometry((cardWidth - kSearchWidth) / 2, titleCentre - kSearchHeight / 2,
                            kSearchWidth, kSearchHeight);
    searchTextField_->setGeometry(kSearchInset, kSearchInset, kSearchWidth - 2 * kSearchInset,
                                  kSearchHeight - 2 * kSearchInset);
    int listTop = kInset + title.height() + kInset;
    if (!noticeLab_->isHidden()) {
        const int noticeWidth = std::max(0, cardWidth - kInset - kListRightInset);
        const int noticeHeight = noticeLab_->heightForWidth(noticeWidth);
        noticeLab_->setGeometry(kInset, listTop - kInset / 2, noticeWidth, noticeHeight);
        listTop += noticeHeight;
    }
    contentView_->setGeometry(kInset, listTop, std::max(0, cardWidth - kInset - kListRightInset),
                              std::max(0, cardHeight - kInset - listTop));
    // The picture ends where the list begins: stretched over the card it would lie behind
    // the rows.
    const QSize band(kPictureWidth, listTop);
    if (bgImg_->size() != band || bgImg_->image().isNull()) {
        bgImg_->setImage(decorationBand(AppImages::named(QStringLiteral("tip_bg")), band));
    }
    bgImg_->setGeometry((cardWidth - kPictureWidth) / 2, 0, band.width(), band.height());
    closeImg_->raise();
}

}  // namespace pex
