#include "ui/dialog_texts.h"

#include <iterator>

#include "app/language_table.h"

namespace {

struct Caption {
    DialogText id;
    const char* chinese;
    const char* english;
};

// In the order of DialogText.
constexpr Caption kCaptions[] = {
    {DialogText::kAdd, "添加", "Add"},
    {DialogText::kDeinterlaceList, "去隔行设备：", "Deinterlaced:"},
    {DialogText::kDeviceList, "设备列表", "Devices"},
    {DialogText::kKbps, "Kbps", "Kbps"},
    {DialogText::kOpenFolder, "打开", "Open"},
    {DialogText::kChangeFolder, "更改", "Change"},
    {DialogText::kChooseFolderTitle, "请选择文件保存目录", "Choose the folder for recordings"},
    {DialogText::kCloseAeroNote, "在此桌面上不起作用，仅保存此设置",
     "No effect on this desktop; the choice is only saved"},
    {DialogText::kBrowse, "浏览", "Browse"},
    {DialogText::kVolumeLabel, "音量：", "Volume:"},
    {DialogText::kTextLabel, "文字：", "Text:"},
    {DialogText::kFontLabel, "字体：", "Font:"},
    {DialogText::kStyleLabel, "样式：", "Style:"},
    {DialogText::kSpeedLabel, "速度：", "Speed:"},
    {DialogText::kDirectionLabel, "方向：", "Direction:"},
    {DialogText::kBold, "粗体", "Bold"},
    {DialogText::kItalic, "斜体", "Italic"},
    {DialogText::kUnderline, "下划线", "Underline"},
    {DialogText::kStrikeOut, "删除线", "Strike"},
    {DialogText::kHollow, "镂空", "Hollow"},
    {DialogText::kSpeedNone, "无", "None"},
    {DialogText::kSpeedSlow, "慢", "Slow"},
    {DialogText::kSpeedMedium, "中", "Medium"},
    {DialogText::kSpeedFast, "快", "Fast"},
    {DialogText::kLeftToRight, "左->右", "→ Right"},
    {DialogText::kRightToLeft, "右->左", "← Left"},
    {DialogText::kTopToBottom, "上->下", "↓ Down"},
    {DialogText::kBottomToTop, "下->上", "↑ Up"},
    {DialogText::kPixels, "像素", "px"},
    {DialogText::kRangeMessage, "请输入 %1 到 %2 之间的整数。", "Please enter an integer between %1 and %2."},
    {DialogText::kDefaultDevice, "系统默认设备", "System default"},
};

constexpr bool InOrder() {
    for (size_t i = 0; i < std::size(kCaptions); ++i)
        if (static_cast<size_t>(kCaptions[i].id) != i) return false;
    return true;
}
static_assert(InOrder(), "the captions are listed in the order of DialogText");

}  // namespace

QString DialogCaption(DialogText text) {
    const auto index = static_cast<size_t>(text);
    if (index >= std::size(kCaptions)) return QString();
    const Caption& caption = kCaptions[index];
    return QString::fromUtf8(IsEnglish() ? caption.english : caption.chinese);
}
