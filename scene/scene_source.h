// The stored form of a scene: CSceneBase is an ordered list of SceneSource records, one per layer,
// top first. The configuration owns the stored scenes; the live scene exports its layers into one
// before a save and rebuilds its layers from one at start. Used on the main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Record kinds as stored in the file (not the layer kinds of the scene).
enum SceneSourceKind : int32_t {
    kSourcePicture = 0,
    kSourceDevice = 1,
    kSourceText = 2,
    kSourceScreen = 3,
    kSourceMedia = 4,
};

struct SceneSource {
    int32_t type = kSourcePicture;
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;  // view coordinates (720-pixel-wide view)
    int32_t KeepRatio = 1;
    std::string SourceName;  // file path, device name or the text shown (UTF-8)
    // capture device
    uint8_t DeInterlace = 0;
    uint8_t ChromaKey = 0;
    uint32_t KeyColor = 0;    // 0x00BBGGRR
    uint32_t Similarity = 0;  // 0..1000
    int32_t Width = 0, Height = 0;
    float FrameRate = 0.0f;
    uint32_t Fourcc = 0;
    // text
    std::string FaceName;
    uint32_t rgbColor = 0;  // 0x00BBGGRR
    uint8_t Bold = 0, Italic = 0, UnderLine = 0, StrikeOut = 0, Hollow = 0;
    int32_t MoveSpeed = 0;      // 0 none, 1 slow, 2 medium, 3 fast
    int32_t MoveDirection = 0;  // 0 left to right, 1 right to left, 2 top to bottom, 3 bottom to top
    // picture
    int32_t Alpha = 0;
    uint8_t Visible = 1;
    // media file or stream
    int32_t Volume = 0;
    int32_t PlayFlag = 0;
    int32_t BorderWidth = 0;
    uint32_t BorderColor = 0;  // 0x00BBGGRR
    // screen
    int32_t ScrIdx = 0;
};

class CSceneBase {
public:
    virtual ~CSceneBase() = default;
    // Appends a record and takes ownership; returns 0, or 1 for a null record.
    virtual int AddRecord(std::unique_ptr<SceneSource> record) {
        if (!record) return 1;
        records_.push_back(std::move(record));
        return 0;
    }
    // Deletes every record and empties the list.
    virtual void Clear() { records_.clear(); }

    const std::vector<std::unique_ptr<SceneSource>>& Records() const { return records_; }

private:
    std::vector<std::unique_ptr<SceneSource>> records_;
};
