// The parameter dialog: its form, filling from the set, the page memory, the reference order
// buttons, and OK with its checks.

#include "parameterdlg.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"
#include "testenv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTranslator>

namespace {

const QString OutOfRange = "Value out of range";

// Marks every text it is asked for in one context, so a test sees which texts went through
// translation in which context.
class MarkingTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override
    {
        if (QByteArray(context) == "ParameterDlgClass" && sourceText && *sourceText)
            return QStringLiteral("~") + QString::fromUtf8(sourceText);
        return QString();
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

class TestParameterDlg : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TarvoController> controller;

    TarvoParameters& Set() { return controller->GetParameters(); }

    template <typename T>
    static T* Find(const QDialog& dialog, const QString& name)
    {
        T* const widget = dialog.findChild<T*>(name);
        if (!widget)
            qWarning("no widget %s", qPrintable(name));
        return widget;
    }

    static QLineEdit* Edit(const QDialog& dialog, const QString& name)
    {
        return Find<QLineEdit>(dialog, name);
    }

    static QString Status(const QDialog& dialog)
    {
        return Find<QLabel>(dialog, "statusLabel")->text();
    }

    // The name shown beside "Value out of range".
    static QString FieldNamed(const QDialog& dialog)
    {
        return Find<QLabel>(dialog, "statusFieldLabel")->text();
    }

    static QString CurrentPage(const QDialog& dialog)
    {
        return Find<QStackedWidget>(dialog, "stackedWidget")->currentWidget()->objectName();
    }

    static void PressOk(QDialog& dialog)
    {
        Find<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    }

    // The step checked in each axis's order group, X, Y, Z, C (-1: none).
    static QList<int> CheckedSteps(const QDialog& dialog)
    {
        QList<int> steps;
        for (const char* axis : {"X", "Y", "Z", "C"}) {
            int checked = -1;
            for (int step = 1; step <= 4; ++step) {
                const QString name = QString("refReihenfolge%1%2RadioButton").arg(axis).arg(step);
                if (Find<QRadioButton>(dialog, name)->isChecked())
                    checked = step - 1;
            }
            steps.append(checked);
        }
        return steps;
    }

    static QList<int> Order(const TarvoParameters& p)
    {
        const auto& s = p.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
        return {s.order[0], s.order[1], s.order[2], s.order[3]};
    }

    static QList<int> Directions(const TarvoParameters& p)
    {
        const auto& s = p.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
        return {s.direction[0], s.direction[1], s.direction[2], s.direction[3]};
    }

private Q_SLOTS:
    void init()
    {
        initTestSettings();
        controller = std::make_unique<TarvoController>("COM3", 115200);
        Set().ResetToDefaults();
    }

    void cleanup() { controller.reset(); }

    // Runs first: the page memory starts at the first page.
    void firstOpeningShowsTheFirstPageAndPagesAreRemembered()
    {
        {
            ParameterDlg dialog(controller.get());
            QCOMPARE(CurrentPage(dialog), QString("geschwindigkeiten"));
            QCOMPARE(Find<QLabel>(dialog, "currentCategoryLabel")->text(),
                     QString("Geschwindigkeiten"));
            QCOMPARE(Find<QListWidget>(dialog, "categoryListWidget")->currentRow(), 0);

            // The list drives the page and the label ...
            Find<QListWidget>(dialog, "categoryListWidget")->setCurrentRow(3);
            QCOMPARE(CurrentPage(dialog), QString("referenzfahrt"));
            QCOMPARE(Find<QLabel>(dialog, "currentCategoryLabel")->text(),
                     QString("Referenzfahrt"));
            // ... and the page drives the list.
            Find<QStackedWidget>(dialog, "stackedWidget")->setCurrentIndex(4);
            QCOMPARE(Find<QListWidget>(dialog, "categoryListWidget")->currentRow(), 4);
            QVERIFY(Find<QListWidget>(dialog, "categoryListWidget")->item(4)->isSelected());
            QCOMPARE(Find<QLabel>(dialog, "currentCategoryLabel")->text(),
                     QString("Schnittstelle"));
            Find<QListWidget>(dialog, "categoryListWidget")->setCurrentRow(3);
            dialog.reject();
        }
        // The next dialog, for another controller, opens on the page shown last.
        TarvoController other("COM4", 115200);
        ParameterDlg again(&other);
        QCOMPARE(CurrentPage(again), QString("referenzfahrt"));
        QCOMPARE(Find<QLabel>(again, "currentCategoryLabel")->text(), QString("Referenzfahrt"));
        QCOMPARE(ParameterDlg::LastPage(), 3);
    }

    void formHoldsTheCategoriesPagesAndTexts()
    {
        ParameterDlg dialog(controller.get());
        QCOMPARE(dialog.size(), QSize(729, 538));
        QCOMPARE(Status(dialog), QString());
        auto* const list = Find<QListWidget>(dialog, "categoryListWidget");
        auto* const stack = Find<QStackedWidget>(dialog, "stackedWidget");
        const QStringList categories = {"Geschwindigkeiten", "Mechanik", "Motortest",
                                        "Referenzfahrt", "Schnittstelle", "Sonstige"};
        const QStringList pages = {"geschwindigkeiten", "mechanik", "motortest",
                                   "referenzfahrt", "schnittstelle", "sonstige"};
        QCOMPARE(list->count(), 6);
        QCOMPARE(stack->count(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(list->item(i)->text(), categories[i]);
            QCOMPARE(stack->widget(i)->objectName(), pages[i]);
        }
        // The backlash rows show the range OK enforces.
        QCOMPARE(Find<QLabel>(dialog, "mecUmkSpielRangeLabel")->text(), QString("[0 ... 500]"));
        QCOMPARE(Find<QLabel>(dialog, "gesBremswinkelRangeLabel")->text(), QString("[0 ...45]"));
        QCOMPARE(Find<QLabel>(dialog, "gesBeschleunigungLabel")->text(),
                 QString("Beschleunigung  ( mm/s*s )"));
        QCOMPARE(Find<QLabel>(dialog, "refReihenfolge1Label")->text(), QString("1."));
        const QStringList directions = {"positive", "negative", "wird nicht referenziert"};
        auto* const direction = Find<QComboBox>(dialog, "refRichtungCComboBox");
        QCOMPARE(direction->count(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(direction->itemText(i), directions[i]);
        QCOMPARE(Find<QComboBox>(dialog, "sonWerkzeugwechselComboBox")->itemText(3),
                 QString("nur Parameter übernehmen"));
        QCOMPARE(Find<QComboBox>(dialog, "scnKuehlungComboBox")->itemText(1),
                 QString("High aktiv"));
        QCOMPARE(Edit(dialog, "mecVfbBisCEdit")->maxLength(), 8);
        QCOMPARE(Edit(dialog, "sonControllernameEdit")->maxLength(), 16);
    }

    void textsAreTranslatedInTheFormContext()
    {
        MarkingTranslator translator;
        QCoreApplication::installTranslator(&translator);
        ParameterDlg dialog(controller.get());
        Edit(dialog, "gesFahrEdit")->setText("0");
        PressOk(dialog);
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(Find<QListWidget>(dialog, "categoryListWidget")->item(1)->text(),
                 QString("~Mechanik"));
        QCOMPARE(Find<QLabel>(dialog, "gesEilgangLabel")->text(), QString("~Eilgang ( mm/s )"));
        QCOMPARE(Status(dialog), "~" + OutOfRange);
    }

    void fieldsAreFilledFromTheSet()
    {
        TarvoParameters& p = Set();
        p.GESCHWINDIGKEITEN_EILGANG_FLOAT = 123.456789f;
        p.MECHANIK_AUFLOESUNG_Y_FLOAT = 0.1f;
        p.MECHANIK_NULLPUNKT_LONG[2] = -32767;
        p.MECHANIK_RICHTUNGSUMKEHR_LONG[1] = 5;  // any value but 0 checks the box
        p.MECHANIK_ACHSENCONFIGURATION_UCHAR[3] = 2;
        p.REFERENZFAHRT_ENDSCHALTER_UCHAR[0] = 0;
        p.SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG = 1;
        p.SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG = 3;
        p.SONSTIGE_CONTROLLERNAME_CHAR = "Fräse 2";
        ParameterDlg dialog(controller.get());

        // Floats in general notation with six significant digits.
        QCOMPARE(Edit(dialog, "gesFahrEdit")->text(), QString("4"));
        QCOMPARE(Edit(dialog, "gesStartStopEdit")->text(), QString("0.5"));
        QCOMPARE(Edit(dialog, "gesEilgangEdit")->text(), QString("123.457"));
        QCOMPARE(Edit(dialog, "mecAufloesXEdit")->text(), QString("100"));
        QCOMPARE(Edit(dialog, "mecAufloesYEdit")->text(), QString("0.1"));
        QCOMPARE(Edit(dialog, "mtWegEdit")->text(), QString("400"));
        QCOMPARE(Edit(dialog, "mtFahrEdit")->text(), QString("10"));
        QCOMPARE(Edit(dialog, "mecVfbBisZEdit")->text(), QString("50"));
        QCOMPARE(Edit(dialog, "mecNPunktZEdit")->text(), QString("-32767"));
        QCOMPARE(Edit(dialog, "sonWeitereEdit")->text(), QString("0"));
        QCOMPARE(Edit(dialog, "sonControllernameEdit")->text(), QString("Fräse 2"));

        QVERIFY(Find<QCheckBox>(dialog, "mecRichtUmkYCheckBox")->isChecked());
        QVERIFY(!Find<QCheckBox>(dialog, "mecRichtUmkXCheckBox")->isChecked());
        QCOMPARE(Find<QComboBox>(dialog, "mecAConfigCComboBox")->currentIndex(), 2);
        QCOMPARE(Find<QComboBox>(dialog, "refEndschalterXComboBox")->currentIndex(), 0);
        QCOMPARE(Find<QComboBox>(dialog, "refEndschalterYComboBox")->currentIndex(), 1);
        QCOMPARE(Find<QComboBox>(dialog, "scnBoostComboBox")->currentIndex(), 0);
        QCOMPARE(Find<QComboBox>(dialog, "scnSpindelComboBox")->currentIndex(), 2);
        QCOMPARE(Find<QComboBox>(dialog, "sonReffahrtZeitpunktComboBox")->currentIndex(), 2);
        QCOMPARE(Find<QComboBox>(dialog, "sonWerkzeugwechselComboBox")->currentIndex(), 3);
    }

    void referenceGridIsFilledStepByStep()
    {
        // Defaults: Z negative, Y negative, X positive, C positive.
        ParameterDlg dialog(controller.get());
        QCOMPARE(CheckedSteps(dialog), QList<int>({2, 1, 0, 3}));
        QCOMPARE(Find<QComboBox>(dialog, "refRichtungXComboBox")->currentIndex(), 0);
        QCOMPARE(Find<QComboBox>(dialog, "refRichtungYComboBox")->currentIndex(), 1);
        QCOMPARE(Find<QComboBox>(dialog, "refRichtungZComboBox")->currentIndex(), 1);
        QCOMPARE(Find<QComboBox>(dialog, "refRichtungCComboBox")->currentIndex(), 0);
        QCOMPARE(Find<QButtonGroup>(dialog, "refReihenfolgeYButtonGroup")->checkedId(), 1);
    }

    void orderThatIsNoPermutationIsStoredAsOne()
    {
        // Possible after a text read that warned: X twice, C never. Axis 9 is skipped.
        auto& s = Set().REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
        s = {{1, 0, 2, 1}, {0, 0, 9, 2}};
        ParameterDlg dialog(controller.get());
        QCOMPARE(CheckedSteps(dialog), QList<int>({1, -1, 3, -1}));
        QCOMPARE(Find<QComboBox>(dialog, "refRichtungXComboBox")->currentIndex(), 0);
        QCOMPARE(Find<QComboBox>(dialog, "refRichtungZComboBox")->currentIndex(), 1);
        PressOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        // Y and C take the free steps 0 and 2; Y had no step before, so it is not referenced.
        QCOMPARE(Order(Set()), QList<int>({1, 0, 3, 2}));
        QCOMPARE(Directions(Set()), QList<int>({2, 0, 2, 1}));
    }

    void clickedOrderSwapsWithTheAxisThatHeldTheStep()
    {
        ParameterDlg dialog(controller.get());
        // Default order Z, Y, X, C: X into column "1." moves Z to column "3.".
        Find<QRadioButton>(dialog, "refReihenfolgeX1RadioButton")->click();
        QCOMPARE(CheckedSteps(dialog), QList<int>({0, 1, 2, 3}));
        // C into column "2." swaps with Y.
        Find<QRadioButton>(dialog, "refReihenfolgeC2RadioButton")->click();
        QCOMPARE(CheckedSteps(dialog), QList<int>({0, 3, 2, 1}));
        Find<QRadioButton>(dialog, "refReihenfolgeY2RadioButton")->click();
        QCOMPARE(CheckedSteps(dialog), QList<int>({0, 1, 2, 3}));
        // Clicking the step an axis already holds changes nothing.
        Find<QRadioButton>(dialog, "refReihenfolgeZ3RadioButton")->click();
        QCOMPARE(CheckedSteps(dialog), QList<int>({0, 1, 2, 3}));

        PressOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Order(Set()), QList<int>({0, 1, 2, 3}));
        // Each step takes the direction its axis row shows: X positive, Y, Z negative, C positive.
        QCOMPARE(Directions(Set()), QList<int>({0, 1, 1, 0}));
    }

    void okStoresEveryField()
    {
        ParameterDlg dialog(controller.get());
        Edit(dialog, "mtWegEdit")->setText("65535");
        Edit(dialog, "mtStartStopEdit")->setText("999");
        Edit(dialog, "gesFahrEdit")->setText("0.01");
        Edit(dialog, "gesBremswinkelEdit")->clear();  // empty counts as 0, which is in range
        Edit(dialog, "gesUmschaltzeitEdit")->setText("1000");
        Edit(dialog, "mecAufloesCEdit")->setText("0.1");
        Edit(dialog, "mecUmkSpielZEdit")->setText("500");
        Edit(dialog, "mecVfbVonXEdit")->setText("-32767");
        Edit(dialog, "mecVfbBisYEdit")->setText("32767");
        Edit(dialog, "mecParkPosZEdit")->setText("-5");
        Edit(dialog, "mecNPunktCEdit")->setText("7");
        Edit(dialog, "sonSicherheitsabstandEdit")->setText("255");
        Edit(dialog, "sonControllernameEdit")->setText("Portal");
        Find<QComboBox>(dialog, "scnKuehlungComboBox")->setCurrentIndex(1);
        Find<QComboBox>(dialog, "refEndschalterZComboBox")->setCurrentIndex(0);
        Find<QComboBox>(dialog, "refRichtungCComboBox")->setCurrentIndex(2);
        Find<QComboBox>(dialog, "mecAConfigYComboBox")->setCurrentIndex(1);
        Find<QCheckBox>(dialog, "mecRichtUmkCCheckBox")->setChecked(true);
        Find<QComboBox>(dialog, "sonWerkzeugwechselComboBox")->setCurrentIndex(0);
        Find<QComboBox>(dialog, "sonUnbekannteProgBefehleComboBox")->setCurrentIndex(2);
        PressOk(dialog);

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Status(dialog), QString());
        const TarvoParameters& p = Set();
        QCOMPARE(p.MOTORTEST_WEGLAENGE_LONG, 65535);
        QCOMPARE(p.MOTORTEST_START_STOP_FLOAT, 999.0f);
        QCOMPARE(p.GESCHWINDIGKEITEN_FAHR_FLOAT, 0.01f);
        QCOMPARE(p.GESCHWINDIGKEITEN_BREMSWINKEL_LONG, 0);
        QCOMPARE(p.GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG, 1000);
        QCOMPARE(p.MECHANIK_AUFLOESUNG_C_FLOAT, 0.1f);
        QCOMPARE(p.MECHANIK_UMKEHRSPIEL_Z_LONG, 500);
        QCOMPARE(p.MECHANIK_VERFAHRBEREICH_VON_LONG[0], -32767);
        QCOMPARE(p.MECHANIK_VERFAHRBEREICH_BIS_LONG[1], 32767);
        QCOMPARE(p.MECHANIK_PARKPOSITION_LONG[2], -5);
        QCOMPARE(p.MECHANIK_NULLPUNKT_LONG[3], 7);
        QCOMPARE(p.SONSTIGE_SICHERHEITSABSTAND_LONG, 255);
        QCOMPARE(p.SONSTIGE_CONTROLLERNAME_CHAR, QString("Portal"));
        QCOMPARE(p.SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG, 2);
        QCOMPARE(p.SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG, 3);
        QCOMPARE(p.REFERENZFAHRT_ENDSCHALTER_UCHAR[2], 0);
        QCOMPARE(p.REFERENZFAHRT_ENDSCHALTER_UCHAR[3], 1);
        QCOMPARE(p.MECHANIK_ACHSENCONFIGURATION_UCHAR[1], 1);
        QCOMPARE(p.MECHANIK_RICHTUNGSUMKEHR_LONG[3], 1);
        QCOMPARE(p.MECHANIK_RICHTUNGSUMKEHR_LONG[0], 0);
        QCOMPARE(p.SONSTIGE_WERKZEUGWECHSEL_LONG, 1);
        QCOMPARE(p.SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG, 3);
        QCOMPARE(p.SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG, 1);
        QCOMPARE(Directions(Set()), QList<int>({1, 1, 0, 2}));  // C is the fourth step
    }

    void outOfRangeFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("page");
        QTest::newRow("float below its bound") << "gesFahrEdit" << "0.009" << "geschwindigkeiten";
        QTest::newRow("float above 999") << "mtFahrEdit" << "999.001" << "motortest";
        QTest::newRow("float not a number") << "gesEilgangEdit" << "." << "geschwindigkeiten";
        QTest::newRow("empty, range from 1") << "gesBeschleunigungEdit" << ""
                                             << "geschwindigkeiten";
        QTest::newRow("resolution") << "mecAufloesXEdit" << "0.09" << "mechanik";
        QTest::newRow("backlash") << "mecUmkSpielCEdit" << "501" << "mechanik";
        QTest::newRow("signed below") << "mecNPunktXEdit" << "-32768" << "mechanik";
        QTest::newRow("signed above") << "mecParkPosCEdit" << "32768" << "mechanik";
        QTest::newRow("motortest length") << "mtWegEdit" << "65536" << "motortest";
        QTest::newRow("weitere") << "sonWeitereEdit" << "1" << "sonstige";
        QTest::newRow("safety distance") << "sonSicherheitsabstandEdit" << "256" << "sonstige";
        // Names that a parameter file would not give back as they are, or the controller
        // could not keep.
        QTest::newRow("blank name") << "sonControllernameEdit" << "   " << "sonstige";
        QTest::newRow("name, leading blank") << "sonControllernameEdit" << " Mill" << "sonstige";
        QTest::newRow("name, trailing blank") << "sonControllernameEdit" << "Mill " << "sonstige";
        QTest::newRow("name with %") << "sonControllernameEdit" << "Mill 50%" << "sonstige";
        QTest::newRow("name with tab") << "sonControllernameEdit" << "A\tB" << "sonstige";
        QTest::newRow("name beyond Latin-1") << "sonControllernameEdit" << "€uro" << "sonstige";
    }

    void namesThatSaveAndLoadBackAreStored_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << "";
        QTest::newRow("Latin-1, inner blanks") << "Fräse  ÿ 2";
        QTest::newRow("sixteen") << "ABCDEFGHIJKLMNOP";
    }

    void namesThatSaveAndLoadBackAreStored()
    {
        QFETCH(QString, name);
        ParameterDlg dialog(controller.get());
        Edit(dialog, "sonControllernameEdit")->setText(name);
        PressOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Set().SONSTIGE_CONTROLLERNAME_CHAR, name);

        TarvoParameters back;
        QStringList messages;
        back.LoadFromText(Set().SaveToText(), messages);
        QCOMPARE(messages, QStringList());
        QCOMPARE(back.SONSTIGE_CONTROLLERNAME_CHAR, name);
    }

    void outOfRangeFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, page);
        const QString before = Set().SaveToText();
        ParameterDlg dialog(controller.get());
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        Find<QListWidget>(dialog, "categoryListWidget")->setCurrentRow(3);

        QLineEdit* const edit = Edit(dialog, field);
        edit->setText(text);
        PressOk(dialog);

        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(Status(dialog), OutOfRange);
        QCOMPARE(CurrentPage(dialog), page);
        QCOMPARE(Find<QListWidget>(dialog, "categoryListWidget")->currentItem()->text().toLower(),
                 page);
        QCOMPARE(edit->selectedText(), text);
        QVERIFY(edit->hasFocus());
        QVERIFY(edit->property("outOfRange").toBool());
        QVERIFY(!FieldNamed(dialog).isEmpty());
        // Nothing was stored, not even the fields that came before the failing one.
        QCOMPARE(Set().SaveToText(), before);
        dialog.reject();
    }

    void typingBeyondTheMaximumIsShownNotClamped()
    {
        ParameterDlg dialog(controller.get());
        QLineEdit* const edit = Edit(dialog, "mecUmkSpielCEdit");  // 0 ... 500
        edit->clear();
        QTest::keyClicks(edit, "5000");
        QCOMPARE(edit->text(), QString("5000"));
        QVERIFY(edit->property("outOfRange").toBool());
        QCOMPARE(Status(dialog), OutOfRange);
        QCOMPARE(FieldNamed(dialog), QString("Umkehrspiel, C ( Schritte )"));

        QTest::keyClick(edit, Qt::Key_Backspace);
        QVERIFY(!edit->property("outOfRange").toBool());
        QCOMPARE(Status(dialog), QString());
        QCOMPARE(FieldNamed(dialog), QString());
        // A field within a group's column is named with the column's heading.
        Edit(dialog, "mecVfbBisZEdit")->setText("40000");
        PressOk(dialog);
        QCOMPARE(FieldNamed(dialog), QString("Verfahrbereich, Z ( mm ), bis"));
    }

    void typingOutOfRangeNeverWidensTheDialog()
    {
        ParameterDlg dialog(controller.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // The message row asks for the same width whatever it says, so no name (in no font)
        // widens the dialog.
        QLayout* const row = dialog.findChild<QLayout*>(QStringLiteral("statusLayout"));
        QVERIFY(row);
        const int width = dialog.width();
        const int rowWidth = row->minimumSize().width();
        int marked = 0;
        for (QLineEdit* const edit : dialog.findChildren<QLineEdit*>()) {
            if (!edit->validator())
                continue;
            edit->setText("999999");
            QTest::keyClick(edit, Qt::Key_9);
            marked += edit->property("outOfRange").toBool();
            QApplication::processEvents();
            QVERIFY2(row->minimumSize().width() == rowWidth, qPrintable(FieldNamed(dialog)));
            QCOMPARE(dialog.width(), width);
        }
        QVERIFY(marked > 10);
    }

    void firstFailingFieldInCheckOrderWins()
    {
        // Motortest is checked before Geschwindigkeiten, although it is not the first page.
        ParameterDlg dialog(controller.get());
        Edit(dialog, "gesFahrEdit")->setText("0");
        Edit(dialog, "mtBeschleunigungEdit")->setText("0");
        PressOk(dialog);
        QCOMPARE(CurrentPage(dialog), QString("motortest"));
        // The travel range is checked before the park position, the park position before the
        // zero point, whatever the layout shows first.
        Edit(dialog, "mtBeschleunigungEdit")->setText("1");
        Edit(dialog, "gesFahrEdit")->setText("1");
        Edit(dialog, "mecNPunktXEdit")->setText("40000");
        Edit(dialog, "mecParkPosYEdit")->setText("40000");
        PressOk(dialog);
        QCOMPARE(dialog.focusWidget(), Edit(dialog, "mecParkPosYEdit"));
        Edit(dialog, "mecParkPosYEdit")->setText("0");
        PressOk(dialog);
        QCOMPARE(dialog.focusWidget(), Edit(dialog, "mecNPunktXEdit"));
        Edit(dialog, "mecNPunktXEdit")->setText("0");
        PressOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void failedOkThenCancelKeepsTheSet()
    {
        ParameterDlg dialog(controller.get());
        Edit(dialog, "mtWegEdit")->setText("1234");
        Edit(dialog, "gesFahrEdit")->setText("7");
        Find<QComboBox>(dialog, "scnBoostComboBox")->setCurrentIndex(0);
        Edit(dialog, "mecAufloesXEdit")->setText("1000");
        PressOk(dialog);
        QCOMPARE(Status(dialog), OutOfRange);
        Find<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(Set().MOTORTEST_WEGLAENGE_LONG, 400);
        QCOMPARE(Set().GESCHWINDIGKEITEN_FAHR_FLOAT, 4.0f);
        QCOMPARE(Set().SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG, 3);
    }

    void valuesTheFormCannotShowAreKept()
    {
        // A controller may report values outside the items (they are not range checked).
        Set().SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG = 7;
        Set().MECHANIK_ACHSENCONFIGURATION_UCHAR[0] = 9;
        ParameterDlg dialog(controller.get());
        QCOMPARE(Find<QComboBox>(dialog, "scnSpindelComboBox")->currentIndex(), -1);
        PressOk(dialog);
        QCOMPARE(Set().SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG, 7);
        QCOMPARE(Set().MECHANIK_ACHSENCONFIGURATION_UCHAR[0], 9);
    }

    void validatorsRestrictTyping()
    {
        // The decimal point is "." whatever the desktop language.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ParameterDlg dialog(controller.get());
        QLocale::setDefault(QLocale::c());
        const auto type = [&](const QString& name, const QString& keys) {
            QLineEdit* const edit = Edit(dialog, name);
            edit->clear();
            QTest::keyClicks(edit, keys);
            return edit->text();
        };
        QCOMPARE(type("gesFahrEdit", "1,5"), QString("15"));
        QCOMPARE(type("gesFahrEdit", "2.5"), QString("2.5"));
        QCOMPARE(type("gesFahrEdit", "0.0001"), QString("0.000"));  // three decimals
        QCOMPARE(type("mecAufloesXEdit", "1.123456"), QString("1.123456"));
        QCOMPARE(type("gesBeschleunigungEdit", "x12a"), QString("12"));
        QCOMPARE(type("mtWegEdit", "-1"), QString("1"));
        QCOMPARE(type("mecVfbVonZEdit", "-12"), QString("-12"));
        QCOMPARE(type("sonControllernameEdit", "ABCDEFGHIJKLMNOPQRST"),
                 QString("ABCDEFGHIJKLMNOP"));
    }
};

QTEST_MAIN(TestParameterDlg)
#include "tst_parameterdlg.moc"
