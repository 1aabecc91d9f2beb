#pragma once
// A G-code job in an editor tab of the main window: the read-only view of its lines and, below
// it, the problems the check found, each leading to its line. The tab owns its document.

#include <QWidget>

#include <cstdint>

class JobDocument;
class JobView;
class QLabel;
class QTreeView;
class ProblemsModel;

class JobTab : public QWidget {
    Q_OBJECT
public:
    // Takes document over (it becomes the tab's child).
    explicit JobTab(JobDocument* document, QWidget* parent = nullptr);

    JobDocument* document() const { return document_; }
    JobView* view() const { return view_; }
    QTreeView* problemsView() const { return problems_; }
    // The findings listed; 0 until the check has finished.
    int problemCount() const;
    // Shows line (1-based) in the view and makes it current.
    void goToLine(uint32_t line);

private:
    void showProblems();

    JobDocument* document_;
    JobView* view_;
    QLabel* problemsTitle_;
    QTreeView* problems_;
    ProblemsModel* model_;
};
