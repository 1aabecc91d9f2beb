#include "jobhistorywnd.h"

#include "dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const JobHistory::Result allResults[] = {
    JobHistory::Result::Completed, JobHistory::Result::Stopped, JobHistory::Result::Error,
    JobHistory::Result::Alarm,     JobHistory::Result::LostConnection,
    JobHistory::Result::Failed,    JobHistory::Result::Interrupted, JobHistory::Result::Running,
};

QString duration(double seconds)
{
    const qint64 s = qRound64(seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

JobHistoryWnd::JobHistoryWnd(JobHistory* history, QWidget* parent)
    : QWidget(parent), history(history)
{
    machineBox = new QComboBox(this);
    machineBox->setObjectName(QStringLiteral("historyMachine"));
    resultBox = new QComboBox(this);
    resultBox->setObjectName(QStringLiteral("historyResult"));
    resultBox->addItem(tr("All results"), -1);
    for (JobHistory::Result r : allResults)
        resultBox->addItem(JobHistory::resultText(r), static_cast<int>(r));
    fromCheck = new QCheckBox(tr("From"), this);
    fromEdit = new QDateEdit(QDate::currentDate().addDays(-7), this);
    fromEdit->setCalendarPopup(true);
    toCheck = new QCheckBox(tr("To"), this);
    toEdit = new QDateEdit(QDate::currentDate(), this);
    toEdit->setCalendarPopup(true);
    auto* exportButton = new QPushButton(tr("Export CSV..."), this);
    exportButton->setObjectName(QStringLiteral("historyExport"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(machineBox);
    filters->addWidget(resultBox);
    filters->addWidget(fromCheck);
    filters->addWidget(fromEdit);
    filters->addWidget(toCheck);
    filters->addWidget(toEdit);
    filters->addStretch();
    filters->addWidget(exportButton);

    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setColumnCount(9);
    table_->setHorizontalHeaderLabels({tr("Start"), tr("Machine"), tr("Port"), tr("File"),
                                       tr("Result"), tr("Lines"), tr("Estimated"), tr("Actual"),
                                       tr("Reason")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(filters);
    layout->addWidget(table_);

    connect(machineBox, &QComboBox::currentIndexChanged, this, &JobHistoryWnd::refresh);
    connect(resultBox, &QComboBox::currentIndexChanged, this, &JobHistoryWnd::refresh);
    connect(fromCheck, &QCheckBox::toggled, this, &JobHistoryWnd::refresh);
    connect(toCheck, &QCheckBox::toggled, this, &JobHistoryWnd::refresh);
    connect(fromEdit, &QDateEdit::dateChanged, this, &JobHistoryWnd::refresh);
    connect(toEdit, &QDateEdit::dateChanged, this, &JobHistoryWnd::refresh);
    connect(exportButton, &QPushButton::clicked, this, &JobHistoryWnd::exportCsv);
    refresh();
}

JobHistory::Filter JobHistoryWnd::filter() const
{
    JobHistory::Filter f;
    f.machine = machineBox->currentData().toString();
    const int result = resultBox->currentData().toInt();
    if (result >= 0)
        f.result = static_cast<JobHistory::Result>(result);
    if (fromCheck->isChecked())
        f.from = fromEdit->date().startOfDay();
    if (toCheck->isChecked())
        f.to = toEdit->date().endOfDay();
    return f;
}

void JobHistoryWnd::refresh()
{
    // The machine list grows as runs are recorded; the choice stays.
    const QString machine = machineBox->currentData().toString();
    {
        const QSignalBlocker blocker(machineBox);
        machineBox->clear();
        machineBox->addItem(tr("All machines"), QString());
        for (const QString& m : history->machines())
            machineBox->addItem(m, m);
        machineBox->setCurrentIndex(qMax(0, machineBox->findData(machine)));
    }
    shown = history->runs(filter());
    table_->setRowCount(static_cast<int>(shown.size()));
    for (int row = 0; row < shown.size(); ++row) {
        const JobHistory::Run& r = shown[row];
        QString result = JobHistory::resultText(r.result);
        if (r.failedLine)
            result += tr(" at line %1").arg(r.failedLine);
        const QStringList cells = {
            r.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            r.machine,
            r.port,
            QFileInfo(r.filePath).fileName(),
            result,
            tr("%1 of %2").arg(r.linesDone).arg(r.linesTotal),
            duration(r.estimatedSeconds),
            r.ended.isValid() ? duration(r.actualSeconds) : QString(),
            r.reason,
        };
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == 3)
                item->setToolTip(QDir::toNativeSeparators(r.filePath));
            table_->setItem(row, column, item);
        }
    }
    table_->resizeColumnsToContents();
    if (!history->isOpen())
        table_->setToolTip(tr("No job history: %1").arg(history->lastError()));
}

void JobHistoryWnd::exportCsv()
{
    const QString path = Dialogs::seam().saveFileName(
        this, tr("Export Job History"), QDir::homePath() + QStringLiteral("/job-history.csv"),
        tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const QByteArray bytes = JobHistory::toCsv(shown).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        Dialogs::warning(this, tr("Export Job History"),
                         tr("The job history could not be written to %1: %2")
                             .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
}
