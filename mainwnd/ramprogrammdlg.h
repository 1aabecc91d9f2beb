#pragma once
// Asks which RAM slot to start and how many times ("unendlich" = without end).

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class RamProgrammDlgClass;
}

class RamProgrammDlg : public QDialog {
    Q_OBJECT
public:
    explicit RamProgrammDlg(QWidget* parent = nullptr);
    ~RamProgrammDlg() override;

    // The chosen slot text ("RAM1" ... "RAM4"); empty until the dialog was accepted.
    QString GetRamProgrammNumber() const { return ramProgrammNumber; }
    // The chosen start count, 0 to 255; 0 repeats without end.
    int GetStartsNumber() const { return startsNumber; }

public Q_SLOTS:
    void accept() override;
    void reject() override;

private:
    std::unique_ptr<Ui::RamProgrammDlgClass> ui;
    QString ramProgrammNumber;
    int startsNumber = 0;
};
