#pragma once
// The start of the program, in this order: the single-instance check (a second copy asks
// the first to come to the front and ends before it touches the database), the database
// open begun on another thread, the main window built with its window openers, loaded
// and shown.

#include <memory>

class QApplication;
class mainfrm;

namespace ct {
class SingleInstance;
}

namespace shell {

// Before the application object exists: where the session has no bus, none is started;
// takes the single-instance lock and the database file's lock and, when this is the first
// copy and the only program on the file, begins the database open at once.
void beforeApplication(ct::SingleInstance& instance);

// The application's names as the desktop sees them, and the windows' typeface.
void setUp(QApplication& app);

// The shown main window, or null when another copy runs, in this environment or on the
// same database file from another one (the program then ends).
std::unique_ptr<mainfrm> start(ct::SingleInstance& instance);

} // namespace shell
