#include "parameterdlg.h"

#include "ui_parameterdlg.h"

#include "parametertable.h"
#include "ramcommandformat.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QPushButton>

#include <algorithm>
#include <limits>

int ParameterDlg::lastPage = 0;

namespace {

constexpr int AxisCount = 4;
constexpr int StepCount = 4;

// Shows index when the combo box has such an item, else no item at all (a value the dialog
// cannot show; OK then keeps the value the set holds).
void ShowIndex(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

// The value a combo box stands for, or keep when it shows no item.
int ComboValue(const QComboBox* combo, int offset, int keep)
{
    const int index = combo->currentIndex();
    return index < 0 ? keep : index + offset;
}

// A label's text without the ":" that introduces its field.
QString LabelText(const QLayoutItem* item)
{
    const auto* const label = item ? qobject_cast<const QLabel*>(item->widget()) : nullptr;
    if (!label)
        return QString();
    QString text = label->text().trimmed();
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

// A field's name as the form shows it: its group's title, the label of its row and the
// heading of its column ("Verfahrbereich, Z ( mm ), bis").
QString FieldName(const QWidget* edit)
{
    QStringList parts;
    for (const QWidget* w = edit->parentWidget(); w; w = w->parentWidget()) {
        if (const auto* const group = qobject_cast<const QGroupBox*>(w)) {
            parts << group->title();
            break;
        }
    }
    const QWidget* const parent = edit->parentWidget();
    for (QGridLayout* const grid : parent->findChildren<QGridLayout*>()) {
        const int at = grid->indexOf(edit);
        if (at < 0)
            continue;
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(at, &row, &column, &rowSpan, &columnSpan);
        parts << LabelText(grid->itemAtPosition(row, 0));
        if (row > 0 && column > 0)
            parts << LabelText(grid->itemAtPosition(0, column));
        break;
    }
    parts.removeAll(QString());
    return parts.join(QStringLiteral(", "));
}

// Marks a field whose value OK would refuse; the mark goes when the text is in range again.
void MarkField(QLineEdit* edit, bool outOfRange)
{
    if (edit->property("outOfRange").toBool() == outOfRange)
        return;
    edit->setProperty("outOfRange", outOfRange);
    QPalette palette;  // empty: the field follows its parent's palette again
    if (outOfRange) {
        palette = edit->palette();
        palette.setColor(QPalette::Base, QColor(255, 214, 214));
    }
    edit->setPalette(palette);
}

}  // namespace

ParameterDlg::ParameterDlg(TarvoController* controller, QWidget* parent)
    : QDialog(parent), controller(controller), form(std::make_unique<Ui::ParameterDlgClass>())
{
    form->setupUi(this);

    connect(form->categoryListWidget, &QListWidget::currentTextChanged,
            form->currentCategoryLabel, &QLabel::setText);
    connect(form->categoryListWidget, &QListWidget::currentRowChanged, form->stackedWidget,
            &QStackedWidget::setCurrentIndex);
    connect(form->buttonBox, &QDialogButtonBox::accepted, this, &ParameterDlg::accept);
    connect(form->buttonBox, &QDialogButtonBox::rejected, this, &ParameterDlg::reject);

    orderGroups = {form->refReihenfolgeXButtonGroup, form->refReihenfolgeYButtonGroup,
                   form->refReihenfolgeZButtonGroup, form->refReihenfolgeCButtonGroup};
    directionCombos = {form->refRichtungXComboBox, form->refRichtungYComboBox,
                       form->refRichtungZComboBox, form->refRichtungCComboBox};
    const std::array<std::array<QAbstractButton*, StepCount>, AxisCount> orderButtons = {{
        {form->refReihenfolgeX1RadioButton, form->refReihenfolgeX2RadioButton,
         form->refReihenfolgeX3RadioButton, form->refReihenfolgeX4RadioButton},
        {form->refReihenfolgeY1RadioButton, form->refReihenfolgeY2RadioButton,
         form->refReihenfolgeY3RadioButton, form->refReihenfolgeY4RadioButton},
        {form->refReihenfolgeZ1RadioButton, form->refReihenfolgeZ2RadioButton,
         form->refReihenfolgeZ3RadioButton, form->refReihenfolgeZ4RadioButton},
        {form->refReihenfolgeC1RadioButton, form->refReihenfolgeC2RadioButton,
         form->refReihenfolgeC3RadioButton, form->refReihenfolgeC4RadioButton},
    }};
    for (int axis = 0; axis < AxisCount; ++axis)
        for (int step = 0; step < StepCount; ++step)
            orderGroups[axis]->setId(orderButtons[axis][step], step);
    connect(orderGroups[0], &QButtonGroup::idClicked, this,
            &ParameterDlg::SlotRefReinfolgeXChanged);
    connect(orderGroups[1], &QButtonGroup::idClicked, this,
            &ParameterDlg::SlotRefReinfolgeYChanged);
    connect(orderGroups[2], &QButtonGroup::idClicked, this,
            &ParameterDlg::SlotRefReinfolgeZChanged);
    connect(orderGroups[3], &QButtonGroup::idClicked, this,
            &ParameterDlg::SlotRefReinfolgeCChanged);
    connect(form->stackedWidget, &QStackedWidget::currentChanged, this,
            &ParameterDlg::SlotCurrentPageChanged);

    BuildNumberFields();
    if (controller) {
        const TarvoParameters& parameters = controller->GetParameters();
        FillFromParameters(parameters);
        FillReferenceGrid(parameters);
    }
    AttachValidators();
    ReserveStatusWidth();

    form->stackedWidget->setCurrentIndex(lastPage);
    SlotCurrentPageChanged(lastPage);
}

ParameterDlg::~ParameterDlg() = default;

void ParameterDlg::BuildNumberFields()
{
    using P = TarvoParameters;
    // Every range comes from the parameter table, which the controller's rules agree with.
    const auto rowOf = [](auto member, auto P::*ParameterTable::Row::*field) {
        for (const ParameterTable::Row* row = ParameterTable::begin();
             row != ParameterTable::end(); ++row) {
            if (row->*field == member)
                return row;
        }
        Q_UNREACHABLE();
    };
    const auto integer = [&rowOf](QLineEdit* edit, int P::*member) {
        const ParameterTable::Row* row = rowOf(member, &ParameterTable::Row::intMember);
        NumberField f;
        f.edit = edit;
        f.conversion = row->min < 0 ? Conversion::Signed : Conversion::Unsigned;
        f.min = row->min;
        f.max = row->max;
        f.intMember = member;
        return f;
    };
    // Speeds take three decimals, resolutions six.
    const auto real = [&rowOf](QLineEdit* edit, float P::*member) {
        const ParameterTable::Row* row = rowOf(member, &ParameterTable::Row::floatMember);
        NumberField f;
        f.edit = edit;
        f.conversion = Conversion::Float;
        f.min = row->min;
        f.max = row->max;
        f.decimals = f.min < 0.1 ? 3 : 6;
        f.floatMember = member;
        return f;
    };
    const auto axes = [this, &rowOf](const std::array<QLineEdit*, 4>& edits,
                                     int (P::*member)[4]) {
        const ParameterTable::Row* row = rowOf(member, &ParameterTable::Row::arrayMember);
        for (int axis = 0; axis < AxisCount; ++axis) {
            NumberField f;
            f.edit = edits[axis];
            f.conversion = Conversion::Signed;
            f.min = row->min;
            f.max = row->max;
            f.arrayMember = member;
            f.axis = axis;
            numberFields.push_back(f);
        }
    };
    const Ui::ParameterDlgClass& u = *form;

    // The order in which OK takes the fields: Motortest, Geschwindigkeiten, Mechanik,
    // Sonstige (the pages without number fields store no checked values).
    numberFields = {
        integer(u.mtWegEdit, &P::MOTORTEST_WEGLAENGE_LONG),
        real(u.mtStartStopEdit, &P::MOTORTEST_START_STOP_FLOAT),
        real(u.mtFahrEdit, &P::MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT),
        integer(u.mtBeschleunigungEdit, &P::MOTORTEST_BESCHLEUNIGUNG_LONG),

        real(u.gesStartStopEdit, &P::GESCHWINDIGKEITEN_START_STOP_FLOAT),
        real(u.gesFahrEdit, &P::GESCHWINDIGKEITEN_FAHR_FLOAT),
        real(u.gesEilgangEdit, &P::GESCHWINDIGKEITEN_EILGANG_FLOAT),
        real(u.gesManuelLangsamEdit, &P::GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT),
        real(u.gesManuelSchnellEdit, &P::GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT),
        real(u.gesReferFahrtEdit, &P::GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT),
        real(u.gesReferFahrtFreiEdit, &P::GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT),
        integer(u.gesBeschleunigungEdit, &P::GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG),
        integer(u.gesBremswinkelEdit, &P::GESCHWINDIGKEITEN_BREMSWINKEL_LONG),
        integer(u.gesUmschaltzeitEdit, &P::GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG),

        real(u.mecAufloesXEdit, &P::MECHANIK_AUFLOESUNG_X_FLOAT),
        real(u.mecAufloesYEdit, &P::MECHANIK_AUFLOESUNG_Y_FLOAT),
        real(u.mecAufloesZEdit, &P::MECHANIK_AUFLOESUNG_Z_FLOAT),
        real(u.mecAufloesCEdit, &P::MECHANIK_AUFLOESUNG_C_FLOAT),
        integer(u.mecUmkSpielXEdit, &P::MECHANIK_UMKEHRSPIEL_X_LONG),
        integer(u.mecUmkSpielYEdit, &P::MECHANIK_UMKEHRSPIEL_Y_LONG),
        integer(u.mecUmkSpielZEdit, &P::MECHANIK_UMKEHRSPIEL_Z_LONG),
        integer(u.mecUmkSpielCEdit, &P::MECHANIK_UMKEHRSPIEL_C_LONG),
    };
    axes({u.mecVfbVonXEdit, u.mecVfbVonYEdit, u.mecVfbVonZEdit, u.mecVfbVonCEdit},
         &P::MECHANIK_VERFAHRBEREICH_VON_LONG);
    axes({u.mecVfbBisXEdit, u.mecVfbBisYEdit, u.mecVfbBisZEdit, u.mecVfbBisCEdit},
         &P::MECHANIK_VERFAHRBEREICH_BIS_LONG);
    axes({u.mecParkPosXEdit, u.mecParkPosYEdit, u.mecParkPosZEdit, u.mecParkPosCEdit},
         &P::MECHANIK_PARKPOSITION_LONG);
    axes({u.mecNPunktXEdit, u.mecNPunktYEdit, u.mecNPunktZEdit, u.mecNPunktCEdit},
         &P::MECHANIK_NULLPUNKT_LONG);
    numberFields.push_back(
        integer(u.sonSpindelhochlaufEdit, &P::SONSTIGE_SPINDELHOCHLAUF_LONG));
    numberFields.push_back(
        integer(u.sonWerkzeugAnschnittEdit, &P::SONSTIGE_WERKZEUGANSCHNITT_LONG));
    numberFields.push_back(
        integer(u.sonSicherheitsabstandEdit, &P::SONSTIGE_SICHERHEITSABSTAND_LONG));
    numberFields.push_back(integer(u.sonWeitereEdit, &P::SONSTIGE_WEITERE_LONG));
}

void ParameterDlg::AttachValidators()
{
    // The validators hold the format only (sign, digits, decimals), not the range: a range
    // validator refuses the keystroke that leaves the range, so "5000" typed into a field
    // that ends at 500 stayed "500" without a word. The range is marked while typing and
    // checked by OK.
    const QLocale locale = MachineNumberLocale();
    for (size_t i = 0; i < numberFields.size(); ++i) {
        const NumberField& f = numberFields[i];
        if (f.conversion == Conversion::Float) {
            const double bottom = f.min < 0 ? -1e12 : 0.0;
            auto* validator = new QDoubleValidator(bottom, 1e12, f.decimals, f.edit);
            validator->setNotation(QDoubleValidator::StandardNotation);
            validator->setLocale(locale);
            f.edit->setValidator(validator);
        } else {
            const int bottom = f.min < 0 ? std::numeric_limits<int>::min() : 0;
            auto* validator =
                new QIntValidator(bottom, std::numeric_limits<int>::max(), f.edit);
            validator->setLocale(locale);
            f.edit->setValidator(validator);
        }
        connect(f.edit, &QLineEdit::textEdited, this, [this, i] { CheckTyped(numberFields[i]); });
    }
    connect(form->sonControllernameEdit, &QLineEdit::textEdited, this,
            [this] { ShowRange(form->sonControllernameEdit, true); });
}

void ParameterDlg::ReserveStatusWidth()
{
    // The message row asks from the start for the width of its longest message: a value typed
    // out of range then never widens the dialog, and no field name is cut.
    const QFontMetrics metrics = form->statusFieldLabel->fontMetrics();
    int widest = metrics.horizontalAdvance(FieldName(form->sonControllernameEdit));
    for (const NumberField& f : numberFields)
        widest = std::max(widest, metrics.horizontalAdvance(FieldName(f.edit)));
    form->statusFieldLabel->setMinimumWidth(widest);
    form->statusLabel->setMinimumWidth(form->statusLabel->fontMetrics().horizontalAdvance(
        QCoreApplication::translate("ParameterDlgClass", "Value out of range")));
}

void ParameterDlg::CheckTyped(const NumberField& field)
{
    // A text that is no number yet (empty, "-", ".") is still being typed: OK judges it.
    bool number = false;
    const double value = ParsedValue(field, &number);
    ShowRange(field.edit, !number || (value >= field.min && value <= field.max));
}

void ParameterDlg::ShowRange(QLineEdit* edit, bool inRange)
{
    MarkField(edit, !inRange);
    if (!inRange) {
        form->statusLabel->setText(
            QCoreApplication::translate("ParameterDlgClass", "Value out of range"));
        form->statusFieldLabel->setText(FieldName(edit));
        refusedField = edit;
    } else if (refusedField == edit) {
        form->statusLabel->clear();
        form->statusFieldLabel->clear();
        refusedField = nullptr;
    }
}

void ParameterDlg::FillFromParameters(const TarvoParameters& p)
{
    for (const NumberField& f : numberFields) {
        if (f.floatMember)
            f.edit->setText(QString::number(double(p.*f.floatMember), 'g', 6));
        else if (f.intMember)
            f.edit->setText(QString::number(p.*f.intMember));
        else
            f.edit->setText(QString::number((p.*f.arrayMember)[f.axis]));
    }

    const Ui::ParameterDlgClass& u = *form;
    ShowIndex(u.scnSpindelComboBox, p.SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG - 1);
    ShowIndex(u.scnKuehlungComboBox, p.SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG - 1);
    ShowIndex(u.scnStromabsenkComboBox, p.SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG - 1);
    ShowIndex(u.scnBoostComboBox, p.SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG - 1);

    const std::array<QComboBox*, 4> endSwitches = {
        u.refEndschalterXComboBox, u.refEndschalterYComboBox, u.refEndschalterZComboBox,
        u.refEndschalterCComboBox};
    const std::array<QComboBox*, 4> axisConfigs = {
        u.mecAConfigXComboBox, u.mecAConfigYComboBox, u.mecAConfigZComboBox,
        u.mecAConfigCComboBox};
    const std::array<QCheckBox*, 4> reversals = {
        u.mecRichtUmkXCheckBox, u.mecRichtUmkYCheckBox, u.mecRichtUmkZCheckBox,
        u.mecRichtUmkCCheckBox};
    for (int axis = 0; axis < AxisCount; ++axis) {
        ShowIndex(endSwitches[axis], p.REFERENZFAHRT_ENDSCHALTER_UCHAR[axis]);
        ShowIndex(axisConfigs[axis], p.MECHANIK_ACHSENCONFIGURATION_UCHAR[axis]);
        reversals[axis]->setChecked(p.MECHANIK_RICHTUNGSUMKEHR_LONG[axis] != 0);
    }

    ShowIndex(u.sonWerkzeugwechselComboBox, p.SONSTIGE_WERKZEUGWECHSEL_LONG - 1);
    ShowIndex(u.sonReffahrtZeitpunktComboBox, p.SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG - 1);
    ShowIndex(u.sonUnbekannteProgBefehleComboBox, p.SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG - 1);
    u.sonControllernameEdit->setText(p.SONSTIGE_CONTROLLERNAME_CHAR);
}

void ParameterDlg::FillReferenceGrid(const TarvoParameters& p)
{
    // No direction is shown until a step names its axis.
    for (QComboBox* combo : directionCombos)
        combo->setCurrentIndex(-1);
    const TarvoParameters::ReferenceSequence& sequence =
        p.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
    for (int step = 0; step < StepCount; ++step) {
        const int axis = sequence.order[step];
        if (axis < 0 || axis >= AxisCount)
            continue;
        orderGroups[axis]->button(step)->setChecked(true);
        ShowIndex(directionCombos[axis], sequence.direction[step]);
    }
}

double ParameterDlg::FieldValue(const NumberField& field)
{
    bool ok = false;
    const double value = ParsedValue(field, &ok);
    return ok ? value : 0.0;
}

double ParameterDlg::ParsedValue(const NumberField& field, bool* ok)
{
    const QString text = field.edit->text();
    double value = 0;
    switch (field.conversion) {
    case Conversion::Unsigned:
        value = text.toUInt(ok, 10);
        break;
    case Conversion::Signed:
        value = text.toInt(ok, 10);
        break;
    case Conversion::Float:
        value = QLocale::c().toDouble(text.trimmed(), ok);
        break;
    }
    return value;
}

void ParameterDlg::accept()
{
    // Every field is checked before any is stored, so a failing field leaves the set as it
    // was and Cancel afterwards never keeps half of the edits.
    for (const NumberField& f : numberFields) {
        const double value = FieldValue(f);
        if (value >= f.min && value <= f.max)
            continue;
        RefuseField(f.edit);
        return;
    }
    // The name last, as it is stored last: one that a parameter file or the controller would
    // change (a "%", blanks at either end, control characters, characters beyond Latin-1)
    // is refused like a value out of range. The empty name is kept.
    if (!TarvoParameters::IsStorableControllerName(form->sonControllernameEdit->text())) {
        RefuseField(form->sonControllernameEdit);
        return;
    }

    if (controller)
        StoreFields(controller->GetParameters());
    QDialog::accept();
}

void ParameterDlg::RefuseField(QLineEdit* edit)
{
    ShowRange(edit, false);
    QWidget* page = edit;
    while (page && page->parentWidget() != form->stackedWidget)
        page = page->parentWidget();
    if (page)
        form->stackedWidget->setCurrentWidget(page);
    edit->selectAll();
    edit->setFocus();
}

void ParameterDlg::StoreFields(TarvoParameters& p) const
{
    const Ui::ParameterDlgClass& u = *form;
    auto number = numberFields.cbegin();
    const auto storeNumbers = [&](int count) {
        for (int i = 0; i < count; ++i, ++number) {
            const double value = FieldValue(*number);
            if (number->floatMember)
                p.*number->floatMember = static_cast<float>(value);
            else if (number->intMember)
                p.*number->intMember = static_cast<int>(value);
            else
                (p.*number->arrayMember)[number->axis] = static_cast<int>(value);
        }
    };

    // Motortest, Geschwindigkeiten.
    storeNumbers(4 + 10);

    // Schnittstelle.
    p.SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG =
        ComboValue(u.scnSpindelComboBox, 1, p.SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG);
    p.SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG =
        ComboValue(u.scnKuehlungComboBox, 1, p.SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG);
    p.SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG = ComboValue(
        u.scnStromabsenkComboBox, 1, p.SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG);
    p.SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG =
        ComboValue(u.scnBoostComboBox, 1, p.SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG);

    // Referenzfahrt.
    StoreReferenceSequence(p);
    const std::array<const QComboBox*, 4> endSwitches = {
        u.refEndschalterXComboBox, u.refEndschalterYComboBox, u.refEndschalterZComboBox,
        u.refEndschalterCComboBox};
    for (int axis = 0; axis < AxisCount; ++axis)
        p.REFERENZFAHRT_ENDSCHALTER_UCHAR[axis] =
            ComboValue(endSwitches[axis], 0, p.REFERENZFAHRT_ENDSCHALTER_UCHAR[axis]);

    // Mechanik: resolutions, backlash, travel range, park position, zero point, then the
    // direction reversal and the axis configuration.
    storeNumbers(4 + 4 + 4 * 4);
    const std::array<const QCheckBox*, 4> reversals = {
        u.mecRichtUmkXCheckBox, u.mecRichtUmkYCheckBox, u.mecRichtUmkZCheckBox,
        u.mecRichtUmkCCheckBox};
    const std::array<const QComboBox*, 4> axisConfigs = {
        u.mecAConfigXComboBox, u.mecAConfigYComboBox, u.mecAConfigZComboBox,
        u.mecAConfigCComboBox};
    for (int axis = 0; axis < AxisCount; ++axis) {
        p.MECHANIK_RICHTUNGSUMKEHR_LONG[axis] = reversals[axis]->isChecked() ? 1 : 0;
        p.MECHANIK_ACHSENCONFIGURATION_UCHAR[axis] =
            ComboValue(axisConfigs[axis], 0, p.MECHANIK_ACHSENCONFIGURATION_UCHAR[axis]);
    }

    // Sonstige.
    p.SONSTIGE_WERKZEUGWECHSEL_LONG =
        ComboValue(u.sonWerkzeugwechselComboBox, 1, p.SONSTIGE_WERKZEUGWECHSEL_LONG);
    p.SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG =
        ComboValue(u.sonReffahrtZeitpunktComboBox, 1, p.SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG);
    p.SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG = ComboValue(
        u.sonUnbekannteProgBefehleComboBox, 1, p.SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG);
    storeNumbers(4);
    Q_ASSERT(number == numberFields.cend());
    p.SONSTIGE_CONTROLLERNAME_CHAR = u.sonControllernameEdit->text();
}

void ParameterDlg::StoreReferenceSequence(TarvoParameters& p) const
{
    TarvoParameters::ReferenceSequence& sequence = p.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
    const TarvoParameters::ReferenceSequence old = sequence;

    int order[StepCount] = {-1, -1, -1, -1};
    for (int axis = 0; axis < AxisCount; ++axis) {
        const int step = orderGroups[axis]->checkedId();
        if (step >= 0 && step < StepCount)
            order[step] = axis;
    }
    // A set whose order was not a permutation leaves axes without a checked step; they take
    // the free steps in axis order, so the stored order always names every axis once.
    for (int axis = 0; axis < AxisCount; ++axis) {
        if (std::find(std::begin(order), std::end(order), axis) != std::end(order))
            continue;
        *std::find(std::begin(order), std::end(order), -1) = axis;
    }

    for (int step = 0; step < StepCount; ++step) {
        const int axis = order[step];
        int direction = directionCombos[axis]->currentIndex();
        if (direction < 0) {
            // No direction shown: keep the one the axis had, else leave it unreferenced.
            direction = 2;
            for (int oldStep = 0; oldStep < StepCount; ++oldStep)
                if (old.order[oldStep] == axis)
                    direction = old.direction[oldStep];
        }
        sequence.order[step] = axis;
        sequence.direction[step] = direction;
    }
}

void ParameterDlg::SlotCurrentPageChanged(int index)
{
    if (index < 0 || index >= form->categoryListWidget->count())
        return;
    lastPage = index;
    form->categoryListWidget->setCurrentRow(index);
}

void ParameterDlg::SlotRefReinfolgeXChanged(int step)
{
    OrderChanged(0, step);
}

void ParameterDlg::SlotRefReinfolgeYChanged(int step)
{
    OrderChanged(1, step);
}

void ParameterDlg::SlotRefReinfolgeZChanged(int step)
{
    OrderChanged(2, step);
}

void ParameterDlg::SlotRefReinfolgeCChanged(int step)
{
    OrderChanged(3, step);
}

// Keeps the four axes on four different steps: the axis that held the clicked step moves to
// the lowest step nobody uses, which is the one the clicked axis left.
void ParameterDlg::OrderChanged(int axis, int step)
{
    bool used[StepCount] = {false, false, false, false};
    for (const QButtonGroup* group : orderGroups) {
        const int checked = group->checkedId();
        if (checked >= 0 && checked < StepCount)
            used[checked] = true;
    }
    for (int other = 0; other < AxisCount; ++other) {
        if (other == axis || orderGroups[other]->checkedId() != step)
            continue;
        for (int free = 0; free < StepCount; ++free) {
            if (!used[free]) {
                orderGroups[other]->button(free)->setChecked(true);
                break;
            }
        }
        return;
    }
}

void ParameterDlg::SetControllerNameHint(const QString& hint)
{
    form->sonControllernameEdit->setToolTip(hint);
}
