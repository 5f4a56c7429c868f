#include "app/windows.h"

#include "app/mainfrm.h"
#include "cards/cardmain.h"

// Each window library adds its opener here as it lands.
void registerWindows(mainfrm& w)
{
    w.setOpener(mainfrm::Window::Card, [](QWidget*) {
        cardmain f;
        f.Form_Load();
        f.exec();
    });
}
