#include "app/windows.h"

#include "app/mainfrm.h"
#include "cards/cardmain.h"
#include "diary/dailyfrm.h"
#include "help/frmabout.h"
#include "help/helpfrm.h"
#include "meetings/meetfrm.h"

void registerWindows(mainfrm& w)
{
    w.setOpener(mainfrm::Window::Card, [](QWidget*) {
        cardmain f;
        f.Form_Load();
        f.exec();
    });
    w.setOpener(mainfrm::Window::Meet, [](QWidget*) {
        meetfrm f;
        f.Form_Load();
        f.exec();
    });
    w.setOpener(mainfrm::Window::Log, [](QWidget*) {
        dailyfrm f;
        if (f.Form_Load())
            f.exec();
    });
    w.setOpener(mainfrm::Window::Help, [](QWidget* main) {
        helpfrm f(main);
        f.exec();
    });
    w.setOpener(mainfrm::Window::About, [](QWidget* main) {
        frmAbout f(main);
        f.exec();
    });
}
