#pragma once
// The small dialog that takes the COM port and baud rate of a controller being added, or a new
// baud rate for one being edited, and writes them into the controller's port record.

#include <QDialog>

#include <memory>

class QIntValidator;
class TarvoController;

namespace Ui {
class AddEditControllerDlg;
}

class AddEditControllerDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int MinBaudRate = 100000;
    static constexpr int MaxBaudRate = 120000;

    // controller: not owned. isAdd: the port may be chosen (and must be free); otherwise only
    // the baud rate changes.
    AddEditControllerDlg(TarvoController* controller, bool isAdd, QWidget* parent = nullptr);
    ~AddEditControllerDlg() override;

public Q_SLOTS:
    // Stores port and baud rate only when both are acceptable; otherwise says why in the
    // status label and stays open.
    void accept() override;

private:
    // Selects the first port no registered controller uses (the first one when all are).
    void ProposeFreePort();

    TarvoController* controller;
    bool isAdd;
    std::unique_ptr<QIntValidator> baudRateValidator;
    std::unique_ptr<Ui::AddEditControllerDlg> ui;
};
