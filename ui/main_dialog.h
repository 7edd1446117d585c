// CBrevacastPCDlg, the window the presenter lives in: the preview and its sources panel, the buttons
// that add sources, the microphone and speaker, the activity chooser, the record toggle, the settings
// and the start/stop button with the status of the live. It owns the scene and the live engine while it
// exists, starts and stops lives through the live session (the window never waits for a server),
// enforces the account's live-duration limit, hides in the notification area, and saves the scene and
// the settings when it closes. It ends with 1 when the user logs off and with Rejected when the user
// quits. Main thread; the engine, the scene, the web session and the panels reach it by posted messages.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11/monitors.h"
#include "ui/skin_dialog.h"
#include "ui/studio_context.h"

class CActiveOutPanel;
class CBGPanel;
class CDblImgButton;
class CImageButton;
class CImgTxtButton;
class CLabel;
class CLiveEngine;
class CLogoffPanel;
class CScene;
class CSceneCtrlPanel;
class CVideoDeviceSettingDlg;
class CVolumePanel;
class LiveSession;
class QSystemTrayIcon;
struct CaptureOptions;
struct LayerNode;

// The logon display state.
enum LogonDisplay : int32_t { kLogonNone = 0, kLogonFailed = 1, kLogonDone = 2 };

// Control identifiers of the main window.
enum MainControl : int32_t {
    kIdScreen = 1000,
    kIdMedia = 1001,
    kIdText = 1002,
    kIdCamera = 1003,
    kIdStart = 1005,
    kIdMic = 1006,
    kIdSpeaker = 1007,
    kIdRecord = 1008,
    kIdActivity = 1009,
    kIdWebSite = 1010,
    kIdMinimise = 1034,
    kIdSettings = 1035,
};

class CBrevacastPCDlg : public CSkinDialog {
public:
    static constexpr int kBaseWidth = 721;
    static constexpr int kBannerHeight = 56;
    static constexpr int kLiveBarHeight = 48;
    static constexpr int kBottomHeight = 64;

    explicit CBrevacastPCDlg(StudioContext* context, QWidget* parent = nullptr);
    // Stops a live, saves the scene and the gains into the settings.
    ~CBrevacastPCDlg() override;

    // What other parts and tests look at.
    CScene* Scene() const { return scene_.get(); }
    CLiveEngine* Engine() const { return engine_.get(); }
    int32_t EngineState() const;
    LogonDisplay LogonState() const { return logonState_; }
    int32_t SelectedActivity() const { return activityId_; }
    QString ActivityLabel() const;
    QString StatusText() const { return statusText_; }
    // The status texts shown since the window opened (the last 64 changes), oldest first.
    const QStringList& StatusHistory() const { return statusHistory_; }
    bool RecordFlag() const { return record_; }
    bool SourcesPanelShown() const { return panelShown_; }
    CSceneCtrlPanel* SourcesPanel() const { return sources_; }
    CBGPanel* View() const { return view_; }
    QSystemTrayIcon* TrayIcon() const { return tray_; }
    CImageButton* Button(int id) const;
    CDblImgButton* StartButton() const { return start_; }

    // The text that announces the account's live-duration limit (hours and minutes, minutes, or seconds).
    static std::string DurationLimitText(int32_t seconds);

    // The buttons' handlers (also what a click does).
    void OnStartStop();
    void OnAddScreen();
    void OnAddMedia();
    void OnAddText();
    void OnAddCamera();
    void OnSettings();
    void OnClose();
    void MinimiseToTray();
    void RestoreFromTray();

protected:
    intptr_t OnWindowMessage(uint32_t code, uintptr_t wParam, intptr_t lParam) override;
    bool DragsAt(const QPoint& pos) const override;
    void QuitAsRequested() override;
    void BringForward() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void reject() override;

private:
    void CreateControls();
    void LayOut();
    void Initialise();
    void RestoreScene();
    void ShowUser();
    void RefreshButtons();
    void RefreshInfoText();
    void SetStatus(const QString& text);
    void SelectActivity(int index);

    bool CheckPreconditions();
    void StartLive();
    void StopLive();
    void OnLiveStatus(int32_t state, intptr_t elapsedMs);
    void OnStartDone();
    bool LiveRunning() const;

    void AddRow(LayerNode* node, const QString& name, bool atTop);
    void OnLayerCommand(int command, LayerNode* node);
    // After the camera dialog's OK: the layer's device reopened when the device or its capture format
    // (name, format: what ran before the dialog) changed.
    void ReopenCamera(LayerNode* node, const std::string& name, const CaptureOptions& format,
                      const CVideoDeviceSettingDlg& dialog);
    void ApplySettingsResult();
    void SaveAll();

    StudioContext* context_;
    std::unique_ptr<CLiveEngine> engine_;
    std::unique_ptr<CScene> scene_;
    std::unique_ptr<LiveSession> live_;

    CBGPanel* view_ = nullptr;
    CSceneCtrlPanel* sources_ = nullptr;
    std::vector<CImageButton*> buttons_;
    CImgTxtButton* activity_ = nullptr;
    CImageButton* record_button_ = nullptr;
    CDblImgButton* start_ = nullptr;
    CImageButton* ctrlTab_ = nullptr;
    QWidget* userArea_ = nullptr;
    CLogoffPanel* logoffPanel_ = nullptr;
    CVolumePanel* micPanel_ = nullptr;
    CVolumePanel* speakerPanel_ = nullptr;
    CActiveOutPanel* activityPanel_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;

    LogonDisplay logonState_ = kLogonNone;
    int32_t activityId_ = -1;
    int activityIndex_ = -1;
    QString statusText_;
    QStringList statusHistory_;
    bool record_ = false;
    bool panelShown_ = false;
    bool reportedStart_ = false;
    int viewHeight_ = 405;
    std::vector<MonitorRect> monitors_;
    bool saved_ = false;
};
