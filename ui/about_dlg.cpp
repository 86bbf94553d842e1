#include "about_dlg.h"

#include "about_template.h"
#include "app_icon.h"
#include "dialog_units.h"
#include "template_builder.h"
#include "window_placement.h"

#include <QAbstractButton>
#include <QScreen>

CAboutDlg::CAboutDlg(QWidget& console) : QDialog(&console) {
    const ControlMap controls = buildDialog(*this, aboutTemplate(), kAboutBaseUnits);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(applicationIcon());
    connect(qobject_cast<QAbstractButton*>(controls.at(kIdOk)), &QAbstractButton::clicked, this,
            &QDialog::accept);
}

void CAboutDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QWidget& console = *parentWidget();
    const QRect workArea = console.screen()->availableGeometry();
    const QRect anchor = console.isMinimized() ? workArea : console.frameGeometry();
    move(centredPosition(frameGeometry().size(), anchor, workArea));
}
