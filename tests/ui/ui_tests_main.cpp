// The console window tests that run without a service library (LD_LIBRARY_PATH names an empty
// directory), each test class in turn.

#include "qt_test_main.h"

int runConsoleWindowTests(int argc, char** argv);
int runKeyFilterTests(int argc, char** argv);

int main(int argc, char** argv) {
    return runQtTests(argc, argv, [&] {
        return runConsoleWindowTests(argc, argv) + runKeyFilterTests(argc, argv);
    });
}
