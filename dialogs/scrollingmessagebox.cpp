#include "scrollingmessagebox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

namespace {

QRect availableArea(const QWidget* parent)
{
    const QScreen* const screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

ScrollingMessageBox::ScrollingMessageBox(QMessageBox::Icon icon, const QString& title,
                                         const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton,
                                         QWidget* parent)
    : QDialog(parent)
    , buttonBox(new QDialogButtonBox(QDialogButtonBox::StandardButtons(int(buttons)), this))
    , buttons(buttons)
{
    setWindowTitle(title);
    auto* const layout = new QGridLayout(this);

    auto* const iconLabel = new QLabel(this);
    iconLabel->setPixmap(QMessageBox(icon, QString(), QString()).iconPixmap());
    layout->addWidget(iconLabel, 0, 0, Qt::AlignTop);

    auto* const textLabel = new QLabel(text);
    textLabel->setObjectName(QStringLiteral("messageText"));
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    textLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* const scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("messageScrollArea"));
    scroll->setWidget(textLabel);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll, 0, 1);
    layout->addWidget(buttonBox, 1, 0, 1, 2);

    connect(buttonBox, &QDialogButtonBox::clicked, this, [this](QAbstractButton* button) {
        clicked = static_cast<QMessageBox::StandardButton>(int(buttonBox->standardButton(button)));
        accept();
    });
    if (defaultButton != QMessageBox::NoButton) {
        if (QPushButton* const button =
                buttonBox->button(QDialogButtonBox::StandardButton(int(defaultButton))))
            button->setDefault(true);
    }

    // Wide enough for the longest line (within two thirds of the screen), two thirds of the
    // screen high: the text scrolls, the buttons stay in reach.
    const QRect area = availableArea(parent);
    const int scrollBar = scroll->verticalScrollBar()->sizeHint().width();
    scroll->setMinimumWidth(qMin(textLabel->sizeHint().width() + scrollBar
                                     + 2 * scroll->frameWidth(),
                                 area.width() * 2 / 3));
    resize(sizeHint().width(), area.height() * 2 / 3);
}

QMessageBox::StandardButton ScrollingMessageBox::ClickedButton() const
{
    if (clicked != QMessageBox::NoButton)
        return clicked;
    if (buttons.testFlag(QMessageBox::Cancel))
        return QMessageBox::Cancel;
    if (buttons.testFlag(QMessageBox::No))
        return QMessageBox::No;
    return QMessageBox::Ok;
}

bool ScrollingMessageBox::IsTooTall(const QWidget* parent, const QString& text)
{
    const QFontMetrics metrics(QApplication::font("QMessageBoxLabel"));
    const int lines = int(text.count(QLatin1Char('\n'))) + 1;
    return lines * metrics.lineSpacing() > availableArea(parent).height() * 2 / 3;
}
