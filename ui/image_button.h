// CSkinButton holds what every skinned button shares: its id, hover tracking, the selected flag, and
// drawing the image its rules choose with an optional line of text on it (ButtonText).
// CImageButton: a skinned push button drawn from four images of one base name: normal, hover ("_o"),
// selected ("_s") and disabled ("_d"); a missing image counts as not loaded. The selected flag keeps a
// toggle (record, microphone, speaker) in its selected look. The pressed state has no look of its own.
// CDblImgButton (start/stop) has two looks, each a normal and a hover image; the selected flag picks
// the second look and the disabled state is not drawn differently. Main thread.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

class QPainter;

// How the text of a skinned button sits: on one line, vertically centred in the button narrowed by
// 5 pixels on each side, in the hot colour while hovered or selected and the normal colour otherwise;
// from an indent (buttons whose image carries an icon at its left) or centred.
struct ButtonText {
    QString text;
    int indent = -1;     // pixels from the narrowed rectangle's left; -1 centres the text
    int pixelSize = 13;  // of the skinned controls' face
    bool bold = false;

    void Paint(QPainter& painter, const QRect& rect, bool hot) const;
};

class CSkinButton : public QAbstractButton {
public:
    int Id() const { return id_; }
    // The toggle look; repaints when it changes.
    void SetSelected(bool selected);
    bool Selected() const { return selected_; }
    bool Hovered() const { return hover_; }

    // The image the drawing rules choose for the current state (null when the chosen one is missing).
    virtual QPixmap CurrentImage() const = 0;

    // The text drawn on the image (none by default).
    void SetText(const QString& text);
    QString Text() const { return text_.text; }
    void SetTextIndent(int indent);
    void SetTextSize(int pixelSize, bool bold = false);

    QSize sizeHint() const override;

protected:
    CSkinButton(int id, QWidget* parent);

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Draws on top of the image; by default the button's text.
    virtual void PaintOver(QPainter& painter);

private:
    void SetHover(bool hover);

    int id_;
    bool hover_ = false;
    bool selected_ = false;
    ButtonText text_;
};

class CImageButton : public CSkinButton {
public:
    // Loads base, base_o, base_s and base_d from the skin and takes the normal image's size.
    CImageButton(const QString& base, int id, QWidget* parent = nullptr);

    // Replaces the images (another base name).
    void SetImages(const QString& base);
    QPixmap CurrentImage() const override;

private:
    QPixmap normal_, hover_image_, selected_image_, disabled_;
};

class CDblImgButton : public CSkinButton {
public:
    // first: the first look's base name ("start"), second: the second look's ("stop"); each with "_o".
    CDblImgButton(const QString& first, const QString& second, int id, QWidget* parent = nullptr);

    QPixmap CurrentImage() const override;

private:
    QPixmap firstNormal_, firstHover_, secondNormal_, secondHover_;
};
