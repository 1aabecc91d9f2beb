#pragma once
// The "Job History" dock's content: the recorded runs, newest first, filtered by machine,
// result and date range, and exported as CSV.

#include "jobhistory.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QTableWidget;

class JobHistoryWnd : public QWidget {
    Q_OBJECT
public:
    // history is not owned and may be closed (the list then says why).
    explicit JobHistoryWnd(JobHistory* history, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    JobHistory::Filter filter() const;

public Q_SLOTS:
    // Reads the rows again (after a job started or ended, or a filter changed).
    void refresh();
    // Asks for a file through the dialog seam and writes the listed rows as CSV.
    void exportCsv();

private:
    JobHistory* history;
    QComboBox* machineBox = nullptr;
    QComboBox* resultBox = nullptr;
    QCheckBox* fromCheck = nullptr;
    QDateEdit* fromEdit = nullptr;
    QCheckBox* toCheck = nullptr;
    QDateEdit* toEdit = nullptr;
    QTableWidget* table_ = nullptr;
    QList<JobHistory::Run> shown;
};
