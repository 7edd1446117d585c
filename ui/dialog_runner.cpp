#include "ui/dialog_runner.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>

#include "app/app_config.h"
#include "app/language_table.h"
#include "platform/log.h"
#include "platform/v4l2/video_inputs.h"
#include "platform/x11/monitors.h"
#include "scene/dev_layer.h"
#include "scene/scene.h"
#include "scene/text_layer.h"
#include "scene/video_device_list.h"
#include "ui/border_setting_dlg.h"
#include "ui/camera_setting_dlg.h"
#include "ui/choice_tiles.h"
#include "ui/exit_dlg.h"
#include "ui/msg_panel.h"
#include "ui/pic_setting_dlg.h"
#include "ui/screen_setting_dlg.h"
#include "ui/sys_setting_dlg.h"
#include "ui/txt_setting_dlg.h"
#include "ui/video_device_setting_dlg.h"

namespace {

// What a camera nothing is known of is opened with.
constexpr CaptureOptions kNewCameraOptions{640, 480, kFallbackFrameRate, kFourccYUY2};

// The first record of the first stored scene whose type is one of types (any type when empty); null
// when there is none.
SceneSource* FirstRecord(AppConfig* config, std::initializer_list<int32_t> types) {
    if (config->Scenes.empty()) return nullptr;
    for (const auto& record : config->Scenes.front()->Records()) {
        if (types.size() == 0) return record.get();
        for (const int32_t type : types)
            if (record->type == type) return record.get();
    }
    return nullptr;
}

// A new record of the type on top of the first stored scene (made when there is none), covering the
// view.
SceneSource* AddRecord(AppConfig* config, int32_t type) {
    if (config->Scenes.empty()) config->Scenes.push_back(std::make_unique<CSceneBase>());
    auto record = std::make_unique<SceneSource>();
    record->type = type;
    record->Right = kViewWidth;
    record->Bottom = config->FrameSizeCX > 0 ? kViewWidth * config->FrameSizeCY / config->FrameSizeCX : 405;
    SceneSource* added = record.get();
    config->Scenes.front()->AddRecord(std::move(record));
    return added;
}

SceneSource* RecordToChange(AppConfig* config, SceneSource* found, int32_t type) {
    return found != nullptr ? found : AddRecord(config, type);
}

int Save(AppConfig* config) {
    if (config->Save()) return 0;
    Log(LogLevel::kError, "ui", "the settings could not be saved to %s", config->Path().c_str());
    return 1;
}

bool Accepted(QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

int RunSystem(StudioContext* context) {
    CSysSettingDlg dialog(context);
    if (!Accepted(dialog)) return 0;
    if (!StoreSystemSettings(dialog.Values(), context->config))
        Log(LogLevel::kWarning, "ui", "the recording folder %s does not exist; the setting stays %s",
            dialog.Values().recordFolder.c_str(), context->config->LocalSaveFolder.c_str());
    return Save(context->config);
}

int RunText(StudioContext* context) {
    SceneSource* found = FirstRecord(context->config, {kSourceText});
    CTxtSettingDlg dialog(found != nullptr ? found->SourceName : std::string(),
                          found != nullptr ? TextStyle::FromRecord(*found) : TextStyle{});
    if (!Accepted(dialog)) return 0;
    SceneSource* record = RecordToChange(context->config, found, kSourceText);
    record->SourceName = dialog.Text();
    dialog.Style().ToRecord(record);
    return Save(context->config);
}

int RunPicture(StudioContext* context) {
    SceneSource* found = FirstRecord(context->config, {kSourcePicture, kSourceMedia});
    const bool media = found != nullptr && found->type == kSourceMedia;
    // A hand-edited volume may be anything; the slider's range is 0 to 100.
    const int value = found == nullptr ? 255 : media ? std::clamp(found->Volume, 0, 100) * 255 / 100 : found->Alpha;
    CPicSettingDlg dialog(found != nullptr ? found->SourceName : std::string(), value,
                          media ? static_cast<uint32_t>(found->PlayFlag) : 0);
    if (!Accepted(dialog)) return 0;
    SceneSource* record = RecordToChange(context->config, found, kSourcePicture);
    record->SourceName = dialog.Path();
    if (dialog.IsPicture()) {
        record->type = kSourcePicture;
        record->Alpha = dialog.Value();
    } else {
        record->type = kSourceMedia;
        // Rounded, so that a volume opened and confirmed unchanged stays what it was.
        record->Volume = (dialog.Value() * 100 + 127) / 255;
        record->PlayFlag = static_cast<int32_t>(dialog.PlayFlags());
    }
    return Save(context->config);
}

int RunBorder(StudioContext* context) {
    SceneSource* record = FirstRecord(context->config, {});
    if (record == nullptr) Log(LogLevel::kWarning, "ui", "no stored source: the border has nothing to be saved to");
    CBorderSettingDlg dialog(record != nullptr ? record->BorderColor : 0, record != nullptr ? record->BorderWidth : 0);
    if (!Accepted(dialog) || record == nullptr) return 0;
    record->BorderColor = dialog.Colour();
    record->BorderWidth = dialog.Width();
    return Save(context->config);
}

std::vector<std::string> CameraNames(StudioContext* context) {
    return context->cameras != nullptr ? context->cameras->EnumerateVideoDevices() : ListVideoInputNames();
}

int RunCapture(StudioContext* context) {
    SceneSource* found = FirstRecord(context->config, {kSourceDevice});
    const std::vector<std::string> names = CameraNames(context);
    const std::string name = found != nullptr ? found->SourceName : names.empty() ? std::string() : names.front();
    const CaptureOptions capture = found != nullptr && found->Width > 0
                                       ? CaptureOptions{found->Width, found->Height, found->FrameRate, found->Fourcc}
                                       : kNewCameraOptions;
    const bool deinterlace = found != nullptr && found->DeInterlace != 0;
    CVideoDevice* device = context->cameras != nullptr && !name.empty()
                               ? context->cameras->OpenVideoDevice(name, &capture, deinterlace)
                               : nullptr;
    if (device == nullptr) {
        // The device is not here: the dialog still edits its stored settings.
        device = new CVideoDevice(name, nullptr, 0, capture.width, capture.height);
        device->frameRate = capture.frameRate;
        device->fourcc = capture.fourcc;
        device->deinterlace = deinterlace ? 1 : 0;
    }
    ChromaOptions chroma;
    if (found != nullptr) chroma = {found->ChromaKey, found->KeyColor, found->Similarity};
    CDevLayer layer(name, device, chroma, kFourccRV24);

    CVideoDeviceSettingDlg dialog(nullptr, nullptr, &layer, names);
    if (!Accepted(dialog)) return 0;
    SceneSource* record = RecordToChange(context->config, found, kSourceDevice);
    record->SourceName = dialog.SourceName();
    record->Width = dialog.Options().width;
    record->Height = dialog.Options().height;
    record->FrameRate = dialog.Options().frameRate;
    record->Fourcc = dialog.Options().fourcc;
    record->DeInterlace = dialog.Deinterlace() ? 1 : 0;
    record->ChromaKey = dialog.ChromaKey() ? 1 : 0;
    record->KeyColor = dialog.KeyColor();
    record->Similarity = dialog.Similarity();
    return Save(context->config);
}

int RunScreen(StudioContext* context) {
    SceneSource* found = FirstRecord(context->config, {kSourceScreen});
    CScreenSettingDlg dialog(EnumerateMonitors());
    if (found != nullptr) dialog.Tiles()->Choose(found->ScrIdx);
    if (!Accepted(dialog) || dialog.Index() < 0) return 0;
    RecordToChange(context->config, found, kSourceScreen)->ScrIdx = dialog.Index();
    return Save(context->config);
}

int RunCamera(StudioContext* context) {
    const std::vector<std::string> names = CameraNames(context);
    if (names.empty()) {
        ShowMessage(GetText(kTextNoDevice));
        return 0;
    }
    SceneSource* found = FirstRecord(context->config, {kSourceDevice});
    CCameraSettingDlg dialog(names);
    if (found != nullptr) {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == found->SourceName) dialog.Tiles()->Choose(static_cast<int>(i));
    }
    if (!Accepted(dialog)) return 0;
    SceneSource* record = RecordToChange(context->config, found, kSourceDevice);
    if (record->SourceName != dialog.Name() || record->Width <= 0) {
        // Another camera starts in its own default format.
        CaptureOptions options = kNewCameraOptions;
        DefaultCaptureOptions(QueryCaptureFormats(dialog.Name()), &options);
        record->Width = options.width;
        record->Height = options.height;
        record->FrameRate = options.frameRate;
        record->Fourcc = options.fourcc;
    }
    record->SourceName = dialog.Name();
    return Save(context->config);
}

int RunExit(StudioContext*) {
    CExitDlg dialog;
    if (!Accepted(dialog)) return 0;
    // Nothing to save: the choice is told to whoever started the dialog.
    std::printf("%s\n", dialog.Choice() == CExitDlg::Choice::kQuit ? "quit" : "minimize");
    std::fflush(stdout);
    return 0;
}

struct Runner {
    const char* name;
    int (*run)(StudioContext*);
};

constexpr Runner kRunners[] = {{"system", RunSystem}, {"text", RunText},       {"picture", RunPicture},
                               {"border", RunBorder}, {"capture", RunCapture}, {"screen", RunScreen},
                               {"camera", RunCamera}, {"exit", RunExit}};

}  // namespace

const std::vector<std::string>& DialogNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const Runner& runner : kRunners) all.emplace_back(runner.name);
        return all;
    }();
    return names;
}

int RunDialogOnItsOwn(const std::string& name, StudioContext* context) {
    for (const Runner& runner : kRunners)
        if (name == runner.name) return runner.run(context);
    std::string known;
    for (const std::string& each : DialogNames()) known += (known.empty() ? "" : ", ") + each;
    Log(LogLevel::kError, "ui", "no dialog \"%s\"; --dialog takes one of: %s", name.c_str(), known.c_str());
    return 2;
}
