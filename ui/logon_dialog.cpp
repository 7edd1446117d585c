#include "ui/logon_dialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QTimer>
#include <QUrl>

#include "app/app_config.h"
#include "app/language_table.h"
#include "app/md5_checksum.h"
#include "app/text_trim.h"
#include "app/web_session.h"
#include "platform/log.h"
#include "platform/window_messages.h"
#include "ui/image_button.h"
#include "ui/img_txt_button.h"
#include "ui/skin.h"
#include "ui/skin_label.h"

namespace {

// Control identifiers beside the shared OK, Cancel and Close.
constexpr int kIdLogon = 1001;
constexpr int kIdMinimize = 1002;
constexpr int kIdRemember = 1003;
constexpr int kIdAutoLogon = 1004;
constexpr int kIdOffline = 1005;
constexpr int kIdSign = 1006;

// Where things sit on the 380 x 500 background: the hero with the mark and title above, the form panel,
// then Offline and the registration link, the version at the foot.
constexpr QRect kPanel(24, 164, 332, 260);
constexpr QRect kAccountFrame(40, 184, 300, 40);
constexpr QRect kPasswordFrame(40, 236, 300, 40);
constexpr int kChecksTop = 290;
constexpr QPoint kLogonAt(40, 322);
constexpr QRect kStatusArea(40, 372, 300, 48);
constexpr QPoint kOfflineAt(24, 440);
constexpr int kSignRight = 356;
constexpr QPoint kCloseAt(344, 8);
constexpr QPoint kMinimizeAt(312, 8);
constexpr int kVersionTop = 478;
// Inside a field frame: the mark at the left, the text after it.
constexpr int kMarkLeft = 12;
constexpr int kTextLeft = 38;
constexpr int kTextRight = 12;
constexpr int kFieldRadius = 6;

const QColor kFailureText(0xEC, 0x5F, 0x63);
const QColor kSuccessText(0x30, 0xA4, 0x6C);
const QColor kWaitingText(0x8D, 0x95, 0xA5);
const QColor kVersionText(0x5A, 0x61, 0x72);

// Keeps the style's own caret out of the fields: they draw theirs in the accent colour.
class CNoCaretStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_TextCursorWidth) return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// A field of the form: dark, without a frame of its own (the skin's frame is drawn behind it), light
// text and an accent caret that blinks at the desktop's rate. Focus changes repaint the dialog, which
// outlines the focused frame.
class CLogonEdit : public QLineEdit {
public:
    explicit CLogonEdit(QWidget* parent) : QLineEdit(parent) {
        setFrame(false);
        setFont(CSkin::Current().ControlFont(14));
        QPalette colours = palette();
        colours.setColor(QPalette::Base, Qt::transparent);
        colours.setColor(QPalette::Text, CSkin::BrightText());
        colours.setColor(QPalette::Highlight, CSkin::HotText());
        colours.setColor(QPalette::HighlightedText, Qt::white);
        setPalette(colours);
        const int flash = QApplication::cursorFlashTime();
        if (flash > 0) blink_.setInterval(flash / 2);
        connect(&blink_, &QTimer::timeout, this, [this] {
            caretOn_ = !caretOn_;
            update();
        });
        connect(this, &QLineEdit::cursorPositionChanged, this, [this] { RestartCaret(); });
        connect(this, &QLineEdit::textChanged, this, [this] { RestartCaret(); });
    }

    // Shows a text that stands for the content without being typed (the stored digest for the password):
    // the first key that edits replaces it rather than adding to its hidden characters, and deleting
    // from it deletes it.
    void ShowStandIn(const QString& text) {
        setText(text);
        standIn_ = true;
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (standIn_ && Edits(event)) {
            standIn_ = false;
            clear();
            if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) return;
        }
        QLineEdit::keyPressEvent(event);
    }
    void paintEvent(QPaintEvent* event) override {
        QLineEdit::paintEvent(event);
        if (!hasFocus() || !caretOn_ || hasSelectedText()) return;
        QPainter painter(this);
        // The caret lies 5 pixels into the rectangle QLineEdit reports around it.
        const QRect around = cursorRect();
        painter.fillRect(QRect(around.left() + 4, around.top() + 1, 2, around.height() - 2), CSkin::HotText());
    }
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        RestartCaret();
        if (parentWidget() != nullptr) parentWidget()->update();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        blink_.stop();
        if (parentWidget() != nullptr) parentWidget()->update();
    }

private:
    static bool Edits(const QKeyEvent* event) {
        if (event->matches(QKeySequence::Paste) || event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
            return true;
        const QString text = event->text();
        return !text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier);
    }

    void RestartCaret() {
        caretOn_ = true;
        if (hasFocus() && blink_.interval() > 0) blink_.start();
        update();
    }

    QTimer blink_;
    bool caretOn_ = true;
    bool standIn_ = false;
};

// A check box of the form: the skin's box and its label, which is part of what the user clicks. The
// selected look is the checked state.
class CLogonCheck : public CImageButton {
public:
    static constexpr int kBox = 16;
    static constexpr int kGap = 8;
    static constexpr int kHeight = 20;

    CLogonCheck(const QString& text, int id, QWidget* parent) : CImageButton("logoncheck", id, parent), text_(text) {
        const QFontMetrics metrics(CSkin::Current().ControlFont(13));
        setFixedSize(kBox + kGap + metrics.horizontalAdvance(text) + 2, kHeight);
        setAccessibleName(text);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QPixmap box = CurrentImage();
        if (!box.isNull()) painter.drawPixmap(0, (height() - box.height()) / 2, box);
        painter.setFont(CSkin::Current().ControlFont(13));
        painter.setPen(Hovered() ? CSkin::BrightText() : CSkin::LabelText());
        painter.drawText(QRect(kBox + kGap, 0, width() - kBox - kGap, height()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text_);
    }

private:
    QString text_;
};

// The reason followed by the plea to check and retry. Sentences of Latin script are parted by a blank;
// Chinese ones follow each other directly.
QString FailureStatus(const QString& reason) {
    const QString retry = UiText(kTextCheckAndRetry);
    if (reason.isEmpty()) return retry;
    return reason.back().unicode() < 0x80 ? reason + ' ' + retry : reason + retry;
}

CImageButton* TitleButton(const QString& base, int id, const QPoint& at, QWidget* parent) {
    auto* button = new CImageButton(base, id, parent);
    button->move(at);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

CLogonDlg::CLogonDlg(StudioContext* context, bool firstOfRun, QWidget* parent)
    : CSkinDialog("logonbg", parent), context_(context), firstOfRun_(firstOfRun) {
    setWindowTitle(QString::fromStdString(GetAppTitle()));
    BuildControls();
    FillFromSettings();
    // A later dialog follows the settings, which the main window may have changed; and it undoes
    // an earlier Offline, which only the session knew about.
    if (!firstOfRun_) context_->session->SetServer(context_->config->ServerURL);
}

CLogonDlg::~CLogonDlg() {
    // A logon still running answers nobody: this window's bridge goes with it.
    context_->session->ForgetTarget(Target());
}

void CLogonDlg::BuildControls() {
    close_ = TitleButton("logonclose", kIdClose, kCloseAt, this);
    minimize_ = TitleButton("logonmini", kIdMinimize, kMinimizeAt, this);
    connect(close_, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(minimize_, &QAbstractButton::clicked, this, &QWidget::showMinimized);

    auto* style = new CNoCaretStyle;
    style->setParent(this);
    const QRect frames[] = {kAccountFrame, kPasswordFrame};
    QLineEdit** boxes[] = {&accountBox_, &passwordBox_};
    for (int i = 0; i < 2; ++i) {
        auto* box = new CLogonEdit(this);
        box->setStyle(style);
        // The whole frame is the field, so that a click on its mark lands in it too.
        box->setGeometry(frames[i]);
        box->setTextMargins(kTextLeft, 0, kTextRight, 0);
        *boxes[i] = box;
    }
    passwordBox_->setEchoMode(QLineEdit::Password);
    setTabOrder(accountBox_, passwordBox_);

    remember_ = new CLogonCheck(UiText(kTextRememberMe), kIdRemember, this);
    remember_->move(kAccountFrame.left(), kChecksTop);
    autoLogon_ = new CLogonCheck(UiText(kTextAutoLogin), kIdAutoLogon, this);
    autoLogon_->move(kAccountFrame.right() + 1 - autoLogon_->width(), kChecksTop);
    connect(remember_, &QAbstractButton::clicked, this, [this] { ToggleRemember(); });
    connect(autoLogon_, &QAbstractButton::clicked, this, [this] { ToggleAutoLogon(); });

    logon_ = new CImageButton("logon", kIdLogon, this);
    logon_->move(kLogonAt);
    logon_->setFocusPolicy(Qt::NoFocus);
    const auto pressLogon = [this] { TryLogon(accountBox_->text().toStdString(), passwordBox_->text().toStdString()); };
    connect(logon_, &QAbstractButton::clicked, this, pressLogon);
    connect(passwordBox_, &QLineEdit::returnPressed, this, pressLogon);
    connect(accountBox_, &QLineEdit::returnPressed, this, [this, pressLogon] {
        if (passwordBox_->text().isEmpty()) {
            passwordBox_->setFocus();
        } else {
            pressLogon();
        }
    });

    status_ = new CLabel(QString(), this, 12, kWaitingText);
    status_->setGeometry(kStatusArea);
    status_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    status_->setWordWrap(true);
    status_->setAttribute(Qt::WA_TransparentForMouseEvents);

    offline_ = new CImgTxtButton("offline", UiText(kTextOffline), kIdOffline, this);
    offline_->move(kOfflineAt);
    offline_->setFocusPolicy(Qt::NoFocus);
    connect(offline_, &QAbstractButton::clicked, this, [this] { GoOffline(); });

    sign_ = new CImageButton("sign", kIdSign, this);
    sign_->move(kSignRight - sign_->width(), kOfflineAt.y() + (offline_->height() - sign_->height()) / 2);
    sign_->setFocusPolicy(Qt::NoFocus);
    const QString page = QString::fromStdString(RegistrationPageUrl(context_->deployment));
    // A deployment without a registration host has no page to send anyone to.
    sign_->setVisible(!page.isEmpty());
    connect(sign_, &QAbstractButton::clicked, this, [page] {
        if (!QDesktopServices::openUrl(QUrl(page)))
            Log(LogLevel::kWarning, "ui", "no browser opened the registration page %s", page.toUtf8().constData());
    });

    version_ = new CLabel(QString::fromStdString(context_->versionText), this, 11, kVersionText);
    version_->setGeometry(0, kVersionTop, width(), 14);
    version_->setAlignment(Qt::AlignCenter);
    version_->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CLogonDlg::FillFromSettings() {
    const AppConfig& config = *context_->config;
    if (!config.Account.empty()) accountBox_->setText(QString::fromStdString(config.Account));
    if (config.AutoPWD != 0 && !config.EncPassword.empty())
        static_cast<CLogonEdit*>(passwordBox_)->ShowStandIn(QString::fromStdString(config.EncPassword));
    ShowToggles();
    (accountBox_->text().isEmpty() ? accountBox_ : passwordBox_)->setFocus();
}

void CLogonDlg::showEvent(QShowEvent* event) {
    CSkinDialog::showEvent(event);
    if (autoLogonTried_) return;
    autoLogonTried_ = true;
    const ServerKind kind = context_->session->Kind();
    const AppConfig& config = *context_->config;
    if (firstOfRun_ && (kind == kServerPortal || kind == kServerStream) && config.AutoLogon != 0)
        TryLogon(config.Account, config.EncPassword);
}

void CLogonDlg::TryLogon(const std::string& account, const std::string& typedPassword) {
    if (!idle_) return;
    const std::string digest = LogonPasswordDigest(typedPassword, context_->config->EncPassword);
    // An account of blanks is as empty as no account: no service knows it.
    if (TrimBlanks(account).empty() || digest.empty()) {
        SetStatus(UiText(kTextCredentialsEmpty), Tone::kFailure);
        return;
    }
    logonAccount_ = account;
    logonDigest_ = digest;
    idle_ = false;
    context_->session->StartLogon(account, digest, Target());
    SetStatus(UiText(kTextPleaseWait), Tone::kNeutral);
}

intptr_t CLogonDlg::OnWindowMessage(uint32_t code, uintptr_t wParam, intptr_t) {
    if (code == WM_LOGON_RESULT) {
        // The worker has written the session's fields; it ends before they are read.
        context_->session->JoinWorker();
        if (!idle_) OnLogonResult(wParam == 1);
    }
    return 0;
}

void CLogonDlg::OnLogonResult(bool succeeded) {
    idle_ = true;
    if (!succeeded) {
        SetStatus(FailureStatus(QString::fromStdString(context_->session->Message())), Tone::kFailure);
        return;
    }
    SetStatus(UiText(kTextLoginWelcome), Tone::kSuccess);
    AppConfig& config = *context_->config;
    config.Account = logonAccount_;
    config.EncPassword = config.AutoPWD != 0 ? logonDigest_ : std::string();
    if (!config.Save()) Log(LogLevel::kWarning, "ui", "the account could not be stored in %s", config.Path().c_str());
    accept();
}

void CLogonDlg::ToggleRemember() {
    AppConfig& config = *context_->config;
    config.AutoPWD = config.AutoPWD != 0 ? 0 : 1;
    // Logging on by itself needs the stored password.
    if (config.AutoPWD == 0) config.AutoLogon = 0;
    ShowToggles();
}

void CLogonDlg::ToggleAutoLogon() {
    AppConfig& config = *context_->config;
    config.AutoLogon = config.AutoLogon != 0 ? 0 : 1;
    if (config.AutoLogon != 0) config.AutoPWD = 1;
    ShowToggles();
}

void CLogonDlg::ShowToggles() {
    remember_->SetSelected(context_->config->AutoPWD != 0);
    autoLogon_->SetSelected(context_->config->AutoLogon != 0);
}

void CLogonDlg::GoOffline() {
    if (!idle_) return;
    context_->session->SetServer("");
    logonAccount_.clear();
    accept();
}

void CLogonDlg::SetStatus(const QString& text, Tone tone) {
    status_->setText(text);
    status_->SetColour(tone == Tone::kFailure ? kFailureText : tone == Tone::kSuccess ? kSuccessText : kWaitingText);
}

QString CLogonDlg::StatusText() const { return status_->text(); }

void CLogonDlg::paintEvent(QPaintEvent* event) {
    CSkinDialog::paintEvent(event);
    QPainter painter(this);
    CSkin& skin = CSkin::Current();
    painter.drawPixmap(kPanel.topLeft(), skin.Image("logonwhite"));
    const QPixmap frame = skin.Image("logonedit");
    const struct {
        QRect rect;
        const char* mark;
        const QLineEdit* box;
    } fields[] = {{kAccountFrame, "logonuser", accountBox_}, {kPasswordFrame, "logonlock", passwordBox_}};
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto& field : fields) {
        DrawStretched(painter, frame, field.rect, kFieldRadius, kFieldRadius);
        const QPixmap mark = skin.Image(field.mark);
        if (!mark.isNull())
            painter.drawPixmap(field.rect.left() + kMarkLeft,
                               field.rect.top() + (field.rect.height() - mark.height()) / 2, mark);
        if (field.box->hasFocus()) {
            // The field being typed in is outlined in the accent colour.
            QPainterPath outline;
            outline.addRoundedRect(QRectF(field.rect).adjusted(0.5, 0.5, -0.5, -0.5), kFieldRadius, kFieldRadius);
            painter.setPen(QPen(CSkin::HotText(), 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(outline);
        }
    }
}
