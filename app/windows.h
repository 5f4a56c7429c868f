#pragma once
// Gives the main window the openers of the windows it opens.
class mainfrm;
void registerWindows(mainfrm& w);
