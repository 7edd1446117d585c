// The texts a failed start of a live leaves as the engine's error text. They read the same in both interface
// languages; the main window shows them after its own "failed to start" text, and the language table takes
// them from here.
#pragma once

inline constexpr char kTextRecordFolderEmpty[] = "本地录像保存路径为空，请至设置界面设置";
inline constexpr char kTextRecordFolderInvalid[] = "本地录像保存路径设置有误，请至设置界面选择";
inline constexpr char kTextConnectFailed[] = "连接推流服务器失败，请和管理员确认服务正常后重试！";
inline constexpr char kTextHardwareUnsupported[] = "本机当前环境不支持硬件编码，请在配置界面关闭硬件编码选项！";
