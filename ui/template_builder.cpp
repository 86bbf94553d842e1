#include "template_builder.h"

#include "captioned_group_box.h"

#include "app_icon.h"
#include "visible_width_validator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>
#include <set>
#include <vector>

namespace {

bool hasStyle(const ControlTemplate& control, unsigned style) {
    return (control.styles & style) != 0;
}

QWidget* createCombo(const ControlTemplate& control, QDialog& dialog) {
    auto* combo = new QComboBox(&dialog);
    combo->setEditable(true);
    // The window system's drop-down combo neither completes typed text nor sorts its list.
    combo->setCompleter(nullptr);
    if (!hasStyle(control, control_style::kAutoHorizontalScroll)) {
        combo->setValidator(new VisibleWidthValidator(*combo->lineEdit(), combo));
    }
    return combo;
}

QWidget* createLabel(const ControlTemplate& control, QDialog& dialog) {
    auto* label = new QLabel(QString::fromUtf8(control.caption), &dialog);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

QWidget* createSingleLineEdit(const ControlTemplate& control, QDialog& dialog) {
    auto* edit = new QLineEdit(&dialog);
    if (hasStyle(control, control_style::kDigitsOnly)) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    return edit;
}

QWidget* createMultiLineEdit(const ControlTemplate& control, QDialog& dialog) {
    auto* edit = new QPlainTextEdit(&dialog);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setVerticalScrollBarPolicy(hasStyle(control, control_style::kVerticalScroll)
                                         ? Qt::ScrollBarAlwaysOn
                                         : Qt::ScrollBarAlwaysOff);
    // Tab moves between the controls, as in any dialog.
    edit->setTabChangesFocus(true);
    return edit;
}

// The window system draws a group box's title on its top line; Qt's Windows style does the same,
// where the default style puts the title above the frame and so lowers the line into the
// controls it frames.
QStyle* groupBoxStyle() {
    static QStyle* const style = [] {
        QStyle* windowsStyle = QStyleFactory::create(QStringLiteral("Windows"));
        windowsStyle->setParent(QCoreApplication::instance());
        return windowsStyle;
    }();
    return style;
}

QWidget* createGroupBox(const ControlTemplate& control, QDialog& dialog) {
    auto* groupBox = new CaptionedGroupBox(QString::fromUtf8(control.caption), dialog);
    groupBox->setStyle(groupBoxStyle());
    return groupBox;
}

QWidget* createPushButton(const ControlTemplate& control, QDialog& dialog) {
    auto* button = new QPushButton(QString::fromUtf8(control.caption), &dialog);
    button->setDefault(hasStyle(control, control_style::kDefaultButton));
    return button;
}

QWidget* createIcon(QDialog& dialog) {
    auto* icon = new QLabel(&dialog);
    const int size = dialog.style()->pixelMetric(QStyle::PM_LargeIconSize);
    icon->setPixmap(applicationIcon().pixmap(size, size));
    icon->resize(size, size);
    return icon;
}

QWidget* createControl(const ControlTemplate& control, QDialog& dialog) {
    switch (control.kind) {
    case ControlKind::DropDownCombo:
        return createCombo(control, dialog);
    case ControlKind::Label:
        return createLabel(control, dialog);
    case ControlKind::GroupBox:
        return createGroupBox(control, dialog);
    case ControlKind::PushButton:
        return createPushButton(control, dialog);
    case ControlKind::CheckBox:
        return new QCheckBox(QString::fromUtf8(control.caption), &dialog);
    case ControlKind::SingleLineEdit:
        return createSingleLineEdit(control, dialog);
    case ControlKind::MultiLineEdit:
        return createMultiLineEdit(control, dialog);
    case ControlKind::Icon:
        return createIcon(dialog);
    }
    return nullptr;
}

void place(QWidget& widget, const ControlTemplate& control, DialogBaseUnits baseUnits) {
    QRect rect = baseUnits.toPixels(control.x, control.y, control.width, control.height);
    switch (control.kind) {
    case ControlKind::DropDownCombo:
        rect.setHeight(widget.sizeHint().height());
        break;
    case ControlKind::Icon:
        rect.setSize(widget.size());
        break;
    case ControlKind::Label:
    case ControlKind::GroupBox:
    case ControlKind::PushButton:
    case ControlKind::CheckBox:
    case ControlKind::SingleLineEdit:
    case ControlKind::MultiLineEdit:
        break;
    }
    widget.setGeometry(rect);
}

// Every caption layer above every group box and under the other controls, which the group boxes
// are already stacked under. A parent's children are listed bottom to top.
void stackCaptionLayers(QDialog& dialog, const ControlMap& controls) {
    std::set<const QWidget*> others;
    std::vector<CaptionedGroupBox*> groupBoxes;
    for (const auto& [id, widget] : controls) {
        if (auto* groupBox = dynamic_cast<CaptionedGroupBox*>(widget)) {
            groupBoxes.push_back(groupBox);
        } else {
            others.insert(widget);
        }
    }
    const QList<QWidget*> children =
        dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    const auto lowestOther = std::find_if(children.begin(), children.end(),
                                          [&](QWidget* child) { return others.count(child) != 0; });
    for (CaptionedGroupBox* groupBox : groupBoxes) {
        if (lowestOther != children.end()) {
            groupBox->captionLayer().stackUnder(*lowestOther);
        } else {
            groupBox->captionLayer().raise();
        }
    }
}

} // namespace

ControlMap buildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                       DialogBaseUnits baseUnits) {
    dialog.setWindowTitle(QString::fromUtf8(dialogTemplate.title));
    QFont font(QString::fromUtf8(dialogTemplate.fontFamily));
    font.setPointSize(dialogTemplate.fontPointSize);
    dialog.setFont(font);
    dialog.setFixedSize(baseUnits.horizontalToPixels(dialogTemplate.width),
                        baseUnits.verticalToPixels(dialogTemplate.height));

    ControlMap controls;
    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& control : dialogTemplate) {
        QWidget* widget = createControl(control, dialog);
        place(*widget, control, baseUnits);
        if (control.kind == ControlKind::GroupBox) {
            widget->lower();
        }
        if (hasStyle(control, control_style::kTabStop)) {
            if (previousTabStop != nullptr) {
                QWidget::setTabOrder(previousTabStop, widget);
            }
            previousTabStop = widget;
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
        controls.emplace(control.id, widget);
    }
    stackCaptionLayers(dialog, controls);
    return controls;
}
