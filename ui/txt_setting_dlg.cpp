#include "ui/txt_setting_dlg.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QPlainTextEdit>

#include "app/language_table.h"
#include "ui/dialog_texts.h"
#include "ui/img_txt_button.h"
#include "ui/list_button.h"
#include "ui/skin.h"
#include "ui/skin_color_button.h"
#include "ui/skin_field.h"
#include "ui/skin_label.h"

namespace {

constexpr int kLabelX = 24;
constexpr int kLabelWidth = 76;
constexpr int kFieldX = 104;
constexpr int kToggleGap = 6;
constexpr uint32_t kWhite = 0x00FFFFFF;  // the automatic colour: captions over pictures read best white

// The faces installed here, with the stored one (shown even when missing) and its index.
QStringList FaceNames(const QString& stored, int* chosen) {
    QStringList faces;
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(family)) continue;
        // A face installed by several foundries is listed once per foundry ("Face [foundry]"); the
        // captions are written by face alone.
        QString face = family;
        const qsizetype foundry = face.indexOf(" [");
        if (foundry > 0 && face.endsWith(']')) face.truncate(foundry);
        if (!faces.contains(face)) faces << face;
    }
    QString wanted = stored;
    // A caption without a face is written in the face of the program's own texts.
    if (wanted.isEmpty()) wanted = QFontInfo(CSkin::Current().ControlFont(13)).family();
    *chosen = static_cast<int>(faces.indexOf(wanted));
    if (*chosen < 0) {
        faces.prepend(wanted);
        *chosen = 0;
    }
    return faces;
}

}  // namespace

CTxtSettingDlg::CTxtSettingDlg(const std::string& text, const TextStyle& style, QWidget* parent)
    : CSettingDialog("txt_bg", QSize(540, 420), parent) {
    AddLabel(this, DialogCaption(DialogText::kTextLabel), kLabelX, 56, kLabelWidth);
    text_ = new QPlainTextEdit(this);
    StyleAsField(text_);
    text_->setGeometry(kFieldX, 56, width() - kFieldX - 24, 88);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setPlainText(QString::fromStdString(text));

    AddLabel(this, DialogCaption(DialogText::kFontLabel), kLabelX, 160, kLabelWidth);
    fonts_ = new CListButton(1082, 240, this);
    fonts_->move(kFieldX, 160);
    int chosen = -1;
    fonts_->SetItems(FaceNames(QString::fromStdString(style.FaceName), &chosen));
    fonts_->SetCurrent(chosen);
    colour_ = new CSkinColorButton(1001, kWhite, this);
    colour_->move(width() - 24 - colour_->width(), 160 + (30 - colour_->height()) / 2);
    colour_->SetColor(style.rgbColor);
    AddLabel(this, UiText(kTextColorLabel), colour_->x() - 8 - 64, 160, 64)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    AddToggleRow(
        206, DialogCaption(DialogText::kStyleLabel),
        {DialogCaption(DialogText::kBold), DialogCaption(DialogText::kItalic), DialogCaption(DialogText::kUnderline),
         DialogCaption(DialogText::kStrikeOut), DialogCaption(DialogText::kHollow)},
        1051, false, styles_);
    const uint8_t flags[kStyles] = {style.Bold, style.Italic, style.UnderLine, style.StrikeOut, style.Hollow};
    for (int i = 0; i < kStyles; ++i) styles_[i]->SetSelected(flags[i] != 0);

    AddToggleRow(252, DialogCaption(DialogText::kSpeedLabel),
                 {DialogCaption(DialogText::kSpeedNone), DialogCaption(DialogText::kSpeedSlow),
                  DialogCaption(DialogText::kSpeedMedium), DialogCaption(DialogText::kSpeedFast)},
                 1056, true, speeds_);
    speeds_[std::clamp(style.MoveSpeed, 0, kChoices - 1)]->SetSelected(true);

    AddToggleRow(298, DialogCaption(DialogText::kDirectionLabel),
                 {DialogCaption(DialogText::kLeftToRight), DialogCaption(DialogText::kRightToLeft),
                  DialogCaption(DialogText::kTopToBottom), DialogCaption(DialogText::kBottomToTop)},
                 1060, true, directions_);
    directions_[std::clamp(style.MoveDirection, 0, kChoices - 1)]->SetSelected(true);
}

void CTxtSettingDlg::AddToggleRow(int y, const QString& label, const QStringList& captions, int firstId, bool exclusive,
                                  CImgTxtButton** buttons) {
    AddLabel(this, label, kLabelX, y, kLabelWidth);
    const int count = static_cast<int>(captions.size());
    for (int i = 0; i < count; ++i) {
        auto* button = new CImgTxtButton("toggle", captions[i], firstId + i, this);
        button->move(kFieldX + i * (button->width() + kToggleGap), y + (30 - button->height()) / 2);
        buttons[i] = button;
        connect(button, &QAbstractButton::clicked, this, [buttons, button, count, exclusive] {
            if (!exclusive) {
                button->SetSelected(!button->Selected());
                return;
            }
            for (int j = 0; j < count; ++j) buttons[j]->SetSelected(buttons[j] == button);
        });
    }
}

int CTxtSettingDlg::LitIndex(CImgTxtButton* const* buttons) {
    for (int i = 0; i < kChoices; ++i)
        if (buttons[i]->Selected()) return i;
    return 0;
}

std::string CTxtSettingDlg::Text() const { return text_->toPlainText().toStdString(); }

TextStyle CTxtSettingDlg::Style() const {
    TextStyle style;
    style.FaceName = fonts_->CurrentText().toStdString();
    style.rgbColor = colour_->Color();
    style.Bold = styles_[0]->Selected() ? 1 : 0;
    style.Italic = styles_[1]->Selected() ? 1 : 0;
    style.UnderLine = styles_[2]->Selected() ? 1 : 0;
    style.StrikeOut = styles_[3]->Selected() ? 1 : 0;
    style.Hollow = styles_[4]->Selected() ? 1 : 0;
    style.MoveSpeed = LitIndex(speeds_);
    style.MoveDirection = LitIndex(directions_);
    return style;
}
