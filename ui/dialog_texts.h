// The captions of the settings dialogs that the language table does not hold: button captions, group
// labels, units and the range message, in the interface's language. Main thread.
#pragma once

#include <QString>

enum class DialogText {
    kAdd,                // moves a device into the deinterlace list
    kDeinterlaceList,    // label of the deinterlace list box
    kDeviceList,         // label of the devices that can be added to it
    kKbps,               // unit of the bit rate
    kOpenFolder,         // shows the recording folder
    kChangeFolder,       // chooses another recording folder
    kChooseFolderTitle,  // title of the folder chooser
    kCloseAeroNote,      // what the desktop-composition setting does on this desktop
    kBrowse,             // chooses a media file or picture
    kVolumeLabel,        // the slider of a media file
    kTextLabel,
    kFontLabel,
    kStyleLabel,
    kSpeedLabel,
    kDirectionLabel,
    kBold,
    kItalic,
    kUnderline,
    kStrikeOut,
    kHollow,
    kSpeedNone,
    kSpeedSlow,
    kSpeedMedium,
    kSpeedFast,
    kLeftToRight,
    kRightToLeft,
    kTopToBottom,
    kBottomToTop,
    kPixels,         // unit of the border width
    kRangeMessage,   // %1 and %2: the lowest and highest number accepted
    kDefaultDevice,  // the sound server's default microphone or output
};

QString DialogCaption(DialogText text);
