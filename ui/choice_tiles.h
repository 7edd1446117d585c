// CChoiceTiles: a row of image tiles of which the user chooses one (the monitors of the screen
// dialog, the cameras of the camera dialog): pressing a tile lights it and darkens the others. Each
// tile carries a text drawn on its image and may have a caption below it; more tiles than fit scroll
// sideways. Main thread.
#pragma once

#include <QRect>
#include <QScrollArea>
#include <vector>

class CImageButton;

class CChoiceTiles : public QScrollArea {
public:
    CChoiceTiles(QWidget* parent);

    // Adds a tile of the image base (with "_o" and "_s") with identifier id; text is drawn inside
    // textArea of the image, caption (if any) under it.
    void AddTile(const QString& image, int id, const QString& text, const QRect& textArea, int textPixels,
                 const QString& caption = QString());
    // Lights tile index and darkens the others.
    void Choose(int index);
    int Chosen() const { return chosen_; }
    const std::vector<CImageButton*>& Tiles() const { return tiles_; }

private:
    static constexpr int kGap = 16;
    static constexpr int kCaptionHeight = 22;

    QWidget* row_;
    std::vector<CImageButton*> tiles_;
    int chosen_ = -1;
};
