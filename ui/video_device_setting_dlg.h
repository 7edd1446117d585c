// CVideoDeviceSettingDlg, the settings of a camera layer: the device, its capture format (the sizes
// and rates the device offers, or the device's own default), deinterlacing and the chroma key with its
// colour and similarity. Deinterlacing, the key, its colour and its similarity act on the running
// layer at once, so the presenter sees them while choosing; Cancel puts them back. The scene view
// opens it and, after OK, reopens the device when SourceName() or Options() changed. Main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/v4l2/video_inputs.h"
#include "scene/video_device.h"
#include "ui/setting_dialog.h"

class CDevLayer;
class CImageButton;
class CListButton;
class CScene;
class CSkinCheckBox;
class CSkinColorButton;
class CVideoDeviceList;
class QLineEdit;
struct LayerNode;

// The formats a capture device offers, by its name.
using CaptureFormatSource = std::function<CaptureFormats(const std::string& deviceName)>;

class CVideoDeviceSettingDlg : public CSettingDialog {
public:
    static constexpr uint32_t kMaxSimilarity = 1000;

    // layer: the camera layer the controls act on (never null). scene and node: where the key is
    // switched (the composition thread); a null scene means nobody draws the layer, which then takes
    // the switch directly. deviceNames: the machine's capture devices. formats: null asks the devices.
    CVideoDeviceSettingDlg(CScene* scene, LayerNode* node, CDevLayer* layer,
                           const std::vector<std::string>& deviceNames, QWidget* parent = nullptr,
                           CaptureFormatSource formats = nullptr);
    // The camera layer of node, with the devices the registry finds now.
    CVideoDeviceSettingDlg(CScene* scene, LayerNode* node, CVideoDeviceList* cameras, QWidget* parent = nullptr);

    // The device and the capture format chosen; complete after OK.
    const std::string& SourceName() const { return name_; }
    const CaptureOptions& Options() const { return options_; }
    // What the controls set on the layer.
    bool Deinterlace() const { return deinterlace_; }
    bool ChromaKey() const { return keyed_; }
    uint32_t KeyColor() const { return keyColor_; }
    uint32_t Similarity() const { return similarity_; }

    CListButton* DeviceList() const { return devices_; }
    CListButton* FormatList() const { return formatList_; }
    CSkinCheckBox* DeinterlaceBox() const { return deinterlaceBox_; }
    CSkinCheckBox* ChromaKeyBox() const { return keyBox_; }
    CSkinColorButton* KeyColorButton() const { return colour_; }
    QLineEdit* SimilarityEdit() const { return similarityEdit_; }
    CImageButton* UpButton() const { return up_; }
    CImageButton* DownButton() const { return down_; }

    void reject() override;

protected:
    bool Transfer() override;

private:
    // The format list of the chosen device: its default first, then what it offers.
    void FillFormats();
    void SetDeinterlace(bool on);
    void SetKeyed(bool on);
    void SetKeyColor(uint32_t colour);
    void SetSimilarity(uint32_t value);
    void StepSimilarity(int step);

    CScene* scene_;
    LayerNode* node_;
    CDevLayer* layer_;
    CaptureFormatSource formatSource_;
    std::string name_;
    CaptureOptions options_;               // the layer's device's until OK
    std::vector<CaptureOptions> entries_;  // of the format list, the default first
    bool deinterlace_, keyed_;
    uint32_t keyColor_, similarity_;
    // As the dialog found them, for Cancel.
    bool deinterlace0_, keyed0_;
    uint32_t keyColor0_, similarity0_;

    CListButton* devices_ = nullptr;
    CListButton* formatList_ = nullptr;
    CSkinCheckBox* deinterlaceBox_ = nullptr;
    CSkinCheckBox* keyBox_ = nullptr;
    CSkinColorButton* colour_ = nullptr;
    QLineEdit* similarityEdit_ = nullptr;
    CImageButton* up_ = nullptr;
    CImageButton* down_ = nullptr;
};
