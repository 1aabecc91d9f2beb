#pragma once
// The program's one main window.

#include <QMainWindow>

class KavrixMainWnd : public QMainWindow {
    Q_OBJECT
public:
    explicit KavrixMainWnd(QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
};
