#include "ui/main_dialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "app/app_config.h"
#include "app/language_table.h"
#include "app/live_session.h"
#include "app/live_settings.h"
#include "app/scene_restore.h"
#include "app/shell_loop.h"
#include "app/web_session.h"
#include "media/audio_mixer.h"
#include "media/live_engine.h"
#include "platform/log.h"
#include "platform/v4l2/video_inputs.h"
#include "platform/window_messages.h"
#include "platform/x11/monitors.h"
#include "scene/base_layer.h"
#include "scene/dev_layer.h"
#include "scene/file_device_list.h"
#include "scene/file_layer.h"
#include "scene/layer_node.h"
#include "scene/scene.h"
#include "scene/text_layer.h"
#include "scene/video_device_list.h"
#include "ui/activity_panel.h"
#include "ui/bg_panel.h"
#include "ui/border_setting_dlg.h"
#include "ui/camera_setting_dlg.h"
#include "ui/exit_dlg.h"
#include "ui/image_button.h"
#include "ui/img_txt_button.h"
#include "ui/logoff_panel.h"
#include "ui/msg_panel.h"
#include "ui/pic_setting_dlg.h"
#include "ui/scene_ctrl_panel.h"
#include "ui/screen_setting_dlg.h"
#include "ui/skin.h"
#include "ui/skin_label.h"
#include "ui/sys_setting_dlg.h"
#include "ui/txt_setting_dlg.h"
#include "ui/video_device_setting_dlg.h"
#include "ui/volume_panel.h"

namespace {

// The texts the main window shows that are not in the language table; the same in both languages.
constexpr char kTextLogOnFirst[] = "请先登录！";
constexpr char kTextChooseActivity[] = "请选择直播活动。";
constexpr char kTextNoActivity[] = "没有有效的活动，请至网站后台创建。";
constexpr char kTextNoCloudStorage[] = "由于%s，服务器端不能存储，是否继续直播！";
constexpr char kTextActivityListFailed[] = "获取活动列表失败，请重新登录重试。";
constexpr char kTextLimitHours[] = "您的账号单次直播时长受限，时长%d小时%d分钟，到时会自动停止！";
constexpr char kTextLimitMinutes[] = "您的账号单次直播时长受限，时长%d分钟，到时会自动停止！";
constexpr char kTextLimitSeconds[] = "您的账号单次直播时长受限，时长%d秒，到时会自动停止！";

// The user area of the banner: the portrait, the user's name (or text 76), and a press shows the
// log-off panel.
class CUserArea : public QWidget {
public:
    explicit CUserArea(QWidget* parent) : QWidget(parent) {
        const QPixmap back = CSkin::Current().Image("user");
        setFixedSize(back.isNull() ? QSize(160, 36) : back.size());
        setCursor(Qt::PointingHandCursor);
    }
    void Show(const QString& name, const QString& portraitPath) {
        name_ = name;
        portrait_ = QPixmap(portraitPath);
        if (portrait_.isNull()) portrait_ = CSkin::Current().Image("portrait");
        setToolTip(name);
        update();
    }
    const QString& Name() const { return name_; }
    std::function<void(const QPoint& global)> onPressed;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPixmap back = CSkin::Current().Image("user");
        if (!back.isNull()) painter.drawPixmap(0, 0, back);
        const QRect face(4, 4, 28, 28);
        QPainterPath circle;
        circle.addEllipse(face);
        painter.save();
        painter.setClipPath(circle);
        if (!portrait_.isNull())
            painter.drawPixmap(face,
                               portrait_.scaled(face.size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));
        painter.restore();
        painter.setFont(CSkin::Current().ControlFont(13));
        // The user label's colour: RGB 3F 9C F9.
        painter.setPen(CSkin::HotText());
        const QRect text(40, 0, width() - 48, height());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(name_, Qt::ElideRight, text.width()));
    }
    void mousePressEvent(QMouseEvent* event) override {
        if ((event->button() == Qt::LeftButton || event->button() == Qt::RightButton) && onPressed)
            onPressed(event->globalPosition().toPoint());
    }

private:
    QString name_;
    QPixmap portrait_;
};

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The layer context panel's two entries that open dialogs.
constexpr int kIdMenuBorder = 1081;
constexpr int kIdMenuSetting = 1073;

// What a camera added with the camera button captures until its own dialog says otherwise: the format
// the device is set to, or else the first it offers that can be opened; a common one when the device
// tells nothing.
CaptureOptions NewCameraOptions(const std::string& name) {
    CaptureOptions options;
    if (!DefaultCaptureOptions(QueryCaptureFormats(name), &options))
        options = CaptureOptions{640, 480, 30.0f, kFourccYUY2};
    return options;
}

std::string Format(const char* format, int a, int b = 0) {
    char text[256];
    std::snprintf(text, sizeof(text), format, a, b);
    return text;
}

}  // namespace

std::string CBrevacastPCDlg::DurationLimitText(int32_t seconds) {
    if (seconds > 3600) return Format(kTextLimitHours, seconds / 3600, seconds % 3600 / 60);
    if (seconds > 60) return Format(kTextLimitMinutes, seconds / 60);
    return Format(kTextLimitSeconds, seconds);
}

CBrevacastPCDlg::CBrevacastPCDlg(StudioContext* context, QWidget* parent)
    : CSkinDialog(QString(), parent), context_(context) {
    setWindowTitle(Text(GetAppTitle()));
    setAttribute(Qt::WA_TranslucentBackground, false);
    engine_ = std::make_unique<CLiveEngine>(Target());
    scene_ = std::make_unique<CScene>(Target());
    scene_->SetNotificationWindow(Target());
    live_ = std::make_unique<LiveSession>(engine_.get(), LiveProducers::Of(scene_.get(), context_->mixer));
    context_->media->SetLiveEngine(engine_.get());
    // A file that played to its end with "hide at the end" reaches the scene, whose notice comes here.
    context_->media->SetFileEndedHandler(
        [scene = scene_.get()](const CFileDevice* device) { scene->NotifyFileEnded(device); });
    CreateControls();
    QCoreApplication::instance()->installEventFilter(this);
    Initialise();
}

CBrevacastPCDlg::~CBrevacastPCDlg() {
    QCoreApplication::instance()->removeEventFilter(this);
    // An activity list still being fetched answers nobody: this window's bridge goes with it.
    context_->session->ForgetTarget(Target());
    SaveAll();
    context_->media->SetFileEndedHandler(nullptr);
    context_->media->SetLiveEngine(nullptr);
    live_.reset();
    // The layers give their devices back to the registries, which outlive the window.
    scene_->Destroy();
    engine_.reset();
}

void CBrevacastPCDlg::SaveAll() {
    if (saved_) return;
    saved_ = true;
    if (live_ && (live_->StartPending() || live_->IsLive())) StopLive();
    AppConfig* config = context_->config;
    if (config->Scenes.empty()) config->Scenes.push_back(std::make_unique<CSceneBase>());
    scene_->ExportRecords(config->Scenes.front().get());
    if (micPanel_ != nullptr) config->MicGain = micPanel_->Gain();
    if (speakerPanel_ != nullptr) config->SpkGain = speakerPanel_->Gain();
    if (!config->Save()) Log(LogLevel::kError, "ui", "the settings could not be saved to %s", config->Path().c_str());
    context_->mixer->ClearEndpoints(CAudioMixer::kFlowCapture);
    context_->mixer->ClearEndpoints(CAudioMixer::kFlowRender);
}

CImageButton* CBrevacastPCDlg::Button(int id) const {
    for (CImageButton* button : buttons_)
        if (button->Id() == id) return button;
    return nullptr;
}

int32_t CBrevacastPCDlg::EngineState() const { return engine_->State(); }

QString CBrevacastPCDlg::ActivityLabel() const { return activity_->Text(); }

void CBrevacastPCDlg::CreateControls() {
    auto add = [this](CImageButton* button, void (CBrevacastPCDlg::*handler)()) {
        buttons_.push_back(button);
        if (handler != nullptr)
            connect(button, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
        return button;
    };
    const int sourceTexts[] = {kTextScreen, kTextAudioVideo, kTextText, kTextCamera};
    const char* sourceImages[] = {"screen", "image", "font", "camera"};
    void (CBrevacastPCDlg::*sourceHandlers[])() = {&CBrevacastPCDlg::OnAddScreen, &CBrevacastPCDlg::OnAddMedia,
                                                   &CBrevacastPCDlg::OnAddText, &CBrevacastPCDlg::OnAddCamera};
    for (int i = 0; i < 4; ++i) {
        auto* button = new CImgTxtButton(sourceImages[i], UiText(sourceTexts[i]), kIdScreen + i, this);
        button->SetTextIndent(33);
        add(button, sourceHandlers[i]);
    }
    add(new CImageButton("setting", kIdSettings, this), &CBrevacastPCDlg::OnSettings)->setToolTip(UiText(kTextSetting));
    add(new CImageButton("minisize", kIdMinimise, this), &CBrevacastPCDlg::MinimiseToTray);
    add(new CImageButton("close", kIdClose, this), &CBrevacastPCDlg::OnClose);
    CImageButton* web = add(new CImageButton("web", kIdWebSite, this), nullptr);
    web->setVisible(!context_->deployment.WebSite.empty());
    connect(web, &QAbstractButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl(Text(context_->deployment.WebSite))); });

    record_button_ = add(new CImageButton("record", kIdRecord, this), nullptr);
    connect(record_button_, &QAbstractButton::clicked, this, [this] {
        record_ = !record_;
        record_button_->SetSelected(record_);
    });
    CImageButton* mic = add(new CImageButton("mic", kIdMic, this), nullptr);
    CImageButton* speaker = add(new CImageButton("spk", kIdSpeaker, this), nullptr);
    micPanel_ = new CVolumePanel(this, Target(), WM_MIC_STATE,
                                 [this](float gain) { context_->mixer->SetMicrophoneGain(gain); });
    speakerPanel_ = new CVolumePanel(this, Target(), WM_SPK_STATE,
                                     [this](float gain) { context_->mixer->SetSystemSoundGain(gain); });
    connect(mic, &QAbstractButton::clicked, this, [this, mic] { micPanel_->ShowUnder(mic); });
    connect(speaker, &QAbstractButton::clicked, this, [this, speaker] { speakerPanel_->ShowUnder(speaker); });

    activity_ = new CImgTxtButton("active", UiText(kTextActivitiesList), kIdActivity, this);
    activity_->SetTextIndent(5);
    buttons_.push_back(activity_);
    activityPanel_ = new CActiveOutPanel(this, Target());
    connect(activity_, &QAbstractButton::clicked, this, [this] {
        if (context_->session->Activities() == nullptr) return;
        activityPanel_->SetActivities(context_->session->Activities());
        activityPanel_->ShowUnder(activity_);
    });

    start_ = new CDblImgButton("start", "stop", kIdStart, this);
    connect(start_, &QAbstractButton::clicked, this, [this] { OnStartStop(); });

    ctrlTab_ = new CImageButton("ctrlbtn", 0, this);
    connect(ctrlTab_, &QAbstractButton::clicked, this,
            [this] { PostWindowMessage(Target(), WM_SHOW_CTRL, panelShown_ ? 0 : 1, 0); });

    auto* userArea = new CUserArea(this);
    userArea_ = userArea;
    logoffPanel_ = new CLogoffPanel(this, Target());
    userArea->onPressed = [this](const QPoint& global) { logoffPanel_->ShowAt(global); };

    sources_ = new CSceneCtrlPanel(scene_.get(), this);
    view_ = new CBGPanel(scene_.get(), Target(), this);
    view_->SetLayerCommandHandler([this](int command, LayerNode* node) { OnLayerCommand(command, node); });
    // A row clicked selects its layer in the view, as a click on the layer would.
    sources_->OnRowClicked([this](LayerNode* node) {
        // Through the scene: a row whose layer has just been deleted must not become the selection.
        if (scene_->Select(node)) sources_->Mirror(WM_SCENE_SELECTED, node);
    });

    tray_ = new QSystemTrayIcon(QIcon(QString::fromStdString(CSkin::Current().SkinFolder() + "/icon.png")), this);
    tray_->setToolTip(Text(GetAppTitle()));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason) { RestoreFromTray(); });
}

void CBrevacastPCDlg::Initialise() {
    AppConfig* config = context_->config;
    CWebSession* session = context_->session;
    // The view is as high as the output's proportions make a 720-pixel-wide picture.
    viewHeight_ = config->FrameSizeCX > 0 ? kViewWidth * config->FrameSizeCY / config->FrameSizeCX : 405;
    panelShown_ = config->ShowCtrl != 0;
    activity_->setEnabled(session->Kind() == kServerPortal);

    CAudioMixer* mixer = context_->mixer;
    mixer->EnumerateEndpoints(CAudioMixer::kFlowCapture);
    mixer->EnumerateEndpoints(CAudioMixer::kFlowRender);
    mixer->SelectDevices(config->MicAudioDevice, config->SpkAudioDevice);
    mixer->SetMicrophoneGain(config->MicGain);
    mixer->SetSystemSoundGain(config->SpkGain);
    micPanel_->ShowGain(config->MicGain);
    speakerPanel_->ShowGain(config->SpkGain);
    Button(kIdMic)->SetSelected(config->MicGain <= 0.0f);
    Button(kIdSpeaker)->SetSelected(config->SpkGain <= 0.0f);

    logonState_ = session->Kind() == kServerPortal || session->Kind() == kServerStream ? kLogonDone : kLogonNone;
    ShowUser();
    if (session->Kind() == kServerPortal) session->StartActivityList(session->LoggedOnUser(), Target());

    monitors_ = EnumerateMonitors();
    scene_->SetFrameRate(config->Framerate);
    LayOut();
    if (!scene_->Initialise(config->FrameSizeCX, config->FrameSizeCY, kBannerHeight))
        Log(LogLevel::kError, "ui", "cannot create a %dx%d canvas", config->FrameSizeCX, config->FrameSizeCY);
    RefreshInfoText();
    RestoreScene();
    SetStatus(UiText(kTextStopped));
    RefreshButtons();
}

void CBrevacastPCDlg::RestoreScene() {
    RestoreStoredScene(scene_.get(), *context_->config, context_->cameras, context_->media,
                       [this](LayerNode* node, const SceneSource& record) {
                           QString name = Text(record.SourceName);
                           if (node->kind == kLayerScreen)
                               name = UiText(kTextScreen) + " " + QString::number(record.ScrIdx + 1);
                           AddRow(node, name, false);
                           if (CLayerCtrlPanel* row = sources_->Row(node)) row->SetLayerVisible(record.Visible != 0);
                       });
}

void CBrevacastPCDlg::AddRow(LayerNode* node, const QString& name, bool atTop) {
    const bool visible = node->layer ? node->layer->visible != 0 : true;
    sources_->AddRow(node, node->kind, name, visible, atTop);
    // A source just added is the view's selection; its row says so.
    if (atTop) sources_->Mirror(WM_SCENE_SELECTED, node);
}

void CBrevacastPCDlg::ShowUser() {
    auto* user = static_cast<CUserArea*>(userArea_);
    CWebSession* session = context_->session;
    if (logonState_ == kLogonNone)
        user->Show(UiText(kTextNotLoggedOn), QString());
    else
        user->Show(Text(session->LoggedOnUser()), Text(session->PortraitPath()));
}

void CBrevacastPCDlg::LayOut() {
    const int width = kBaseWidth + (panelShown_ ? sources_->width() : 0);
    const int liveBarTop = kBannerHeight + viewHeight_;
    const int bottomTop = liveBarTop + kLiveBarHeight;
    const int height = bottomTop + kBottomHeight;
    setFixedSize(width, height);

    // The banner: logo at the left (painted), the user, then the window's own buttons at the right.
    userArea_->move(214, (kBannerHeight - userArea_->height()) / 2);
    int right = kBaseWidth - 10;
    for (int id : {static_cast<int>(kIdClose), static_cast<int>(kIdMinimise), static_cast<int>(kIdSettings),
                   static_cast<int>(kIdWebSite)}) {
        CImageButton* button = Button(id);
        if (!button->isVisibleTo(this) && id == kIdWebSite) continue;
        right -= button->width();
        button->move(right, (kBannerHeight - button->height()) / 2);
        right -= 4;
    }
    // The live bar: the activity chooser, the status (painted), the record toggle and start/stop.
    activity_->move(12, liveBarTop + (kLiveBarHeight - activity_->height()) / 2);
    start_->move(kBaseWidth - 12 - start_->width(), liveBarTop + (kLiveBarHeight - start_->height()) / 2);
    record_button_->move(start_->x() - 10 - record_button_->width(),
                         liveBarTop + (kLiveBarHeight - record_button_->height()) / 2);
    // The bottom bar: the four sources, the sound buttons and the panel's tab.
    for (int i = 0; i < 4; ++i) {
        CImageButton* button = Button(kIdScreen + i);
        button->move(12 + i * (button->width() + 4), bottomTop + (kBottomHeight - button->height()) / 2);
    }
    ctrlTab_->move(kBaseWidth - ctrlTab_->width(), bottomTop);
    CImageButton* speaker = Button(kIdSpeaker);
    CImageButton* mic = Button(kIdMic);
    speaker->move(ctrlTab_->x() - 12 - speaker->width(), bottomTop + (kBottomHeight - speaker->height()) / 2);
    mic->move(speaker->x() - 6 - mic->width(), speaker->y());

    sources_->setGeometry(kBaseWidth, 0, sources_->width(), height);
    sources_->setVisible(panelShown_);
    ctrlTab_->SetImages(panelShown_ ? "ctrlbtn" : "ctrlbtn_s");
    ctrlTab_->move(kBaseWidth - ctrlTab_->width(), bottomTop);
    update();
}

bool CBrevacastPCDlg::DragsAt(const QPoint& pos) const {
    // The preview has its own uses for the mouse; the bars move the window.
    return childAt(pos) == nullptr && (pos.y() < kBannerHeight || pos.y() >= kBannerHeight + viewHeight_);
}

void CBrevacastPCDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x14, 0x16, 0x1B));
    CSkin& skin = CSkin::Current();
    const QPixmap banner = skin.Image("banner");
    if (!banner.isNull()) painter.drawPixmap(0, 0, banner);
    const QPixmap logo = skin.Image("logo");
    if (!logo.isNull()) painter.drawPixmap(14, (kBannerHeight - logo.height()) / 2, logo);

    // The preview's frame is black until the first picture arrives.
    painter.fillRect(QRect(0, kBannerHeight, kBaseWidth, viewHeight_), Qt::black);

    const int liveBarTop = kBannerHeight + viewHeight_;
    const QRect liveBar(0, liveBarTop, kBaseWidth, kLiveBarHeight);
    painter.fillRect(liveBar, CSkin::PanelBackground());
    painter.fillRect(QRect(0, liveBarTop, kBaseWidth, 1), CSkin::Hairline());
    // The status: a red dot while live, then the text (the time of a running live).
    const int32_t state = engine_->State();
    const bool live = state == kEngineLiveRecording || state == kEngineLivePublishing;
    const QRect status(activity_->x() + activity_->width() + 16, liveBarTop,
                       record_button_->x() - activity_->x() - activity_->width() - 32, kLiveBarHeight);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(skin.ControlFont(live ? 18 : 14, live));
    const int textWidth = painter.fontMetrics().horizontalAdvance(statusText_);
    int x = status.center().x() - textWidth / 2;
    if (live) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xE5, 0x48, 0x4D));
        painter.drawEllipse(QPoint(x - 14, status.center().y() + 1), 5, 5);
    }
    painter.setPen(live ? CSkin::BrightText() : CSkin::LabelText());
    painter.drawText(QRect(x, status.top(), textWidth + 2, status.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     statusText_);

    const int bottomTop = liveBarTop + kLiveBarHeight;
    const QPixmap bottom = skin.Image("bottom");
    if (!bottom.isNull())
        painter.drawPixmap(0, bottomTop, bottom);
    else
        painter.fillRect(QRect(0, bottomTop, kBaseWidth, kBottomHeight), CSkin::PanelBackground());
    const QPixmap line = skin.Image("bmline");
    CImageButton* mic = Button(kIdMic);
    if (!line.isNull()) painter.drawPixmap(mic->x() - 12, bottomTop + (kBottomHeight - line.height()) / 2, line);
}

void CBrevacastPCDlg::SetStatus(const QString& text) {
    if (text != statusText_) {
        statusHistory_.append(text);
        if (statusHistory_.size() > 64) statusHistory_.removeFirst();
    }
    statusText_ = text;
    update(QRect(0, kBannerHeight + viewHeight_, kBaseWidth, kLiveBarHeight));
}

void CBrevacastPCDlg::RefreshInfoText() {
    const AppConfig* config = context_->config;
    char text[512];
    std::snprintf(text, sizeof(text), GetText(kTextOutputInfo).c_str(), config->FrameSizeCX, config->FrameSizeCY,
                  config->Bitrate, config->Framerate);
    std::string info(text);
    // The overlay draws its lines from "\n".
    for (size_t at; (at = info.find("\r\n")) != std::string::npos;) info.replace(at, 2, "\n");
    scene_->SetInfoText(info);
}

void CBrevacastPCDlg::RefreshButtons() {
    const bool idle = engine_->State() == kEngineIdle && !live_->StartPending();
    start_->SetSelected(!idle);
    Button(kIdSettings)->setEnabled(idle);
    activity_->setEnabled(idle && context_->session->Kind() == kServerPortal);
    record_button_->setEnabled(idle && logonState_ != kLogonNone);
    update();
}

bool CBrevacastPCDlg::LiveRunning() const { return engine_->State() != kEngineIdle || live_->StartPending(); }

void CBrevacastPCDlg::OnStartStop() {
    if (!LiveRunning()) {
        StartLive();
    } else {
        StopLive();
    }
    RefreshButtons();
}

bool CBrevacastPCDlg::CheckPreconditions() {
    CWebSession* session = context_->session;
    switch (session->Kind()) {
        case kServerDirectRtmp:
        case kServerNone:
            return true;
        case kServerStream: {
            if (logonState_ != kLogonDone) {
                ShowMessage(std::string(kTextLogOnFirst));
                return false;
            }
            const bool rms = session->ServerAddress().find("RMS") != std::string::npos;
            if (session->Prepare(rms ? -1 : 1) != 0) return true;
            ShowMessage(session->Message());
            return false;
        }
        case kServerPortal: {
            if (logonState_ != kLogonDone) {
                ShowMessage(std::string(kTextLogOnFirst));
                return false;
            }
            if (session->Duration() > 0) ShowMessage(DurationLimitText(session->Duration()));
            if (activityId_ < 0) {
                const ActivityList* list = session->Activities();
                ShowMessage(std::string(list != nullptr && list->count > 0 ? kTextChooseActivity : kTextNoActivity));
                return false;
            }
            const int32_t prepared = session->Prepare(activityId_);
            if (prepared > 0) return true;
            if (prepared == 0) {
                // Without a reason the chosen activity is no longer in the list.
                ShowMessage(session->Message().empty() ? std::string(kTextChooseActivity) : session->Message());
                return false;
            }
            char text[1024];
            std::snprintf(text, sizeof(text), kTextNoCloudStorage, session->Message().c_str());
            return ShowMessage(std::string(text), true);
        }
    }
    return false;
}

void CBrevacastPCDlg::StartLive() {
    if (!CheckPreconditions()) return;
    CWebSession* session = context_->session;
    reportedStart_ = false;
    start_->SetSelected(true);
    const LiveSettings settings =
        LiveSettings::From(*context_->config, session->Kind(), session->PublishToUrl(), session->PublishUrl(), record_);
    live_->BeginStart(settings, Target());
    RefreshButtons();
}

void CBrevacastPCDlg::OnStartDone() {
    std::string failure;
    const LiveStartResult result = live_->FinishStart(&failure);
    if (result == LiveStartResult::kFailed) ShowMessage(failure);
    RefreshButtons();
}

void CBrevacastPCDlg::StopLive() {
    CWebSession* session = context_->session;
    start_->SetSelected(false);
    live_->Stop([session] { session->StopOnService(); });
    RefreshButtons();
}

void CBrevacastPCDlg::OnLiveStatus(int32_t state, intptr_t elapsedMs) {
    switch (state) {
        case kEngineIdle:
            SetStatus(UiText(kTextStopped));
            RefreshButtons();
            return;
        case kEngineLivePublishing: {
            CWebSession* session = context_->session;
            const int32_t limit = session->Duration();
            if (session->Kind() == kServerPortal && limit >= 0 && elapsedMs / 1000 >= limit) {
                StopLive();
                return;
            }
            SetStatus(Text(FormatLiveElapsed(static_cast<uint32_t>(elapsedMs))));
            if (!reportedStart_) {
                reportedStart_ = true;
                session->StartOnService();
            }
            return;
        }
        case kEngineLiveRecording:
            SetStatus(Text(FormatLiveElapsed(static_cast<uint32_t>(elapsedMs))));
            return;
        default: {
            const int index = LiveStatusTextIndex(state);
            if (index >= 0) SetStatus(UiText(index));
            return;
        }
    }
}

void CBrevacastPCDlg::SelectActivity(int index) {
    const ActivityList* list = context_->session->Activities();
    if (list == nullptr || index < 0 || index >= list->count) {
        activityId_ = -1;
        activityIndex_ = -1;
        activity_->SetText(UiText(kTextActivitiesList));
        return;
    }
    activityIndex_ = index;
    activityId_ = list->items[index]->id;
    activity_->SetText(QString::fromUtf8(list->items[index]->title));
}

intptr_t CBrevacastPCDlg::OnWindowMessage(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    switch (code) {
        case WM_LIVE_STATUS:
            OnLiveStatus(static_cast<int32_t>(wParam), lParam);
            return 0;
        case WM_LIVE_START_DONE:
            OnStartDone();
            return 0;
        case WM_LOGON_RESULT:
            context_->session->JoinWorker();
            if (wParam == 0) {
                logonState_ = kLogonFailed;
                ShowMessage(context_->session->Message() + GetText(kTextCheckAndRetry));
                SelectActivity(-1);
            } else {
                logonState_ = kLogonDone;
                if (context_->session->Kind() == kServerPortal)
                    context_->session->StartActivityList(context_->session->LoggedOnUser(), Target());
            }
            ShowUser();
            return 0;
        case WM_ACTIVITY_LIST:
            context_->session->JoinWorker();
            if (static_cast<intptr_t>(wParam) < 0) {
                ShowMessage(std::string(kTextActivityListFailed));
                SelectActivity(-1);
                return 0;
            }
            if (context_->session->Activities() == nullptr) return 1;
            SelectActivity(0);
            return 0;
        case WM_ACTIVITY_SELECTED: {
            const ActivityList* list = context_->session->Activities();
            const int index = static_cast<int>(wParam);
            activityPanel_->HidePanel();
            SelectActivity(index);
            return list != nullptr && index < list->count ? 0 : 1;
        }
        case WM_MIC_STATE:
            Button(kIdMic)->SetSelected(wParam != 0);
            return 0;
        case WM_SPK_STATE:
            Button(kIdSpeaker)->SetSelected(wParam != 0);
            return 0;
        case WM_SHOW_CTRL:
            panelShown_ = wParam != 0;
            LayOut();
            return 0;
        case WM_LOGOFF:
            logoffPanel_->HidePanel();
            if (LiveRunning()) {
                ShowMessage(GetText(kTextLiveInProgress));
                return 1;
            }
            done(kMainResultLogoff);
            return 0;
        case WM_SCENE_SELECTED:
        case WM_SCENE_DELETE:
        case WM_SCENE_MOVE_UP:
        case WM_SCENE_MOVE_DOWN:
        case WM_SCENE_TO_TOP:
        case WM_SCENE_TO_BOTTOM:
        case WM_SCENE_FILE_ENDED:
            sources_->Mirror(code, reinterpret_cast<LayerNode*>(wParam));
            return 0;
        default:
            return 0;
    }
}

bool CBrevacastPCDlg::eventFilter(QObject* watched, QEvent* event) {
    // A key goes to the focused control first, and a button takes the arrows to move the focus on: the
    // window's own keys are taken here, before any control of the window sees them.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Delete:
                keyPressEvent(static_cast<QKeyEvent*>(event));
                return true;
            default:
                break;
        }
    }
    return CSkinDialog::eventFilter(watched, event);
}

void CBrevacastPCDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            // Never closes the window.
            event->accept();
            return;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Delete:
            view_->HandleKey(event->key());
            event->accept();
            return;
        default:
            CSkinDialog::keyPressEvent(event);
    }
}

void CBrevacastPCDlg::reject() {
    // Escape and the window manager's close go through the exit dialog like the close button.
    OnClose();
}

void CBrevacastPCDlg::mousePressEvent(QMouseEvent* event) { CSkinDialog::mousePressEvent(event); }

void CBrevacastPCDlg::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && isMinimized() && QSystemTrayIcon::isSystemTrayAvailable()) {
        // The system's minimise hides the window in the notification area, as the minimise button does.
        MinimiseToTray();
    }
    CSkinDialog::changeEvent(event);
}

void CBrevacastPCDlg::MinimiseToTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Without a notification area a hidden window could not be brought back: it is iconified instead.
        showMinimized();
        return;
    }
    tray_->show();
    hide();
}

void CBrevacastPCDlg::RestoreFromTray() {
    tray_->hide();
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    showNormal();
    raise();
    activateWindow();
}

void CBrevacastPCDlg::BringForward() {
    if (tray_->isVisible()) {
        RestoreFromTray();
        return;
    }
    CSkinDialog::BringForward();
}

void CBrevacastPCDlg::OnClose() {
    CExitDlg exit(this);
    if (exit.exec() != QDialog::Accepted) return;
    if (exit.Choice() == CExitDlg::Choice::kMinimise) {
        MinimiseToTray();
        return;
    }
    if (LiveRunning()) {
        ShowMessage(GetText(kTextLiveInProgress));
        return;
    }
    done(QDialog::Rejected);
}

void CBrevacastPCDlg::QuitAsRequested() {
    // A signal asked the program to end: the live ends and its recording is finished first.
    if (LiveRunning()) StopLive();
    done(QDialog::Rejected);
}

void CBrevacastPCDlg::OnSettings() {
    CSysSettingDlg dialog(context_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const SystemSettingValues& values = dialog.Values();
    AppConfig* config = context_->config;
    const bool resized = values.frameWidth != config->FrameSizeCX || values.frameHeight != config->FrameSizeCY;
    // A recording folder that does not exist is not taken; the rest is.
    StoreSystemSettings(values, config);
    if (resized) {
        scene_->PostThreadMessage(WM_SCENE_RESIZE, static_cast<uintptr_t>(config->FrameSizeCX), config->FrameSizeCY);
        viewHeight_ = kViewWidth * config->FrameSizeCY / config->FrameSizeCX;
        LayOut();
    }
    RefreshInfoText();
    context_->mixer->SelectDevices(config->MicAudioDevice, config->SpkAudioDevice);
    context_->mixer->SetMicrophoneGain(micPanel_->Gain());
    context_->mixer->SetSystemSoundGain(speakerPanel_->Gain());
    if (!config->Save()) Log(LogLevel::kError, "ui", "the settings could not be saved to %s", config->Path().c_str());
}

void CBrevacastPCDlg::OnAddScreen() {
    monitors_ = EnumerateMonitors();
    if (monitors_.empty()) monitors_.push_back(MonitorRect{0, 0, 1280, 720});
    int index = 0;
    if (monitors_.size() > 1) {
        CImageButton* button = Button(kIdScreen);
        button->SetSelected(true);
        CScreenSettingDlg dialog(monitors_, this);
        dialog.move(button->mapToGlobal(QPoint(0, button->height())));
        const int result = dialog.exec();
        button->SetSelected(false);
        if (result != QDialog::Accepted) return;
        index = dialog.Index();
    }
    if (index < 0 || index >= static_cast<int>(monitors_.size())) return;
    if (scene_->ScreenInUse(index)) {
        ShowMessage(GetText(kTextScreenInUse));
        return;
    }
    const QString name = UiText(kTextScreen) + " " + QString::number(index + 1);
    LayerNode* node =
        scene_->AddLayer(kLayerScreen, name.toStdString(), LayerOptions::Screen(index, &monitors_[index]));
    if (node != nullptr) AddRow(node, name, true);
}

void CBrevacastPCDlg::OnAddMedia() {
    CPicSettingDlg dialog(std::string(), 255, 0, this);
    if (dialog.exec() != QDialog::Accepted || dialog.Path().empty()) return;
    const std::string path = dialog.Path();
    LayerNode* node = nullptr;
    if (dialog.IsPicture()) {
        node = scene_->AddLayer(kLayerPicture, path, LayerOptions::Picture(dialog.Value()));
        // A picture that cannot be shown says so, as a media file does.
        if (node == nullptr) ShowMessage(GetText(kTextFileOpenFailed));
    } else {
        AppConfig* config = context_->config;
        if (context_->media->FindByName(path) != nullptr) {
            ShowMessage(GetText(kTextFileInUse));
            return;
        }
        CFileDevice* device = context_->media->OpenFileDevice(path, config->FrameSizeCX, config->FrameSizeCY,
                                                              dialog.Value() * 100 / 255, dialog.PlayFlags());
        if (device == nullptr) {
            ShowMessage(GetText(kTextFileOpenFailed));
            return;
        }
        node = scene_->AddLayer(kLayerFile, path, LayerOptions::Media(device));
    }
    if (node != nullptr) AddRow(node, Text(path), true);
}

void CBrevacastPCDlg::OnAddText() {
    TextStyle style;
    style.FaceName = GetText(kTextInfoFontFace);
    style.rgbColor = 0x00FFFFFF;
    CTxtSettingDlg dialog(std::string(), style, this);
    if (dialog.exec() != QDialog::Accepted || dialog.Text().empty()) return;
    const TextStyle chosen = dialog.Style();
    LayerNode* node = scene_->AddLayer(kLayerText, dialog.Text(), LayerOptions::Text(&chosen));
    if (node != nullptr) AddRow(node, Text(dialog.Text()), true);
}

void CBrevacastPCDlg::OnAddCamera() {
    const std::vector<std::string> names = context_->cameras->EnumerateVideoDevices();
    if (names.empty()) {
        ShowMessage(GetText(kTextNoDevice));
        return;
    }
    CCameraSettingDlg dialog(names, this);
    if (dialog.exec() != QDialog::Accepted || dialog.Name().empty()) return;
    const std::string name = dialog.Name();
    if (context_->cameras->FindByName(name) != nullptr) {
        ShowMessage(GetText(kTextDeviceInUse));
        return;
    }
    const auto& deinterlaced = context_->config->DeinterlaceDevices;
    const bool deinterlace = std::find(deinterlaced.begin(), deinterlaced.end(), name) != deinterlaced.end();
    const CaptureOptions options = NewCameraOptions(name);
    CVideoDevice* device = context_->cameras->OpenVideoDevice(name, &options, deinterlace);
    if (device == nullptr) {
        ShowMessage(GetText(kTextDeviceOpenFailed));
        return;
    }
    LayerNode* node = scene_->AddLayer(kLayerDevice, name, LayerOptions::Camera(device));
    if (node != nullptr) AddRow(node, Text(name), true);
}

void CBrevacastPCDlg::ReopenCamera(LayerNode* node, const std::string& name, const CaptureOptions& format,
                                   const CVideoDeviceSettingDlg& dialog) {
    const std::string& chosen = dialog.SourceName();
    const CaptureOptions& options = dialog.Options();
    const bool sameFormat = options.width == format.width && options.height == format.height &&
                            options.frameRate == format.frameRate && options.fourcc == format.fourcc;
    if (chosen.empty() || (chosen == name && sameFormat)) return;
    if (chosen != name && context_->cameras->FindByName(chosen) != nullptr) {
        ShowMessage(GetText(kTextDeviceInUse));
        return;
    }
    // A capture device opens once: the layer gives the running one back (a blank camera takes its
    // place for a moment) before the chosen one opens. The key and deinterlacing stay as set.
    const ChromaOptions chroma{static_cast<uint8_t>(dialog.ChromaKey() ? 1 : 0), dialog.KeyColor(),
                               dialog.Similarity()};
    scene_->ReplaceLayer(node, std::make_unique<CDevLayer>(name, nullptr, chroma, kFourccRV24));
    scene_->WaitForMessages();
    std::string opened = chosen;
    CVideoDevice* device = context_->cameras->OpenVideoDevice(chosen, &options, dialog.Deinterlace());
    if (device == nullptr) {
        ShowMessage(GetText(kTextDeviceOpenFailed));
        opened = name;
        device = context_->cameras->OpenVideoDevice(name, &format, dialog.Deinterlace());
    }
    scene_->ReplaceLayer(node, std::make_unique<CDevLayer>(opened, device, chroma, kFourccRV24));
    if (CLayerCtrlPanel* row = sources_->Row(node)) row->SetName(Text(opened));
}

void CBrevacastPCDlg::OnLayerCommand(int command, LayerNode* node) {
    if (node == nullptr || !node->layer) return;
    CBaseLayer* layer = node->layer.get();
    if (command == kIdMenuBorder) {
        CBorderSettingDlg dialog(layer->borderColor, layer->borderWidth, this);
        if (dialog.exec() != QDialog::Accepted) return;
        layer->borderColor = dialog.Colour();
        layer->borderWidth = dialog.Width();
        layer->borderChanged = 1;
        return;
    }
    if (command != kIdMenuSetting) return;
    switch (node->kind) {
        case kLayerPicture: {
            CPicSettingDlg dialog(layer->sourceName, layer->opacity, 0, this);
            if (dialog.exec() == QDialog::Accepted) layer->opacity = dialog.Value();
            return;
        }
        case kLayerText: {
            auto* caption = static_cast<CTxtLayer*>(layer);
            CTxtSettingDlg dialog(caption->sourceName, caption->Style(), this);
            if (dialog.exec() == QDialog::Accepted && !dialog.Text().empty())
                view_->ReplaceCaption(node, dialog.Text(), dialog.Style());
            return;
        }
        case kLayerFile: {
            // A media source's volume and playback options, in the same dialog that added it.
            CFileDevice* media = static_cast<CFileLayer*>(layer)->Device();
            if (media == nullptr) return;
            CPicSettingDlg dialog(media->Name(), static_cast<int>(media->Gain() * 255.0f + 0.5f), media->PlayFlags(),
                                  this);
            if (dialog.exec() == QDialog::Accepted)
                media->SetPlayOptions(dialog.Value() * 100 / 255, dialog.PlayFlags());
            return;
        }
        case kLayerDevice: {
            const CVideoDevice* device = static_cast<CDevLayer*>(layer)->Device();
            const std::string name = layer->sourceName;
            const CaptureOptions format =
                device != nullptr ? CaptureOptions{device->width, device->height, device->frameRate, device->fourcc}
                                  : CaptureOptions{};
            CVideoDeviceSettingDlg dialog(scene_.get(), node, context_->cameras, this);
            if (dialog.exec() == QDialog::Accepted) ReopenCamera(node, name, format, dialog);
            return;
        }
        default:
            return;
    }
}
