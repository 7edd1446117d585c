// Why a start of a live failed, and the texts the engine keeps as its error text for each reason. The engine
// reports the reason; the language table turns it into what the user reads in the interface's language.
#pragma once

#include <cstdint>

enum class LiveStartError : int32_t {
    kNone = 0,
    kRecordFolderEmpty,    // recording asked for without a recording folder
    kRecordFolderInvalid,  // the recording folder is missing and cannot be created
    kConnectFailed,        // the RTMP server did not open the stream
    kHardwareUnsupported,  // the video encoder refused the settings
    kCancelled,            // the start was called off before the live began
};

inline constexpr char kTextRecordFolderEmpty[] = "本地录像保存路径为空，请至设置界面设置";
inline constexpr char kTextRecordFolderInvalid[] = "本地录像保存路径设置有误，请至设置界面选择";
inline constexpr char kTextConnectFailed[] = "连接推流服务器失败，请和管理员确认服务正常后重试！";
inline constexpr char kTextHardwareUnsupported[] = "本机当前环境不支持硬件编码，请在配置界面关闭硬件编码选项！";
