#pragma once
// The machine parameters of one controller: values, the comments of the last text read, the
// parameter text reader and writer, and the transfer to and from the controller.

#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>

struct TarvoPortSettings;

// The built-in parameter text: 46 lines, each ending in a line feed, Latin-1 encoded.
extern const char DefaultParameterText[];

class TarvoParameters {
public:
    // Group numbers: the high byte of a parameter key.
    static constexpr uint8_t HBYTE_MOTORTEST = 0x00;
    static constexpr uint8_t HBYTE_GESCHWINDIGKEITEN = 0x01;
    static constexpr uint8_t HBYTE_SCHNITTSTELLE = 0x02;
    static constexpr uint8_t HBYTE_REFERENZFAHRT = 0x03;
    static constexpr uint8_t HBYTE_MECHANIK = 0x04;
    static constexpr uint8_t HBYTE_SONSTIGE = 0x05;

    // Parameter numbers within their group: the low byte of a parameter key.
    static constexpr uint8_t LBYTE_MOTORTEST_WEGLAENGE_LONG = 0x00;
    static constexpr uint8_t LBYTE_MOTORTEST_START_STOP_FLOAT = 0x01;
    static constexpr uint8_t LBYTE_MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT = 0x02;
    static constexpr uint8_t LBYTE_MOTORTEST_BESCHLEUNIGUNG_LONG = 0x03;

    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_START_STOP_FLOAT = 0x00;
    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_FAHR_FLOAT = 0x01;
    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_EILGANG_FLOAT = 0x02;
    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT = 0x03;
    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT = 0x04;
    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT = 0x05;
    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT = 0x06;
    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG = 0x07;
    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_BREMSWINKEL_LONG = 0x08;
    static constexpr uint8_t LBYTE_GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG = 0x09;

    static constexpr uint8_t LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG = 0x00;
    static constexpr uint8_t LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG = 0x01;
    static constexpr uint8_t LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG = 0x02;
    static constexpr uint8_t LBYTE_SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG = 0x03;

    static constexpr uint8_t LBYTE_REFERENZFAHRT_REFERENZ_X_UCHAR = 0x00;
    static constexpr uint8_t LBYTE_REFERENZFAHRT_REFERENZ_Y_UCHAR = 0x01;
    static constexpr uint8_t LBYTE_REFERENZFAHRT_REFERENZ_Z_UCHAR = 0x02;
    static constexpr uint8_t LBYTE_REFERENZFAHRT_REFERENZ_C_UCHAR = 0x03;
    static constexpr uint8_t LBYTE_REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR = 0x04;
    static constexpr uint8_t LBYTE_REFERENZFAHRT_ENDSCHALTER_UCHAR = 0x05;

    static constexpr uint8_t LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT = 0x00;
    static constexpr uint8_t LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT = 0x01;
    static constexpr uint8_t LBYTE_MECHANIK_AUFLOESUNG_Z_FLOAT = 0x02;
    static constexpr uint8_t LBYTE_MECHANIK_AUFLOESUNG_C_FLOAT = 0x03;
    static constexpr uint8_t LBYTE_MECHANIK_UMKEHRSPIEL_X_LONG = 0x04;
    static constexpr uint8_t LBYTE_MECHANIK_UMKEHRSPIEL_Y_LONG = 0x05;
    static constexpr uint8_t LBYTE_MECHANIK_UMKEHRSPIEL_Z_LONG = 0x06;
    static constexpr uint8_t LBYTE_MECHANIK_UMKEHRSPIEL_C_LONG = 0x07;
    static constexpr uint8_t LBYTE_MECHANIK_RICHTUNGSUMKEHR_LONG = 0x08;
    static constexpr uint8_t LBYTE_MECHANIK_VERFAHRBEREICH_VON_LONG = 0x09;
    static constexpr uint8_t LBYTE_MECHANIK_VERFAHRBEREICH_BIS_LONG = 0x0A;
    static constexpr uint8_t LBYTE_MECHANIK_PARKPOSITION_LONG = 0x0B;
    static constexpr uint8_t LBYTE_MECHANIK_NULLPUNKT_LONG = 0x0C;
    static constexpr uint8_t LBYTE_MECHANIK_ACHSENCONFIGURATION_UCHAR = 0x0D;

    static constexpr uint8_t LBYTE_SONSTIGE_WERKZEUGWECHSEL_LONG = 0x00;
    static constexpr uint8_t LBYTE_SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG = 0x01;
    static constexpr uint8_t LBYTE_SONSTIGE_SPINDELHOCHLAUF_LONG = 0x02;
    static constexpr uint8_t LBYTE_SONSTIGE_WERKZEUGANSCHNITT_LONG = 0x03;
    static constexpr uint8_t LBYTE_SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG = 0x04;
    static constexpr uint8_t LBYTE_SONSTIGE_CONTROLLERNAME_CHAR = 0x05;
    static constexpr uint8_t LBYTE_SONSTIGE_SICHERHEITSABSTAND_LONG = 0x06;
    static constexpr uint8_t LBYTE_SONSTIGE_WEITERE_LONG = 0x07;

    // The longest controller name the controller keeps.
    static constexpr int MaxControllerNameLength = 16;

    // Whether a controller name survives both a parameter file and the controller unchanged:
    // at most 16 Latin-1 characters, no control character, no "%" (it starts a comment), no
    // white space at either end (the reader trims it). The empty name is storable: the writer
    // gives "0505=", which the reader takes as the empty name.
    static bool IsStorableControllerName(const QString& name);
    // The storable name nearest to a name as a controller holds it (Latin-1 bytes up to the
    // first zero): every control character and every "%" becomes a blank (a character beyond
    // Latin-1 becomes "?", as the transfer sends it), the name is cut to 16 characters, then
    // white space at both ends is dropped. A controller whose name bytes are all zero, or all
    // blank, thus has the empty name. It is kept as such, with no default put in its place,
    // so the set shows what the controller holds and writing it back leaves the name as it
    // was; a file keeps it as "0505=".
    static QString StorableControllerName(const QString& name);

    // The 0304 parameter: the four steps of the reference run. Step i moves axis order[i]
    // (0 X, 1 Y, 2 Z, 3 C) in direction direction[i] (0 positive, 1 negative, 2 none).
    struct ReferenceSequence {
        int direction[4];
        int order[4];
    };

    // A new set holds the default values, no comments and is undefined.
    TarvoParameters();
    TarvoParameters(const TarvoParameters&) = default;
    TarvoParameters& operator=(const TarvoParameters&) = default;
    virtual ~TarvoParameters();

    // Reads a parameter text into the set. Every warning and the fatal error, if any, are
    // appended to messages; an empty list afterwards means success. A fatal error leaves the
    // set exactly as it was.
    void LoadFromText(const QString& text, QStringList& messages);
    // The parameter text of the set: one line for every known key of the last text read.
    QString SaveToText() const;
    // Loads DefaultParameterText and forgets the file name.
    void ResetToDefaults();

    QString GetFileName() const { return fileName; }
    void SetFileName(const QString& name) { fileName = name; }
    bool IsDefined() const { return defined; }

    // Transfer of all values except 0300..0303, parameter by parameter, with up to three tries
    // each; one line per parameter that failed is appended to messages. Both do nothing when
    // portSettings is null.
    void ReadFromController(TarvoPortSettings* portSettings, QStringList& messages);
    void WriteToController(TarvoPortSettings* portSettings, QStringList& messages);
    // Called at the points of a long transfer where whoever watches the controllers must
    // learn that the GUI thread is busy on purpose (the kernel restarts its watchdogs there).
    // Nothing by default; the kernel installs its own for its lifetime.
    static void SetTransferHeartbeat(void (*heartbeat)());

    // Motortest
    int MOTORTEST_WEGLAENGE_LONG;
    float MOTORTEST_START_STOP_FLOAT;
    float MOTORTEST_MAXGESCHWINDIGKEIT_FLOAT;
    int MOTORTEST_BESCHLEUNIGUNG_LONG;

    // Geschwindigkeiten
    float GESCHWINDIGKEITEN_START_STOP_FLOAT;
    float GESCHWINDIGKEITEN_FAHR_FLOAT;
    float GESCHWINDIGKEITEN_EILGANG_FLOAT;
    float GESCHWINDIGKEITEN_MANUEL_LANGSAM_FLOAT;
    float GESCHWINDIGKEITEN_MANUEL_SCHNELL_FLOAT;
    float GESCHWINDIGKEITEN_REFERENZFAHRT_FLOAT;
    float GESCHWINDIGKEITEN_REFERENZFAHRT_FREI_FLOAT;
    int GESCHWINDIGKEITEN_BESCHLEUNIGUNG_LONG;
    int GESCHWINDIGKEITEN_BREMSWINKEL_LONG;
    int GESCHWINDIGKEITEN_UMSCHALTZEIT_LONG;

    // Schnittstelle: 1 low active, 2 high active, 3 deactivated
    int SCHNITTSTELLE_ZUSATZSIGNAL_SPINDEL_LONG;
    int SCHNITTSTELLE_ZUSATZSIGNAL_KUEHLUNG_LONG;
    int SCHNITTSTELLE_ZUSATZSIGNAL_STROMABSENKUNG_LONG;
    int SCHNITTSTELLE_ZUSATZSIGNAL_BOOST_LONG;

    // Referenzfahrt (0300..0303 hold no value)
    ReferenceSequence REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR;
    int REFERENZFAHRT_ENDSCHALTER_UCHAR[4];  // X, Y, Z, C

    // Mechanik; the arrays are in axis order X, Y, Z, C
    float MECHANIK_AUFLOESUNG_X_FLOAT;
    float MECHANIK_AUFLOESUNG_Y_FLOAT;
    float MECHANIK_AUFLOESUNG_Z_FLOAT;
    float MECHANIK_AUFLOESUNG_C_FLOAT;
    int MECHANIK_UMKEHRSPIEL_X_LONG;
    int MECHANIK_UMKEHRSPIEL_Y_LONG;
    int MECHANIK_UMKEHRSPIEL_Z_LONG;
    int MECHANIK_UMKEHRSPIEL_C_LONG;
    int MECHANIK_RICHTUNGSUMKEHR_LONG[4];
    int MECHANIK_VERFAHRBEREICH_VON_LONG[4];
    int MECHANIK_VERFAHRBEREICH_BIS_LONG[4];
    int MECHANIK_PARKPOSITION_LONG[4];
    int MECHANIK_NULLPUNKT_LONG[4];
    int MECHANIK_ACHSENCONFIGURATION_UCHAR[4];  // 0 linear, 1 rotary, 2 deactivated

    // Sonstige
    int SONSTIGE_WERKZEUGWECHSEL_LONG;
    int SONSTIGE_REFERENZFAHRTZEITPUNKT_LONG;
    int SONSTIGE_SPINDELHOCHLAUF_LONG;
    int SONSTIGE_WERKZEUGANSCHNITT_LONG;
    int SONSTIGE_UNBEKANNTEPROGRAMMBEFEHLE_LONG;
    QString SONSTIGE_CONTROLLERNAME_CHAR;
    int SONSTIGE_SICHERHEITSABSTAND_LONG;
    int SONSTIGE_WEITERE_LONG;

    // Key -> comment (from its first "%", unchanged) of every key line of the last text read;
    // the writer writes exactly the known keys found here.
    QMap<int, QString> comments;
    // The parameter file the set was last loaded from or saved to.
    QString fileName;
    // True once a text read has run to its end or the set was read from the controller.
    bool defined = false;

private:
    // Reads every line into this set; false after a fatal error (its message appended).
    bool ReadLines(const QString& text, QStringList& messages);
};
