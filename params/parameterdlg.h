#pragma once
// The modal dialog in which the operator edits the parameter set of one controller, one
// category page at a time; OK stores the fields only when every checked field is in range.

#include <QDialog>

#include <array>
#include <memory>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLineEdit;
class TarvoController;
class TarvoParameters;

namespace Ui {
class ParameterDlgClass;
}

class ParameterDlg : public QDialog {
    Q_OBJECT
public:
    ParameterDlg(TarvoController* controller, QWidget* parent = nullptr);
    ~ParameterDlg() override;

    // The index of the page shown last, shared by every dialog for the life of the program.
    static int LastPage() { return lastPage; }
    // A note on how the controller keeps its name (shown as the name field's tool tip).
    void SetControllerNameHint(const QString& hint);

public Q_SLOTS:
    void accept() override;
    void SlotCurrentPageChanged(int index);
    void SlotRefReinfolgeXChanged(int step);
    void SlotRefReinfolgeYChanged(int step);
    void SlotRefReinfolgeZChanged(int step);
    void SlotRefReinfolgeCChanged(int step);

private:
    // How the text of a number field turns into a value.
    enum class Conversion { Unsigned, Signed, Float };

    // One checked number field and the set member it stands for.
    struct NumberField {
        QLineEdit* edit = nullptr;
        Conversion conversion = Conversion::Unsigned;
        double min = 0;
        double max = 0;
        int decimals = 0;  // Float only: decimals the validator allows
        int TarvoParameters::*intMember = nullptr;
        float TarvoParameters::*floatMember = nullptr;
        int (TarvoParameters::*arrayMember)[4] = nullptr;
        int axis = 0;
    };

    void BuildNumberFields();
    void AttachValidators();
    void FillFromParameters(const TarvoParameters& parameters);
    void FillReferenceGrid(const TarvoParameters& parameters);
    // The field's value as OK reads it; a text that does not convert counts as 0.
    static double FieldValue(const NumberField& field);
    // The field's text as a number; *ok tells whether it converts.
    static double ParsedValue(const NumberField& field, bool* ok);
    // Gives the message row below the pages the width of its longest message.
    void ReserveStatusWidth();
    // Marks a typed value that OK would refuse, and unmarks it once it is in range again.
    void CheckTyped(const NumberField& field);
    // Out of range: the field marked, "Value out of range" and the field's name shown;
    // in range: the mark gone, and the message too when it named this field.
    void ShowRange(QLineEdit* edit, bool inRange);
    // "Value out of range" with the field's name, the field marked, its page shown, its text
    // selected, the focus in it.
    void RefuseField(QLineEdit* edit);
    void StoreFields(TarvoParameters& parameters) const;
    void StoreReferenceSequence(TarvoParameters& parameters) const;
    void OrderChanged(int axis, int step);

    static int lastPage;

    TarvoController* controller;
    std::unique_ptr<Ui::ParameterDlgClass> form;
    // The order button groups in axis order X, Y, Z, C.
    std::array<QButtonGroup*, 4> orderGroups{};
    std::array<QComboBox*, 4> directionCombos{};
    // Every checked field in the order OK takes them.
    std::vector<NumberField> numberFields;
    QLineEdit* refusedField = nullptr;  // the field the status message names
};
