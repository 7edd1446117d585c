#include "ui/video_device_setting_dlg.h"

#include <QLineEdit>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/language_table.h"
#include "scene/dev_layer.h"
#include "scene/scene.h"
#include "scene/video_device_list.h"
#include "ui/image_button.h"
#include "ui/list_button.h"
#include "ui/skin.h"
#include "ui/skin_check_box.h"
#include "ui/skin_color_button.h"

namespace {

constexpr int kLabelX = 24;
constexpr int kSubLabelX = 44;  // the key's colour and similarity, under the key's box
constexpr int kFieldX = 182;
constexpr int kFieldWidth = 294;
constexpr uint32_t kGreen = 0x0000FF00;  // the automatic key: a green screen
// What a device nothing is known of is asked for.
constexpr CaptureOptions kFallbackOptions{640, 480, kFallbackFrameRate, kFourccYUY2};

bool SameOptions(const CaptureOptions& a, const CaptureOptions& b) {
    return a.width == b.width && a.height == b.height && a.fourcc == b.fourcc &&
           std::fabs(a.frameRate - b.frameRate) < 0.01f;
}

QString FormatLabel(const CaptureOptions& options) {
    char text[160];
    const std::string format = GetText(options.fourcc == kFourccRV24 ? kTextFormatRgb : kTextFormatYuy2);
    std::snprintf(text, sizeof(text), format.c_str(), options.width, options.height,
                  static_cast<double>(options.frameRate));
    return QString::fromUtf8(text);
}

}  // namespace

CVideoDeviceSettingDlg::CVideoDeviceSettingDlg(CScene* scene, LayerNode* node, CDevLayer* layer,
                                               const std::vector<std::string>& deviceNames, QWidget* parent,
                                               CaptureFormatSource formats)
    : CSettingDialog("dev_bg", QSize(500, 400), parent),
      scene_(scene),
      node_(node),
      layer_(layer),
      formatSource_(formats ? std::move(formats)
                            : CaptureFormatSource([](const std::string& name) { return QueryCaptureFormats(name); })) {
    const CVideoDevice* device = layer_->Device();
    name_ = device != nullptr ? device->Name() : layer_->sourceName;
    options_ = device != nullptr && device->width > 0
                   ? CaptureOptions{device->width, device->height, device->frameRate, device->fourcc}
                   : kFallbackOptions;
    deinterlace_ = deinterlace0_ = device != nullptr && device->deinterlace != 0;
    keyed_ = keyed0_ = layer_->keyedImage != 0;
    keyColor_ = keyColor0_ = layer_->keyColor;
    similarity_ = similarity0_ = layer_->similarity;

    AddLabel(this, UiText(kTextDeviceLabel), kLabelX, 56, kFieldX - kLabelX);
    devices_ = new CListButton(1092, kFieldWidth, this);
    devices_->move(kFieldX, 56);
    QStringList names;
    for (const std::string& name : deviceNames) names << QString::fromStdString(name);
    // The layer's device stays the choice even when it is not among them now.
    if (!name_.empty() && !names.contains(QString::fromStdString(name_))) names.prepend(QString::fromStdString(name_));
    devices_->SetItems(names);
    devices_->SetCurrent(static_cast<int>(names.indexOf(QString::fromStdString(name_))));
    devices_->OnChosen([this](int) {
        name_ = devices_->CurrentText().toStdString();
        FillFormats();
    });

    AddLabel(this, UiText(kTextCaptureFormatLabel), kLabelX, 100, kFieldX - kLabelX);
    formatList_ = new CListButton(1094, kFieldWidth, this);
    formatList_->move(kFieldX, 100);
    FillFormats();
    for (size_t i = 1; i < entries_.size(); ++i) {
        if (SameOptions(entries_[i], options_)) formatList_->SetCurrent(static_cast<int>(i));
    }

    deinterlaceBox_ = new CSkinCheckBox(CSkinCheckBox::Look::kCheck, UiText(kTextDeinterlace), 1097, this);
    deinterlaceBox_->move(kLabelX, 150);
    deinterlaceBox_->setChecked(deinterlace_);
    connect(deinterlaceBox_, &QAbstractButton::toggled, this, [this](bool on) { SetDeinterlace(on); });

    keyBox_ = new CSkinCheckBox(CSkinCheckBox::Look::kCheck, UiText(kTextChromaKeyLabel), 1065, this);
    keyBox_->move(kLabelX, 190);
    keyBox_->setChecked(keyed_);
    connect(keyBox_, &QAbstractButton::toggled, this, [this](bool on) { SetKeyed(on); });

    AddLabel(this, UiText(kTextKeyColorLabel), kSubLabelX, 224, kFieldX - kSubLabelX);
    colour_ = new CSkinColorButton(1001, kGreen, this);
    colour_->move(kFieldX, 224 + (30 - colour_->height()) / 2);
    colour_->SetColor(keyColor_);
    colour_->OnChanged([this](uint32_t colour) { SetKeyColor(colour); });

    AddLabel(this, UiText(kTextSimilarityLabel), kSubLabelX, 266, kFieldX - kSubLabelX);
    similarityEdit_ = AddEdit(this, kFieldX, 266, 72, 4);
    similarityEdit_->setText(QString::number(similarity_));
    // What is typed is stored as typed, whatever the buttons allow.
    connect(similarityEdit_, &QLineEdit::textEdited, this,
            [this](const QString& text) { SetSimilarity(text.toUInt()); });
    up_ = new CImageButton("spin_up", 3, this);
    up_->move(kFieldX + 76, 266);
    down_ = new CImageButton("spin_down", 4, this);
    down_->move(kFieldX + 76, 266 + 30 - down_->height());
    connect(up_, &QAbstractButton::clicked, this, [this] { StepSimilarity(1); });
    connect(down_, &QAbstractButton::clicked, this, [this] { StepSimilarity(-1); });
}

CVideoDeviceSettingDlg::CVideoDeviceSettingDlg(CScene* scene, LayerNode* node, CVideoDeviceList* cameras,
                                               QWidget* parent)
    : CVideoDeviceSettingDlg(scene, node, static_cast<CDevLayer*>(node->layer.get()),
                             cameras != nullptr ? cameras->EnumerateVideoDevices() : std::vector<std::string>(),
                             parent) {}

void CVideoDeviceSettingDlg::FillFormats() {
    const CaptureFormats formats = formatSource_(name_);
    CaptureOptions fallback = options_;
    entries_.assign(1, DefaultCaptureOptions(formats, &fallback) ? fallback : options_);
    QStringList labels{UiText(kTextDeviceDefault)};
    for (const CaptureFormat& format : formats.offered) {
        CaptureOptions options;
        if (!CaptureOptionsOf(format, &options)) continue;
        const bool listed = std::any_of(entries_.begin() + 1, entries_.end(),
                                        [&](const CaptureOptions& other) { return SameOptions(other, options); });
        if (listed) continue;
        entries_.push_back(options);
        labels << FormatLabel(options);
    }
    formatList_->SetItems(labels);
    formatList_->SetCurrent(0);
}

void CVideoDeviceSettingDlg::SetDeinterlace(bool on) {
    deinterlace_ = on;
    if (CVideoDevice* device = layer_->Device()) device->deinterlace = on ? 1 : 0;
}

void CVideoDeviceSettingDlg::SetKeyed(bool on) {
    keyed_ = on;
    // The composition thread alone switches how the layer is drawn.
    if (scene_ != nullptr)
        scene_->PostThreadMessage(WM_SCENE_SET_KEYED, reinterpret_cast<uintptr_t>(node_), on ? 1 : 0);
    else
        layer_->keyedImage = on ? 1 : 0;
}

void CVideoDeviceSettingDlg::SetKeyColor(uint32_t colour) {
    keyColor_ = colour;
    layer_->keyColor = colour;
}

void CVideoDeviceSettingDlg::SetSimilarity(uint32_t value) {
    similarity_ = value;
    layer_->similarity = value;
}

void CVideoDeviceSettingDlg::StepSimilarity(int step) {
    const int64_t inRange = std::min<int64_t>(similarity_, kMaxSimilarity);
    SetSimilarity(static_cast<uint32_t>(std::clamp<int64_t>(inRange + step, 0, kMaxSimilarity)));
    similarityEdit_->setText(QString::number(similarity_));
}

bool CVideoDeviceSettingDlg::Transfer() {
    const int chosen = std::max(formatList_->Current(), 0);
    if (chosen < static_cast<int>(entries_.size())) options_ = entries_[chosen];
    return true;
}

void CVideoDeviceSettingDlg::reject() {
    if (deinterlace_ != deinterlace0_) SetDeinterlace(deinterlace0_);
    if (keyed_ != keyed0_) SetKeyed(keyed0_);
    if (keyColor_ != keyColor0_) SetKeyColor(keyColor0_);
    if (similarity_ != similarity0_) SetSimilarity(similarity0_);
    CSettingDialog::reject();
}
