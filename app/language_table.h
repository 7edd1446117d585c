// The program's user-facing texts in Chinese and English, the choice between them by the `Language`
// setting, and the per-language skin folder. SetLanguage runs once at start-up, before the windows
// and the live exist; GetText and the other readers may then be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "media/live_texts.h"

// Indices into the text table. Callers pass these names, never bare numbers.
enum TextIndex : int {
    kTextLoginSuccessful = 0,
    kTextLoginNoAccount = 1,
    kTextLoginWrongPassword = 2,
    kTextLoginException = 3,
    kTextLoginServerUnreachable = 4,
    kTextLoginParseFailed = 5,
    kTextCheckAndRetry = 6,
    kTextLoginWelcome = 7,
    kTextActivitiesList = 8,
    kTextDefaultColor = 9,
    kTextOtherColors = 10,
    kTextMinimizeToTray = 11,
    kTextExit = 12,
    kTextSource = 13,
    kTextScreen = 14,
    kTextCamera = 15,
    kTextAudioVideo = 16,
    kTextText = 17,
    kTextPicture = 18,
    kTextScreenInUse = 19,
    kTextFileInUse = 20,
    kTextFileOpenFailed = 21,
    kTextNoDevice = 22,
    kTextDeviceInUse = 23,
    kTextDeviceOpenFailed = 24,
    kTextServerKindUnsupported = 25,
    kTextStartLiveFailed = 26,  // followed directly by the engine's own error text
    kTextStopped = 27,
    kTextPreparing = 28,
    kTextGetConfiguration = 29,
    kTextReady = 30,
    kTextReconnecting = 31,
    kTextStopping = 32,
    kTextSaving = 33,
    kTextRememberMe = 34,
    kTextAutoLogin = 35,
    kTextOffline = 36,
    kTextInfoFontFace = 37,
    kTextFilesLabel = 38,
    kTextOpacityLabel = 39,
    kTextLoop = 40,
    kTextHideWhenPlaybackEnds = 41,
    kTextRestartWhenShown = 42,
    kTextStopWhenHidden = 43,
    kTextDeviceLabel = 44,
    kTextCaptureFormatLabel = 45,
    kTextDeinterlace = 46,
    kTextChromaKeyLabel = 47,
    kTextKeyColorLabel = 48,
    kTextSimilarityLabel = 49,
    kTextSizeLabel = 50,
    kTextBitrateLabel = 51,
    kTextMicLabel = 52,
    kTextSystemSoundLabel = 53,
    kTextHardwareCodec = 54,
    kTextCloseAero = 55,
    kTextShowControlPanel = 56,
    kTextDirectoryLabel = 57,
    kTextLiveInProgress = 58,
    kTextNoHardwareClock = 59,
    kTextMoveUp = 60,
    kTextMoveDown = 61,
    kTextMoveTop = 62,
    kTextMoveBottom = 63,
    kTextMainScreen = 64,
    kTextOriginalSize = 65,
    kTextOriginalRatio = 66,
    kTextDelete = 67,
    kTextBorder = 68,
    kTextSetting = 69,
    kTextDeviceDefault = 70,
    kTextFormatYuy2 = 71,  // printf format: width, height, frame rate
    kTextFormatRgb = 72,   // printf format: width, height, frame rate
    kTextOutputInfo = 73,  // printf format: width, height, kbit/s, fps
    kTextSkinFontFace = 74,
    kTextColorLabel = 75,
    kTextNotLoggedOn = 76,
    kTextMediaFileFilter = 77,
    kTextCredentialsEmpty = 78,
    kTextPleaseWait = 79,
    kTextCount = 80,
};

// "en" selects English; "cn" and every other code select Chinese. Until the first call the table is
// Chinese.
void SetLanguage(std::string_view code);
bool IsEnglish();

// The entry of the current table; an index outside the table gives an empty text.
std::string GetText(int index);

// The main window's title and notification-area tip in the current language.
std::string GetAppTitle();

// What the user is shown when StartLive fails: text 26 followed directly by the engine's error text.
std::string StartFailureText(std::string_view engine_error);
// The same for a start failure's reason, in the interface's language.
std::string StartFailureText(LiveStartError error);

// The text index shown for a live engine state, or -1 for the states that show something else: 1 and 2
// show the elapsed live time, 7 leaves the previous text, and values outside 0..8 have no text.
int LiveStatusTextIndex(int32_t engine_state);

// The elapsed live time of a status report (milliseconds since go-live) as hours:minutes:seconds, each
// at least two digits.
std::string FormatLiveElapsed(uint32_t elapsed_ms);

// The folder that holds the skin images for a language: <program_dir>/<code>/skin. Each language code
// has its own folder named after the code; a code that cannot be a folder name (empty, "." or "..",
// or containing "/" or a NUL) falls back to "cn", whose texts it gets anyway.
std::string LanguageDirectory(std::string_view program_dir, std::string_view code);
std::string SkinDirectory(std::string_view program_dir, std::string_view code);
