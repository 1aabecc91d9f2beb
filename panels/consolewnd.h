#pragma once
// The console of the kernel's active controller: a command line with history (Up/Down) and
// completion, the transcript of what went to the controller and came back, and buttons for the
// realtime commands.
//
// A GRBL controller gets the typed lines as they are, on the library's line queue (console.h);
// its transcript is taken off the library's threads by a timer on the window's thread, which
// never waits for the controller. Our own controllers take a line of the RAM program language,
// checked as a program line and run at once as the manual panel runs it.

#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>

namespace quenta {
struct ConsoleEntry;
}

class QCheckBox;
class QCompleter;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStringListModel;
class QTimer;
struct ManualCommandValues;
class TarvoController;

class ConsoleWnd : public QWidget {
    Q_OBJECT

public:
    // The transcript view keeps at most this many lines; the command history this many entries.
    static constexpr int MaxLines = 5000;
    static constexpr int MaxHistory = 200;
    // How often the GRBL transcript is taken from the library, in milliseconds.
    static constexpr int DrainMs = 100;

    explicit ConsoleWnd(QWidget* parent = nullptr);
    ~ConsoleWnd() override;

    // The line an entry shows as; empty when it is not shown (a status report while they are
    // hidden).
    static QString EntryText(const quenta::ConsoleEntry& entry, bool showStatus);

    QStringList History() const { return history; }

public Q_SLOTS:
    // Sends a line to the active controller, as the Send button does with the command line.
    void SendLine(const QString& text);
    // Moves what the active GRBL controller's transcript gathered into the view.
    void DrainTranscript();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SendRealtime(uint8_t byte);
    void SendFromEdit();
    void RunRamLine(TarvoController& controller, const QString& line);
    void Append(const QStringList& lines);
    // Follows the active controller: its name above the view, its completion, its buttons.
    void UpdateTarget();
    void StepHistory(int direction);

    QLabel* targetLabel = nullptr;
    QPlainTextEdit* transcript = nullptr;
    QCheckBox* showStatus = nullptr;
    QLineEdit* commandEdit = nullptr;
    QPushButton* sendButton = nullptr;
    QPushButton* statusButton = nullptr;
    QPushButton* holdButton = nullptr;
    QPushButton* resumeButton = nullptr;
    QPushButton* resetButton = nullptr;
    QPushButton* unlockButton = nullptr;
    QPushButton* homeButton = nullptr;
    QStringListModel* completions = nullptr;
    QCompleter* completer = nullptr;
    QTimer* drainTimer = nullptr;
    std::unique_ptr<ManualCommandValues> values;  // the numbers the RAM lines' calls read

    QStringList history;
    int historyPos = 0;   // history.size() = the line being typed
    QString typing;       // what was typed before stepping into the history
    QString shownPort;    // the controller whose transcript the view shows last
    int shownKind = -1;   // 1 GRBL, 0 ours, -1 none: which completion list is set
};
