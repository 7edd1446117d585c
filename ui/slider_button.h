// CSliderButton: a thumb dragged along a track, horizontal or vertical, whose position gives a value
// by integer interpolation between a minimum and a maximum. After every position change the slider
// posts WM_USER+111 to its owner with the thumb's centre coordinate along the track and the value. The
// first change after creation (the thumb's first placement) sets the value to minimum − 1 without
// interpolating. Pressing the track elsewhere moves the thumb's centre to the pointer. Main thread.
#pragma once

#include <QWidget>
#include <cstdint>

#include "platform/window_messages.h"

class IWindowTarget;
class CImageButton;

constexpr uint32_t WM_SLIDER_CHANGED = WM_USER + 111;  // wParam: thumb centre, lParam: value

// A 0-100 slider's position as the 0-255 value the dialogs keep (opacity, volume).
constexpr int SliderPercentToByte(int percent) { return percent * 255 / 100; }

class CSliderButton : public QWidget {
public:
    enum class Orientation { kHorizontal, kVertical };

    // owner receives WM_SLIDER_CHANGED. A vertical slider may have its minimum at the bottom (the
    // volume panels) or at the top.
    CSliderButton(Orientation orientation, int minimum, int maximum, bool minimumAtBottom, IWindowTarget* owner,
                  QWidget* parent);

    // Sets a value within the range (others are ignored) and moves the thumb to where the
    // interpolation maps it.
    void SetValue(int value);
    int Value() const { return value_; }
    // Moves the thumb's near edge to a position along the track (clamped), as a drag does.
    void MoveThumbTo(int position);
    int ThumbPosition() const;
    CImageButton* Thumb() const { return thumb_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The limits of the thumb's near edge along the track.
    int LowLimit() const;
    int HighLimit() const;
    void PositionChanged(int position);
    int PositionFor(int value) const;
    bool Horizontal() const { return orientation_ == Orientation::kHorizontal; }

    const Orientation orientation_;
    const int minimum_, maximum_;
    const bool minimumAtBottom_;
    IWindowTarget* owner_;
    CImageButton* thumb_;
    int value_;
    bool placed_ = false;
    int dragOffset_ = 0;
    bool dragging_ = false;
};
