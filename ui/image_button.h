// CImageButton: a skinned push button drawn from four images of one base name: normal, hover ("_o"),
// selected ("_s") and disabled ("_d"); a missing image counts as not loaded. The selected flag keeps a
// toggle (record, microphone, speaker) in its selected look. The pressed state has no look of its own.
// CDblImgButton (start/stop) has two looks, each a normal and a hover image; the selected flag picks
// the second look and the disabled state is not drawn differently. Main thread.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

class CImageButton : public QAbstractButton {
public:
    // Loads base, base_o, base_s and base_d from the skin and takes the normal image's size.
    CImageButton(const QString& base, int id, QWidget* parent = nullptr);

    int Id() const { return id_; }
    // The toggle look; repaints when it changes.
    void SetSelected(bool selected);
    bool Selected() const { return selected_; }
    bool Hovered() const { return hover_; }
    // Replaces the images (another base name).
    void SetImages(const QString& base);

    // The image the drawing rules choose for the current state (null when the chosen one is missing).
    QPixmap CurrentImage() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Draws on top of the image (the text buttons); the base draws nothing.
    virtual void PaintOver(QPainter& painter);

private:
    void SetHover(bool hover);

    int id_;
    QPixmap normal_, hover_image_, selected_image_, disabled_;
    bool hover_ = false;
    bool selected_ = false;
};

class CDblImgButton : public QAbstractButton {
public:
    // first: the first look's base name ("start"), second: the second look's ("stop"); each with "_o".
    CDblImgButton(const QString& first, const QString& second, int id, QWidget* parent = nullptr);

    int Id() const { return id_; }
    void SetSelected(bool selected);
    bool Selected() const { return selected_; }
    bool Hovered() const { return hover_; }
    QPixmap CurrentImage() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    virtual void PaintOver(QPainter& painter);

private:
    void SetHover(bool hover);

    int id_;
    QPixmap firstNormal_, firstHover_, secondNormal_, secondHover_;
    bool hover_ = false;
    bool selected_ = false;
};
