#pragma once
// The help viewer: shows the user manual help.htm from the executable's directory.

#include <QDialog>
#include <QSize>

class QTextBrowser;

class helpfrm : public QDialog {
    Q_OBJECT
public:
    explicit helpfrm(QWidget* parent = nullptr);

    void Form_Load();
    void Form_Resize();

    // The viewer's size for a window of the given outer and client size: 10 twips
    // narrower and 100 twips lower than the outer size, but never past the client area.
    static QSize viewerSize(QSize outer, QSize client);

    // The page shown when the manual is missing.
    static QString notFoundPage(const QString& file);

    QTextBrowser* WebBrowser1 = nullptr;

protected:
    void resizeEvent(QResizeEvent* e) override;
};
