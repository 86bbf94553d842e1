#pragma once

// The application-wide settings every window relies on: the SimSun substitution for the About
// box and the window icon. Run once after the QApplication exists.
void prepareApplication();

// The application object: prepares the application-wide pieces (fonts, icon, key filter) and runs
// the console window modally until it closes.
class CSmsConsoleApp {
public:
    // Returns when the console window has closed. Closing does not stop the service or unload the
    // library: the process simply ends.
    int InitInstance();
};
