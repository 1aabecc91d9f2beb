// The parameter set's text side: the built-in default text, the reader with its fatal errors
// and fallback warnings, the writer's formats and the round trip through both.

#include "parametertable.h"
#include "tarvoparameters.h"
#include "validparameterset.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTest>

namespace {

// What SaveToText must produce after ResetToDefaults. Adjacent literals form one line; only
// the last literal of a line ends in "\n".
const char expectedDefaultSave[] =
    "0000=400                             %MOTORTEST_WEGLAENGE_LONG                       "
        "Schritte       (400) [0 bis 65535]\n"
    "0001=0.500000                        %MOTORTEST_START_STOP_FLOAT                     "
        "mm/s          (0.50) [0.01 bis 999.00]\n"
    "0002=10.000000                       %MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT             "
        "mm/s         (10.00) [0.01 bis 999.00]\n"
    "0003=10                              %MOTORTEST_BESCHLEUNIGUNG_LONG                  "
        "mm/s²           (10) [1 bis 999]\n"
    "0100=0.500000                        %GESCHWINDIGKEITEN_START_STOP_FLOAT             "
        "mm/s          (0.50) [0.01 bis 999.00]\n"
    "0101=4.000000                        %GESCHWINDIGKEITEN_FAHR_FLOAT                   "
        "mm/s          (4.00) [0.01 bis 999.00]\n"
    "0102=10.000000                       %GESCHWINDIGKEITEN_EILGANG_FLOAT                "
        "mm/s         (10.00) [0.01 bis 999.00]\n"
    "0103=0.500000                        %GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT         "
        "mm/s          (0.50) [0.01 bis 999.00]\n"
    "0104=2.500000                        %GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT         "
        "mm/s          (2.50) [0.01 bis 999.00]\n"
    "0105=2.500000                        %GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT          "
        "mm/s          (2.50) [0.01 bis 999.00]\n"
    "0106=0.500000                        %GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT     "
        "mm/s          (0.50) [0.01 bis 999.00]\n"
    "0107=4                               %GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG          "
        "mm/s²            (4) [1 bis 999]\n"
    "0108=0                               %GESCHWINDIGKEITEN_BREMSWINKEL_LONG             "
        "grad             (0) [0 bis 45]    noch nicht vorhanden\n"
    "0109=0                               %GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG            "
        "ms               (0) [0 bis 1000]  noch nicht vorhanden\n"
    "0200=3                               %SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG        "
        "                 (3) [1-LowAktiv,2-HighAktiv,3-deaktiv]\n"
    "0201=3                               %SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG       "
        "                 (3) [1-LowAktiv,2-HighAktiv,3-deaktiv]\n"
    "0202=3                               %SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG "
        "                 (3) [1-LowAktiv,2-HighAktiv,3-deaktiv]\n"
    "0203=3                               %SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG          "
        "                 (3) [1-LowAktiv,2-HighAktiv,3-deaktiv]\n"
    "0300=[]                              %REFERENZFAHRT_REFERENZ_X_UCHAR                 "
        "noch nicht vorhanden\n"
    "0301=[]                              %REFERENZFAHRT_REFERENZ_Y_UCHAR                 "
        "noch nicht vorhanden\n"
    "0302=[]                              %REFERENZFAHRT_REFERENZ_Z_UCHAR                 "
        "noch nicht vorhanden\n"
    "0303=[]                              %REFERENZFAHRT_REFERENZ_C_UCHAR                 "
        "noch nicht vorhanden\n"
    "0304=[[1;1;0;0][2;1;0;3]]            %REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR (["
        "[1;1;0;0][2;1;0;3]]) [[0-positive, 1-negative, 2-Achse wird nicht "
        "referenziert] [0=X, 1=Y, 2=Z, 3=C]]\n"
    "0305=[1;1;1;1]                       %REFERENZFAHRT_ENDSCHALTER_UCHAR                "
        "         ([1;1;1;1]) [0-Referenzpunkt, 1-Endschalter]\n"
    "0400=100.000000                      %MECHANIK_AUFLOESUNG_X_FLOAT                    "
        "Schritte/mm (100.00) [0.1 bis 999.00]\n"
    "0401=100.000000                      %MECHANIK_AUFLOESUNG_Y_FLOAT                    "
        "Schritte/mm (100.00) [0.1 bis 999.00]\n"
    "0402=100.000000                      %MECHANIK_AUFLOESUNG_Z_FLOAT                    "
        "Schritte/mm (100.00) [0.1 bis 999.00]\n"
    "0403=100.000000                      %MECHANIK_AUFLOESUNG_C_FLOAT                    "
        "Schritte/mm (100.00) [0.1 bis 999.00]\n"
    "0404=0                               %MECHANIK_UMKEHRSPIEL_X_LONG                    "
        "Schritte         (0) [0 bis 500]\n"
    "0405=0                               %MECHANIK_UMKEHRSPIEL_Y_LONG                    "
        "Schritte         (0) [0 bis 500]\n"
    "0406=0                               %MECHANIK_UMKEHRSPIEL_Z_LONG                    "
        "Schritte         (0) [0 bis 500]\n"
    "0407=0                               %MECHANIK_UMKEHRSPIEL_C_LONG                    "
        "Schritte         (0) [0 bis 500]\n"
    "0408=[0;0;0;0]                       %MECHANIK_RICHTUNGSUMKEHR_LONG                  "
        "           (0,0,0,0) [0-Aus,1-An]\n"
    "0409=[0;0;0;0]                       %MECHANIK_VERFAHRBEREICH_VON_LONG               "
        "mm         (0,0,0,0) [-32767 bis +32767]\n"
    "040a=[100;100;50;50]                 %MECHANIK_VERFAHRBEREICH_BIS_LONG               "
        "mm   (100,100,50,50) [-32767 bis +32767]\n"
    "040b=[0;0;0;0]                       %MECHANIK_PARKPOSITION_LONG                     "
        "mm         (0,0,0,0) [-32767 bis +32767]\n"
    "040c=[0;0;0;0]                       %MECHANIK_NULLPUNKT_LONG                        "
        "mm         (0,0,0,0) [-32767 bis +32767]\n"
    "040d=[0;0;0;0]                       %MECHANIK_ACHSENCONFIGURATION_UCHAR             "
        "           (0,0,0,0) [0-linear,1-rotativ,2-deaktiv]\n"
    "0500=4                               %SONSTIGE_WERKZEUGWECHSEL_LONG                  "
        "                 (4) [1-ignorieren,2-an Parkposition,3-an aktueller "
        "Position,4-nur Parameter übernehmen]\n"
    "0501=1                               %SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG           "
        "                 (1) [1-nur manuel,2-nur beim Einschalten,3-zusätzlich vor "
        "Programmstart]\n"
    "0502=0                               %SONSTIGE_SPINDELHOCHLAUF_LONG                  "
        "ms               (0) [0 bis 5000]\n"
    "0503=0                               %SONSTIGE_WERKWEUGANSCHNITT_LONG                "
        "ms               (0) [0 bis 5000]\n"
    "0504=1                               %SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG        "
        "                 (1) [1-ignorieren,2-abbrechen,3-fragen]\n"
    "0505=Dorvik USB                      %SONSTIGE_CONTROLLERNAME_CHAR                   "
        "          Dorvik USB [16 char]\n"
    "0506=0                               %SONSTIGE_SICHERHEITSABSTAND_LONG               "
        "mm               (0) [0 bis 255]\n"
    "0507=0                               %SONSTIGE_WEITERE_LONG                          "
        "                 (0) [0 bis 0]       noch nicht vorhanden\n";

const char fileTail[] = ". Sieh Dorvik_USB_Param.ncp, Zeile ";

QString fatal(const char* what, int line)
{
    return QString::fromUtf8(what) + QLatin1String(fileTail) + QString::number(line)
           + QStringLiteral(".\nBitte beenden Sie das Programm und korigieren Sie den File");
}

QString noEquals(int line) { return fatal("Kein '=' vorhanden", line); }
QString noKey(int line) { return fatal("Kein HB LB vorhanden", line); }
QString noValue(int line) { return fatal("Kein Wert vorhanden", line); }
QString badKey(int line) { return fatal("Syntax Error in HB LB", line); }
QString badValue(int line) { return fatal("Syntax Error im Wert", line); }

QString fallback(const char* groupAndLabel, const char* defaultText)
{
    return QString::fromUtf8(groupAndLabel)
           + QStringLiteral(" war ungültig\nund ist mit DEFAULT Wert (")
           + QString::fromUtf8(defaultText)
           + QStringLiteral(") initialisiert.\nBitte definieren Sie den Wert richtig im Dialog.");
}

QString signalFallback(const char* signal)
{
    return QStringLiteral("Schnittstelle -> Zusatzsignal ") + QString::fromUtf8(signal)
           + QStringLiteral(" war ungültig\nund ist mit 'deaktiv' initialisiert.\n"
                            "Bitte definieren Sie den Signal richtig im Dialog.");
}

const QString orderWarning = QStringLiteral(
    "Referenzfahrt -> Reihenfolge war ungültig.\nJede Achse muss GENAU EIN MAL auftreten.\n"
    "Bitte beenden Sie das Programm und korigieren Sie den File");

QStringList load(TarvoParameters& set, const QString& text)
{
    QStringList messages;
    set.LoadFromText(text, messages);
    return messages;
}

// A set holding the defaults and the 46 default comments.
TarvoParameters defaults()
{
    TarvoParameters set;
    set.ResetToDefaults();
    return set;
}

// The line the writer produced for a key, without its line feed; empty when none.
QString savedLine(const TarvoParameters& set, const QString& keyPrefix)
{
    const QStringList lines = set.SaveToText().split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(keyPrefix))
            return line;
    }
    return QString();
}

QList<int> four(const int (&values)[4])
{
    return {values[0], values[1], values[2], values[3]};
}

}  // namespace

// The text side of TarvoParameters, grouped by concern.
class TestTarvoParameters : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The built-in default text and the table behind it
    void defaultTextIsByteExact();
    void defaultTextAgreesWithTable();
    void newSetIsUndefinedWithDefaults();
    void resetLoadsDefaultsAndForgetsFileName();

    // Writer
    void writerAfterResetMatchesWholeText();
    void writerFormatsAndPadding();

    // Reader steps
    void emptyTextChangesNothing();
    void blankAndCommentLinesAreSkippedButCounted();
    void commentsAreKeptUnchanged();
    void hexKeysInAnyForm_data();
    void hexKeysInAnyForm();
    void laterDuplicateWins();
    void unknownAndValuelessKeys();
    void missingKeysKeepTheirValues();

    // Fatal errors
    void fatalMessages_data();
    void fatalMessages();
    void fatalErrorLeavesSetExactlyAsItWas();
    void fatalErrorKeepsEveryLineOfThePreviousFile();

    // Fallback warnings
    void rangeWarnings();
    void floatBoundsInDoublePrecision();
    void signalAndToolChangeWarnings();
    void arrayElementWarnings();
    void referenceSequenceWarnings();
    void controllerNameIsCutTo16();

    // Array parsing
    void arrayParsing_data();
    void arrayParsing();
    void referenceSequenceParsing();

    // Round trip and bad input
    void roundTripKeepsComments();
    void badInputEndsInMessages();
    void everyValidSetSavesAndLoadsBack();
    void emptyNameSavesAndLoadsBack();
    void storableNames_data();
    void storableNames();
};

void TestTarvoParameters::defaultTextIsByteExact()
{
    const QByteArray text(DefaultParameterText);
    QCOMPARE(text.size(), 5822);
    QCOMPARE(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex(),
             QByteArray("54534020f70779bc618a5d432f6a07590fdbd44e"));
    QVERIFY(text.endsWith('\n'));
    QVERIFY(!text.contains('\r'));
    const QList<QByteArray> lines = text.chopped(1).split('\n');
    QCOMPARE(lines.size(), 46);
    for (const QByteArray& line : lines)
        QCOMPARE(line.indexOf('%'), 35);
    // Latin-1, one byte per character.
    QCOMPARE(text.count("mm/s\xb2 "), 2);
    QVERIFY(text.contains("Parameter \xfc" "bernehmen]"));
    QVERIFY(text.contains("zus\xe4tzlich"));
}

void TestTarvoParameters::defaultTextAgreesWithTable()
{
    // The keys of the text, line by line, are the table's keys in order.
    const QList<QByteArray> lines = QByteArray(DefaultParameterText).chopped(1).split('\n');
    QCOMPARE(lines.size(), ParameterTable::size());
    const ParameterTable::Row* row = ParameterTable::begin();
    for (const QByteArray& line : lines) {
        QCOMPARE(line.left(4).toInt(nullptr, 16), row->key);
        // The default text spells the comment name of 0503 "WERKWEUGANSCHNITT".
        const QByteArray name = row->key == 0x0503 ? QByteArray("SONSTIGE_WERKWEUGANSCHNITT_LONG")
                                                   : QByteArray(row->name);
        QVERIFY2(line.mid(36).startsWith(name), row->name);
        ++row;
    }
    // Loading the text yields exactly the table's defaults, and no message.
    TarvoParameters fromText;
    QCOMPARE(load(fromText, QString::fromLatin1(DefaultParameterText)), QStringList());
    TarvoParameters fromTable;
    fromTable.comments = fromText.comments;
    QCOMPARE(fromTable.SaveToText(), fromText.SaveToText());
}

void TestTarvoParameters::newSetIsUndefinedWithDefaults()
{
    const TarvoParameters set;
    QVERIFY(!set.IsDefined());
    QVERIFY(set.comments.isEmpty());
    QVERIFY(set.GetFileName().isEmpty());
    QCOMPARE(set.MOTORTEST_WEGLAENGE_LONG, 400);
    QCOMPARE(four(set.MECHANIK_VERFAHRBEREICH_BIS_LONG), QList<int>({100, 100, 50, 50}));
    QCOMPARE(set.SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("Dorvik USB"));
    QCOMPARE(set.SaveToText(), QString());
}

void TestTarvoParameters::resetLoadsDefaultsAndForgetsFileName()
{
    TarvoParameters set;
    QCOMPARE(load(set, QStringLiteral("0000=1\n0600=2 %x\n")), QStringList());
    set.SetFileName(QStringLiteral("/tmp/machine.ncp"));
    set.ResetToDefaults();
    QVERIFY(set.IsDefined());
    QVERIFY(set.GetFileName().isEmpty());
    QCOMPARE(set.comments.size(), 46);
    QVERIFY(!set.comments.contains(0x600));
    QCOMPARE(set.MOTORTEST_WEGLAENGE_LONG, 400);
    QCOMPARE(set.comments.value(0x0003),
             QStringLiteral("%MOTORTEST_BESCHLEUNIGUNG_LONG                  mm/s²           (10)"
                            " [1 bis 999]"));
}

void TestTarvoParameters::writerAfterResetMatchesWholeText()
{
    const QString saved = defaults().SaveToText();
    const QString expected = QString::fromUtf8(expectedDefaultSave);
    QCOMPARE(saved.count(QLatin1Char('\n')), 46);
    // Line by line first, so a failure names the line.
    const QStringList savedLines = saved.split(QLatin1Char('\n'));
    const QStringList expectedLines = expected.split(QLatin1Char('\n'));
    QCOMPARE(savedLines.size(), expectedLines.size());
    for (int i = 0; i < savedLines.size(); ++i)
        QCOMPARE(savedLines.at(i), expectedLines.at(i));
    QCOMPARE(saved, expected);
}

void TestTarvoParameters::writerFormatsAndPadding()
{
    TarvoParameters set = defaults();
    set.MOTORTEST_WEGLAENGE_LONG = -7;
    set.GESCHWINDIGKEITEN_FAHR_FLOAT = 1.0f / 3.0f;
    set.MECHANIK_AUFLOESUNG_C_FLOAT = 999.0f;
    set.MECHANIK_VERFAHRBEREICH_BIS_LONG[0] = -2147483647;
    set.MECHANIK_VERFAHRBEREICH_BIS_LONG[1] = 2147483647;
    set.MECHANIK_VERFAHRBEREICH_BIS_LONG[2] = -2147483647;
    set.MECHANIK_VERFAHRBEREICH_BIS_LONG[3] = 2147483647;
    set.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR = {{2, 0, 1, 0}, {3, 0, 2, 1}};
    set.SONSTIGE_CONTROLLERNAME_CHAR = QStringLiteral("Fräse");
    set.comments[0x0101] = QString();

    QCOMPARE(savedLine(set, QStringLiteral("0000=")).left(38),
             QStringLiteral("0000=-7                              %"));
    // A line without a comment keeps its padding and ends there.
    QCOMPARE(savedLine(set, QStringLiteral("0101=")),
             QStringLiteral("0101=0.333333") + QString(32 - 8, QLatin1Char(' ')));
    QVERIFY(savedLine(set, QStringLiteral("0403=")).startsWith(
        QStringLiteral("0403=999.000000                      %MECHANIK")));
    // A value longer than 32 characters is not cut, and the comment follows at once.
    QVERIFY(savedLine(set, QStringLiteral("040a=")).startsWith(
        QStringLiteral("040a=[-2147483647;2147483647;-2147483647;2147483647]%MECHANIK_")));
    QVERIFY(savedLine(set, QStringLiteral("0304=")).startsWith(
        QStringLiteral("0304=[[2;0;1;0][3;0;2;1]]            %REFERENZ")));
    QVERIFY(savedLine(set, QStringLiteral("0505=")).startsWith(
        QStringLiteral("0505=Fräse                           %SONSTIGE")));
    QVERIFY(savedLine(set, QStringLiteral("0302=")).startsWith(
        QStringLiteral("0302=[]                              %REFERENZ")));
}

void TestTarvoParameters::emptyTextChangesNothing()
{
    TarvoParameters fresh;
    QCOMPARE(load(fresh, QString()), QStringList());
    QVERIFY(!fresh.IsDefined());

    TarvoParameters set = defaults();
    set.MOTORTEST_WEGLAENGE_LONG = 5;
    QCOMPARE(load(set, QLatin1String("")), QStringList());
    QCOMPARE(set.MOTORTEST_WEGLAENGE_LONG, 5);
    QCOMPARE(set.comments.size(), 46);
}

void TestTarvoParameters::blankAndCommentLinesAreSkippedButCounted()
{
    TarvoParameters set;
    const QStringList messages = load(set, QStringLiteral("%Kopf\n\n   \t \n  %x=y\n0000=12\n"
                                                           "0003 5\n"));
    QCOMPARE(messages, QStringList{noEquals(6)});

    TarvoParameters other;
    QCOMPARE(load(other, QStringLiteral("\r\n% Kopf\r\n0000=12\r\n0003=7")), QStringList());
    QVERIFY(other.IsDefined());
    QCOMPARE(other.MOTORTEST_WEGLAENGE_LONG, 12);
    QCOMPARE(other.MOTORTEST_BESCHLEUNIGUNG_LONG, 7);  // last line without a line feed
    QCOMPARE(other.comments.keys(), QList<int>({0x0000, 0x0003}));
}

void TestTarvoParameters::commentsAreKeptUnchanged()
{
    TarvoParameters set;
    QCOMPARE(load(set, QStringLiteral("0000 = 12   %  Weg % zwei  \n0001=0.5\n"
                                      "0003=7 %crlf\r\n")),
             QStringList());
    QCOMPARE(set.comments.value(0x0000), QStringLiteral("%  Weg % zwei  "));
    QCOMPARE(set.comments.value(0x0001), QString());
    QVERIFY(set.comments.contains(0x0001));
    QCOMPARE(set.comments.value(0x0003), QStringLiteral("%crlf\r"));
}

void TestTarvoParameters::hexKeysInAnyForm_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("upper") << QStringLiteral("040A");
    QTest::newRow("lower") << QStringLiteral("040a");
    QTest::newRow("short") << QStringLiteral("40a");
    QTest::newRow("blanks") << QStringLiteral("  40A  ");
    QTest::newRow("zeros") << QStringLiteral("0000040a");
}

void TestTarvoParameters::hexKeysInAnyForm()
{
    QFETCH(QString, key);
    TarvoParameters set;
    QCOMPARE(load(set, key + QStringLiteral("=[1;2;3;4] %bis")), QStringList());
    QCOMPARE(four(set.MECHANIK_VERFAHRBEREICH_BIS_LONG), QList<int>({1, 2, 3, 4}));
    QCOMPARE(set.comments.keys(), QList<int>{0x040A});
    QCOMPARE(set.SaveToText(), QStringLiteral("040a=[1;2;3;4]                       %bis\n"));
}

void TestTarvoParameters::laterDuplicateWins()
{
    TarvoParameters set;
    QCOMPARE(load(set, QStringLiteral("0107=5 %erst\n0107=9 %dann\n")), QStringList());
    QCOMPARE(set.GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG, 9);
    QCOMPARE(set.SaveToText(), QStringLiteral("0107=9                               %dann\n"));
}

void TestTarvoParameters::unknownAndValuelessKeys()
{
    TarvoParameters set;
    QCOMPARE(load(set, QStringLiteral("0600=irgendwas %neu\n0301=Text %frei\n0000=9\n")),
             QStringList());
    QCOMPARE(set.comments.keys(), QList<int>({0x0000, 0x0301, 0x0600}));
    QCOMPARE(set.comments.value(0x0600), QStringLiteral("%neu"));
    // 0600 is not written back; 0301 is, with its empty brackets.
    QCOMPARE(set.SaveToText(), QStringLiteral("0000=9                               \n"
                                              "0301=[]                              %frei\n"));
}

void TestTarvoParameters::missingKeysKeepTheirValues()
{
    TarvoParameters set = defaults();
    set.MECHANIK_NULLPUNKT_LONG[2] = 33;
    set.GESCHWINDIGKEITEN_EILGANG_FLOAT = 12.5f;
    QCOMPARE(load(set, QStringLiteral("0000=1\n")), QStringList());
    QCOMPARE(set.MECHANIK_NULLPUNKT_LONG[2], 33);
    QCOMPARE(set.GESCHWINDIGKEITEN_EILGANG_FLOAT, 12.5f);
    QCOMPARE(set.comments.keys(), QList<int>{0x0000});
}

void TestTarvoParameters::fatalMessages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("no =") << QStringLiteral("0000=400\nkein gleich\n") << QStringList{noEquals(2)};
    QTest::newRow("CRLF lines counted")
        << QStringLiteral("0000=1\r\n\r\nfoo\r\n") << QStringList{noEquals(3)};
    QTest::newRow("only =") << QStringLiteral("\n  \n% Kommentar\n=\n") << QStringList{noKey(4)};
    QTest::newRow("empty key") << QStringLiteral(" = 5") << QStringList{noKey(1)};
    QTest::newRow("empty value") << QStringLiteral("0000=   %leer") << QStringList{noValue(1)};
    QTest::newRow("empty value, bad key") << QStringLiteral("zz=") << QStringList{noValue(1)};
    QTest::newRow("empty value, number key") << QStringLiteral("0506=")
                                             << QStringList{noValue(1)};
    QTest::newRow("key zz") << QStringLiteral("zz=1") << QStringList{badKey(1)};
    QTest::newRow("key too big") << QStringLiteral("FFFFFFFFF=1") << QStringList{badKey(1)};
    QTest::newRow("key with blank") << QStringLiteral("04 0A=1") << QStringList{badKey(1)};
    QTest::newRow("fraction for long") << QStringLiteral("0000=400.5") << QStringList{badValue(1)};
    QTest::newRow("long overflow")
        << QStringLiteral("0000=99999999999") << QStringList{badValue(1)};
    QTest::newRow("second =") << QStringLiteral("0000==4") << QStringList{badValue(1)};
    QTest::newRow("decimal comma") << QStringLiteral("0001=1,5") << QStringList{badValue(1)};
    QTest::newRow("float overflow") << QStringLiteral("0001=1e999") << QStringList{badValue(1)};
    QTest::newRow("three elements")
        << QStringLiteral("040A=[1;2;3]") << QStringList{badValue(1)};
    QTest::newRow("lone bracket") << QStringLiteral("0305=[") << QStringList{badValue(1)};
    QTest::newRow("unclosed 0304") << QStringLiteral("0304=[[1;2") << QStringList{badValue(1)};
    QTest::newRow("short order")
        << QStringLiteral("0304=[[1;1;0;0][2;1;0]]") << QStringList{badValue(1)};
    QTest::newRow("warning then fatal")
        << QStringLiteral("0000=70000\n0001=x")
        << QStringList{fallback("Motortest -> Weglänge", "400 Schritte"), badValue(2)};
    QTest::newRow("element warning then fatal")
        << QStringLiteral("040A=[40000;x;1;1]")
        << QStringList{fallback("Mechanik -> 'Verfahrbereich bis' X", "100 mm"), badValue(1)};
    QTest::newRow("direction warning then fatal")
        << QStringLiteral("0304=[[7;1;0;0][2;q;0;3]]")
        << QStringList{fallback("Referenzfahrt -> Richtung[0]", "1-negative"), badValue(1)};
    QTest::newRow("stops at first fatal")
        << QStringLiteral("0000=\nzz=1\n") << QStringList{noValue(1)};
}

void TestTarvoParameters::fatalMessages()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    TarvoParameters set;
    QCOMPARE(load(set, text), expected);
    QVERIFY(!set.IsDefined());
}

void TestTarvoParameters::fatalErrorLeavesSetExactlyAsItWas()
{
    TarvoParameters set = defaults();
    set.SetFileName(QStringLiteral("/tmp/a.ncp"));
    const QString before = set.SaveToText();
    const QMap<int, QString> commentsBefore = set.comments;

    const QStringList messages = load(set, QStringLiteral("0000=1 %neu\n040A=[1;2;3;4]\n"
                                                          "0505=Neuer Name\n0304=[[0;0;0;0]]\n"));
    QCOMPARE(messages, QStringList{badValue(4)});
    QCOMPARE(set.MOTORTEST_WEGLAENGE_LONG, 400);
    QCOMPARE(four(set.MECHANIK_VERFAHRBEREICH_BIS_LONG), QList<int>({100, 100, 50, 50}));
    QCOMPARE(set.SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("Dorvik USB"));
    QCOMPARE(set.comments, commentsBefore);
    QCOMPARE(set.SaveToText(), before);
    QCOMPARE(set.GetFileName(), QStringLiteral("/tmp/a.ncp"));
    QVERIFY(set.IsDefined());

    // A set that was never defined stays undefined and empty.
    TarvoParameters fresh;
    QCOMPARE(load(fresh, QStringLiteral("0000=1\nfoo")), QStringList{noEquals(2)});
    QVERIFY(!fresh.IsDefined());
    QVERIFY(fresh.comments.isEmpty());
    QCOMPARE(fresh.MOTORTEST_WEGLAENGE_LONG, 400);
}

void TestTarvoParameters::fatalErrorKeepsEveryLineOfThePreviousFile()
{
    const QString fileA = QStringLiteral("% Maschine A\n"
                                         "0000=100                             %Weg\n"
                                         "0101=3.000000                        %Fahr\n"
                                         "0305=[0;1;0;1]                       %Ende\n"
                                         "040a=[10;20;30;40]                   %Bis\n"
                                         "0505=Maschine A                      %Name\n");
    TarvoParameters set;
    QCOMPARE(load(set, fileA), QStringList());
    const QString savedA = set.SaveToText();
    QCOMPARE(savedA, fileA.mid(fileA.indexOf(QLatin1Char('\n')) + 1));

    // A file that fails in its third line, after two lines that would have replaced values
    // and comments.
    QCOMPARE(load(set, QStringLiteral("0000=7 %B\n0001=2.0 %B\n0101=schnell\n")),
             QStringList{badValue(3)});
    QCOMPARE(set.SaveToText(), savedA);
}

void TestTarvoParameters::rangeWarnings()
{
    TarvoParameters set;
    const QStringList messages =
        load(set, QStringLiteral("0000=65536\n0003=0\n0108=46\n0109=1000\n0401=0.09\n"
                                 "0407=501\n0501=4\n0504=0\n0506=256\n0507=1\n0001=nan\n"));
    QCOMPARE(messages,
             QStringList({
                 fallback("Motortest -> Weglänge", "400 Schritte"),
                 fallback("Motortest -> Motortestbeschleunigung", "10 mm/s²"),
                 fallback("Geschwindigkeiten -> Bremswinkel", "0 grad"),
                 QStringLiteral("Mechanik -> Auflösung Y war ungültig\nund ist mit DEFAULT Wert "
                                "(100.0 Schritte/mm) initialisiert.\nBitte definieren Sie den "
                                "Wert richtig im Dialog."),
                 fallback("Mechanik -> Umkehrspiel C", "0 Schritte"),
                 fallback("Sonstige -> 'Referenzfahrt Zeitpunkt'", "1-nur Manuell"),
                 fallback("Sonstige -> 'Unbekannte Programmbefehle'", "1-ignorieren"),
                 fallback("Sonstige -> Sicherheitsabstand", "0 mm"),
                 fallback("Sonstige -> Weitere", "0 ms"),
                 fallback("Motortest -> Start-Stop Geschwindigkeit", "0.5 mm/s"),
             }));
    // Warnings never end the read: every value is replaced and the set is defined.
    QVERIFY(set.IsDefined());
    QCOMPARE(set.MOTORTEST_WEGLAENGE_LONG, 400);
    QCOMPARE(set.MOTORTEST_BESCHLEUNIGUNG_LONG, 10);
    QCOMPARE(set.GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG, 1000);
    QCOMPARE(set.MECHANIK_AUFLOESUNG_Y_FLOAT, 100.0f);
    QCOMPARE(set.MECHANIK_UMKEHRSPIEL_C_LONG, 0);
    QCOMPARE(set.SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG, 1);
    QCOMPARE(set.SONSTIGE_SICHERHEITSABSTAND_LONG, 0);
    QCOMPARE(set.MOTORTEST_START_STOP_FLOAT, 0.5f);
}

void TestTarvoParameters::floatBoundsInDoublePrecision()
{
    TarvoParameters set;
    QCOMPARE(load(set, QStringLiteral("0001=0.01\n0002=999\n0400=0.1\n")), QStringList());
    QCOMPARE(set.MOTORTEST_START_STOP_FLOAT, 0.01f);
    QCOMPARE(set.MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT, 999.0f);
    QCOMPARE(set.MECHANIK_AUFLOESUNG_X_FLOAT, 0.1f);

    // 999.00001 narrows to the float 999.0 but is beyond the bound as a double.
    QCOMPARE(load(set, QStringLiteral("0001=999.01\n0002=999.00001\n0106=0.0099999\n")),
             QStringList({fallback("Motortest -> Start-Stop Geschwindigkeit", "0.5 mm/s"),
                          fallback("Motortest -> Maximalgeschwindigkeit", "10.0 mm/s"),
                          fallback("Geschwindigkeiten -> Referenzfahrt (freifahren)",
                                   "0.5 mm/s")}));
    QCOMPARE(set.MOTORTEST_START_STOP_FLOAT, 0.5f);
    QCOMPARE(set.MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT, 10.0f);
    QCOMPARE(set.GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT, 0.5f);
}

void TestTarvoParameters::signalAndToolChangeWarnings()
{
    TarvoParameters set;
    const QStringList messages =
        load(set, QStringLiteral("0200=0\n0201=4\n0202=-1\n0203=99\n0500=5\n"));
    QCOMPARE(messages,
             QStringList({
                 signalFallback("Spindel"),
                 signalFallback("Kühlung"),
                 signalFallback("Stromabsenkung"),
                 signalFallback("Boost"),
                 QStringLiteral("Sonstige -> Werkzeugwechsel war ungültig und ist mit\nDEFAULT "
                                "Wert (4-nur Parameter übernehmen) initialisiert.\nBitte "
                                "definieren Sie den Wert richtig im Dialog."),
             }));
    QCOMPARE(set.SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG, 3);
    QCOMPARE(set.SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG, 3);
    QCOMPARE(set.SONSTIGE_WERKZEUGWECHSEL_LONG, 4);

    QCOMPARE(load(set, QStringLiteral("0200=1\n0201=2\n0500=1\n")), QStringList());
    QCOMPARE(set.SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG, 1);
    QCOMPARE(set.SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG, 2);
    QCOMPARE(set.SONSTIGE_WERKZEUGWECHSEL_LONG, 1);
}

void TestTarvoParameters::arrayElementWarnings()
{
    TarvoParameters set;
    const QStringList messages =
        load(set, QStringLiteral("040A=[40000;7;-32768;-32767]\n0305=[1;2;0;1]\n"
                                 "040D=[3;2;1;0]\n0408=[0;1;0;2]\n"));
    QCOMPARE(messages,
             QStringList({
                 fallback("Mechanik -> 'Verfahrbereich bis' X", "100 mm"),
                 fallback("Mechanik -> 'Verfahrbereich bis' Z", "50 mm"),
                 fallback("Referenzfahrt -> Endschalteraktivierung Y", "1-Endschalter"),
                 fallback("Mechanik -> Achsenconfiguration X", "0-linear"),
                 fallback("Mechanik -> Richtungsumkehr C", "0-Aus"),
             }));
    QCOMPARE(four(set.MECHANIK_VERFAHRBEREICH_BIS_LONG), QList<int>({100, 7, 50, -32767}));
    QCOMPARE(four(set.REFERENZFAHRT_ENDSCHALTER_UCHAR), QList<int>({1, 1, 0, 1}));
    QCOMPARE(four(set.MECHANIK_ACHSENCONFIGURATION_UCHAR), QList<int>({0, 2, 1, 0}));
    QCOMPARE(four(set.MECHANIK_RICHTUNGSUMKEHR_LONG), QList<int>({0, 1, 0, 0}));
}

void TestTarvoParameters::referenceSequenceWarnings()
{
    const auto sequence = [](const TarvoParameters& set) {
        return four(set.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.direction)
               + four(set.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.order);
    };
    // Not a permutation: values stay, one warning.
    TarvoParameters set;
    QCOMPARE(load(set, QStringLiteral("0304=[[1;1;0;0][0;0;1;2]]")), QStringList{orderWarning});
    QCOMPARE(sequence(set), QList<int>({1, 1, 0, 0, 0, 0, 1, 2}));
    QVERIFY(set.IsDefined());

    // A bad direction in step 3 takes that step's default.
    QCOMPARE(load(set, QStringLiteral("0304=[[2;1;0;7][3;2;1;0]]")),
             QStringList{fallback("Referenzfahrt -> Richtung[3]", "0-positive")});
    QCOMPARE(sequence(set), QList<int>({2, 1, 0, 0, 3, 2, 1, 0}));

    // Bad axes take their own defaults (2, 1, 0, 3); here that repairs the order.
    QCOMPARE(load(set, QStringLiteral("0304=[[-1;1;0;0][9;9;0;3]]")),
             QStringList({fallback("Referenzfahrt -> Richtung[0]", "1-negative"),
                          fallback("Referenzfahrt -> Reihenfolge[0]", "2=Z"),
                          fallback("Referenzfahrt -> Reihenfolge[1]", "1=Y")}));
    QCOMPARE(sequence(set), QList<int>({1, 1, 0, 0, 2, 1, 0, 3}));

    // ... and here it does not.
    QCOMPARE(load(set, QStringLiteral("0304=[[0;0;0;0][0;1;2;4]]")),
             QStringList({fallback("Referenzfahrt -> Reihenfolge[3]", "3=C")}));
    QCOMPARE(load(set, QStringLiteral("0304=[[0;0;0;0][0;1;4;2]]")),
             QStringList({fallback("Referenzfahrt -> Reihenfolge[2]", "0=X"), orderWarning}));
    QCOMPARE(sequence(set), QList<int>({0, 0, 0, 0, 0, 1, 0, 2}));
}

void TestTarvoParameters::controllerNameIsCutTo16()
{
    TarvoParameters set;
    QCOMPARE(load(set, QStringLiteral("0505=  Sechzehn Zeichen  ")), QStringList());
    QCOMPARE(set.SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("Sechzehn Zeichen"));

    QCOMPARE(load(set, QStringLiteral("0505=Zwanzig Zeichen lang %x")),
             QStringList{QStringLiteral("Achtung! Sonstige -> Controllername war länger als 16 "
                                        "char\nund ist auf genau 16 char gekürzt worden.")});
    QCOMPARE(set.SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("Zwanzig Zeichen "));
    QVERIFY(set.IsDefined());

    QCOMPARE(load(set, QStringLiteral("0505=a=b;[c]")), QStringList());
    QCOMPARE(set.SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("a=b;[c]"));
}

void TestTarvoParameters::arrayParsing_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("plain") << QStringLiteral("[1;-2;3;-4]") << QList<int>({1, -2, 3, -4});
    QTest::newRow("blanks") << QStringLiteral("[ 1 ;  -2; 3 ;-4 ]") << QList<int>({1, -2, 3, -4});
    QTest::newRow("no brackets") << QStringLiteral("1;-2;3;-4") << QList<int>({1, -2, 3, -4});
    QTest::newRow("unclosed") << QStringLiteral("[1;-2;3;-4") << QList<int>({1, -2, 3, -4});
    QTest::newRow("text before") << QStringLiteral("xy[1;-2;3;-4]") << QList<int>({1, -2, 3, -4});
    QTest::newRow("text after") << QStringLiteral("[1;-2;3;-4] z") << QList<int>({1, -2, 3, -4});
}

void TestTarvoParameters::arrayParsing()
{
    QFETCH(QString, value);
    QFETCH(QList<int>, expected);
    TarvoParameters set;
    QCOMPARE(load(set, QStringLiteral("040C=") + value), QStringList());
    QCOMPARE(four(set.MECHANIK_NULLPUNKT_LONG), expected);
}

void TestTarvoParameters::referenceSequenceParsing()
{
    TarvoParameters set;
    QCOMPARE(load(set, QStringLiteral("0304= [ [ 2 ; 1;0 ;1 ] [ 3;0 ; 1;2 ] ]")), QStringList());
    QCOMPARE(four(set.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.direction),
             QList<int>({2, 1, 0, 1}));
    QCOMPARE(four(set.REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR.order),
             QList<int>({3, 0, 1, 2}));
    QCOMPARE(savedLine(set, QStringLiteral("0304=")),
             QStringLiteral("0304=[[2;1;0;1][3;0;1;2]]") + QString(12, QLatin1Char(' ')));
}

void TestTarvoParameters::roundTripKeepsComments()
{
    const QString file = QStringLiteral("% Testmaschine\n"
                                        "0505=  Fräse 2   % Name  \n"
                                        "040a = [ 10 ; 20 ; 30 ; 40 ]   %Bis\n"
                                        "0000=1200                            %Weg\n"
                                        "0001=  2.25\n"
                                        "0600=5                               %unbekannt\n"
                                        "0304=[[0;0;1;1][3;2;1;0]]%Ref\n"
                                        "0300=[]                              %frei\n");
    TarvoParameters set;
    QCOMPARE(load(set, file), QStringList());
    const QString saved = set.SaveToText();
    QCOMPARE(saved, QStringLiteral("0000=1200                            %Weg\n"
                                   "0001=2.250000                        \n"
                                   "0300=[]                              %frei\n"
                                   "0304=[[0;0;1;1][3;2;1;0]]            %Ref\n"
                                   "040a=[10;20;30;40]                   %Bis\n"
                                   "0505=Fräse 2                         % Name  \n"));

    // The saved text reads back to the same set and the same text.
    TarvoParameters again;
    QCOMPARE(load(again, saved), QStringList());
    QCOMPARE(again.SaveToText(), saved);
    QCOMPARE(again.SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("Fräse 2"));

    // So does a full default file, saved and read again.
    TarvoParameters full;
    QCOMPARE(load(full, defaults().SaveToText()), QStringList());
    QCOMPARE(full.SaveToText(), QString::fromUtf8(expectedDefaultSave));
}

void TestTarvoParameters::badInputEndsInMessages()
{
    TarvoParameters set;
    // NUL bytes are not white space.
    QCOMPARE(load(set, QString::fromLatin1("\0\0\0\n0000=5\n", 11)), QStringList{noEquals(1)});
    QCOMPARE(load(set, QString::fromLatin1("0000=\0" "5\n", 8)), QStringList{badValue(1)});
    QCOMPARE(load(set, QString::fromLatin1("0505=A\0B\n", 9)), QStringList());
    QCOMPARE(set.SONSTIGE_CONTROLLERNAME_CHAR, QString::fromLatin1("A\0B", 3));

    // Every byte value, as a file of garbage read as Latin-1.
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    QCOMPARE(load(set, QString::fromLatin1(bytes)), QStringList{noEquals(1)});
    QCOMPARE(load(set, QString::fromLatin1(bytes.mid(11))), QStringList{noEquals(1)});

    // A 10 MB line.
    const QString huge(10 * 1024 * 1024, QLatin1Char('7'));
    QCOMPARE(load(set, huge), QStringList{noEquals(1)});
    QCOMPARE(load(set, QStringLiteral("0000=") + huge), QStringList{badValue(1)});
    QCOMPARE(load(set, QStringLiteral("0000=12%") + huge), QStringList());
    QCOMPARE(set.comments.value(0).size(), huge.size() + 1);
    QCOMPARE(load(set, QStringLiteral("0505=") + huge).size(), 1);
    QCOMPARE(set.SONSTIGE_CONTROLLERNAME_CHAR, QStringLiteral("7777777777777777"));

    // Odd values in otherwise valid lines.
    QCOMPARE(load(set, QStringLiteral("0002=inf\n0003=+5\n")),
             QStringList{fallback("Motortest -> Maximalgeschwindigkeit", "10.0 mm/s")});
    QCOMPARE(set.MOTORTEST_BESCHLEUNIGUNG_LONG, 5);
}

void TestTarvoParameters::everyValidSetSavesAndLoadsBack()
{
    // Sets with every value within its rule, names as a controller read keeps them, now and
    // then other comments.
    QRandomGenerator random(20240611);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes(400, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        ValidParameterSet::Bytes source(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                        static_cast<size_t>(bytes.size()));
        const TarvoParameters set = ValidParameterSet::make(source);
        const QString fault = ValidParameterSet::roundTripFault(set);
        QVERIFY2(fault.isEmpty(), qPrintable(QString::number(round) + ": " + fault));
    }
}

void TestTarvoParameters::emptyNameSavesAndLoadsBack()
{
    TarvoParameters set = defaults();
    set.SONSTIGE_CONTROLLERNAME_CHAR.clear();
    QCOMPARE(savedLine(set, QStringLiteral("0505=")),
             QStringLiteral("0505=") + QString(32, QLatin1Char(' '))
                 + set.comments.value(0x0505));

    TarvoParameters back = defaults();
    QCOMPARE(load(back, set.SaveToText()), QStringList());
    QCOMPARE(back.SONSTIGE_CONTROLLERNAME_CHAR, QString());
    QCOMPARE(back.SaveToText(), set.SaveToText());

    // So reads a file that holds no name, with or without a comment after it.
    TarvoParameters named = defaults();
    QCOMPARE(load(named, QStringLiteral("0000=7\n0505=\t %Name\n0001=2\n")), QStringList());
    QCOMPARE(named.SONSTIGE_CONTROLLERNAME_CHAR, QString());
    QCOMPARE(named.comments.value(0x0505), QStringLiteral("%Name"));
    QCOMPARE(named.MOTORTEST_START_STOP_FLOAT, 2.0f);
    QCOMPARE(load(named, QStringLiteral("505=")), QStringList());
}

void TestTarvoParameters::storableNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("storable");
    QTest::addColumn<QString>("fromController");

    QTest::newRow("empty") << QString() << true << QString();
    QTest::newRow("plain") << QStringLiteral("Dorvik USB") << true << QStringLiteral("Dorvik USB");
    QTest::newRow("Latin-1") << QStringLiteral("Fräse ÿ 2") << true
                             << QStringLiteral("Fräse ÿ 2");
    QTest::newRow("16") << QStringLiteral("ABCDEFGHIJKLMNOP") << true
                        << QStringLiteral("ABCDEFGHIJKLMNOP");
    QTest::newRow("17") << QStringLiteral("ABCDEFGHIJKLMNOPQ") << false
                        << QStringLiteral("ABCDEFGHIJKLMNOP");
    QTest::newRow("blank") << QStringLiteral("   ") << false << QString();
    QTest::newRow("leading") << QStringLiteral(" Mill") << false << QStringLiteral("Mill");
    QTest::newRow("trailing") << QStringLiteral("Mill ") << false << QStringLiteral("Mill");
    QTest::newRow("no-break space") << QStringLiteral("Mill\u00a0") << false
                                    << QStringLiteral("Mill");
    QTest::newRow("percent") << QStringLiteral("50%Mill") << false << QStringLiteral("50 Mill");
    QTest::newRow("percent last") << QStringLiteral("Mill 50%") << false
                                  << QStringLiteral("Mill 50");
    QTest::newRow("tab") << QStringLiteral("A\tB") << false << QStringLiteral("A B");
    QTest::newRow("line feed") << QStringLiteral("A\nB") << false << QStringLiteral("A B");
    QTest::newRow("C1 control") << QStringLiteral("A\u0085B") << false << QStringLiteral("A B");
    QTest::newRow("beyond Latin-1") << QStringLiteral("€uro") << false << QStringLiteral("?uro");
}

void TestTarvoParameters::storableNames()
{
    QFETCH(QString, name);
    QFETCH(bool, storable);
    QFETCH(QString, fromController);
    QCOMPARE(TarvoParameters::IsStorableControllerName(name), storable);
    const QString normalised = TarvoParameters::StorableControllerName(name);
    QCOMPARE(normalised, fromController);
    QVERIFY(TarvoParameters::IsStorableControllerName(normalised));

    // Whatever is storable saves and reads back unchanged.
    TarvoParameters set = defaults();
    set.SONSTIGE_CONTROLLERNAME_CHAR = normalised;
    TarvoParameters back;
    QCOMPARE(load(back, set.SaveToText()), QStringList());
    QCOMPARE(back.SONSTIGE_CONTROLLERNAME_CHAR, normalised);
}

QTEST_GUILESS_MAIN(TestTarvoParameters)
#include "tst_tarvoparameters.moc"
