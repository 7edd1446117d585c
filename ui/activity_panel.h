// The account's live activities for choosing: CActivePanel holds one skinned button per activity,
// labelled with its title and stacked in list order with identifiers 100, 101, ...; a click posts
// WM_ACTIVITY_SELECTED with the activity's position (identifier - 100) to the owner's target.
// CActiveOutPanel is the pop-up the main window opens under its activity label with ShowUnder: it
// scrolls the buttons when they outgrow it and hides once an activity is chosen. Main thread.
#pragma once

#include <vector>

#include "ui/popup_panel.h"

struct ActivityList;
class IWindowTarget;
class CImgTxtButton;
class QScrollArea;

class CActivePanel : public QWidget {
public:
    static constexpr int kFirstId = 100;
    static constexpr int kButtonGap = 2;

    CActivePanel(IWindowTarget* notify, QWidget* parent = nullptr);

    // Replaces the buttons with one per record of list (none for a null or empty list). The list stays
    // PortalLink's; the titles are copied.
    void SetActivities(const ActivityList* list);
    // Shows the activity at index as the chosen one (-1: none).
    void SetCurrent(int index);
    const std::vector<CImgTxtButton*>& Buttons() const { return buttons_; }

private:
    IWindowTarget* notify_;
    std::vector<CImgTxtButton*> buttons_;
};

class CActiveOutPanel : public CPopupPanel {
public:
    // owner: the window the pop-up belongs to; notify: where WM_ACTIVITY_SELECTED goes (the main window).
    CActiveOutPanel(QWidget* owner, IWindowTarget* notify);

    // Fills the panel and fits its height to the buttons, up to the skin's panel height.
    void SetActivities(const ActivityList* list);
    void SetCurrent(int index) { panel_->SetCurrent(index); }
    CActivePanel* Panel() const { return panel_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QScrollArea* scroll_;
    CActivePanel* panel_;
    int maxHeight_;
};
