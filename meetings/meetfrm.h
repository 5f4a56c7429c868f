#pragma once
// The meeting window: the edit fields of one meeting, adding and changing meetings, and
// the search by meeting date, topic or place that lists them in a grid.

#include "modul/tables.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ct {
class GridView;
}

class meetfrm : public QDialog {
    Q_OBJECT
public:
    explicit meetfrm(QWidget* parent = nullptr);

    void Form_Load();
    void MSFmeet_Click();
    void Check1_Click();
    void meetdaytxt_LostFocus();
    void exitcmd_Click();
    void addcmd_Click();    // 新  增
    void revisecmd_Click(); // 修  改
    void findcmd_Click();   // 查  找

    QLineEdit* recorddaytxt = nullptr;
    QLineEdit* meettxt = nullptr;
    QLineEdit* addrtxt = nullptr;
    QLineEdit* meetdaytxt = nullptr;
    QComboBox* hCombo = nullptr;
    QComboBox* sCombo = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QCheckBox* Check1 = nullptr;
    QPushButton* addcmd = nullptr;
    QPushButton* findcmd = nullptr;
    QPushButton* revisecmd = nullptr;
    QPushButton* exitcmd = nullptr;
    ct::GridView* MSFmeet = nullptr;
    QLabel* Picture1 = nullptr;

    // The grid's column widths as designed (twips), column j for j.
    static const std::array<int, tables::kMeetListColumns> kGridTwips;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool m_checkingDate = false;
};
