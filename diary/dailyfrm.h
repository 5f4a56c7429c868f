#pragma once
// The work diary: one entry per day, written for today or (when it is missing) for
// yesterday, and looked up by its date.

#include <QDate>
#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class dailyfrm : public QDialog {
    Q_OBJECT
public:
    explicit dailyfrm(QWidget* parent = nullptr);

    // False when the database cannot be opened: the window then has nothing to show.
    bool Form_Load();
    void Option1_Click();
    void Option2_Click();
    void dailycmd_Click();

    QLabel* Label1 = nullptr;
    QLineEdit* datetxt = nullptr;
    QPlainTextEdit* logtxt = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr; // 新增
    QRadioButton* Option2 = nullptr; // 查询
    QRadioButton* Option3 = nullptr; // 昨日
    QPushButton* dailycmd = nullptr;

private:
    void showStoredEntry(const QDate& day);
};
