#pragma once
// The card window: the stored business cards in a list, one card at a time in 22 boxes
// over four pages, and the buttons that add, change, delete, look up and step.

#include <QDialog>

#include <array>

namespace adodb {
class Recordset;
}

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace ct {
class GridView;
}

class cardmain : public QDialog {
    Q_OBJECT
public:
    explicit cardmain(QWidget* parent = nullptr);

    void Form_Load();
    void Command4_Click();   // 退  出
    void Command7_Click();   // 名片查询
    void findnamcmd_Click(); // 查  找
    void MSFcard_Click();
    void Newcmd_Click();   // 添加名片
    void Command2_Click(); // 名片修改
    void Command3_Click(); // 删除名片
    void Command5_Click(); // 下一条
    void Command6_Click(); // 上一条

    // Cards listed, and the list row the step buttons move from.
    int cardnum = 0;
    int nownum = 0;

    QTabWidget* SSTab1 = nullptr;
    QLineEdit* sernotxt = nullptr;
    QLineEdit* nametxt = nullptr;
    QLineEdit* off_namtxt = nullptr;
    QLineEdit* statustxt = nullptr;
    QLineEdit* glendertxt = nullptr;
    QLineEdit* nationtxt = nullptr;
    QLineEdit* agetxt = nullptr;
    QLineEdit* blood_typtxt = nullptr;
    QLineEdit* off_addrtxt = nullptr;
    QLineEdit* o_phonetxt = nullptr;
    QLineEdit* fax_codetxt = nullptr;
    QLineEdit* off_ziptxt = nullptr;
    QLineEdit* web_addrtxt = nullptr;
    QLineEdit* mail_addrtxt = nullptr;
    QLineEdit* mobiletxt = nullptr;
    QLineEdit* call_codetxt = nullptr;
    QLineEdit* home_addrtxt = nullptr;
    QLineEdit* h_phonetxt = nullptr;
    QLineEdit* h_ziptxt = nullptr;
    QLineEdit* qqtxt = nullptr;
    QLineEdit* web_namtxt = nullptr;
    QPlainTextEdit* othertxt = nullptr;
    QLineEdit* findnamtxt = nullptr;
    QPushButton* findnamcmd = nullptr;
    QPushButton* Newcmd = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command4 = nullptr;
    ct::GridView* MSFcard = nullptr;

    // The text of the box of column c (0 .. 21), and setting it.
    QString boxText(int c) const;
    void setBoxText(int c, const QString& text);

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void Form_Resize();
    void writeHeadings();
    void showRows(adodb::Recordset& rs, int n);
    void copyRow(int r);
    void emptyBoxes();
    std::array<QLineEdit*, 21> m_lines{}; // the single-line boxes of columns 0 .. 20
};
