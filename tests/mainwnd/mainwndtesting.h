#pragma once
// Helpers shared by the main window tests: the per-test environment (a kernel with scripted
// ports and dialogs), and answers for the window's dialogs.

#include "kavrixkernel.h"
#include "kavrixmainwnd.h"
#include "scripteddialogs.h"
#include "tarvocontroller.h"
#include "testenv.h"
#include "testtimeouts.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStringList>
#include <QTextEdit>

#include <QObject>

#include <memory>

// Base of the main window test classes: each test function runs with isolated settings, its
// own scripted ports and dialogs, and a fresh kernel. The derived init() calls
// startEnvironment(), its cleanup() stopEnvironment().
class MainWndTestCase : public QObject {
protected:
    MainWndTestCase() { Q_INIT_RESOURCE(images); }

    void startEnvironment()
    {
        initTestSettings();
        ports = std::make_unique<ScriptedPorts>();
        dialogs = std::make_unique<ScriptedDialogs>();
        KavrixKernel::Instance();
    }

    // Deletes the kernel (and with it every controller) before the ports and dialogs it used.
    void stopEnvironment()
    {
        delete KavrixKernel::ExistingInstance();
        dialogs.reset();
        ports.reset();
    }

    std::unique_ptr<ScriptedPorts> ports;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

// What a scripted run of the controller dialog saw.
struct ControllerDialogRun {
    QString title;
    bool portEnabled = false;
    QString shownPort;
    QString shownBaud;
    QString statusText;
    QString focusName;  // object name of the widget that got the focus
};

// Queues an answer for the next controller dialog: picks port (when given), types baud (when
// not null), presses OK and reports what the dialog showed into *run (when given).
inline void queueControllerDialog(ScriptedDialogs& dialogs, const QString& port,
                                  const QString& baud, ControllerDialogRun* run = nullptr)
{
    dialogs.execAnswers.enqueue([port, baud, run](QDialog* dialog) {
        auto* const combo = dialog->findChild<QComboBox*>(QStringLiteral("comboBoxPort"));
        auto* const edit = dialog->findChild<QLineEdit*>(QStringLiteral("baudeRateEdit"));
        auto* const status = dialog->findChild<QLabel*>(QStringLiteral("statusLabel"));
        if (!combo || !edit || !status)
            return int(QDialog::Rejected);
        if (run) {
            run->title = dialog->windowTitle();
            run->portEnabled = combo->isEnabled();
            run->shownPort = combo->currentText();
            run->shownBaud = edit->text();
        }
        if (!port.isEmpty())
            combo->setCurrentIndex(combo->findText(port));
        if (!baud.isNull())
            edit->setText(baud);
        dialog->accept();
        if (run) {
            run->statusText = status->text();
            run->focusName = dialog->focusWidget() ? dialog->focusWidget()->objectName()
                                                   : QString();
        }
        return dialog->result();
    });
}

// The lines of the output log.
inline QStringList outputLines(const KavrixMainWnd& window)
{
    return window.GetOutputLog()->toPlainText().split(QLatin1Char('\n'));
}

// The lines of the output log that carry the time ("[14:03:27] "), without it: the operator's
// actions and their results.
inline QStringList stampedLines(const KavrixMainWnd& window)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\] "));
    QStringList lines;
    for (const QString& line : outputLines(window)) {
        if (const QRegularExpressionMatch m = stamp.match(line); m.hasMatch())
            lines << line.mid(m.capturedLength());
    }
    return lines;
}

// Registers a controller at port with the kernel (it becomes the active one).
inline TarvoController* registerController(const QString& port, int baud = 115200)
{
    auto* const controller = new TarvoController(port, baud);
    if (!KavrixKernel::Instance()->AddController(controller)) {
        delete controller;
        return nullptr;
    }
    return controller;
}
