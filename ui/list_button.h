// CListButton: a skinned choice among texts (frame sizes, sound devices, fonts, capture formats): the
// button shows the chosen text; pressing it opens CListPanel, a pop-up list of the texts under the
// button, and the entry clicked there becomes the choice and is reported. Main thread.
#pragma once

#include <QAbstractButton>
#include <QStringList>
#include <functional>

#include "ui/popup_panel.h"

class QScrollArea;

class CListButton : public QAbstractButton {
public:
    CListButton(int id, int width, QWidget* parent);

    int Id() const { return id_; }
    void SetItems(const QStringList& items);
    const QStringList& Items() const { return items_; }
    // -1 chooses nothing (the button shows an empty text).
    void SetCurrent(int index);
    int Current() const { return current_; }
    QString CurrentText() const;
    // Shown greyed while nothing is chosen.
    void SetPlaceholder(const QString& text);
    // Called with the index of an entry chosen in the list.
    void OnChosen(std::function<void(int)> handler) { onChosen_ = std::move(handler); }
    // Chooses entry index as a click in the list does (reported).
    void Choose(int index);
    // Opens the list under the button.
    void OpenList();
    class CListPanel* Panel() const {
        return panel_;
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int id_;
    QStringList items_;
    int current_ = -1;
    QString placeholder_;
    bool hover_ = false;
    std::function<void(int)> onChosen_;
    class CListPanel* panel_ = nullptr;
};

// The pop-up list of a CListButton: one row per text, scrolling when there are many.
class CListPanel : public CPopupPanel {
public:
    static constexpr int kRowHeight = 28;
    static constexpr int kMaxVisibleRows = 10;

    CListPanel(CListButton* owner, int width);
    void Fill(const QStringList& items, int current);
    // The row buttons, in list order.
    QList<QAbstractButton*> Rows() const;

private:
    CListButton* owner_;
    QScrollArea* scroll_;
    QWidget* rows_;
};
