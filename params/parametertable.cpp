#include "parametertable.h"

#include <algorithm>
#include <iterator>

namespace ParameterTable {

namespace {

using P = TarvoParameters;

// A row's key from its group word and parameter name, so keys and constants cannot part.
#define KEY(group, name) (P::HBYTE_##group << 8 | P::LBYTE_##name), #name

Row longRow(int key, const char* name, int P::*member, double min, double max, double def,
            const char* label, const char* defaultText, const char* ownWarning = nullptr)
{
    return {key, name, Type::Long, min, max, {def, def, def, def}, label,
            {defaultText, defaultText, defaultText, defaultText}, ownWarning, member, nullptr,
            nullptr};
}

Row floatRow(int key, const char* name, float P::*member, double min, double max, double def,
             const char* label, const char* defaultText)
{
    return {key, name, Type::Float, min, max, {def, def, def, def}, label,
            {defaultText, defaultText, defaultText, defaultText}, nullptr, nullptr, member,
            nullptr};
}

Row arrayRow(int key, const char* name, Type type, int (P::*member)[4], double min, double max,
             const double (&defs)[4], const char* label, const char* const (&defaultTexts)[4])
{
    return {key, name, type, min, max, {defs[0], defs[1], defs[2], defs[3]}, label,
            {defaultTexts[0], defaultTexts[1], defaultTexts[2], defaultTexts[3]}, nullptr,
            nullptr, nullptr, member};
}

Row arrayRow(int key, const char* name, Type type, int (P::*member)[4], double min, double max,
             double def, const char* label, const char* defaultText)
{
    return arrayRow(key, name, type, member, min, max, {def, def, def, def}, label,
                    {defaultText, defaultText, defaultText, defaultText});
}

Row otherRow(int key, const char* name, Type type)
{
    return {key, name, type, 0, 0, {0, 0, 0, 0}, "", {"", "", "", ""}, nullptr, nullptr,
            nullptr, nullptr};
}

// The name row keeps its default name in defaultText[0].
Row nameRow(int key, const char* name, const char* defaultName)
{
    return {key, name, Type::Name, 0, 0, {0, 0, 0, 0}, "",
            {defaultName, defaultName, defaultName, defaultName}, nullptr, nullptr, nullptr,
            nullptr};
}

const char* const signalWarnings[4] = {
    "Schnittstelle -> Zusatzsignal Spindel war ungültig\nund ist mit 'deaktiv' initialisiert.\n"
    "Bitte definieren Sie den Signal richtig im Dialog.",
    "Schnittstelle -> Zusatzsignal Kühlung war ungültig\nund ist mit 'deaktiv' initialisiert.\n"
    "Bitte definieren Sie den Signal richtig im Dialog.",
    "Schnittstelle -> Zusatzsignal Stromabsenkung war ungültig\nund ist mit 'deaktiv' "
    "initialisiert.\nBitte definieren Sie den Signal richtig im Dialog.",
    "Schnittstelle -> Zusatzsignal Boost war ungültig\nund ist mit 'deaktiv' initialisiert.\n"
    "Bitte definieren Sie den Signal richtig im Dialog.",
};

const char* const toolChangeWarning =
    "Sonstige -> Werkzeugwechsel war ungültig und ist mit\nDEFAULT Wert (4-nur Parameter "
    "übernehmen) initialisiert.\nBitte definieren Sie den Wert richtig im Dialog.";

constexpr double speedMin = 0.01;
constexpr double speedMax = 999.0;
constexpr double rangeMm = 32767;
constexpr Type L = Type::LongArray;
constexpr Type U = Type::UcharArray;

const Row rows[] = {
    longRow(KEY(MOTORTEST, MOTORTEST_WEGLAENGE_LONG), &P::MOTORTEST_WEGLAENGE_LONG, 0, 65535, 400,
            "Weglänge", "400 Schritte"),
    floatRow(KEY(MOTORTEST, MOTORTEST_START_STOP_FLOAT), &P::MOTORTEST_START_STOP_FLOAT, speedMin,
             speedMax, 0.5, "Start-Stop Geschwindigkeit", "0.5 mm/s"),
    floatRow(KEY(MOTORTEST, MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT),
             &P::MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT, speedMin, speedMax, 10.0,
             "Maximalgeschwindigkeit", "10.0 mm/s"),
    longRow(KEY(MOTORTEST, MOTORTEST_BESCHLEUNIGUNG_LONG), &P::MOTORTEST_BESCHLEUNIGUNG_LONG, 1,
            999, 10, "Motortestbeschleunigung", "10 mm/s²"),

    floatRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_START_STOP_FLOAT),
             &P::GESCHWINDIGKEITEN_START_STOP_FLOAT, speedMin, speedMax, 0.5,
             "Startgeschwindigkeit", "0.5 mm/s"),
    floatRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_FAHR_FLOAT),
             &P::GESCHWINDIGKEITEN_FAHR_FLOAT, speedMin, speedMax, 4.0, "Fahrgeschwindigkeit",
             "4.0 mm/s"),
    floatRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_EILGANG_FLOAT),
             &P::GESCHWINDIGKEITEN_EILGANG_FLOAT, speedMin, speedMax, 10.0, "Eilgang",
             "10.0 mm/s"),
    floatRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT),
             &P::GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT, speedMin, speedMax, 0.5,
             "'Manuelles Fahren langsam'", "0.5 mm/s"),
    floatRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT),
             &P::GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT, speedMin, speedMax, 2.5,
             "'Manuelles Fahren schnell'", "2.5 mm/s"),
    floatRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT),
             &P::GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT, speedMin, speedMax, 2.5, "Referenzfahrt",
             "2.5 mm/s"),
    floatRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT),
             &P::GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT, speedMin, speedMax, 0.5,
             "Referenzfahrt (freifahren)", "0.5 mm/s"),
    longRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG),
            &P::GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG, 1, 999, 4, "Beschleunigung", "4 mm/s²"),
    longRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_BREMSWINKEL_LONG),
            &P::GESCHWINDIGKEITEN_BREMSWINKEL_LONG, 0, 45, 0, "Bremswinkel", "0 grad"),
    longRow(KEY(GESCHWINDIGKEITEN, GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG),
            &P::GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG, 0, 1000, 0, "Umschaltzeit", "0 ms"),

    longRow(KEY(SCHNITTSTELLE, SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG),
            &P::SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG, 1, 3, 3, "", "", signalWarnings[0]),
    longRow(KEY(SCHNITTSTELLE, SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG),
            &P::SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG, 1, 3, 3, "", "", signalWarnings[1]),
    longRow(KEY(SCHNITTSTELLE, SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG),
            &P::SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG, 1, 3, 3, "", "",
            signalWarnings[2]),
    longRow(KEY(SCHNITTSTELLE, SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG),
            &P::SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG, 1, 3, 3, "", "", signalWarnings[3]),

    otherRow(KEY(REFERENZFAHRT, REFERENZFAHRT_REFERENZ_X_UCHAR), Type::Unused),
    otherRow(KEY(REFERENZFAHRT, REFERENZFAHRT_REFERENZ_Y_UCHAR), Type::Unused),
    otherRow(KEY(REFERENZFAHRT, REFERENZFAHRT_REFERENZ_Z_UCHAR), Type::Unused),
    otherRow(KEY(REFERENZFAHRT, REFERENZFAHRT_REFERENZ_C_UCHAR), Type::Unused),
    otherRow(KEY(REFERENZFAHRT, REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR), Type::RefSequence),
    arrayRow(KEY(REFERENZFAHRT, REFERENZFAHRT_ENDSCHALTER_UCHAR), U,
             &P::REFERENZFAHRT_ENDSCHALTER_UCHAR, 0, 1, 1, "Endschalteraktivierung",
             "1-Endschalter"),

    floatRow(KEY(MECHANIK, MECHANIK_AUFLOESUNG_X_FLOAT), &P::MECHANIK_AUFLOESUNG_X_FLOAT, 0.1,
             999.0, 100.0, "Auflösung X", "100.0 Schritte/mm"),
    floatRow(KEY(MECHANIK, MECHANIK_AUFLOESUNG_Y_FLOAT), &P::MECHANIK_AUFLOESUNG_Y_FLOAT, 0.1,
             999.0, 100.0, "Auflösung Y", "100.0 Schritte/mm"),
    floatRow(KEY(MECHANIK, MECHANIK_AUFLOESUNG_Z_FLOAT), &P::MECHANIK_AUFLOESUNG_Z_FLOAT, 0.1,
             999.0, 100.0, "Auflösung Z", "100.0 Schritte/mm"),
    floatRow(KEY(MECHANIK, MECHANIK_AUFLOESUNG_C_FLOAT), &P::MECHANIK_AUFLOESUNG_C_FLOAT, 0.1,
             999.0, 100.0, "Auflösung C", "100.0 Schritte/mm"),
    longRow(KEY(MECHANIK, MECHANIK_UMKEHRSPIEL_X_LONG), &P::MECHANIK_UMKEHRSPIEL_X_LONG, 0, 500, 0,
            "Umkehrspiel X", "0 Schritte"),
    longRow(KEY(MECHANIK, MECHANIK_UMKEHRSPIEL_Y_LONG), &P::MECHANIK_UMKEHRSPIEL_Y_LONG, 0, 500, 0,
            "Umkehrspiel Y", "0 Schritte"),
    longRow(KEY(MECHANIK, MECHANIK_UMKEHRSPIEL_Z_LONG), &P::MECHANIK_UMKEHRSPIEL_Z_LONG, 0, 500, 0,
            "Umkehrspiel Z", "0 Schritte"),
    longRow(KEY(MECHANIK, MECHANIK_UMKEHRSPIEL_C_LONG), &P::MECHANIK_UMKEHRSPIEL_C_LONG, 0, 500, 0,
            "Umkehrspiel C", "0 Schritte"),
    arrayRow(KEY(MECHANIK, MECHANIK_RICHTUNGSUMKEHR_LONG), L, &P::MECHANIK_RICHTUNGSUMKEHR_LONG,
             0, 1, 0, "Richtungsumkehr", "0-Aus"),
    arrayRow(KEY(MECHANIK, MECHANIK_VERFAHRBEREICH_VON_LONG), L,
             &P::MECHANIK_VERFAHRBEREICH_VON_LONG, -rangeMm, rangeMm, 0, "'Verfahrbereich von'",
             "0 mm"),
    arrayRow(KEY(MECHANIK, MECHANIK_VERFAHRBEREICH_BIS_LONG), L,
             &P::MECHANIK_VERFAHRBEREICH_BIS_LONG, -rangeMm, rangeMm, {100, 100, 50, 50},
             "'Verfahrbereich bis'", {"100 mm", "100 mm", "50 mm", "50 mm"}),
    arrayRow(KEY(MECHANIK, MECHANIK_PARKPOSITION_LONG), L, &P::MECHANIK_PARKPOSITION_LONG,
             -rangeMm, rangeMm, 0, "Parkposition", "0 mm"),
    arrayRow(KEY(MECHANIK, MECHANIK_NULLPUNKT_LONG), L, &P::MECHANIK_NULLPUNKT_LONG, -rangeMm,
             rangeMm, 0, "Nullpunkt", "0 mm"),
    arrayRow(KEY(MECHANIK, MECHANIK_ACHSENCONFIGURATION_UCHAR), U,
             &P::MECHANIK_ACHSENCONFIGURATION_UCHAR, 0, 2, 0, "Achsenconfiguration", "0-linear"),

    longRow(KEY(SONSTIGE, SONSTIGE_WERKZEUGWECHSEL_LONG), &P::SONSTIGE_WERKZEUGWECHSEL_LONG, 1, 4,
            4, "", "", toolChangeWarning),
    longRow(KEY(SONSTIGE, SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG),
            &P::SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG, 1, 3, 1, "'Referenzfahrt Zeitpunkt'",
            "1-nur Manuell"),
    longRow(KEY(SONSTIGE, SONSTIGE_SPINDELHOCHLAUF_LONG), &P::SONSTIGE_SPINDELHOCHLAUF_LONG, 0,
            5000, 0, "Spindelhochlauf", "0 ms"),
    longRow(KEY(SONSTIGE, SONSTIGE_WERKZEUGANSCHNITT_LONG), &P::SONSTIGE_WERKZEUGANSCHNITT_LONG,
            0, 5000, 0, "Werkzeuganschnitt", "0 ms"),
    longRow(KEY(SONSTIGE, SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG),
            &P::SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG, 1, 3, 1, "'Unbekannte Programmbefehle'",
            "1-ignorieren"),
    nameRow(KEY(SONSTIGE, SONSTIGE_CONTROLLERNAME_CHAR), "Dorvik USB"),
    longRow(KEY(SONSTIGE, SONSTIGE_SICHERHEITSABSTAND_LONG), &P::SONSTIGE_SICHERHEITSABSTAND_LONG,
            0, 255, 0, "Sicherheitsabstand", "0 mm"),
    longRow(KEY(SONSTIGE, SONSTIGE_WEITERE_LONG), &P::SONSTIGE_WEITERE_LONG, 0, 0, 0, "Weitere",
            "0 ms"),
};

#undef KEY

static_assert(std::size(rows) == 46, "one row per parameter");

struct Group {
    const char* constant;
    const char* text;
};

const Group groups[] = {
    {"HBYTE_MOTORTEST", "Motortest"},
    {"HBYTE_GESCHWINDIGKEITEN", "Geschwindigkeiten"},
    {"HBYTE_SCHNITTSTELLE", "Schnittstelle"},
    {"HBYTE_REFERENZFAHRT", "Referenzfahrt"},
    {"HBYTE_MECHANIK", "Mechanik"},
    {"HBYTE_SONSTIGE", "Sonstige"},
};

const char* const referenceLabels[8] = {
    "Richtung[0]",    "Richtung[1]",    "Richtung[2]",    "Richtung[3]",
    "Reihenfolge[0]", "Reihenfolge[1]", "Reihenfolge[2]", "Reihenfolge[3]",
};
const char* const referenceDefaultTexts[8] = {
    "1-negative", "1-negative", "0-positive", "0-positive", "2=Z", "1=Y", "0=X", "3=C",
};

QString fallbackWarning(const char* group, const QString& label, const char* defaultText)
{
    return QLatin1String(group) + QLatin1String(" -> ") + label
           + QStringLiteral(" war ungültig\nund ist mit DEFAULT Wert (")
           + QString::fromUtf8(defaultText)
           + QStringLiteral(") initialisiert.\nBitte definieren Sie den Wert richtig im Dialog.");
}

}  // namespace

const int referenceDefaults[8] = {1, 1, 0, 0, 2, 1, 0, 3};

const Row* begin()
{
    return std::begin(rows);
}

const Row* end()
{
    return std::end(rows);
}

int size()
{
    return static_cast<int>(std::size(rows));
}

const Row* find(int key)
{
    const Row* const it = std::lower_bound(std::begin(rows), std::end(rows), key,
                                           [](const Row& row, int k) { return row.key < k; });
    return it != std::end(rows) && it->key == key ? it : nullptr;
}

const char* groupConstant(int key)
{
    return groups[key >> 8].constant;
}

const char* groupText(int key)
{
    return groups[key >> 8].text;
}

QString referenceWarning(int element)
{
    return fallbackWarning(groupText(0x0304), QLatin1String(referenceLabels[element]),
                           referenceDefaultTexts[element]);
}

QString warning(const Row& row, int axis)
{
    if (row.ownWarning)
        return QString::fromUtf8(row.ownWarning);
    QString label = QString::fromUtf8(row.label);
    if (axis >= 0) {
        label += QLatin1Char(' ');
        label += QLatin1Char("XYZC"[axis]);
    }
    return fallbackWarning(groupText(row.key), label, row.defaultText[axis < 0 ? 0 : axis]);
}

const QString& defaultText()
{
    static const QString text = QString::fromLatin1(DefaultParameterText);
    return text;
}

}  // namespace ParameterTable
