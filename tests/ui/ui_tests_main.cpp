// The console window tests that run without a service library (LD_LIBRARY_PATH names an empty
// directory), each test class in turn.

#include "sms_console_app.h"

#include <QApplication>

int runConsoleWindowTests(int argc, char** argv);
int runKeyFilterTests(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    prepareApplication();
    int failures = runConsoleWindowTests(argc, argv);
    failures += runKeyFilterTests(argc, argv);
    return failures;
}
