#pragma once

#include <QDialog>

// The About box IDD_ABOUTBOX, realised from its template: the icon, the program's name and
// version, one line about it and an OK button. OK, Enter and Esc close it. It opens centred over
// the console, inside the work area; over a minimised console, centred in the work area.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget& console);

protected:
    void showEvent(QShowEvent* event) override;
};
