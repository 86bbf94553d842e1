#include "sms_console_app.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    CSmsConsoleApp app;
    return app.InitInstance();
}
