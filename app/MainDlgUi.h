// The main window's controls and menus: each placed in dialog units, with its
// id as its object name and the name a screen reader says. The window keeps
// one and reads and sets the controls through it.
#pragma once

#include <functional>

#include "DateTable.h"
#include "MessageRoute.h"

class QDateEdit;
class QDialog;
class QLineEdit;
class QMenu;
class QPushButton;

namespace velmora {

class DateList;

class MainDlgUi {
  public:
    // Builds the controls and the menu bar into `window`. A button clicked and
    // a command chosen in the menu bar reach `dispatch` as command messages.
    MainDlgUi(QDialog& window, std::function<void(const DlgMessage&)> dispatch);

    // The pickers' display format and the order of a date's parts that a
    // screen reader tells; both pickers then show the current time.
    void SetDateOrder(DateOrder order);
    void SetPickersToNow();
    // A button disabled while it has the focus must not pass the focus on
    // along the tab order, where Enter or Space would press the next button:
    // the list takes it instead.
    void EnableButton(QPushButton* button, bool enable);

    // The window menu: Minimize, Close and About.
    static void FillWindowMenu(QMenu& menu);
    // The list's popup menu, its commands enabled as `rows` and the selection allow.
    static void FillPopupMenu(QMenu& menu, int rows, bool hasSelection);

    QPushButton* sendButton = nullptr;
    QPushButton* addButton = nullptr;
    DateList* dateList = nullptr;
    QDateEdit* beginPicker = nullptr;
    QDateEdit* endPicker = nullptr;
    QLineEdit* rowCountEdit = nullptr;
    QLineEdit* progressEdit = nullptr;

  private:
    void CreateControls(QDialog& window);
    void CreateMenuBar(QDialog& window);

    std::function<void(const DlgMessage&)> m_dispatch;
};

}  // namespace velmora
