// Program files and editor tabs: new, open, save, save as, close, the modified mark, and the
// command lines the manual panel sends to the editor.

#include "kavrixmainwnd.h"

#include "dialogs.h"
#include "programfile.h"
#include "textfile.h"
#include "tarvoprogedit.h"
#include "waitcursor.h"

#include <QFileInfo>
#include <QStringConverter>
#include <QStringEncoder>
#include <QTabWidget>

namespace {

QString programFileFilter()
{
    return KavrixMainWnd::tr("NC Programs (*.ncprg);;All Files (*.*)");
}

// The tab label of a file: its name without directory. A "&" would otherwise be taken as a
// mnemonic marker and vanish from the label.
QString tabLabelOf(const QString& path)
{
    QString label = QFileInfo(path).fileName();
    label.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return label;
}

}  // namespace

TarvoProgEdit* KavrixMainWnd::CurrentEditor() const
{
    return qobject_cast<TarvoProgEdit*>(editorTabWidget->currentWidget());
}

TarvoProgEdit* KavrixMainWnd::CreateEditorTab(const QString& path, const QString& text)
{
    auto* const editor = new TarvoProgEdit(editorTabWidget);
    editor->setPlainText(text);
    editor->setDocumentTitle(path);
    editor->document()->setModified(false);

    QString label = tabLabelOf(path);
    QString toolTip = path;
    if (label.isEmpty()) {
        label = tr("Untitled");
        toolTip = tr("Program is not saved yet");
    }
    const int index = editorTabWidget->addTab(editor, label);
    editorTabWidget->setTabToolTip(index, toolTip);
    editorTabWidget->setCurrentIndex(index);
    // Connected only now, so loading the text does not mark the tab.
    connect(editor, &QPlainTextEdit::textChanged, this, &KavrixMainWnd::SlotEditTextChanged);
    return editor;
}

int KavrixMainWnd::FindEditorTabByPath(const QString& path) const
{
    for (int i = 0; i < editorTabWidget->count(); ++i) {
        const auto* const editor = qobject_cast<TarvoProgEdit*>(editorTabWidget->widget(i));
        if (editor && editor->documentTitle() == path)
            return i;
    }
    return -1;
}

int KavrixMainWnd::FindEditorTabIndex(const TarvoProgEdit* editor) const
{
    for (int i = 0; i < editorTabWidget->count(); ++i) {
        if (editorTabWidget->widget(i) == editor)
            return i;
    }
    return -1;
}

bool KavrixMainWnd::MaybeSave(TarvoProgEdit* editor)
{
    if (!editor->document()->isModified())
        return true;
    QString name = editor->documentTitle();
    if (name.isEmpty())
        name = tr("Untitled");
    const auto answer = Dialogs::question(this, tr("Save Modified File?"),
                                          tr("Save changes to %1?\n").arg(name),
                                          QMessageBox::Yes | QMessageBox::No
                                              | QMessageBox::Cancel,
                                          QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return SaveEditor(editor);
    if (answer == QMessageBox::No) {
        editor->document()->setModified(false);
        return true;
    }
    return false;
}

bool KavrixMainWnd::SaveEditor(TarvoProgEdit* editor)
{
    const QString path = editor->documentTitle();
    if (path.isEmpty())
        return SaveEditorAs(editor);
    return WriteProgramFile(editor, path);
}

bool KavrixMainWnd::SaveEditorAs(TarvoProgEdit* editor)
{
    if (!editor)
        return false;
    QString start = editor->documentTitle();
    for (;;) {
        const QString chosen = Dialogs::seam().saveFileName(this, tr("Save Program File"), start,
                                                            programFileFilter());
        if (chosen.isEmpty())
            return false;
        // The dialog asked about replacing the name it returned, not about the one with the
        // added extension: that one is asked here, and No returns to the dialog.
        const QString path = ProgramFile::withProgramExtension(chosen);
        if (MayReplaceWithExtension(tr("Save Program File"), chosen, path))
            return WriteProgramFile(editor, path);
        start = path;
    }
}

bool KavrixMainWnd::WriteProgramFile(TarvoProgEdit* editor, const QString& path)
{
    // Written atomically (TextFile::write): never a half-written program.
    const auto refuse = [this, &path](const QString& reason) {
        Dialogs::warning(this, tr("Error Saving Program to File"),
                         tr("Cannot write file %1:\n%2.").arg(path, reason), QMessageBox::Ok);
        return false;
    };
    // Written back in the encoding the file was read in. A Latin-1 file cannot hold every
    // character the operator may type; then the operator decides whether it becomes UTF-8.
    const QString text = ProgramFile::fileText(*editor->document());
    QStringConverter::Encoding encoding = editor->fileEncoding();
    if (encoding == QStringConverter::Latin1 && !ProgramFile::canEncode(text, encoding)) {
        const auto answer = Dialogs::question(
            this, tr("Save Program File"),
            tr("%1 is stored in Latin-1, which cannot hold every character of the program.\n"
               "Save it as UTF-8 instead?")
                .arg(path),
            QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Yes)
            return false;
        encoding = QStringConverter::Utf8;
    }
    {
        const WaitCursor wait;
        QStringEncoder encoder(encoding);
        QString reason;
        if (!TextFile::write(path, encoder.encode(text), &reason))
            return refuse(reason);
    }

    editor->setDocumentTitle(path);
    editor->setFileEncoding(encoding);
    const int index = FindEditorTabIndex(editor);
    if (index >= 0) {
        editorTabWidget->setTabText(index, tabLabelOf(path));
        editorTabWidget->setTabToolTip(index, path);
    }
    editor->document()->setModified(false);
    UpdateEditActions();
    return true;
}

void KavrixMainWnd::SlotFileNew()
{
    CreateEditorTab(QString(), QString());
    UpdateEditActions();
}

void KavrixMainWnd::SlotFileOpen()
{
    const TarvoProgEdit* const current = CurrentEditor();
    const QString start = current ? current->documentTitle() : QString();
    const QString path = Dialogs::seam().openFileName(this, tr("Open Program File"), start,
                                                      programFileFilter());
    if (path.isEmpty())
        return;
    const int open = FindEditorTabByPath(path);
    if (open >= 0) {
        editorTabWidget->setCurrentIndex(open);
        return;
    }

    const auto refuse = [this, &path](const QString& reason) {
        Dialogs::warning(this, tr("Error Loading Program from File"),
                         tr("Cannot read file %1:\n%2.").arg(path, reason), QMessageBox::Ok);
    };
    TextFile::Contents contents;
    QString error;
    {
        const WaitCursor wait;
        if (!TextFile::read(path, contents, &error)) {
            refuse(error);
            return;
        }
    }
    const WaitCursor wait;
    CreateEditorTab(path, contents.text)->setFileEncoding(contents.encoding);
    UpdateEditActions();
}

void KavrixMainWnd::SlotFileClose()
{
    SlotEditTabCloseRequested(editorTabWidget->currentIndex());
}

void KavrixMainWnd::SlotFileSave()
{
    if (TarvoProgEdit* const editor = CurrentEditor())
        SaveEditor(editor);
}

void KavrixMainWnd::SlotFileSaveAs()
{
    if (TarvoProgEdit* const editor = CurrentEditor())
        SaveEditorAs(editor);
}

void KavrixMainWnd::SlotEditTabCloseRequested(int index)
{
    auto* const editor = qobject_cast<TarvoProgEdit*>(editorTabWidget->widget(index));
    if (!editor || !MaybeSave(editor))
        return;
    editorTabWidget->removeTab(index);
    delete editor;
    UpdateEditActions();
}

void KavrixMainWnd::SlotEditTextChanged()
{
    const TarvoProgEdit* const editor = CurrentEditor();
    if (!editor || !editor->document()->isModified())
        return;
    const int index = editorTabWidget->currentIndex();
    const QString label = editorTabWidget->tabText(index);
    if (!label.endsWith(QLatin1Char('*')))
        editorTabWidget->setTabText(index, label + QLatin1Char('*'));
    UpdateEditActions();
}

void KavrixMainWnd::SlotCommandToEdit(QString cmd)
{
    if (!CurrentEditor())
        SlotFileNew();
    CurrentEditor()->appendPlainText(cmd);
}

bool KavrixMainWnd::MayReplaceWithExtension(const QString& title, const QString& chosen,
                                            const QString& path)
{
    if (path == chosen || !QFileInfo::exists(path))
        return true;
    return Dialogs::question(this, title,
                             tr("%1 already exists.\nDo you want to replace it?")
                                 .arg(QFileInfo(path).fileName()),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}
