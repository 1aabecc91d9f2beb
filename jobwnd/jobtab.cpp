#include "jobtab.h"

#include "jobdocument.h"
#include "jobview.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <memory>

// The check's findings of a document, one row each: line, severity, message. Messages are made
// when a row is shown, so a job with many findings lists them at once.
class ProblemsModel : public QAbstractTableModel {
public:
    explicit ProblemsModel(QObject* parent) : QAbstractTableModel(parent) {}

    void setProgram(std::shared_ptr<const gcode::Program> program)
    {
        beginResetModel();
        program_ = std::move(program);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() || !program_ ? 0 : int(program_->findings().size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : 3;
    }

    const gcode::Finding* finding(const QModelIndex& index) const
    {
        if (!index.isValid() || !program_ || size_t(index.row()) >= program_->findings().size())
            return nullptr;
        return &program_->findings()[size_t(index.row())];
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const gcode::Finding* const found = finding(index);
        if (!found)
            return {};
        if (role == Qt::DisplayRole) {
            switch (index.column()) {
            case 0: return QString::number(found->line);
            case 1: return severityText(found->severity);
            default: return QString::fromStdString(found->message());
            }
        }
        if (role == Qt::DecorationRole && index.column() == 1)
            return QApplication::style()->standardIcon(severityIcon(found->severity));
        if (role == Qt::TextAlignmentRole && index.column() == 0)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        switch (section) {
        case 0: return JobTab::tr("Line");
        case 1: return JobTab::tr("Severity");
        default: return JobTab::tr("Problem");
        }
    }

    static QString severityText(gcode::Severity severity)
    {
        switch (severity) {
        case gcode::Severity::Refuse: return JobTab::tr("Refused");
        case gcode::Severity::Warning: return JobTab::tr("Warning");
        case gcode::Severity::Info: break;
        }
        return JobTab::tr("Note");
    }
    static QStyle::StandardPixmap severityIcon(gcode::Severity severity)
    {
        switch (severity) {
        case gcode::Severity::Refuse: return QStyle::SP_MessageBoxCritical;
        case gcode::Severity::Warning: return QStyle::SP_MessageBoxWarning;
        case gcode::Severity::Info: break;
        }
        return QStyle::SP_MessageBoxInformation;
    }

private:
    std::shared_ptr<const gcode::Program> program_;
};

JobTab::JobTab(JobDocument* document, QWidget* parent)
    : QWidget(parent), document_(document), view_(new JobView(document)),
      problemsTitle_(new QLabel), problems_(new QTreeView), model_(new ProblemsModel(this))
{
    setObjectName(QStringLiteral("jobTab"));
    document_->setParent(this);

    problemsTitle_->setObjectName(QStringLiteral("jobProblemsTitle"));
    problems_->setObjectName(QStringLiteral("jobProblems"));
    problems_->setModel(model_);
    problems_->setRootIsDecorated(false);
    problems_->setUniformRowHeights(true);
    problems_->setAlternatingRowColors(true);
    problems_->setSelectionBehavior(QAbstractItemView::SelectRows);
    problems_->header()->setStretchLastSection(true);

    auto* const problemsPane = new QWidget;
    auto* const problemsLayout = new QVBoxLayout(problemsPane);
    problemsLayout->setContentsMargins(0, 4, 0, 0);
    problemsLayout->setSpacing(2);
    problemsLayout->addWidget(problemsTitle_);
    problemsLayout->addWidget(problems_);

    auto* const splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(view_);
    splitter->addWidget(problemsPane);
    splitter->setStretchFactor(0, 4);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    auto* const layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    // A click or Enter on a problem shows its line.
    const auto jump = [this](const QModelIndex& index) {
        if (const gcode::Finding* const found = model_->finding(index)) {
            goToLine(found->line);
            view_->setFocus();
        }
    };
    connect(problems_, &QTreeView::activated, this, jump);
    connect(problems_, &QTreeView::clicked, this, jump);

    problemsTitle_->setText(tr("Problems: reading the file..."));
    connect(document_, &JobDocument::textLoaded, this,
            [this] {
                model_->setProgram(nullptr);
                problemsTitle_->setText(tr("Problems: checking the job..."));
            });
    connect(document_, &JobDocument::loaded, this, &JobTab::showProblems);
    if (document_->isLoaded())
        showProblems();
}

int JobTab::problemCount() const
{
    return model_->rowCount();
}

void JobTab::goToLine(uint32_t line)
{
    view_->goToLine(line);
}

void JobTab::showProblems()
{
    const auto program = document_->program();
    model_->setProgram(program);
    const int count = model_->rowCount();
    if (count == 0)
        problemsTitle_->setText(tr("Problems: none found"));
    else if (program->refused())
        problemsTitle_->setText(tr("Problems: %1 found; the job cannot start as it is").arg(count));
    else
        problemsTitle_->setText(tr("Problems: %1 found").arg(count));
    problems_->resizeColumnToContents(0);
    problems_->resizeColumnToContents(1);
}
