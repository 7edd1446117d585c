#include "ui/sys_setting_dlg.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>

#include "app/app_config.h"
#include "app/language_table.h"
#include "media/audio_mixer.h"
#include "scene/video_device_list.h"
#include "ui/dialog_texts.h"
#include "ui/image_button.h"
#include "ui/img_txt_button.h"
#include "ui/list_button.h"
#include "ui/skin.h"
#include "ui/skin_check_box.h"
#include "ui/skin_field.h"
#include "ui/skin_label.h"

namespace {

// Where the pages lie: right of the tab column, below the title band, above OK and Cancel.
constexpr int kPageLeft = 80;
constexpr int kPageHeight = 292;
constexpr int kLabelX = 24;
constexpr int kLabelWidth = 100;
constexpr int kFieldX = 128;
constexpr int kRow = 44;  // from one row of fields to the next

constexpr int kTabIds[] = {1019, 1021, 1022};
const char* const kTabImages[] = {"video", "audio", "other"};

}  // namespace

CSysSettingDlg::CSysSettingDlg(StudioContext* context, QWidget* parent)
    : CSettingDialog("sys_bg", QSize(560, 400), parent), context_(context) {
    const AppConfig* config = context_->config;
    values_.frameWidth = config->FrameSizeCX;
    values_.frameHeight = config->FrameSizeCY;
    values_.bitrate = config->Bitrate;
    values_.microphone = config->MicAudioDevice;
    values_.speaker = config->SpkAudioDevice;
    values_.useIpp = config->UseIpp;
    values_.closeAero = config->CloseAero;
    values_.showCtrl = config->ShowCtrl;
    values_.recordFolder = config->LocalSaveFolder;

    for (int page = 0; page < 3; ++page) {
        tabs_[page] = new CImageButton(kTabImages[page], kTabIds[page], this);
        tabs_[page]->move((kPageLeft - tabs_[page]->width()) / 2, kTitleBand + 8 + page * (tabs_[page]->height() + 4));
        connect(tabs_[page], &QAbstractButton::clicked, this, [this, page] { ShowPage(static_cast<Page>(page)); });
        pages_[page] = new QWidget(this);
        pages_[page]->setGeometry(kPageLeft, kTitleBand, width() - kPageLeft, kPageHeight);
    }
    BuildVideoPage(pages_[kVideoPage]);
    BuildAudioPage(pages_[kAudioPage]);
    BuildOtherPage(pages_[kOtherPage]);
    ShowPage(kVideoPage);
}

void CSysSettingDlg::ShowPage(Page page) {
    page_ = page;
    for (int i = 0; i < 3; ++i) {
        tabs_[i]->SetSelected(i == page);
        pages_[i]->setVisible(i == page);
    }
}

void CSysSettingDlg::BuildVideoPage(QWidget* page) {
    const AppConfig* config = context_->config;
    int y = 20;
    AddLabel(page, UiText(kTextSizeLabel), kLabelX, y, kLabelWidth);
    frameSizes_ = new CListButton(1083, 220, page);
    frameSizes_->move(kFieldX, y);
    QStringList labels;
    int chosen = -1;
    for (const SizePreset& preset : config->Presets) {
        if (preset.width == config->FrameSizeCX && preset.height == config->FrameSizeCY) chosen = labels.size();
        labels << QString::fromStdString(preset.label);
    }
    frameSizes_->SetItems(labels);
    frameSizes_->SetCurrent(chosen);

    y += kRow;
    AddLabel(page, UiText(kTextBitrateLabel), kLabelX, y, kLabelWidth);
    bitrate_ = AddEdit(page, kFieldX, y, 120, 9);
    bitrate_->setText(QString::number(config->Bitrate));
    AddLabel(page, DialogCaption(DialogText::kKbps), kFieldX + 128, y, 60);

    y += kRow;
    AddLabel(page, DialogCaption(DialogText::kDeinterlaceList), kLabelX, y, kLabelWidth);
    devices_ = new CListButton(1084, 220, page);
    devices_->move(kFieldX, y);
    devices_->SetPlaceholder(DialogCaption(DialogText::kDeviceList));
    QStringList available;
    if (context_->cameras != nullptr) {
        for (const std::string& name : context_->cameras->EnumerateVideoDevices()) {
            const auto& listed = config->DeinterlaceDevices;
            if (std::find(listed.begin(), listed.end(), name) == listed.end())
                available << QString::fromStdString(name);
        }
    }
    devices_->SetItems(available);
    add_ = new CImgTxtButton("btn", DialogCaption(DialogText::kAdd), 0, page);
    add_->move(kFieldX + 228, y);
    connect(add_, &QAbstractButton::clicked, this, [this] { AddToDeinterlaceList(); });

    y += 38;
    deinterlaced_ = new QListWidget(page);
    StyleAsField(deinterlaced_);
    deinterlaced_->setGeometry(kFieldX, y, 220, 112);
    deinterlaced_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (const std::string& name : config->DeinterlaceDevices) deinterlaced_->addItem(QString::fromStdString(name));
    remove_ = new CImgTxtButton("btn", UiText(kTextDelete), 0, page);
    remove_->move(kFieldX + 228, y);
    connect(remove_, &QAbstractButton::clicked, this, [this] { RemoveFromDeinterlaceList(); });
}

void CSysSettingDlg::AddToDeinterlaceList() {
    const int chosen = devices_->Current();
    if (chosen < 0) return;
    QStringList available = devices_->Items();
    deinterlaced_->addItem(available.takeAt(chosen));
    deinterlaced_->setCurrentRow(deinterlaced_->count() - 1);
    devices_->SetItems(available);
    devices_->SetCurrent(-1);
}

void CSysSettingDlg::RemoveFromDeinterlaceList() {
    const int row = deinterlaced_->currentRow();
    if (row < 0) return;
    std::unique_ptr<QListWidgetItem> item(deinterlaced_->takeItem(row));
    QStringList available = devices_->Items();
    available << item->text();
    devices_->SetItems(available);
}

void CSysSettingDlg::BuildAudioPage(QWidget* page) {
    AddLabel(page, UiText(kTextMicLabel), kLabelX, 20, kLabelWidth);
    microphones_ = new CListButton(1084, 300, page);
    microphones_->move(kFieldX, 20);
    FillSoundList(microphones_, CAudioMixer::kFlowCapture, values_.microphone);

    AddLabel(page, UiText(kTextSystemSoundLabel), kLabelX, 20 + kRow, kLabelWidth);
    speakers_ = new CListButton(1085, 300, page);
    speakers_->move(kFieldX, 20 + kRow);
    FillSoundList(speakers_, CAudioMixer::kFlowRender, values_.speaker);
}

void CSysSettingDlg::FillSoundList(CListButton* list, int32_t flow, const std::string& stored) {
    QStringList names{DialogCaption(DialogText::kDefaultDevice)};
    if (context_->mixer != nullptr) {
        context_->mixer->EnumerateEndpoints(flow);
        for (const AudioEndpoint& endpoint : context_->mixer->Endpoints(flow))
            names << QString::fromStdString(endpoint.friendlyName);
    }
    // A stored device that is not plugged in now stays the choice until the user makes another.
    const QString wanted = QString::fromStdString(stored);
    int chosen = 0;
    if (!wanted.isEmpty()) {
        chosen = static_cast<int>(names.indexOf(wanted, 1));
        if (chosen < 0) {
            names << wanted;
            chosen = static_cast<int>(names.size()) - 1;
        }
    }
    list->SetItems(names);
    list->SetCurrent(chosen);
}

void CSysSettingDlg::BuildOtherPage(QWidget* page) {
    struct Toggle {
        CSkinCheckBox** box;
        int text;
        int id;
        uint8_t* value;
    };
    const Toggle toggles[] = {{&useIpp_, kTextHardwareCodec, 1059, &values_.useIpp},
                              {&closeAero_, kTextCloseAero, 1061, &values_.closeAero},
                              {&showCtrl_, kTextShowControlPanel, 1063, &values_.showCtrl}};
    int y = 22;
    for (const Toggle& toggle : toggles) {
        auto* box = new CSkinCheckBox(CSkinCheckBox::Look::kCheck, UiText(toggle.text), toggle.id, page);
        box->move(kLabelX, y);
        box->setChecked(*toggle.value != 0);
        uint8_t* value = toggle.value;
        connect(box, &QAbstractButton::toggled, this, [value](bool on) { *value = on ? 1 : 0; });
        *toggle.box = box;
        y += box->height();
        if (toggle.box == &closeAero_) {
            // There is no desktop composition to switch here: say so where the choice is made.
            auto* note = new CLabel(DialogCaption(DialogText::kCloseAeroNote), page, 12, CSkin::NormalText());
            note->setGeometry(kLabelX + 26, y + 2, width() - kPageLeft - kLabelX - 26, 18);
            y += 20;
        }
        y += 18;
    }

    y += 22;
    AddLabel(page, UiText(kTextDirectoryLabel), kLabelX, y, kLabelWidth);
    folder_ = AddEdit(page, kFieldX, y, 320);
    folder_->setText(QString::fromStdString(values_.recordFolder));
    y += 40;
    changeFolder_ = new CImgTxtButton("btn", DialogCaption(DialogText::kChangeFolder), 1037, page);
    changeFolder_->move(kFieldX + 320 - changeFolder_->width(), y);
    openFolder_ = new CImgTxtButton("btn", DialogCaption(DialogText::kOpenFolder), 1081, page);
    openFolder_->move(changeFolder_->x() - openFolder_->width() - 8, y);
    connect(openFolder_, &QAbstractButton::clicked, this, [this] {
        const QString folder = folder_->text().trimmed();
        if (!folder.isEmpty() && choosers_.showFolder) choosers_.showFolder(folder);
    });
    connect(changeFolder_, &QAbstractButton::clicked, this, [this] { ChangeFolder(); });
}

void CSysSettingDlg::ChangeFolder() {
    if (!choosers_.chooseFolder) return;
    const QString chosen =
        choosers_.chooseFolder(this, DialogCaption(DialogText::kChooseFolderTitle), folder_->text().trimmed());
    if (chosen.isEmpty()) return;
    folder_->setText(chosen);
    values_.recordFolder = chosen.toStdString();
}

bool CSysSettingDlg::Transfer() {
    int bitrate = 0;
    if (!ReadNumber(bitrate_, kMinBitrate, kMaxBitrate, &bitrate)) {
        ShowPage(kVideoPage);
        return false;
    }
    values_.bitrate = bitrate;
    // A label that names no preset, nothing chosen included, is the largest output.
    values_.frameWidth = 1920;
    values_.frameHeight = 1080;
    const std::string label = frameSizes_->CurrentText().toStdString();
    for (const SizePreset& preset : context_->config->Presets) {
        if (preset.label == label) {
            values_.frameWidth = preset.width;
            values_.frameHeight = preset.height;
        }
    }
    values_.microphone = microphones_->Current() > 0 ? microphones_->CurrentText().toStdString() : std::string();
    values_.speaker = speakers_->Current() > 0 ? speakers_->CurrentText().toStdString() : std::string();
    values_.recordFolder = folder_->text().trimmed().toStdString();

    std::vector<std::string>& listed = context_->config->DeinterlaceDevices;
    listed.clear();
    for (int row = 0; row < deinterlaced_->count(); ++row)
        listed.push_back(deinterlaced_->item(row)->text().toStdString());
    return true;
}

bool StoreSystemSettings(const SystemSettingValues& values, AppConfig* config) {
    config->FrameSizeCX = values.frameWidth;
    config->FrameSizeCY = values.frameHeight;
    config->Bitrate = values.bitrate;
    config->MicAudioDevice = values.microphone;
    config->SpkAudioDevice = values.speaker;
    config->UseIpp = values.useIpp;
    config->CloseAero = values.closeAero;
    config->ShowCtrl = values.showCtrl;
    if (!QFileInfo(QString::fromStdString(values.recordFolder)).isDir()) return false;
    config->LocalSaveFolder = values.recordFolder;
    return true;
}
