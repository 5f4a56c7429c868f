#pragma once
// The main window: its load at start-up, the menus and picture shortcuts, the reminder
// tick, and close requests that only minimise until the session end allows them.

#include <QDateTime>
#include <QMainWindow>

#include <array>
#include <functional>
#include <optional>

class QAction;
class QTimer;
class QToolButton;

class mainfrm : public QMainWindow {
    Q_OBJECT
public:
    // The windows the main window opens; each opener shows its window modally and
    // returns when it is closed. Windows without an opener are not opened.
    enum class Window { Card, Meet, Log, Help, About, Count };
    using Opener = std::function<void(QWidget* mainWindow)>;

    explicit mainfrm(QWidget* parent = nullptr);
    ~mainfrm() override;

    void setOpener(Window w, Opener opener);

    // The load at start-up: the shared connection, the session-end guard, the timer.
    void Form_Load();

    void MnCard_Click();
    void MnMeet_Click();
    void MnLog_Click();
    void MnHelpCont_Click();
    void MnVer_Click();
    void MnExit_Click();
    // One tick: the clock is read once and that time goes to every step.
    void Timer1_Timer();

    QTimer* Timer1 = nullptr;
    QAction* MnExit = nullptr;

    // Brings the window back to the front (a second start asks for it). On Wayland only
    // the launcher's activation token lets it take the front; without one a notification
    // says that the program already runs.
    void bringToFront(const QString& activationToken = {});

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void open(Window w, bool minimise);
    QToolButton* shortcut(const char* name, const char* labelName, const QString& caption,
                          const QString& image, int left);
    std::array<Opener, std::size_t(Window::Count)> m_openers;
    std::array<bool, std::size_t(Window::Count)> m_isOpen{};
    std::optional<QDateTime> m_tickTime; // set while a tick runs
};
