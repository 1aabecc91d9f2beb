#include "addeditcontrollerdlg.h"
#include "ui_addeditcontrollerdlg.h"

#include "kavrixkernel.h"
#include "quenta.h"
#include "recordport.h"
#include "tarvocontroller.h"

#include <QIntValidator>
#include <QPushButton>

AddEditControllerDlg::AddEditControllerDlg(TarvoController* controller, bool isAdd,
                                           QWidget* parent)
    : QDialog(parent)
    , controller(controller)
    , isAdd(isAdd)
    , baudRateValidator(std::make_unique<QIntValidator>(MinBaudRate, MaxBaudRate))
    , ui(std::make_unique<Ui::AddEditControllerDlg>())
{
    ui->setupUi(this);
    ui->baudeRateEdit->setValidator(baudRateValidator.get());

    const int portIndex = ui->comboBoxPort->findText(controller->GetComPort());
    if (portIndex >= 0)
        ui->comboBoxPort->setCurrentIndex(portIndex);
    else if (isAdd)
        ProposeFreePort();
    ui->baudeRateEdit->setText(QString::number(controller->GetBaudRate()));
    ui->comboBoxPort->setEnabled(isAdd);
    // A message wraps instead of widening the dialog under the operator's hands.
    ui->statusLabel->setWordWrap(true);

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &AddEditControllerDlg::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &AddEditControllerDlg::reject);
    connect(ui->comboBoxPort, &QComboBox::activated, ui->statusLabel, &QLabel::clear);
    connect(ui->comboBoxPort, &QComboBox::currentIndexChanged, ui->statusLabel, &QLabel::clear);
}

AddEditControllerDlg::~AddEditControllerDlg() = default;

void AddEditControllerDlg::ProposeFreePort()
{
    const KavrixKernel* const kernel = KavrixKernel::Instance();
    for (int i = 0; i < ui->comboBoxPort->count(); ++i) {
        if (!kernel->FindController(ui->comboBoxPort->itemText(i))) {
            ui->comboBoxPort->setCurrentIndex(i);
            return;
        }
    }
}

void AddEditControllerDlg::accept()
{
    ui->statusLabel->clear();

    const QString port = ui->comboBoxPort->currentText();
    if (isAdd && KavrixKernel::Instance()->FindController(port)) {
        ui->statusLabel->setText(tr("COM port '") + port
                                 + tr("' is already in use. Please select another port"));
        ui->comboBoxPort->setFocus();
        return;
    }

    // The validator lets intermediate input stay in the field (an empty field, "12"), so the
    // value is checked again here: nothing but a rate the controller can run at is stored.
    bool converted = false;
    const uint baudRate = ui->baudeRateEdit->text().toUInt(&converted, 10);
    if (!converted || baudRate < uint(MinBaudRate) || baudRate > uint(MaxBaudRate)) {
        ui->statusLabel->setText(tr("Baud rate must be between 100000 and 120000"));
        ui->baudeRateEdit->setFocus();
        return;
    }

    TarvoPortSettings* const settings = controller->GetPortSettings();
    if (isAdd)
        SetRecordPort(settings, port);
    settings->baudRate = int32_t(baudRate);
    QDialog::accept();
}
