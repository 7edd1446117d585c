// CLogonDlg, the logon dialog the start-up runs before the main window: account and password, the
// remember-password and automatic-logon toggles, logon against the web session's server, offline use,
// the operator's registration page. exec() ends with Accepted after a successful logon (the account and
// the password digest are then stored in the settings) or after Offline, and Rejected when the user
// closes it. Main thread; the session's logon worker answers through WM_LOGON_RESULT.
#pragma once

#include <QString>
#include <string>

#include "ui/skin_dialog.h"
#include "ui/studio_context.h"

class QLineEdit;
class CImageButton;
class CImgTxtButton;
class CLabel;

class CLogonDlg : public CSkinDialog {
public:
    // firstOfRun: the first logon dialog of this program run, the only one that logs on by itself.
    CLogonDlg(StudioContext* context, bool firstOfRun, QWidget* parent = nullptr);
    ~CLogonDlg() override;

    // The controls, for the start-up's tests and the benchmark that drive the dialog as a user would.
    QLineEdit* AccountBox() const { return accountBox_; }
    QLineEdit* PasswordBox() const { return passwordBox_; }
    CImageButton* LogonButton() const { return logon_; }
    CImageButton* RememberBox() const { return remember_; }
    CImageButton* AutoLogonBox() const { return autoLogon_; }
    CImgTxtButton* OfflineButton() const { return offline_; }
    CImageButton* SignButton() const { return sign_; }
    CImageButton* CloseButton() const { return close_; }
    CImageButton* MinimizeButton() const { return minimize_; }
    QString StatusText() const;
    // No logon is running: the logon button and Offline act.
    bool Idle() const { return idle_; }

protected:
    intptr_t OnWindowMessage(uint32_t code, uintptr_t wParam, intptr_t lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    enum class Tone { kNeutral, kFailure, kSuccess };

    void BuildControls();
    void FillFromSettings();
    // The logon button's work, also for the automatic logon with the stored account and digest.
    void TryLogon(const std::string& account, const std::string& typedPassword);
    void OnLogonResult(bool succeeded);
    void ToggleRemember();
    void ToggleAutoLogon();
    void ShowToggles();
    void GoOffline();
    void SetStatus(const QString& text, Tone tone);

    StudioContext* context_;
    const bool firstOfRun_;
    bool autoLogonTried_ = false;
    bool idle_ = true;
    // The account and digest of the running logon, as they were when it started.
    std::string logonAccount_;
    std::string logonDigest_;

    QLineEdit* accountBox_ = nullptr;
    QLineEdit* passwordBox_ = nullptr;
    CImageButton* logon_ = nullptr;
    CImageButton* remember_ = nullptr;
    CImageButton* autoLogon_ = nullptr;
    CImgTxtButton* offline_ = nullptr;
    CImageButton* sign_ = nullptr;
    CImageButton* close_ = nullptr;
    CImageButton* minimize_ = nullptr;
    CLabel* status_ = nullptr;
    CLabel* version_ = nullptr;
};
