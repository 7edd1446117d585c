#include "app/language_table.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <iterator>

#include "media/live_feed.h"

namespace {

// The texts are the system's own, character for character (typos included): other tools and users
// match on them.
constexpr const char* kChineseTexts[] = {
    /*  0 */ "登录成功",
    /*  1 */ "登录失败，账号不存在",
    /*  2 */ "登录失败，账号和密码不匹配",
    /*  3 */ "登录失败，发生异常",
    /*  4 */ "登录失败，服务器通信失败",
    /*  5 */ "登录失败，数据解析失败",
    /*  6 */ "请检查后重试！",
    /*  7 */ "登录成功,欢迎使用客户端",
    /*  8 */ "活动列表",
    /*  9 */ "默认值",
    /* 10 */ "其它颜色",
    /* 11 */ "最小化到系统托盘，不退出程序",
    /* 12 */ "退出程序",
    /* 13 */ "视频源",
    /* 14 */ "屏幕",
    /* 15 */ "摄像头",
    /* 16 */ "音视频",
    /* 17 */ "文字",
    /* 18 */ "图片",
    /* 19 */ "屏幕数据已经使用，不能重复添加！",
    /* 20 */ "视频文件已经使用，不能重复添加！",
    /* 21 */ "视频文件打开失败，请确认文件路径和格式后重试！",
    /* 22 */ "没有合适的设备可供选择，请确认设备连接正常后重试！",
    /* 23 */ "选择的设备已经使用，不能重复添加！",
    /* 24 */ "选择的设备打开失败，请确认设备正常后重试！",
    /* 25 */ "目前的服务器类型不支持此接口",
    /* 26 */ "启动直播失败，错误信息：",
    /* 27 */ "停止",
    /* 28 */ "准备直播",
    /* 29 */ "获取配置",
    /* 30 */ "准备就绪",
    /* 31 */ "正在重连",
    /* 32 */ "正在停止",
    /* 33 */ "保存文件",
    /* 34 */ "记住密码",
    /* 35 */ "自动登录",
    /* 36 */ "离线使用",
    /* 37 */ "微软雅黑",
    /* 38 */ "选择文件：",
    /* 39 */ "透明度：",
    /* 40 */ "循环播放",
    /* 41 */ "播放结束时自动隐藏",
    /* 42 */ "源显示时重新启动播放",
    /* 43 */ "源隐藏时自动停止播放",
    /* 44 */ "设备名称：",
    /* 45 */ "分辨率等：",
    /* 46 */ "是否去隔行扫描",
    /* 47 */ "采用绿屏特效：",
    /* 48 */ "背景色：",
    /* 49 */ "相似度(0-1000)：",
    /* 50 */ "尺寸：",
    /* 51 */ "码流：",
    /* 52 */ "麦克风：",
    /* 53 */ "系统声音：",
    /* 54 */ "是否使用硬件编码",
    /* 55 */ "是否关闭AERO(仅部分系统有效)",
    /* 56 */ "是否默认显示视频源控制面板",
    /* 57 */ "保存目录：",
    /* 58 */ "您的直播正在进行，请先停止直播并等待文件保存完成！",
    /* 59 */ "获取系统硬件时间失败，请与工程师联系！",
    /* 60 */ "上移一层",
    /* 61 */ "下移一层",
    /* 62 */ "置于顶层",
    /* 63 */ "置于底层",
    /* 64 */ "作为主屏",
    /* 65 */ "原始尺寸",
    /* 66 */ "原始比例",
    /* 67 */ "删除",
    /* 68 */ "边框",
    /* 69 */ "设置",
    /* 70 */ "默认选项",
    /* 71 */ "分辨率:%d*%d 帧率:%.2f YUY2",
    /* 72 */ "分辨率:%d*%d 帧率:%.2f RGB",
    /* 73 */ "·视频尺寸：%d*%d\r\n·视频码率：%dkbps\r\n·视频帧率：%dfps",
    /* 74 */ "宋体",
    /* 75 */ "颜色：",
    /* 76 */ "未登录",
    /* 77 */
    "音视频文件|*.avi;*.rmvb;*.rm;*.flv;*.mp4;*.mkv;*.mov|图片文件|*.jpg;*.jpeg;*.bmp;*.png;*.gif|所有文件|*.*||",
    /* 78 */ "用户名密码不能为空！",
    /* 79 */ "正在尝试登录，请稍等...",
};
constexpr const char* kEnglishTexts[] = {
    /*  0 */ "Login Successful",
    /*  1 */ "Login failed. Account does not exist.",
    /*  2 */ "Login failed. Username and password don't match.",
    /*  3 */ "Login failed. Exception occurred.",
    /*  4 */ "Login failed. Failed to connect to the server.",
    /*  5 */ "Login failed. Failed to parse data.",
    /*  6 */ "Please check and try again!",
    /*  7 */ "Login Successful.Welcome!",
    /*  8 */ "Activities List",
    /*  9 */ "Default",
    /* 10 */ "Others",
    /* 11 */ "Only minimize to system tray",
    /* 12 */ "Exit",
    /* 13 */ "Source",
    /* 14 */ "Screen",
    /* 15 */ "Camera",
    /* 16 */ "Audio/Video",
    /* 17 */ "Text",
    /* 18 */ "Picture",
    /* 19 */ "Screen data is already in use and cannot be added repeatedly.",
    /* 20 */ "The file is already in use and cannot be added repeatedly.",
    /* 21 */ "Failed to open the file,please confirm the file path and format.",
    /* 22 */ "No device,please confirm that it is working properly and try again.",
    /* 23 */ "The selected device is already in use and can't be added repeatedly.",
    /* 24 */ "Filed to open the selected device, confirm that it is working properly and try again.",
    /* 25 */ "The current server dose not support this interface.",
    /* 26 */ "Failed to start the live. Error:",
    /* 27 */ "Stopped",
    /* 28 */ "Preparing",
    /* 29 */ "Get configuration",
    /* 30 */ "Ready",
    /* 31 */ "Reconnecting",
    /* 32 */ "Stopping",
    /* 33 */ "Saving",
    /* 34 */ "Remember me",
    /* 35 */ "Auto login",
    /* 36 */ "Offline",
    /* 37 */ "Microsoft YaHei UI",
    /* 38 */ "Files:",
    /* 39 */ "Opacity:",
    /* 40 */ "Loop",
    /* 41 */ "Hide source when \r\nplayback ends",
    /* 42 */ "Restart playback \r\nwhen it actives",
    /* 43 */ "Stop playback \r\nwhen it's hided",
    /* 44 */ "Device:",
    /* 45 */ "FPS Type:",
    /* 46 */ "Deinterlacing",
    /* 47 */ "Enable GS:",
    /* 48 */ "Chroma:",
    /* 49 */ "Similarity(0-1000):",
    /* 50 */ "Size:",
    /* 51 */ "BPS:",
    /* 52 */ "Mic:",
    /* 53 */ "Aux:",
    /* 54 */ "Hardware codec",
    /* 55 */ "Close AERO(only valid for some systems)",
    /* 56 */ "Display video source control panel",
    /* 57 */ "Directory:",
    /* 58 */ "Your broadcast is in progress, please stop it first and wait until it is saved.",
    /* 59 */ "Failed to get hardware time, please contact the technical support.",
    /* 60 */ "MoveUp",
    /* 61 */ "MoveDown",
    /* 62 */ "MoveTop",
    /* 63 */ "MoveBottom",
    /* 64 */ "MainScreen",
    /* 65 */ "OriginalSize",
    /* 66 */ "OriginalRate",
    /* 67 */ "Delete",
    /* 68 */ "Border",
    /* 69 */ "Setting",
    /* 70 */ "Device default",
    /* 71 */ "Resolution:%d*%d FPS:%.2f YUY2",
    /* 72 */ "Resolution:%d*%d FPS:%.2f RGB",
    /* 73 */ "·Size:%d*%d\r\n·BPS:%dkbps\r\n·FPS:%dfps",
    /* 74 */ "Microsoft MHei",
    /* 75 */ "Color:",
    /* 76 */ "Unlogin",
    /* 77 */
    "Audio&Video|*.avi;*.rmvb;*.rm;*.flv;*.mp4;*.mkv;*.mov|Images|*.jpg;*.jpeg;*.bmp;*.png;*.gif|All Files|*.*||",
    /* 78 */ "Username and password can not be empty",
    /* 79 */ "Please wait...",
};

static_assert(std::size(kChineseTexts) == kTextCount);
static_assert(std::size(kEnglishTexts) == kTextCount);

// Written at start-up and read by every thread afterwards; atomic so a late SetLanguage stays defined.
std::atomic<bool> g_english{false};

constexpr std::string_view kFallbackLanguageFolder = "cn";

bool IsPlainFolderName(std::string_view code) {
    if (code.empty() || code == "." || code == "..") return false;
    return code.find('/') == std::string_view::npos && code.find('\0') == std::string_view::npos;
}

}  // namespace

void SetLanguage(std::string_view code) {
    // Every code but "en" means Chinese, and the flag follows the table so the title always agrees
    // with the texts.
    g_english.store(code == "en", std::memory_order_release);
}

bool IsEnglish() { return g_english.load(std::memory_order_acquire); }

std::string GetText(int index) {
    if (index < 0 || index >= kTextCount) return {};
    return IsEnglish() ? kEnglishTexts[index] : kChineseTexts[index];
}

std::string GetAppTitle() { return IsEnglish() ? "Brevacast Streaming" : "Brevacast直播"; }

std::string StartFailureText(std::string_view engine_error) {
    std::string text = GetText(kTextStartLiveFailed);
    text.append(engine_error);
    return text;
}

std::string StartFailureText(LiveStartError error) {
    const bool english = IsEnglish();
    switch (error) {
        case LiveStartError::kRecordFolderEmpty:
            return StartFailureText(english ? "No recording folder is set. Choose one in the settings."
                                            : kTextRecordFolderEmpty);
        case LiveStartError::kRecordFolderInvalid:
            return StartFailureText(english ? "The recording folder cannot be used. Choose another one in the settings."
                                            : kTextRecordFolderInvalid);
        case LiveStartError::kConnectFailed:
            return StartFailureText(english ? "Could not connect to the streaming server. Please check with its "
                                              "administrator that it is running, then try again."
                                            : kTextConnectFailed);
        case LiveStartError::kHardwareUnsupported:
            return StartFailureText(english ? "Hardware encoding is not available on this computer. Switch it off "
                                              "in the settings."
                                            : kTextHardwareUnsupported);
        case LiveStartError::kNone:
        case LiveStartError::kCancelled:
            break;
    }
    return StartFailureText(std::string_view());
}

int LiveStatusTextIndex(int32_t engine_state) {
    switch (engine_state) {
        case kEngineIdle:
            return kTextStopped;
        case kEnginePublishStarting:
            return kTextPreparing;
        case kEngineStarting:
            return kTextGetConfiguration;
        case kEngineReady:
            return kTextReady;
        case kEngineReconnecting:
            return kTextReconnecting;
        case kEngineStopping:
            return kTextStopping;
        default:
            return -1;
    }
}

std::string FormatLiveElapsed(uint32_t elapsed_ms) {
    const uint32_t seconds = elapsed_ms / 1000;
    char text[32];
    std::snprintf(text, sizeof(text), "%.2" PRIu32 ":%.2" PRIu32 ":%.2" PRIu32, seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

std::string LanguageDirectory(std::string_view program_dir, std::string_view code) {
    std::string dir(program_dir);
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    dir.append(IsPlainFolderName(code) ? code : kFallbackLanguageFolder);
    return dir;
}

std::string SkinDirectory(std::string_view program_dir, std::string_view code) {
    return LanguageDirectory(program_dir, code) + "/skin";
}
