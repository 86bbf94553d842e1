#pragma once

// The main of every test program with a console window: an application object set up as the
// console's own, the tests, and an exit that a leak check cannot misread.

#include <functional>

// Runs @p tests while an application object exists (prepared as the console prepares it) and
// returns their result once the threads Qt started for itself have ended.
//
// Qt joins its thread-pool workers ("Thread (pooled)", used by the raster engine to fill large
// areas) and the QtTest watchdog before the application object is gone, but a joined thread
// still frees its QThreadData (152 bytes) on its way out. LeakSanitizer's check at exit, when it
// runs meanwhile, no longer scans that thread and reports the data as a direct leak
// (libQt6Core.so.6+0x1f3481, QThreadPrivate's constructor in Qt 6.4.2), now and then and more
// often on a loaded machine. So the process does not exit before those threads have.
int runQtTests(int argc, char** argv, const std::function<int()>& tests);
