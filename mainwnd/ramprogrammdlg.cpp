#include "ramprogrammdlg.h"
#include "ui_ramprogrammdlg.h"

RamProgrammDlg::RamProgrammDlg(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::RamProgrammDlgClass>())
{
    ui->setupUi(this);
}

RamProgrammDlg::~RamProgrammDlg() = default;

void RamProgrammDlg::accept()
{
    ramProgrammNumber = ui->ramProgrammNumberComboBox->currentText();
    startsNumber = ui->ramProgrammStartsNumberSpinBox->value();
    QDialog::accept();
}

void RamProgrammDlg::reject()
{
    QDialog::reject();
}
