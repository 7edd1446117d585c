// CSysSettingDlg, the system settings: three pages behind tabs at the left (video first): the output
// size and bit rate and the capture devices that are always deinterlaced; the microphone and the
// system sound; hardware encoding, desktop composition, the source control panel and the recording
// folder. The main window opens it and, after OK, takes Values() over into the settings; the dialog
// itself replaces the settings' deinterlace device list. Main thread.
#pragma once

#include <cstdint>
#include <string>

#include "ui/desktop_choosers.h"
#include "ui/setting_dialog.h"
#include "ui/studio_context.h"

class AppConfig;
class CImgTxtButton;
class CListButton;
class CSkinCheckBox;
class QLineEdit;
class QListWidget;

struct SystemSettingValues {
    int32_t frameWidth = 1920;
    int32_t frameHeight = 1080;
    int32_t bitrate = 0;     // kbit/s
    std::string microphone;  // the endpoint's name; empty: the sound server's default
    std::string speaker;
    uint8_t useIpp = 0;
    uint8_t closeAero = 0;
    uint8_t showCtrl = 0;
    std::string recordFolder;
};

class CSysSettingDlg : public CSettingDialog {
public:
    enum Page { kVideoPage = 0, kAudioPage = 1, kOtherPage = 2 };
    static constexpr int32_t kMinBitrate = 256;
    static constexpr int32_t kMaxBitrate = 99999;

    // Reads the settings, the capture devices and the sound endpoints of the context.
    CSysSettingDlg(StudioContext* context, QWidget* parent = nullptr);

    // What the user chose; complete once the dialog ended with OK.
    const SystemSettingValues& Values() const { return values_; }

    void ShowPage(Page page);
    Page CurrentPage() const { return page_; }
    void SetChoosers(DesktopChoosers choosers) { choosers_ = std::move(choosers); }

    // The controls, for the main window's tests and for automation.
    CImageButton* Tab(Page page) const { return tabs_[page]; }
    QWidget* PageWidget(Page page) const { return pages_[page]; }
    CListButton* FrameSizeList() const { return frameSizes_; }
    QLineEdit* BitrateEdit() const { return bitrate_; }
    CListButton* DeviceList() const { return devices_; }
    QListWidget* DeinterlaceList() const { return deinterlaced_; }
    CImgTxtButton* AddButton() const { return add_; }
    CImgTxtButton* RemoveButton() const { return remove_; }
    CListButton* MicrophoneList() const { return microphones_; }
    CListButton* SpeakerList() const { return speakers_; }
    CSkinCheckBox* UseIppBox() const { return useIpp_; }
    CSkinCheckBox* CloseAeroBox() const { return closeAero_; }
    CSkinCheckBox* ShowCtrlBox() const { return showCtrl_; }
    QLineEdit* FolderEdit() const { return folder_; }
    CImgTxtButton* OpenFolderButton() const { return openFolder_; }
    CImgTxtButton* ChangeFolderButton() const { return changeFolder_; }

protected:
    bool Transfer() override;

private:
    void BuildVideoPage(QWidget* page);
    void BuildAudioPage(QWidget* page);
    void BuildOtherPage(QWidget* page);
    // Fills a sound list: the server's default first, then the endpoints; the stored name chosen.
    void FillSoundList(CListButton* list, int32_t flow, const std::string& stored);
    void AddToDeinterlaceList();
    void RemoveFromDeinterlaceList();
    void ChangeFolder();

    StudioContext* context_;
    SystemSettingValues values_;
    DesktopChoosers choosers_ = DesktopChoosers::System();
    Page page_ = kVideoPage;
    CImageButton* tabs_[3] = {};
    QWidget* pages_[3] = {};
    CListButton* frameSizes_ = nullptr;
    QLineEdit* bitrate_ = nullptr;
    CListButton* devices_ = nullptr;
    QListWidget* deinterlaced_ = nullptr;
    CImgTxtButton* add_ = nullptr;
    CImgTxtButton* remove_ = nullptr;
    CListButton* microphones_ = nullptr;
    CListButton* speakers_ = nullptr;
    CSkinCheckBox* useIpp_ = nullptr;
    CSkinCheckBox* closeAero_ = nullptr;
    CSkinCheckBox* showCtrl_ = nullptr;
    QLineEdit* folder_ = nullptr;
    CImgTxtButton* openFolder_ = nullptr;
    CImgTxtButton* changeFolder_ = nullptr;
};

// Takes the dialog's values over into the settings: output size, bit rate, sound devices, the three
// options, and the recording folder only when it exists (false otherwise). The main window does
// this after OK, and also resizes the scene and reopens the sound devices.
bool StoreSystemSettings(const SystemSettingValues& values, AppConfig* config);
