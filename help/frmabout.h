#pragma once
// The About box: title, version, author and contact, and the desktop's system
// information tool.

#include <QDialog>
#include <QStringList>

class QFrame;
class QLabel;
class QPushButton;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    // Starts the system information tool, or says that there is none.
    static void StartSysInfo();
    // The system information tool on the PATH (there is no registry on this platform),
    // the current desktop's own tool first; empty when there is none.
    static QString sysInfoTool();
    static QStringList sysInfoCandidates(const QString& desktop);

    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QFrame* Line1 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
};
